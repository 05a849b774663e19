#!/bin/sh
# Installs the build into a fresh prefix and uses the library from there as
# another program would: checks the installed header, library, CMake package
# and pkg-config file; builds examples/dump_example.cpp against the prefix
# through find_package(zelk CONFIG) and through pkg-config, and runs both;
# then builds it in a parent project that takes the zelk sources in with
# add_subdirectory, where zelk must leave the parent's build type, tests,
# packages and compiler flags alone.
#
# library_install_test.sh CMAKE BUILD_DIR SOURCE_DIR CXX [CXX-FLAGS]
# library_install_test.sh CMAKE --installed=PREFIX SOURCE_DIR CXX [CXX-FLAGS]
# CXX and CXX-FLAGS (one word list) are the build's compiler and flags,
# which the example's builds use too. With --installed, the library is
# already installed under PREFIX, a standard one such as /usr where a
# package has put it: the same checks and builds are made there, finding it
# without being told where (no CMAKE_PREFIX_PATH, no PKG_CONFIG_PATH), and
# there is no parent project.
set -eu
cmake=$1 build=$2 source=$(cd "$3" && pwd) cxx=$4 cxx_flags=${5-}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
unset DESTDIR

fail() {
    echo "library_install_test: $*" >&2
    exit 1
}

case $build in
--installed=*)
    prefix=${build#--installed=} installed=yes
    search_path=
    ;;
*)
    prefix=$scratch/prefix installed=
    search_path=$prefix
    "$cmake" --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install $build failed"
    ;;
esac

# The library's directory as GNUInstallDirs names it on this system (lib,
# lib64 or lib/<multiarch>): where the package file is.
config=$(find "$prefix"/lib* -maxdepth 4 -path '*/cmake/zelk/zelk-config.cmake')
[ -n "$config" ] || fail "no zelk-config.cmake under $prefix"
[ "$(printf '%s\n' "$config" | wc -l)" = 1 ] || fail "more than one zelk-config.cmake under $prefix: $config"
libdir=${config%/cmake/zelk/zelk-config.cmake}
cmp -s "$prefix/include/zelk/zelk.hpp" "$source/include/zelk/zelk.hpp" ||
    fail "include/zelk/zelk.hpp is missing or differs"
[ -f "$libdir/libzelk.a" ] || ls "$libdir"/libzelk.so.* >/dev/null 2>&1 ||
    fail "no libzelk.a or libzelk.so.* in $libdir"
for file in zelk-config-version.cmake zelk-targets.cmake; do
    [ -f "$libdir/cmake/zelk/$file" ] || fail "no $libdir/cmake/zelk/$file"
done
[ -f "$libdir/pkgconfig/zelk.pc" ] || fail "no $libdir/pkgconfig/zelk.pc"
grep -qx "prefix=$prefix" "$libdir/pkgconfig/zelk.pc" ||
    fail "zelk.pc does not name the prefix $prefix: $(cat "$libdir/pkgconfig/zelk.pc")"

# What the example prints: the 14 bytes "Hello, world!\n" with the default
# layout, then 8 to a line in groups of 4 from offset 0x1000.
expected=$(printf '%s\n' \
    '    0000  48 65 6c 6c 6f 2c 20 77  6f 72 6c 64 21 0a        Hello, w orld!.  ' \
    '    1000  48 65 6c 6c  6f 2c 20 77  Hell o, w' \
    '    1008  6f 72 6c 64  21 0a        orld !.  ')
check_example() {  # check_example HOW PROGRAM
    # A shared libzelk is found in the prefix, which a plain -L line does
    # not record in the program.
    actual=$(LD_LIBRARY_PATH=$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH} "$2") ||
        fail "the example built $1 failed"
    [ "$actual" = "$expected" ] || fail "the example built $1 printed:
$actual
expected:
$expected"
}

# find_package(zelk CONFIG) from the prefix.
# shellcheck disable=SC2086 # the flags are a word list
"$cmake" -S "$source/examples" -B "$scratch/found" -DCMAKE_PREFIX_PATH="$search_path" \
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$cxx_flags" >"$scratch/log" 2>&1 &&
    "$cmake" --build "$scratch/found" >>"$scratch/log" 2>&1 ||
    fail "the example did not build through find_package: $(cat "$scratch/log")"
check_example "through find_package" "$scratch/found/dump_example"

# pkg-config, on a plain compiler line, warnings as errors.
if command -v pkg-config >/dev/null; then
    pc_path=${search_path:+$libdir/pkgconfig}
    flags=$(PKG_CONFIG_PATH=$pc_path pkg-config --cflags --libs zelk) ||
        fail "pkg-config does not find zelk"
    pc_libdir=$(PKG_CONFIG_PATH=$pc_path pkg-config --variable=libdir zelk)
    [ "$pc_libdir" = "$libdir" ] || fail "zelk.pc names the library directory $pc_libdir, not $libdir"
    # shellcheck disable=SC2086 # word lists
    "$cxx" $cxx_flags -std=c++20 -Wall -Wextra -Wpedantic -Werror \
        "$source/examples/dump_example.cpp" $flags -o "$scratch/dump_example" ||
        fail "the example did not build with: $flags"
    check_example "through pkg-config" "$scratch/dump_example"
    static_libs=$(PKG_CONFIG_PATH=$pc_path pkg-config --static --libs zelk)
    echo "pkg-config: $flags; --static: $static_libs"
else
    echo "library_install_test: pkg-config is not installed; its build is skipped"
fi

if [ -n "$installed" ]; then
    echo "the header, the library, the CMake package and zelk.pc are under $libdir; the example built and ran through find_package and pkg-config"
    exit 0
fi

# A parent project that takes zelk's sources in, with no build type of its
# own, tests enabled and its compile commands written out.
parent=$scratch/parent
mkdir "$parent"
cat >"$parent/CMakeLists.txt" <<END
cmake_minimum_required(VERSION 3.25)
project(parent LANGUAGES CXX)
enable_testing()
add_subdirectory("$source" zelk)
add_subdirectory("$source/examples" example)
END
"$cmake" -S "$parent" -B "$parent/build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$cxx_flags" \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >"$scratch/log" 2>&1 &&
    "$cmake" --build "$parent/build" --target dump_example >>"$scratch/log" 2>&1 ||
    fail "the parent project did not build: $(cat "$scratch/log")"
check_example "as a subproject" "$parent/build/example/dump_example"
# The parent's whole build makes zelk's library, not its tool.
"$cmake" --build "$parent/build" >>"$scratch/log" 2>&1 ||
    fail "the parent project's whole build failed: $(cat "$scratch/log")"
[ ! -e "$parent/build/zelk/zelk" ] || fail "the parent's build made zelk's tool"
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$parent/build/CMakeCache.txt")
[ -z "$build_type" ] || fail "the parent's build type became '$build_type'"
tests=$(cd "$parent/build" && ctest -N | sed -n 's/^Total Tests: //p')
[ "$tests" = 0 ] || fail "zelk added $tests tests to the parent"
[ ! -e "$parent/build/CPackConfig.cmake" ] || fail "zelk made a CPack configuration in the parent"
# The parent's own target is compiled with the parent's flags alone.
command=$(grep '"command":.*examples/dump_example.cpp' "$parent/build/compile_commands.json") ||
    fail "no compile command for the parent's example"
for flag in -Wall -Wextra -Wpedantic -fstack-protector-strong _FORTIFY_SOURCE; do
    case $command in
    *"$flag"*) fail "zelk's $flag reached the parent's target: $command" ;;
    esac
done

echo "installed the header, the library, the CMake package and zelk.pc under $libdir; the example built and ran through find_package, pkg-config and add_subdirectory"
