# fish completion for quarnel
complete -c quarnel -s h -d 'Show the banner and usage'
complete -c quarnel -s x -x -d 'Start at a hexadecimal offset, as -xOFFSET'
