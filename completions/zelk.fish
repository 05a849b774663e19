# fish completion for zelk

# Whether the words before the cursor still allow an option: zelk stops
# scanning options at "--" or at the first operand, as getopt does.
function __zelk_options_allowed
    set -l takes_argument 0
    for word in (commandline -opc)[2..-1]
        if test $takes_argument = 1
            set takes_argument 0
        else if contains -- $word -- -; or not string match -q -- '-*' $word
            return 1
        else if string match -qr -- '^-[^grw]*[grw]$' $word
            set takes_argument 1
        end
    end
    return 0
end

set -l allowed '__zelk_options_allowed'
complete -c zelk -n $allowed -s p -d 'Plain output, no colour escapes'
complete -c zelk -n $allowed -s g -x -d 'Bytes per group (0 for no groups)'
complete -c zelk -n $allowed -s r -x -d 'Dump only a byte range (START-END, START+SIZE, ...)'
complete -c zelk -n $allowed -s w -x -d 'Bytes per line (1 to 1048576)'
