#!/usr/bin/env bash
# Writes the dumps that the real xxd, hexdump and od make of small inputs
# under many flags, for the test that reads them all back (ReadingSweep).
# Usage: sweep-dumps.sh FOLDER [full|sample|small]: a sample keeps a
# quarter of the full grid's cases, chosen by the seed in QUARNEL_SWEEP_SEED
# (1 when unset), and QUARNEL_SWEEP_GRID overrides the grid. For each case it writes NAME.dump,
# what the tool wrote, NAME.in, its input, NAME.bin, the bytes the dump
# shows, and a line of FOLDER/cases: NAME GROUP READING ADDRESSED WHAT,
# where READING is the --from name of the flags' reading, ADDRESSED says
# whether the addresses are the bytes' places in the file, and WHAT is the
# command and its input. A tool that is missing leaves its cases
# out; with none at all, the folder holds an empty list.
set -euo pipefail
out=$1
grid=${QUARNEL_SWEEP_GRID:-${2:-full}}
RANDOM=${QUARNEL_SWEEP_SEED:-1}
echo "grid: $grid, seed ${QUARNEL_SWEEP_SEED:-1}"
rm -rf "$out"
mkdir -p "$out"
: >"$out/cases"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# GROUP READING ADDRESSED TOOL FLAGS...; the groups are the layouts, and
# "words" the dumps whose bytes are not in the text as bytes.
flag_sets=(
  "xxd xxd yes xxd" "xxd xxd yes xxd -u" "xxd xxd yes xxd -g1" "xxd xxd yes xxd -g0"
  "xxd xxd yes xxd -g3" "xxd xxd yes xxd -g4" "xxd xxd yes xxd -g8 -c32" "xxd xxd yes xxd -c1"
  "xxd xxd yes xxd -c4" "xxd xxd yes xxd -c12" "xxd xxd yes xxd -c17" "xxd xxd yes xxd -c256"
  "xxd xxd yes xxd -a" "xxd xxd yes xxd -s 5" "xxd xxd yes xxd -l 10" "xxd xxd no xxd -o 256"
  "xxd-b xxd yes xxd -b" "xxd-b xxd yes xxd -b -c4"
  "xxd-e xxd-e yes xxd -e" "xxd-e xxd-e yes xxd -e -g2" "xxd-e xxd-e yes xxd -e -g8"
  "xxd-d xxd-d yes xxd -d" "xxd-d xxd-d yes xxd -d -c8" "xxd-d xxd-d yes xxd -d -s 5"
  "xxd-plain xxd-plain no xxd -p" "xxd-plain xxd-plain no xxd -p -c4"
  "xxd-plain xxd-plain no xxd -p -c1" "xxd-plain xxd-plain no xxd -u -p -c16"
  "xxd-c xxd-c no xxd -i" "xxd-c xxd-c no xxd -i -C" "xxd-c xxd-c no xxd -i -c4"
  "hexdump hexdump yes hexdump -C" "hexdump hexdump yes hexdump -C -v"
  "hexdump hexdump yes hexdump -C -s 3" "hexdump hexdump yes hexdump -C -n 7"
  "od od yes od -t x1" "od od yes od -t x1z" "od od yes od -v -t x1" "od od yes od -t x1 -w1"
  "od od yes od -t x1 -w3" "od od yes od -j 3 -t x1" "od od yes od -N 5 -t x1"
  "od od-x yes od -A x -t x1" "od od-x yes od -A x -t x1z" "od od-x yes od -A x -j 3 -t x1 -w3"
  "od od-d yes od -A d -t x1" "od od-d yes od -A d -t x1z -w4" "od od-d yes od -A d -t x1 -w1"
  "od od-d yes od -A d -j 3 -t x1" "od od-d yes od -A d -j 3 -t x1 -w4"
  "od od no od -A n -t x1" "od od no od -A n -t x1z"
  "words any no od -x" "words any no od -t x2" "words any no od -t x4" "words any no od -t u1"
  "words any no od -t o1" "words any no od -b" "words any no od -c" "words any no hexdump"
  "words any no hexdump -x" "words any no hexdump -d" "words any no hexdump -c"
)
sizes=(1 2 3 4 5 7 8 15 16 17 33 64)
kinds=(text binary zeros)
# Data shaped as files are, seeded: indented lines, text led by blanks,
# records repeated with a few bytes changed, padding after a header,
# blanks and dots. A column found by its blanks, or a reading by a lead
# of characters, reads these wrong.
shaped_sizes=(17 40 100)
shaped_kinds=(indented blank-led records padding blanks-dots)
if [[ $grid == small ]]; then
  sizes=(1 4 15 16 17)
  kinds=(binary zeros)
  shaped_sizes=(40)
fi

# Byte i of each kind: printable ASCII, every value, or zero; or a shape.
make_input() {
  LC_ALL=C awk -v n="$2" -v kind="$1" 'BEGIN {
    srand(n * 31 + length(kind))
    split("def return self int char if else for the of value x", word, " ")
    if (kind == "indented" || kind == "blank-led") {
      text = kind == "blank-led" ? substr("                ", 1, 1 + int(rand() * 16)) : ""
      while (length(text) < n) {
        text = text substr("            ", 1, 4 * int(rand() * 3)) word[1 + int(rand() * 12)] \
               " " word[1 + int(rand() * 12)] (rand() < 0.5 ? ":\n" : "\n")
      }
      printf "%s", substr(text, 1, n)
      exit
    }
    size = 8 + int(rand() * 41)
    for (i = 0; i < size; i++) record[i] = rand() < 0.5 ? int(rand() * 256) : 32 + int(rand() * 95)
    header = int(rand() * 40)
    split("0 255 32 46", pads, " ")
    pad = pads[1 + int(rand() * 4)]
    for (i = 0; i < n; i++) {
      if (kind == "text") printf "%c", 35 + (i * 7) % 90
      else if (kind == "binary") printf "%c", (i * 37 + 11) % 256
      else if (kind == "records") printf "%c", (rand() < 0.05 ? int(rand() * 256) : record[i % size])
      else if (kind == "padding") printf "%c", ((i < header || i + 8 >= n) ? int(rand() * 256) : pad)
      else if (kind == "blanks-dots") printf "%c", (rand() < 0.5 ? 32 : 46)
      else printf "%c", 0
    } }' >"$work/sample"
}

# The bytes the flags show: -s and -j skip, -l, -n and -N stop.
shown() {
  local skip=0 count=-1
  shift
  while (($# > 0)); do
    case $1 in
      -s | -j) skip=$2; shift ;;
      -l | -n | -N) count=$2; shift ;;
    esac
    shift
  done
  if ((skip == 0 && count < 0)); then
    cat "$work/sample"
  elif ((count < 0)); then
    tail -c +$((skip + 1)) "$work/sample"
  else
    tail -c +$((skip + 1)) "$work/sample" | head -c "$count"
  fi
}

inputs=()
for kind in "${kinds[@]}"; do
  for size in "${sizes[@]}"; do
    inputs+=("$kind $size")
  done
done
for kind in "${shaped_kinds[@]}"; do
  for size in "${shaped_sizes[@]}"; do
    inputs+=("$kind $size")
  done
done
for input in "${inputs[@]}"; do
  read -r kind size <<<"$input"
  make_input "$kind" "$size"
  mv "$work/sample" "$work/$kind-$size"
done
number=0
for flag_set in "${flag_sets[@]}"; do
  # shellcheck disable=SC2206
  words=($flag_set)
  read -r group reading addressed <<<"${words[*]:0:3}"
  command_words=("${words[@]:3}")
  command -v "${command_words[0]}" >/dev/null || continue
  for input in "${inputs[@]}"; do
    read -r kind size <<<"$input"
    cp "$work/$kind-$size" "$work/sample"
    number=$((number + 1))
    [[ $grid != sample ]] || ((RANDOM % 4 == 0)) || continue
    name=$(printf 'case%04d' "$number")
    (cd "$work" && "${command_words[@]}" sample) >"$out/$name.dump" 2>/dev/null || true
    shown "${command_words[@]}" >"$out/$name.bin"
    cp "$work/sample" "$out/$name.in"
    printf '%s %s %s %s %s\n' "$name" "$group" "$reading" "$addressed" \
      "${command_words[*]} ($kind, $size bytes)" >>"$out/cases"
  done
done
