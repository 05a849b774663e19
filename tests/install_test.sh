#!/bin/sh
# Installs the build into a fresh prefix and checks what lands there: a
# working bin/zelk, the manual page in share/man/man1, the licence in
# share/doc/zelk, and the completions where bash-completion, zsh and fish
# look under a prefix. bash-completion and
# fish search share/ of each prefix in XDG_DATA_DIRS; where they are
# installed, each is also asked to find zelk's completion there.
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

licence=$prefix/share/doc/zelk/LICENSE
[ -f "$licence" ] || fail "no licence $licence"
cmp -s "$licence" "$source/LICENSE" || fail "$licence differs from LICENSE"

for pair in zelk.bash:bash-completion/completions/zelk _zelk:zsh/site-functions/_zelk \
    zelk.fish:fish/vendor_completions.d/zelk.fish; do
    file=$prefix/share/${pair#*:}
    [ -f "$file" ] || fail "no completion $file"
    cmp -s "$file" "$source/completions/${pair%%:*}" || fail "$file differs from completions/${pair%%:*}"
done

# Only the prefix is searched, and a scratch home stands in for the user's.
home=$prefix/home
mkdir "$home"
bash_completion=/usr/share/bash-completion/bash_completion
if [ -f "$bash_completion" ] && command -v bash >/dev/null; then
    # What bash runs on the first Tab after a command it has no completion
    # for: the default (-D) completion, which loads one from the search path.
    found=$(HOME=$home XDG_DATA_HOME=$home XDG_DATA_DIRS=$prefix/share \
        bash --norc --noprofile -c '. "$1" || exit
            loader=$(complete -p -D) && loader=${loader#*-F } && loader=${loader%% *}
            "$loader" zelk; complete -p zelk
            shopt -s extdebug && where=$(declare -F _zelk) && echo "${where#* * }"' \
        bash "$bash_completion" 2>&1) || true
    expected="complete -F _zelk zelk
$prefix/share/bash-completion/completions/zelk"
    [ "$found" = "$expected" ] || fail "bash-completion did not load zelk's completion: $found"
fi
if command -v fish >/dev/null; then
    # fish offers a command's options only when the command is on the PATH.
    found=$(PATH=$prefix/bin:$PATH HOME=$home XDG_CONFIG_HOME=$home XDG_DATA_HOME=$home \
        XDG_DATA_DIRS=$prefix/share \
        fish -c 'complete -C "zelk -" | cut -f1 | sort; functions --details __zelk_options_allowed' 2>&1) ||
        true
    expected="-g
-p
-r
-w
$prefix/share/fish/vendor_completions.d/zelk.fish"
    [ "$found" = "$expected" ] || fail "fish did not load zelk's completion: $found"
fi

echo "installed bin/zelk, share/man/man1/zelk.1, share/doc/zelk/LICENSE and the bash, zsh and fish completions"
