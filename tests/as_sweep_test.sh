#!/usr/bin/env bash
# quarnel-as against the real xxd, hexdump and od: for each layout and its
# flags, each width and group, and inputs of 0, 1, 15, 16, 17 and 100 bytes
# (random and zeros; and 1000 random ones, whose addresses take letters),
# from a file and from standard input, the output must be the peer's byte
# for byte, and unquarnel must read it back into the input. A peer that is
# missing leaves its cases out. The C++ and Rust arrays of every input are
# read back by unquarnel and compiled into a program that writes their
# bytes back.
# Usage: as_sweep_test.sh QUARNEL_AS UNQUARNEL [full|sample|small] [EMULATOR...]
# A sample keeps a quarter of the full grid's cases, chosen by the seed in
# QUARNEL_SWEEP_SEED (1 when unset); QUARNEL_SWEEP_GRID overrides the grid.
set -uo pipefail
as=$(realpath "$1") unquarnel=$(realpath "$2") grid=${QUARNEL_SWEEP_GRID:-${3:-full}}
shift 3 2>/dev/null || shift $#
RANDOM=${QUARNEL_SWEEP_SEED:-1}
echo "grid: $grid, seed ${QUARNEL_SWEEP_SEED:-1}"
# sampled: whether this case is in the grid.
sampled() {
  [[ $grid != sample ]] || ((RANDOM % 4 == 0))
}
emulator=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2

sizes=(0 1 15 16 17 100)
widths=(1 3 8 16 17 32 256)
groups=(0 1 2 3 4 8)
if [[ $grid == small ]]; then
  sizes=(0 17 100)
  widths=(16 17)
  groups=(2 3)
fi
inputs=()
for size in "${sizes[@]}"; do
  head -c "$size" /dev/urandom >"random$size"
  head -c "$size" /dev/zero >"zeros$size"
  inputs+=("random$size" "zeros$size")
done
head -c 1000 /dev/urandom >random1000
inputs+=(random1000)
# Runs of zeros between other bytes, for the squeezed layouts.
{ head -c 100 /dev/urandom; head -c 80 /dev/zero; head -c 7 /dev/urandom; head -c 33 /dev/zero; } >runs
inputs+=(runs)
all_inputs=("${inputs[@]}")

failures=0 cases=0
# check PEER_COMMAND OURS_ARGS READING [SHORTEST]: the peer's command line
# as a string ("%" for the input), our arguments as a string, the --from
# reading of the output (or "-" for none), and the shortest input to try:
# a start past the end is refused, where the peers differ.
check() {
  local peer=$1 ours=$2 reading=$3 shortest=${4:-0} input
  command -v "${peer%% *}" >/dev/null || return 0
  for input in "${inputs[@]}"; do
    (($(stat -c %s "$input") >= shortest)) || continue
    for from in file stdin; do
      sampled || continue
      local peer_line=${peer//%/$input} our_line="$ours $input"
      if [[ $from == stdin ]]; then
        peer_line="${peer//%/} < $input" our_line="$ours < $input"
      fi
      cases=$((cases + 1))
      eval "$peer_line" >peer.out 2>&1
      eval "${emulator[*]} $as $our_line" >ours.out 2>&1
      if ! cmp -s peer.out ours.out; then
        echo "DIFFERS: $peer_line | quarnel-as $our_line"
        diff peer.out ours.out | head -n 6
        failures=$((failures + 1))
      elif [[ $reading != - && -s ours.out ]] &&
        ! { eval "${emulator[*]} $unquarnel --from=$reading ours.out" >back.bin 2>&1 &&
          cmp -s back.bin "$input"; }; then
        echo "NOT READ BACK: quarnel-as $our_line (--from=$reading)"
        failures=$((failures + 1))
      fi
    done
  done
}

# read_back OURS_ARGS READING: where a peer faults and the sound form is
# written, the output is only read back.
read_back() {
  local ours=$1 reading=$2 input
  for input in "${inputs[@]}"; do
    sampled || continue
    cases=$((cases + 1))
    eval "${emulator[*]} $as $ours $input" >ours.out 2>&1
    if [[ -s ours.out ]] && ! { eval "${emulator[*]} $unquarnel --from=$reading ours.out" >back.bin 2>&1 &&
      cmp -s back.bin "$input"; }; then
      echo "NOT READ BACK: quarnel-as $ours $input (--from=$reading)"
      failures=$((failures + 1))
    fi
  done
}

# xxd -e runs the characters into a last group cut short by the width.
read_back "xxd -e -c 7 -g 4" xxd-e
read_back "xxd -e -c 9 -g 2" xxd-e
read_back "xxd-e-d -c 13 -g 8" xxd-e-d
# Latin-1's characters in UTF-8, and EBCDIC's in the layouts xxd -E has not.
read_back "xxd --charset=latin1 -c 9" xxd
read_back "xxd-e --charset=latin1 -g 8" xxd-e
read_back "hexdump --charset=latin1" hexdump
read_back "od --charset=latin1 -w 7" od
read_back "od-x --charset=ebcdic" od-x
for width in 1 7 16 32; do
  read_back "hex -c $width" hex
done
read_back "hex -u" hex

for width in "${widths[@]}"; do
  for group in "${groups[@]}"; do
    check "xxd -c $width -g $group %" "xxd -c $width -g $group" xxd
  done
  check "xxd -u -c $width %" "xxd -u -c $width" xxd
  check "xxd -b -c $width %" "xxd -b -c $width" xxd
  check "xxd -E -c $width %" "xxd --charset=ebcdic -c $width" xxd
  check "xxd -d -c $width %" "xxd -d -c $width" xxd-d
  check "xxd -a -c $width %" "xxd -a -c $width" xxd
  check "xxd -p -c $width %" "xxd-plain -c $width" xxd-plain
  check "xxd -i -c $width %" "xxd-c -c $width" xxd-c
  check "od -t x1z -w$width %" "od -w $width" od
  check "od -A x -t x1z -w$width %" "od -A x -w $width" od-x
  check "od -A d -t x1z -w$width %" "od-d -w $width" od-d
  check "od -A n -t x1z -w$width %" "od -A n -w $width" -
done
for group in 1 2 4 8 16; do
  check "xxd -e -g $group %" "xxd -e -g $group" xxd-e
  check "xxd -e -d -g $group -c 32 %" "xxd-e-d -g $group -c 32" xxd-e-d
done
check "xxd %" "xxd" xxd
check "xxd -o 256 %" "xxd -o 256" -
check "xxd -s 5 -l 50 %" "xxd -s 5 -l 50" - 6
check "xxd -i -C %" "xxd-c -C" xxd-c
# xxd takes -c 0 for its own width.
check "xxd -c 0 %" "xxd -c 0" xxd
check "xxd -b -c 0 %" "xxd -b -c 0" xxd
check "xxd -e -c 0 %" "xxd -e -c 0" xxd-e
check "xxd -i -c 0 %" "xxd-c -c 0" xxd-c
check "xxd -i -n data %" "xxd-c -n data" xxd-c
# xxd -p and -i take any width; -p writes everything on one line for 0,
# and a line end alone for no bytes, which is no dump to read back.
check "xxd -p -c 0 %" "xxd-plain -c 0" -
for width in 0 257 300 999 4096; do
  ((width == 0)) || check "xxd -p -c $width %" "xxd-plain -c $width" xxd-plain
  check "xxd -i -c $width %" "xxd-c -c $width" xxd-c
done
check "hexdump -C %" "hexdump" hexdump
check "hexdump -C -v %" "hexdump -v" hexdump
check "hexdump -C -s 3 -n 40 %" "hexdump -s 3 -l 40" - 4
check "od -t x1z %" "od" od
check "od -t x1z -v %" "od -v" od
check "od -t x1z -j 3 -N 40 %" "od -s 3 -l 40" - 4

# An input larger than the pieces the program cuts its input into, with
# runs of zeros to squeeze.
{ head -c 200000 /dev/urandom; head -c 70000 /dev/zero; head -c 30001 /dev/urandom; } >big
inputs=(big)
check "xxd %" "xxd" xxd
check "xxd -c 32 -g 4 -a %" "xxd -c 32 -g 4 -a" xxd
check "xxd -i %" "xxd-c" xxd-c
check "xxd -p %" "xxd-plain" xxd-plain
check "xxd -p -c 0 %" "xxd-plain -c 0" -
check "xxd -p -c 70000 %" "xxd-plain -c 70000" -
check "xxd -p -c 4096 %" "xxd-plain -c 4096" xxd-plain
check "xxd -i -c 1365 %" "xxd-c -c 1365" xxd-c
check "hexdump -C %" "hexdump" hexdump
check "od -t x1z %" "od" od
inputs=("${all_inputs[@]}")

# The arrays: read back by unquarnel, then built into a program that
# writes each back to a file, to be compared with its input.
includes='#include <cstdio>' writes='' rust_items='use std::io::Write;' rust_writes=''
for input in "${inputs[@]}"; do
  name=${input^^}
  if ! { eval "${emulator[*]} $as cpp -c 7 -n $input $input" >"$input.h" &&
    eval "${emulator[*]} $as rust -n $name < $input" >"$input.rs"; }; then
    echo "NOT WRITTEN: the arrays of $input"
    failures=$((failures + 1))
  fi
  for written in h rs; do
    cases=$((cases + 1))
    if ! { eval "${emulator[*]} $unquarnel $input.$written" >back.bin 2>&1 &&
      cmp -s back.bin "$input"; }; then
      echo "NOT READ BACK: $input.$written"
      failures=$((failures + 1))
    fi
  done
  includes+=$'\n'"#include \"$input.h\""
  writes+="write(\"$input.cpp.bin\", $input.data(), $input.size());"
  rust_items+=$'\n'"include!(\"$input.rs\");"
  rust_writes+="std::fs::File::create(\"$input.rs.bin\").unwrap().write_all(&$name).unwrap();"
done
printf '%s\n' "$includes" '#include <cstddef>' \
  'static void write(const char* name, const std::uint8_t* bytes, std::size_t size) {' \
  '  std::FILE* file = std::fopen(name, "wb");' '  std::fwrite(bytes, 1, size, file);' \
  '  std::fclose(file);' '}' "int main() { $writes }" >arrays.cpp
printf '%s\n' "$rust_items" "fn main() { $rust_writes }" >arrays.rs
# built COMPILER KIND COMMAND...: compiles and runs, then compares each
# array's bytes; a compiler that is missing, or cannot run here (rustup's
# without a toolchain for this HOME), leaves its cases out.
built() {
  local compiler=$1 kind=$2 input
  shift 2
  "$compiler" --version >/dev/null 2>&1 || return 0
  cases=$((cases + 1))
  if ! "$@" >/dev/null || ! ./arrays_"$kind"; then
    echo "NOT BUILT: the $kind arrays"
    failures=$((failures + 1))
    return 0
  fi
  for input in "${inputs[@]}"; do
    cases=$((cases + 1))
    if ! cmp -s "$input.$kind.bin" "$input"; then
      echo "NOT HELD: the $kind array of $input"
      failures=$((failures + 1))
    fi
  done
}
built g++ cpp g++ -std=c++17 -Wall -Wextra -Wpedantic -Werror arrays.cpp -o arrays_cpp
built rustc rs rustc -D warnings -o arrays_rs arrays.rs

# Colours come and go around the bytes; without them the text is the same.
for layout in "xxd -c 5" "xxd-e -g 8" "xxd -b" "xxd-plain" "hexdump" "od --charset=latin1" "xxd -a"; do
  for input in random100 runs; do
    cases=$((cases + 1))
    eval "${emulator[*]} $as $layout $input" >plain.out 2>&1
    if ! eval "${emulator[*]} $as $layout --color=always $input" 2>&1 |
      sed 's/\x1b\[[0-9]*m//g' | cmp -s - plain.out; then
      echo "COLOURED OTHERWISE: quarnel-as $layout $input"
      failures=$((failures + 1))
    fi
  done
done

echo "$cases cases, $failures failed"
((failures == 0))
