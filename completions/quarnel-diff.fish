# fish completion for quarnel-diff
complete -c quarnel-diff -s U -l unified -x -d 'Show N lines of context'
# The value goes in the same word, as --color=always.
complete -c quarnel-diff -l color -f -a 'auto always never' -d 'Colour the changes'
complete -c quarnel-diff -l same-offsets -d 'Compare bytes at the same offsets only'
complete -c quarnel-diff -l stat -d 'Sum up the changes instead of the diff'
complete -c quarnel-diff -l help -d 'Show the usage'
complete -c quarnel-diff -l version -d 'Show the version'
complete -c quarnel-diff -l progress -f -a 'auto always never' -d 'Show how far the work has got'
