#!/bin/sh
# zelk starts with nothing but the C library: the loader maps no C++ runtime,
# libgcc_s or libm, and relocates none of their symbols. Fails naming each
# other shared library the executable asks for. Exits 77, which ctest reports
# as skipped, where the check means nothing or cannot be made.
#
# runtime_libraries_test.sh READELF ZELK [REASON-TO-SKIP]
# ZELK_TEST_BINARY, where set, names the zelk to check instead of ZELK, as
# for the end-to-end tests. A statically linked zelk loads no library at all:
# there is nothing to check, and the test is skipped.
set -eu
readelf=$1 zelk=${ZELK_TEST_BINARY:-$2} skip=${3-}

if [ -n "$skip" ]; then
    echo "runtime_libraries_test: $skip; skipped"
    exit 77
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
echo "NEEDED:" $needed

# The C library (glibc's soname on every Debian target; musl's is libc.so)
# and, on some targets, the program loader itself.
status=0
for library in $needed; do
    case $library in
        libc.so.6 | libc.so | ld-linux*.so.* | ld64.so.* | ld.so.*) ;;
        *)
            echo "runtime_libraries_test: $zelk needs $library, beyond the C library" >&2
            status=1
            ;;
    esac
done
exit $status
