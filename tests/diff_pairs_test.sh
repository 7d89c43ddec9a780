#!/usr/bin/env bash
# quarnel-diff on pairs shaped as real releases are (bench/make_pairs.py):
# each diff shows at most its budget of bytes on its - and + lines, its
# summary fits in 50 lines, and unquarnel applies it to a copy of the old
# file (which then equals the new one), refuses it a second time without
# touching the file, and undoes it with -R.
# Usage: diff_pairs_test.sh QUARNEL_DIFF UNQUARNEL PAIR_MAKER
set -uo pipefail
diff=$(realpath "$1") unquarnel=$(realpath "$2") maker=$(realpath "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Bytes shown on the - and + lines of a diff: the hex column's pairs. A
# moved block's line shows none.
shown() {
  awk '/^[-+][0-9A-F]+  / && !/ moved (to|from) / { hex = substr($0, index($0, "  ") + 2, 48); gsub(/[^0-9A-F]/, "", hex); n += length(hex) / 2 }
       END { print n + 0 }' "$1"
}

declare -A budget=([program]=64000 [swapped]=1000 [tar]=700 [sqlite]=70000 [moved]=1000)
while read -r name old new; do
  "$diff" "$old" "$new" >"$work/d"
  status=$?
  [[ $status == 1 ]] || fail "$name: quarnel-diff exited $status"
  bytes=$(shown "$work/d")
  echo "$name: $bytes bytes shown, budget ${budget[$name]}"
  ((bytes <= budget[$name])) || fail "$name: $bytes bytes shown, over ${budget[$name]}"
  lines=$("$diff" --stat "$old" "$new" | wc -l)
  ((lines <= 50)) || fail "$name: --stat wrote $lines lines"
  cp "$old" "$work/t"
  "$unquarnel" -p "$work/t" "$work/d" || fail "$name: the diff did not apply"
  cmp -s "$work/t" "$new" || fail "$name: applied, the file is not the new one"
  if "$unquarnel" -p "$work/t" "$work/d" 2>/dev/null; then
    fail "$name: applied a second time"
  fi
  cmp -s "$work/t" "$new" || fail "$name: a refused diff changed the file"
  "$unquarnel" -R -p "$work/t" "$work/d" || fail "$name: the diff did not undo"
  cmp -s "$work/t" "$old" || fail "$name: undone, the file is not the old one"
done < <(python3 "$maker" "$work/pairs")
((failures == 0)) || exit 1
echo "all pairs passed"
