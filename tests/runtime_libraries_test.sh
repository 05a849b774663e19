#!/bin/sh
# zelk starts with nothing but the C library: the loader maps no C++ runtime,
# libgcc_s or libm, and relocates none of their symbols. Fails naming each
# other shared library the executable asks for. Exits 77, which ctest reports
# as skipped, where the check means nothing or cannot be made.
#
# runtime_libraries_test.sh READELF ZELK [REASON-TO-SKIP]
# ZELK_TEST_BINARY, where set, names the zelk to check instead of ZELK, as
# for the end-to-end tests. A statically linked zelk loads no library at all:
# there is nothing to check, and the test is skipped. On macOS, whose
# programs are not ELF files, otool lists what zelk loads instead.
set -eu
readelf=$1 zelk=${ZELK_TEST_BINARY:-$2} skip=${3-}

if [ -n "$skip" ]; then
    echo "runtime_libraries_test: $skip; skipped"
    exit 77
fi

# The C library, under each name that a system gives it: glibc's soname on
# every Debian target; musl's libc.so and its loader; FreeBSD's libc.so.7;
# macOS's libSystem, which holds it (on some targets the program loader
# itself is named too). Sets status to 1 for any other.
status=0
check_needed() {  # check_needed LIBRARY...
    echo "NEEDED:" "$@"
    for library; do
        case $library in
            libc.so.6 | libc.so | ld-linux*.so.* | ld64.so.* | ld.so.* | ld-musl-*.so.1) ;;
            libc.so.7) ;;
            /usr/lib/libSystem.B.dylib) ;;
            *)
                echo "runtime_libraries_test: $zelk needs $library, beyond the C library" >&2
                status=1
                ;;
        esac
    done
}

if [ "$(uname -s)" = Darwin ]; then
    if ! command -v otool >/dev/null 2>&1; then
        echo "runtime_libraries_test: no otool; skipped"
        exit 77
    fi
    listed=$(otool -L "$zelk") || {
        echo "runtime_libraries_test: otool cannot read $zelk" >&2
        exit 1
    }
    # The first line names the file, each other one a library.
    # shellcheck disable=SC2046  # one word each
    check_needed $(printf '%s\n' "$listed" | sed -n '2,$s/^[[:space:]]*\([^ ]*\) .*/\1/p')
    exit $status
fi
if ! command -v "$readelf" >/dev/null 2>&1; then
    echo "runtime_libraries_test: no readelf ('$readelf'); skipped"
    exit 77
fi

headers=$("$readelf" -lW "$zelk") || {
    echo "runtime_libraries_test: $readelf cannot read $zelk" >&2
    exit 1
}
if ! printf '%s\n' "$headers" | grep -q '^ *INTERP '; then
    echo "runtime_libraries_test: $zelk is linked statically (no program interpreter); skipped"
    exit 77
fi
dynamic=$("$readelf" -d "$zelk") || {
    echo "runtime_libraries_test: $readelf cannot read $zelk" >&2
    exit 1
}
needed=$(printf '%s\n' "$dynamic" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p')
# shellcheck disable=SC2086  # one word each
check_needed $needed
exit $status
