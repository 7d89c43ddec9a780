#!/usr/bin/env bash
# Writes the dumps that xxd, hexdump and od make of a few inputs, which the
# tests read back. Run it from this folder with the tools installed; the
# files are kept in the tree, so the tests run where the tools are not
# (Windows, other CPUs). Each file is INPUT.TOOL.txt; the tests make INPUT
# again and know from TOOL which bytes the dump shows.
set -euo pipefail
cd "$(dirname "$0")"
rm -f ./*.txt
input() {
  local scratch=$1 name=$2
  case $name in
    empty) : >"$scratch" ;;
    zeros-squeezed) { head -c 100 /dev/zero; printf x; } >"$scratch" ;;
    zeros-end) head -c 64 /dev/zero >"$scratch" ;;
    *)
      local size=${name#bytes}
      # Byte i is (i * 37 + 11) mod 256.
      LC_ALL=C awk -v n="$size" \
        'BEGIN { for (i = 0; i < n; i++) printf "%c", (i * 37 + 11) % 256 }' >"$scratch"
      ;;
  esac
}
# The input is named "sample" wherever it lies, as xxd -i names its array
# after it.
here=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
scratch=$work/sample
dump() {
  local name=$1 tool=$2
  shift 2
  input "$scratch" "$name"
  (cd "$work" && "$@" sample) >"$here/$name.$tool.txt"
}
for name in empty bytes1 bytes15 bytes16 bytes17 zeros-squeezed zeros-end; do
  dump "$name" xxd xxd
  dump "$name" xxd-a xxd -a
  dump "$name" xxd-p xxd -p
  dump "$name" xxd-i xxd -i
  dump "$name" hexdump hexdump -C
  dump "$name" od od -t x1
  # An empty file's od -A x is "000000", which reads as xxd -p's three
  # zero bytes.
  if [[ $name != empty ]]; then
    dump "$name" od-Ax-z od -A x -t x1z
  fi
done
for tool in "xxd-u xxd -u" "xxd-g1 xxd -g1" "xxd-g0 xxd -g0" "xxd-g3 xxd -g3" \
  "xxd-g8-c32 xxd -g8 -c32" "xxd-c1 xxd -c1" "xxd-c256 xxd -c256" "xxd-b xxd -b" \
  "xxd-wide xxd -o 0xFFFFFFF0" "xxd-s5 xxd -s 5" "xxd-p-c8 xxd -p -c8" "xxd-C xxd -i -C" \
  "hexdump-v hexdump -C -v" "hexdump-s3 hexdump -C -s 3" "od-Ad-w8 od -A d -t x1 -w8" \
  "od-An od -A n -t x1" "od-Ao-z-w4 od -A o -t x1z -w4" "od-j2 od -j 2 -t x1"; do
  # shellcheck disable=SC2086
  dump bytes300 $tool
done
input "$scratch" bytes40
xxd -i <"$scratch" >bytes40.xxd-i-stdin.txt
