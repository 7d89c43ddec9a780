# fish completion for quarnel-as
set -l layouts xxd xxd-e xxd-d xxd-e-d xxd-plain xxd-c hexdump od od-d od-x cpp rust hex quarnel
complete -c quarnel-as -n "not __fish_seen_subcommand_from $layouts" -f -a "$layouts" -d 'Layout'
complete -c quarnel-as -s s -x -d 'Start at OFFSET; -N: N bytes before the end'
complete -c quarnel-as -s l -x -d 'Write N bytes at most'
complete -c quarnel-as -n '__fish_seen_subcommand_from xxd xxd-e xxd-d xxd-e-d xxd-plain xxd-c cpp rust hex' -s c -x -d 'Bytes a line'
complete -c quarnel-as -n '__fish_seen_subcommand_from xxd xxd-e xxd-d xxd-e-d' -s g -x -d 'Bytes a group'
complete -c quarnel-as -n '__fish_seen_subcommand_from xxd xxd-e xxd-d xxd-e-d hex' -s u -d 'Hex digits in upper case'
complete -c quarnel-as -n '__fish_seen_subcommand_from xxd xxd-d' -s e -d 'Little-endian groups'
complete -c quarnel-as -n '__fish_seen_subcommand_from xxd xxd-d' -s b -d 'Bits'
complete -c quarnel-as -n '__fish_seen_subcommand_from xxd xxd-e xxd-d xxd-e-d' -s d -d 'Decimal addresses'
complete -c quarnel-as -n '__fish_seen_subcommand_from xxd xxd-e xxd-d xxd-e-d' -s o -x -d 'Add OFFSET to the addresses'
complete -c quarnel-as -n '__fish_seen_subcommand_from xxd xxd-e xxd-d xxd-e-d' -s a -l squeeze -d 'A * for runs of lines of zeros'
complete -c quarnel-as -n '__fish_seen_subcommand_from xxd-c cpp rust' -s n -x -d "The array's name"
complete -c quarnel-as -n '__fish_seen_subcommand_from xxd-c' -s C -d "The array's name in capitals"
complete -c quarnel-as -n '__fish_seen_subcommand_from hexdump od od-d od-x' -s v -d 'Every line, none squeezed'
complete -c quarnel-as -n '__fish_seen_subcommand_from od od-d od-x' -s A -x -a 'x d o n' -d 'Addresses'
complete -c quarnel-as -n '__fish_seen_subcommand_from od od-d od-x' -s w -x -d 'Bytes a line'
complete -c quarnel-as -n '__fish_seen_subcommand_from xxd xxd-e xxd-d xxd-e-d' -s E -d 'The characters read as EBCDIC'
complete -c quarnel-as -n '__fish_seen_subcommand_from xxd xxd-e xxd-d xxd-e-d hexdump od od-d od-x' -l charset -x -a 'ascii latin1 ebcdic' -d "The character column's characters"
complete -c quarnel-as -n '__fish_seen_subcommand_from xxd xxd-e xxd-d xxd-e-d xxd-plain hexdump od od-d od-x hex' -l color -l colour -f -a 'auto always never' -d 'Colour each byte by its class'
complete -c quarnel-as -l help -d 'Show the usage'
complete -c quarnel-as -l version -d 'Show the version'
complete -c quarnel-as -l progress -f -a 'auto always never' -d 'Show how far the work has got'
