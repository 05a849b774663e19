#!/usr/bin/env zsh
# complete_zsh.zsh COMPLETIONS_DIR LINE...
#
# Starts an interactive zsh on a pseudo-terminal with compinit and the _zelk
# found in COMPLETIONS_DIR, types each LINE and a Tab, and prints "== LINE"
# followed by the candidates offered there, sorted, one per line. compadd is
# wrapped so that every candidate is also written to a log, which the widget
# bound to Tab brackets with <begin> and <end>; the screen is never parsed.
emulate -L zsh
zmodload zsh/zpty || exit 1
dir=${1:A}
shift
log=$(mktemp) || exit 1
trap 'zpty -d shell 2>/dev/null; rm -f $log' EXIT

# Waits until the log holds $1, reading the terminal meanwhile so that the
# inner shell never blocks on a full pseudo-terminal.
await() {
    local chunk i
    for i in {1..200}; do
        while zpty -r -t shell chunk 2>/dev/null; do :; done
        [[ -s $log && $(<$log) == *$1* ]] && return 0
        sleep 0.05
    done
    print -u2 "complete_zsh: no $1 from the inner shell within 10 s; its log:"
    cat $log >&2
    return 1
}

zpty shell zsh -f -i
zpty -w shell "PS1='' RPS1=''; bindkey -e; log=${(q)log}"
zpty -w shell "fpath=(${(q)dir} \$fpath); autoload -Uz compinit && compinit -u -D"
zpty -w shell 'compadd() {
    if (( ${@[(I)-[OAD]*]} )); then builtin compadd "$@"; return; fi
    local -a hits
    builtin compadd -O hits "$@"
    (( $#hits )) && print -rl -- $hits >>$log
    builtin compadd "$@"
}'
zpty -w shell '_capture() { print -r -- "<begin>" >>$log; _main_complete; print -r -- "<end>" >>$log }'
zpty -w shell 'zle -C capture complete-word _capture && bindkey "^I" capture'
zpty -w shell 'print -r -- "<ready ${_comps[zelk]}>" >>$log'
await '<ready' || exit 1
if [[ $(<$log) != '<ready _zelk>' ]]; then
    print -u2 "complete_zsh: compinit did not bind _zelk to zelk: $(<$log)"
    exit 1
fi

for line in "$@"; do
    : >$log
    zpty -n -w shell "$line"$'\t'
    await '<end>' || exit 1
    zpty -n -w shell $'\C-u'  # clear the line for the next one
    print -r -- "== $line"
    grep -v '^<' $log | sort -u
done
