# fish completion for quarnel-view
complete -c quarnel-view -l write -d 'Let a block device be written'
# The value goes in the same word, as --color=always.
complete -c quarnel-view -l color -f -a 'auto always never' -d 'Colour the bytes by their class'
complete -c quarnel-view -l help -d 'Show the usage'
complete -c quarnel-view -l version -d 'Show the version'
