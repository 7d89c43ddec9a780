# fish completion for unquarnel
complete -c unquarnel -s p -l patch -r -F -d 'Patch FILE in place from the dumps or a diff'
complete -c unquarnel -s o -l output -r -F -d 'Write the bytes to FILE, replacing it whole'
complete -c unquarnel -s R -l reverse -d 'Apply a diff backwards'
complete -c unquarnel -l no-journal -d 'Patch without a journal beside FILE'
complete -c unquarnel -l recover -r -F -d 'Roll back a patch of FILE stopped midway'
# The value goes in the same word, as --from=xxd.
complete -c unquarnel -l from -f -a 'quarnel xxd xxd-e xxd-d xxd-e-d xxd-plain xxd-c hexdump od od-d od-x hex cpp rust' -d 'Read the dumps in this layout'
complete -c unquarnel -l help -d 'Show the usage'
complete -c unquarnel -l version -d 'Show the version'
complete -c unquarnel -l progress -f -a 'auto always never' -d 'Show how far the work has got'
