#!/bin/bash
# Checks that no include in src/ climbs a layer: each folder may include
# only its own headers and those of the layers below it, and only the
# library itself includes the library's private headers.
set -u
root=${1:?usage: layers_test.sh SOURCE_DIR}
cd "$root" || exit 2

rank() {
  case $1 in
    platform) echo 0 ;;
    dump | undump) echo 1 ;;
    io) echo 2 ;;
    patch | diff | search) echo 3 ;;
    stream) echo 4 ;;
    front) echo 5 ;;
    quarnel | unquarnel | quarnel-diff | quarnel-grep | quarnel-as) echo 6 ;;
    *) echo unknown ;;
  esac
}

failed=0
while IFS= read -r line; do
  file=${line%%:*}
  header=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"${line#*:}")
  from=$(cut -d/ -f2 <<<"$file")
  # The public headers, the generated version.h among them.
  [[ -e include/$header || $header == quarnel/version.h ]] && continue
  to=${header%%/*}
  [[ $to == "$from" ]] && continue
  if [[ $(rank "$from") == unknown || $(rank "$to") == unknown ]]; then
    echo "$file: includes $header, from a folder no layer names"
    failed=1
  elif (($(rank "$to") >= $(rank "$from"))) ||
    { [[ $to == dump || $to == undump ]] && [[ $from != dump && $from != undump ]]; }; then
    echo "$file: includes $header, which is not below it"
    failed=1
  fi
done < <(grep -rn --include='*.cpp' --include='*.h' '^#include "' src | sed -E 's/:[0-9]+:/:/')
exit $failed
