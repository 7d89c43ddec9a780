#!/usr/bin/env bash
# The shell completions, loaded the way each shell loads them: bash's is
# sourced and its functions called as bash calls them on TAB; TAB is typed
# into an interactive bash and zsh on a pseudo-terminal; fish loads its own
# for a program on PATH and answers `complete -C`; zsh's compinit maps the
# programs to its one.
# Usage: completions_test.sh COMPLETIONS_DIR PROGRAMS_DIR
set -uo pipefail
completions=$(cd "$1" && pwd)
programs=$(cd "$2" && pwd)
failures=0
check() {  # what got expected
  if [[ "$2" != "$3" ]]; then
    printf 'FAIL %s\n  got:      %s\n  expected: %s\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  fi
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" && touch dump.txt data.bin ./-n.bin

source "$completions/quarnel.bash"
check 'complete -p' "$(complete -p quarnel unquarnel quarnel-diff quarnel-grep quarnel-as quarnel-view)" \
'complete -F _quarnel quarnel
complete -F _unquarnel unquarnel
complete -F _quarnel_diff quarnel-diff
complete -F _quarnel_grep quarnel-grep
complete -F _quarnel_as quarnel-as
complete -F _quarnel_view quarnel-view'

# The words of a command line as bash splits them at "=", the last one
# being completed; prints the sorted replies on one line.
replies() {
  local COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMPREPLY=() function
  function=$(complete -p "$1" | awk '{ print $3 }')
  "$function" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' '
}
while IFS='|' read -r words expected; do
  read -ra line <<<"$words"
  [[ $words == *' ' ]] && line+=('')
  check "bash: $words" "$(replies "${line[@]}")" "$expected"
done <<'CASES'
unquarnel --pa|--patch --patch=
unquarnel --pr|--progress --progress=
unquarnel -|-- --from= --help --no-journal --output --output= --patch --patch= --progress --progress= --recover --recover= --reverse --version -R -o -p
unquarnel --rec|--recover --recover=
unquarnel --recover d|data.bin dump.txt
unquarnel --from = x|xxd xxd-c xxd-d xxd-e xxd-e-d xxd-plain
unquarnel --from =|cpp hex hexdump od od-d od-x quarnel rust xxd xxd-c xxd-d xxd-e xxd-e-d xxd-plain
unquarnel -p d|data.bin dump.txt
unquarnel --patch = du|dump.txt
unquarnel --from = xxd --r|--recover --recover= --reverse
unquarnel -o out -R -|-- --from= --help --no-journal --output --output= --patch --patch= --progress --progress= --recover --recover= --reverse --version -R -o -p
unquarnel dump.txt -|-n.bin
unquarnel -- -|-n.bin
quarnel -|-h -x
quarnel -x10 -|-h -x
quarnel data.bin -|-n.bin
quarnel -- -|-h -x
quarnel du|dump.txt
quarnel-diff --c|--color --color=
quarnel-diff --color = a|always auto
quarnel-diff -U |
quarnel-diff -U 3 d|data.bin dump.txt
quarnel-diff --unified = 3 -|-- --color --color= --help --progress --progress= --same-offsets --stat --unified= --version -U
quarnel-diff data.bin -|-n.bin
quarnel-grep --c|--color --color= --context= --count --count-matches
quarnel-grep --ig|--ignore-case
quarnel-grep --ex|--exclude-dir= --exclude=
quarnel-grep --include '*.so' -|-- --after-context= --before-context= --color --color= --context= --count --count-matches --dereference-recursive --exclude-dir= --exclude= --file= --files-with-matches --help --ignore-case --include= --max-count= --no-filename --offsets --progress --progress= --quiet --recursive --regexp= --version --with-filename --with-pattern -A -B -C -H -R -c -e -f -h -i -l -m -q -r
quarnel-grep --with-p|--with-pattern
quarnel-grep -e 41 d|data.bin dump.txt
quarnel-grep -f d|data.bin dump.txt
quarnel-grep --file = d|data.bin dump.txt
quarnel-grep -A |
quarnel-grep -A 2 |
quarnel-grep -A 2 41 d|data.bin dump.txt
quarnel-grep --context = 2 -- |
quarnel-grep -- 41 -|-n.bin
quarnel-grep --color = n|never
quarnel-grep 41 data.bin -|-n.bin
quarnel-as x|xxd xxd-c xxd-d xxd-e xxd-e-d xxd-plain
quarnel-as xxd-c -|-- --progress --progress= -C -c -l -n -s
quarnel-as rust -|-- --progress --progress= -c -l -n -s
quarnel-as od --ch|--charset=
quarnel-as od -A |d n o x
quarnel-as hexdump -v d|data.bin dump.txt
quarnel-as xxd -c 8 -- -|-n.bin
quarnel-view -|-- --color --color= --help --version --write
quarnel-view --color = a|always auto
quarnel-view d|data.bin dump.txt
quarnel-view -- -|-n.bin
CASES

# The command names themselves, from PATH.
# The viewer is built where curses is.
viewer=
[[ -x $programs/quarnel-view ]] && viewer=' quarnel-view'
check 'bash: quarnel-' "$(PATH=$programs compgen -c quarnel- | sort -u | paste -sd ' ')" \
  "quarnel-as quarnel-diff quarnel-grep$viewer"

# A real TAB, typed into an interactive shell on a terminal: the line as
# the shell leaves it after the prompt, once it is the one expected or ten
# seconds have gone. Usage: typed SHELL SETUP WORDS EXPECTED
typed() {
  PATH="$programs:$PATH" python3 - "$@" <<'PYTHON'
import os, pty, re, select, signal, sys, time
shell, setup, words, expected = sys.argv[1:]
pid, fd = pty.fork()
if pid == 0:
    os.environ.update(PS1="$ ", TERM="dumb", INPUTRC="/dev/null")
    os.execvp(shell, [shell, "-f" if shell == "zsh" else "--norc", "-i"])
def screen(until):
    output, end = b"", time.monotonic() + 10
    while time.monotonic() < end:
        if select.select([fd], [], [], 0.1)[0]:
            output += os.read(fd, 4096)
        text = re.sub(r"\x1b\[[?0-9;]*[A-Za-z]|[\a\r]", "", output.decode(errors="replace"))
        if until(text):
            break
    return text
def line(text):
    return text.split("\n")[-1].split("$ ")[-1]
# The shell says READY once the setup has run; its echo of the line does not.
os.write(fd, setup.encode() + b"; echo RE''ADY\n")
screen(lambda text: "\nREADY\n" in text)
os.write(fd, words.encode() + b"\t")
text = screen(lambda text: line(text) == expected)
os.kill(pid, signal.SIGKILL)
os.waitpid(pid, 0)
print(line(text))
PYTHON
}
if command -v python3 >/dev/null; then
  load_bash="source '$completions/quarnel.bash'"
  check 'bash, typed: quarnel-g<TAB>' "$(typed bash "$load_bash" quarnel-g 'quarnel-grep ')" \
    'quarnel-grep '
  check 'bash, typed: unquarnel --pa<TAB>' \
    "$(typed bash "$load_bash" 'unquarnel --pa' 'unquarnel --patch')" 'unquarnel --patch'
  if command -v zsh >/dev/null; then
    load_zsh="fpath=('$completions' \$fpath); autoload -U compinit; compinit -u -D"
    while IFS='|' read -r words expected; do
      check "zsh, typed: $words<TAB>" "$(typed zsh "$load_zsh" "$words" "$expected")" "$expected"
    done <<'CASES'
unquarnel --pa|unquarnel --patch=
unquarnel --from=hexd|unquarnel --from=hexdump 
quarnel-diff --color=al|quarnel-diff --color=always 
quarnel-diff -U 3 du|quarnel-diff -U 3 dump.txt 
quarnel du|quarnel dump.txt 
quarnel-grep 41 du|quarnel-grep 41 dump.txt 
quarnel-as xxd-p|quarnel-as xxd-plain 
CASES
  fi
else
  echo 'python3 is not installed: no TAB is typed into a terminal'
fi

if command -v fish >/dev/null; then
  while IFS='|' read -r line expected; do
    got=$(PATH="$programs:$PATH" fish -c "set -p fish_complete_path $(printf '%q' "$completions"); complete -C '$line'" |
      cut -f1 | sort | paste -sd ' ')
    check "fish: $line" "$got" "$expected"
  done <<'CASES'
unquarnel --pa|--patch
unquarnel --from=x|--from=xxd --from=xxd-c --from=xxd-d --from=xxd-e --from=xxd-e-d --from=xxd-plain
unquarnel -p du|dump.txt
unquarnel --rec|--recover
quarnel-diff --color=a|--color=always --color=auto
quarnel-diff --u|--unified
quarnel -|-h -n.bin -x
quarnel-grep --of|--offsets
quarnel-grep --with-p|--with-pattern
quarnel-grep --color=n|--color=never
quarnel-as hexd|hexdump
quarnel-as od -A|-Ad -An -Ao -Ax
CASES
  # fish completes a program it finds on PATH.
  if [[ -n $viewer ]]; then
    got=$(PATH="$programs:$PATH" fish -c "set -p fish_complete_path $(printf '%q' "$completions"); complete -C 'quarnel-view --w'" |
      cut -f1 | sort | paste -sd ' ')
    check "fish: quarnel-view --w" "$got" "--write"
  fi
else
  echo 'fish is not installed: its completions are not tested'
fi

if command -v zsh >/dev/null; then
  got=$(zsh -fc "fpath=($(printf '%q' "$completions") \$fpath); autoload -U compinit
    compinit -u -D; print \$_comps[quarnel] \$_comps[unquarnel] \$_comps[quarnel-diff] \$_comps[quarnel-grep] \$_comps[quarnel-as] \$_comps[quarnel-view]")
  check 'zsh: compinit' "$got" '_quarnel _quarnel _quarnel _quarnel _quarnel _quarnel'
  check 'zsh: syntax' "$(zsh -n "$completions/_quarnel" 2>&1)" ''
else
  echo 'zsh is not installed: its completions are not tested'
fi
exit $((failures > 0))
