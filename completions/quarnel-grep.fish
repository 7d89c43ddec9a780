# fish completion for quarnel-grep
complete -c quarnel-grep -s A -l after-context -x -d 'Show N lines after each match'
complete -c quarnel-grep -s B -l before-context -x -d 'Show N lines before each match'
complete -c quarnel-grep -s C -l context -x -d 'Show N lines around each match'
complete -c quarnel-grep -s m -l max-count -x -d 'Stop after N matches'
complete -c quarnel-grep -s c -l count -d 'Show the number of matches in each file'
complete -c quarnel-grep -s l -l files-with-matches -d 'Show the names of files with a match'
complete -c quarnel-grep -s q -l quiet -l silent -d 'Show nothing: the exit status tells'
complete -c quarnel-grep -l offsets -d 'Show the offset of each match'
# The value goes in the same word, as --color=always.
complete -c quarnel-grep -l color -f -a 'auto always never' -d 'Colour the matched bytes'
complete -c quarnel-grep -l help -d 'Show the usage'
complete -c quarnel-grep -l version -d 'Show the version'
