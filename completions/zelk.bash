# bash completion for zelk                                 -*- shell-script -*-

# Options before the first operand, the argument of -g, -r or -w left to the
# user, file names for operands. Scanning follows getopt as zelk runs it:
# options end at "--" or at the first operand, and in a cluster such as -pw
# the first of g, r and w takes the rest of the word or else the next word.
_zelk() {
    local cur=${COMP_WORDS[COMP_CWORD]} word state=options i
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $state in
            argument) state=options ;;
            options)
                if [[ $word == -- || $word == - || $word != -* ]]; then
                    state=operands
                elif [[ $word =~ ^-[^grw]*[grw]$ ]]; then
                    state=argument
                fi
                ;;
        esac
    done

    COMPREPLY=()
    case $state in
        argument) return ;;
        options)
            if [[ $cur =~ ^-[^grw]*$ ]]; then
                mapfile -t COMPREPLY < <(compgen -W '-p -g -r -w' -- "$cur")
                return
            fi
            [[ $cur == -* ]] && return # the argument of -g, -r or -w in the same word
            ;;
    esac
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}
complete -F _zelk zelk
