#!/bin/sh
# Loads zelk's completion for one shell from the source tree and checks what
# it offers: the four options after "-", nothing after an option that takes
# an argument (the value is the user's own), and file names for operands.
# Exits 77, which ctest reports as skipped, when the shell is not installed.
#
# completion_test.sh bash|zsh|fish COMPLETIONS_DIR TESTS_DIR
set -eu
shell=$1 completions=$(cd "$2" && pwd) tests=$(cd "$3" && pwd)

if ! command -v "$shell" >/dev/null 2>&1; then
    echo "completion_test: $shell is not installed; skipped"
    exit 77
fi
if [ "$shell" = zsh ] && ! zsh -fc 'zmodload zsh/zpty' 2>/dev/null; then
    echo "completion_test: zsh lacks the zsh/zpty module; skipped"
    exit 77
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
: >afile
HOME=$scratch  # whatever a shell keeps for its user stays in the scratch directory
export HOME

# Each case: the command line up to the cursor, then what is offered there.
cases='zelk -|-g -p -r -w
zelk -p -|-g -p -r -w
zelk -g |
zelk -r |
zelk -w |
zelk -pw |
zelk -w 8 -|-g -p -r -w
zelk -w8 -|-g -p -r -w
zelk a|afile
zelk -w 8 a|afile
zelk afile -|
zelk -- -|'

# Sorts the candidates and prints them on one line.
one_line() {
    sort | awk '{ printf "%s%s", sep, $0; sep = " " } END { print "" }'
}

# Prints the candidates offered for each line of standard input, in the
# form "line|candidate candidate ...", candidates sorted.
complete_lines() {
    case $shell in
        bash)
            while IFS= read -r line; do
                printf '%s|' "$line"
                bash --norc --noprofile -c '
                    source "$1" && line=$2
                    read -ra COMP_WORDS <<<"$line"
                    [[ $line == *" " ]] && COMP_WORDS+=("")
                    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE=$line COMP_POINT=${#line}
                    [[ $(complete -p zelk) == "complete -F _zelk zelk" ]] || exit 1
                    _zelk zelk "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
                    ((${#COMPREPLY[@]} == 0)) || printf "%s\n" "${COMPREPLY[@]}"
                ' bash "$completions/zelk.bash" "$line" | one_line
            done
            ;;
        fish)
            while IFS= read -r line; do
                printf '%s|' "$line"
                fish --no-config -c 'source $argv[1]; and complete -C $argv[2]' \
                    "$completions/zelk.fish" "$line" | cut -f1 | one_line
            done
            ;;
        zsh)
            # Completion runs only inside the line editor: the driver types
            # each line into an interactive zsh on a pseudo-terminal.
            tr '\n' '\0' | xargs -0 zsh -f "$tests/complete_zsh.zsh" "$completions" |
                awk '/^== / { if (n++) print line; line = substr($0, 4) "|"; sep = ""; next }
                     { line = line sep $0; sep = " " }
                     END { if (n) print line }'
            ;;
    esac
}

expected=$(printf '%s\n' "$cases")
actual=$(printf '%s\n' "$cases" | cut -d'|' -f1 | complete_lines)
if [ "$actual" != "$expected" ]; then
    echo "completion_test: $shell offered (line|candidates):"
    printf '%s\n' "$actual"
    echo "expected:"
    printf '%s\n' "$expected"
    exit 1
fi
echo "completion_test: $shell: $(printf '%s\n' "$cases" | wc -l) cases passed"
