#!/usr/bin/env bash
# Makes statically linked zelk binaries to download, for machines where
# nothing can be installed. Run from the repository root:
#
#   packaging/static-release.sh [ARCH ...]
#
# ARCH is x86_64, aarch64, i686 or s390x; with none, all four. For each it
# builds zelk with ZELK_STATIC=ON (static-pie where the target's C library
# allows: x86_64, aarch64, i686; a fixed-address static program on s390x)
# in release/build/ARCH, with Debian's cross compiler for another CPU (the
# toolchain files in cmake/), and makes
#
#   release/zelk-VERSION-linux-ARCH.tar.gz
#
# which unpacks to zelk-VERSION-linux-ARCH/ holding the stripped program
# zelk, its manual page zelk.1, completions/ (bash, zsh and fish), LICENSE
# and README (packaging/static-README: what each file is and where it goes,
# naming no file that the tarball lacks). release/SHA256SUMS holds the
# SHA-256 sum of each tarball that this run made, and of no other: the
# script first removes the tarballs and SHA256SUMS of earlier runs, so
# release/ always holds one set from one commit, which `sha256sum -c
# SHA256SUMS` checks whole: a run for one ARCH after a run for all leaves
# that ARCH's tarball alone.
#
# The same commit gives the same bytes wherever and whenever it is built:
# every file is stamped with SOURCE_DATE_EPOCH (where set, else the last
# commit's time, or packaging/source_date_epoch in a source tarball; see
# packaging/source_date.cmake), modes do not depend on the umask, the
# archive is sorted by name with owner and group 0, gzip stores no name or
# time, and the program holds no path of the machine and no compiler notes.
#
# ZELK_RELEASE_CMAKE_OPTIONS adds options to every configuration (CI adds
# -DCMAKE_COMPILE_WARNING_AS_ERROR=ON); none may change the program.
# CMAKE_BUILD_PARALLEL_LEVEL sets the build's jobs (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."

known=(x86_64 aarch64 i686 s390x)
arches=()
for arch in "$@"; do
    case $arch in
        x86_64 | aarch64 | i686 | s390x) ;;
        -h | --help)
            sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"
            exit 0
            ;;
        *)
            echo "static-release.sh: unknown architecture '$arch' (known: ${known[*]})" >&2
            exit 2
            ;;
    esac
    [[ " ${arches[*]-} " == *" $arch "* ]] || arches+=("$arch")
done
((${#arches[@]})) || arches=("${known[@]}")

version=$(sed -n 's/^project(zelk VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[[ -n $version ]] || {
    echo "static-release.sh: no version in CMakeLists.txt's project()" >&2
    exit 1
}
SOURCE_DATE_EPOCH=$(cmake -DCPACK_ZELK_SOURCE_DIR="$PWD" -P packaging/source_date_print.cmake)
export SOURCE_DATE_EPOCH
read -r -a extra_options <<<"${ZELK_RELEASE_CMAKE_OPTIONS-}"

release=release
mkdir -p "$release/build"
rm -f "$release"/zelk-*-linux-*.tar.gz "$release"/zelk-*-linux-*.tar.gz.part "$release"/SHA256SUMS*

# The toolchain file for ARCH, or nothing where this machine is ARCH.
toolchain_for() {
    [[ $1 == "$(uname -m)" ]] && return
    case $1 in
        aarch64 | s390x) echo "cmake/toolchain-$1.cmake" ;;
        i686) echo cmake/toolchain-i386.cmake ;;
        *)
            echo "static-release.sh: no cross toolchain file for $1 on $(uname -m)" >&2
            return 1
            ;;
    esac
}

# cache_value BUILD NAME: a value of the build's CMake cache.
cache_value() {
    sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"
}

made=()
for arch in "${arches[@]}"; do
    name=zelk-$version-linux-$arch
    build=$release/build/$arch
    echo "static-release.sh: building $name"
    toolchain=$(toolchain_for "$arch")
    cmake -B "$build" -DCMAKE_BUILD_TYPE=Release -DZELK_STATIC=ON -DBUILD_TESTING=OFF \
        -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON ${toolchain:+--toolchain "$toolchain"} \
        ${extra_options[@]+"${extra_options[@]}"} >"$build.configure.log" || {
        cat "$build.configure.log" >&2
        exit 1
    }
    cmake --build "$build" --target zelk -j "${CMAKE_BUILD_PARALLEL_LEVEL:-2}"

    stage=$release/build/stage/$name
    rm -rf "$release/build/stage"
    mkdir -p "$stage/completions"
    cp "$build/zelk" "$stage/zelk"
    # As the packages' programs: stripped, and without the compiler's notes.
    "$(cache_value "$build" CMAKE_STRIP)" --strip-all "$stage/zelk"
    "$(cache_value "$build" CMAKE_OBJCOPY)" --remove-section=.comment --remove-section=.note \
        "$stage/zelk"
    if readelf -lW "$stage/zelk" | grep -q '^ *INTERP ' ||
        readelf -dW "$stage/zelk" | grep -q '(NEEDED)'; then
        echo "static-release.sh: $build/zelk is not linked statically" >&2
        exit 1
    fi
    cp zelk.1 LICENSE "$stage/"
    cp packaging/static-README "$stage/README"
    cp completions/zelk.bash completions/_zelk completions/zelk.fish "$stage/completions/"
    find "$stage" -type d -exec chmod 0755 {} +
    find "$stage" -type f -exec chmod 0644 {} +
    chmod 0755 "$stage/zelk"
    find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

    tarball=$release/$name.tar.gz
    tar --format=gnu --sort=name --owner=0 --group=0 --numeric-owner \
        --mtime="@$SOURCE_DATE_EPOCH" --clamp-mtime -C "$release/build/stage" -cf - "$name" |
        gzip -9n >"$tarball.part"
    mv "$tarball.part" "$tarball"
    made+=("$name.tar.gz")
    echo "static-release.sh: made $tarball"
done
rm -rf "$release/build/stage"

(cd "$release" && printf '%s\n' "${made[@]}" | LC_ALL=C sort | xargs sha256sum) >"$release/SHA256SUMS.part"
mv "$release/SHA256SUMS.part" "$release/SHA256SUMS"
echo "static-release.sh: $release/SHA256SUMS:"
cat "$release/SHA256SUMS"
