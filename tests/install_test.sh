#!/bin/sh
# Installs the build into a fresh prefix and checks what lands there: a
# working bin/zelk and the manual page in share/man/man1.
#
# install_test.sh CMAKE BUILD_DIR SOURCE_DIR [EMULATOR...]
# The installed zelk is started through EMULATOR and its options, if given.
set -eu
cmake=$1 build=$2 source=$3
shift 3

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
unset DESTDIR

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

fail() {
    echo "install_test: $*" >&2
    exit 1
}

[ -x "$prefix/bin/zelk" ] || fail "no executable $prefix/bin/zelk"
expected='    0000 7a 65 6c 6b zelk'
actual=$(printf zelk | "$@" "$prefix/bin/zelk" -p -w 4 -g 0) || fail "installed zelk failed"
[ "$actual" = "$expected" ] || fail "installed zelk printed '$actual', expected '$expected'"

page=$prefix/share/man/man1/zelk.1
[ -f "$page" ] || fail "no manual page $page"
cmp -s "$page" "$source/zelk.1" || fail "$page differs from zelk.1"

echo "installed bin/zelk and share/man/man1/zelk.1"
