# bash completion for quarnel, unquarnel, quarnel-diff, quarnel-grep and
# quarnel-as.
# Installed under each program's name, so that bash-completion loads it for
# whichever of them is completed first.

# Names of files and folders that begin with the word being completed.
_quarnel_files() {
  compopt -o filenames 2>/dev/null
  mapfile -t COMPREPLY < <(compgen -f -- "$1")
}

# The options in $2 that begin with $1; one that ends in "=" takes its value
# in the same word, so no space follows it.
_quarnel_options() {
  mapfile -t COMPREPLY < <(compgen -W "$2" -- "$1")
  if [[ ${#COMPREPLY[@]} == 1 && ${COMPREPLY[0]} == *= ]]; then
    compopt -o nospace 2>/dev/null
  fi
}

# Sets option and value when the word being completed is the value of
# "--name=value", which bash splits into "--name", "=" and "value".
_quarnel_split_value() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  option='' value=''
  if [[ $cur == = ]]; then
    option=$prev
  elif [[ $prev == = && COMP_CWORD -ge 2 ]]; then
    option=${COMP_WORDS[COMP_CWORD - 2]} value=$cur
  fi
  [[ -n $option ]]
}

# True when a word before the one being completed ended the options: "--",
# or a name that is not the value of one of the options in $1.
_quarnel_options_ended() {
  local i word
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if [[ $word == = ]]; then
      ((i++))  # the value of --name=value
    elif [[ $word == -- || $word == - || $word != -* ]]; then
      return 0
    elif [[ " $1 " == *" $word "* && ${COMP_WORDS[i + 1]} != = ]]; then
      ((i++))
    fi
  done
  return 1
}

# quarnel [-OFFSET | -xHEX | -h] [FILE...]: the first word without a dash
# ends the options ("--" does not), and every word after it is a file.
_quarnel() {
  local cur=${COMP_WORDS[COMP_CWORD]} i
  COMPREPLY=()
  for ((i = 1; i < COMP_CWORD; i++)); do
    if [[ ${COMP_WORDS[i]} != -* ]]; then
      _quarnel_files "$cur"
      return
    fi
  done
  if [[ $cur == -* ]]; then
    _quarnel_options "$cur" '-h -x'
    [[ ${COMPREPLY[*]} == -x ]] && compopt -o nospace 2>/dev/null
  else
    _quarnel_files "$cur"
  fi
}

# unquarnel [-p FILE | -o FILE] [--no-journal] [-R] [--from=LAYOUT] [--progress[=WHEN]] [--] [DUMP...]
# unquarnel --recover FILE
_unquarnel() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} option value
  COMPREPLY=()
  if _quarnel_split_value; then
    case $option in
      --from) _quarnel_options "$value" 'quarnel xxd xxd-e xxd-d xxd-e-d xxd-plain xxd-c hexdump od od-d od-x hex cpp rust' ;;
      --patch | --output | --recover) _quarnel_files "$value" ;;
      --progress) _quarnel_options "$value" 'auto always never' ;;
    esac
    return
  fi
  if _quarnel_options_ended '-p --patch -o --output --recover'; then
    _quarnel_files "$cur"
    return
  fi
  case $prev in
    -p | --patch | -o | --output | --recover) _quarnel_files "$cur"; return ;;
  esac
  if [[ $cur == -* ]]; then
    _quarnel_options "$cur" '-p --patch --patch= -o --output --output= --no-journal -R --reverse
      --from= --progress --progress= --recover --recover= --help --version --'
  else
    _quarnel_files "$cur"
  fi
}

# quarnel-diff [-U N] [--same-offsets] [--stat] [--color[=WHEN]] [--progress[=WHEN]] [--] OLD NEW
_quarnel_diff() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} option value
  COMPREPLY=()
  if _quarnel_split_value; then
    [[ $option == --color || $option == --progress ]] && _quarnel_options "$value" 'auto always never'
    return
  fi
  if _quarnel_options_ended '-U --unified'; then
    _quarnel_files "$cur"
    return
  fi
  case $prev in
    -U | --unified) return ;;  # a number of lines
  esac
  if [[ $cur == -* ]]; then
    _quarnel_options "$cur" '-U --unified= --same-offsets --stat --color --color= --progress --progress=
      --help --version --'
  else
    _quarnel_files "$cur"
  fi
}

# quarnel-grep [-A N] [-B N] [-C N] [-m N] [-i] [-c | -l | -q | --offsets] [-h | -H]
#              [-r | -R] [--include=GLOB] [--exclude=GLOB] [--exclude-dir=GLOB]
#              [--color[=WHEN]] [--progress[=WHEN]] [--] {PATTERN | -e PATTERN... | -f FILE...} [FILE...]
# The pattern, the first word after the options, is the user's to type;
# the words after it are files. After -e or -f every word is a file.
_quarnel_grep() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} option value i word
  local takes_value=' -A -B -C -m -e -f --after-context --before-context --context --max-count --regexp --file
    --include --exclude --exclude-dir '
  local patterns=
  COMPREPLY=()
  if _quarnel_split_value; then
    [[ $option == --color || $option == --progress ]] && _quarnel_options "$value" 'auto always never'
    [[ $option == --file ]] && _quarnel_files "$value"
    return
  fi
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if [[ $word == = ]]; then
      ((i++))
    elif [[ $word == -- ]]; then
      ((i + 1 < COMP_CWORD)) && _quarnel_files "$cur"
      return
    elif [[ $word != -* || $word == - ]]; then
      _quarnel_files "$cur"
      return
    fi
    [[ $word == -[ef]* || $word == --regexp* || $word == --file* ]] && patterns=yes
    if [[ $takes_value == *" $word "* && ${COMP_WORDS[i + 1]} != = ]]; then
      ((i++))
    fi
  done
  case $prev in
    -f | --file) _quarnel_files "$cur"; return ;;
  esac
  [[ $takes_value == *" $prev "* ]] && return  # a number or a pattern
  if [[ $cur == -* ]]; then
    _quarnel_options "$cur" '-A -B -C -m -e -f -i -c -l -q -h -H -r -R --after-context= --before-context=
      --context= --max-count= --regexp= --file= --ignore-case --count --count-matches
      --files-with-matches --quiet --offsets --with-pattern --no-filename --with-filename
      --recursive --dereference-recursive --include= --exclude= --exclude-dir= --color
      --color= --progress --progress= --help --version --'
  elif [[ -n $patterns ]]; then
    _quarnel_files "$cur"
  fi
}

# quarnel-as LAYOUT [OPTIONS] [--] [FILE...]: the layout first, then the
# options that layout takes, then files.
_quarnel_as() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} options
  COMPREPLY=()
  if ((COMP_CWORD == 1)); then
    _quarnel_options "$cur" 'xxd xxd-e xxd-d xxd-e-d xxd-plain xxd-c hexdump od od-d od-x cpp rust hex quarnel
      --help --version'
    return
  fi
  case ${COMP_WORDS[1]} in
    xxd | xxd-d) options='-c -g -u -e -b -d -o -a --squeeze -E --charset= --color' ;;
    xxd-e | xxd-e-d) options='-c -g -u -e -d -o -a --squeeze -E --charset= --color' ;;
    xxd-plain) options='-c --color' ;;
    xxd-c) options='-c -n -C' ;;
    cpp | rust) options='-c -n' ;;
    hex) options='-c -u --color' ;;
    hexdump) options='-v --charset= --color' ;;
    od | od-d | od-x) options='-A -w -v --charset= --color' ;;
    *) options='' ;;
  esac
  local i word
  for ((i = 2; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if [[ $word == -- || $word == - || $word != -* ]]; then
      _quarnel_files "$cur"
      return
    elif [[ " -c -g -o -n -A -w -s -l " == *" $word "* ]]; then
      ((i++))
    fi
  done
  case $prev in
    -A) _quarnel_options "$cur" 'x d o n'; return ;;
    -c | -g | -o | -n | -w | -s | -l) return ;;  # a number or a name
  esac
  if [[ $cur == -* ]]; then
    _quarnel_options "$cur" "$options -s -l --progress --progress= --"
  else
    _quarnel_files "$cur"
  fi
}

complete -F _quarnel quarnel
complete -F _unquarnel unquarnel
complete -F _quarnel_diff quarnel-diff
complete -F _quarnel_grep quarnel-grep
complete -F _quarnel_as quarnel-as

# quarnel-view [--write] [--color[=WHEN]] [--] [FILE]
_quarnel_view() {
  local cur=${COMP_WORDS[COMP_CWORD]} option value
  COMPREPLY=()
  if _quarnel_split_value; then
    [[ $option == --color ]] && _quarnel_options "$value" 'auto always never'
    return
  fi
  if _quarnel_options_ended ''; then
    _quarnel_files "$cur"
  elif [[ $cur == -* ]]; then
    _quarnel_options "$cur" '--write --color --color= --help --version --'
  else
    _quarnel_files "$cur"
  fi
}
complete -F _quarnel_view quarnel-view
