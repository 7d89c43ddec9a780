#!/bin/bash
# Checks that no include in src/ climbs a layer: each folder may include
# only its own headers and those of the layers below it, and only the
# library itself includes the library's private headers, but for the one
# table of the layouts' names, which the programs' options read too, and
# the classes of bytes, which the viewer colours as the writers do.
set -u
root=${1:?usage: layers_test.sh SOURCE_DIR}
cd "$root" || exit 2

rank() {
  case $1 in
    platform | cpu) echo 0 ;;
    layouts) echo 1 ;;
    dump | undump) echo 2 ;;
    io) echo 3 ;;
    patch | diff | search) echo 4 ;;
    stream) echo 5 ;;
    view) echo 6 ;;
    front) echo 7 ;;
    programs) echo 8 ;;
    *) echo unknown ;;
  esac
}

library() {
  [[ $1 == layouts || $1 == dump || $1 == undump ]]
}

failed=0
while IFS= read -r line; do
  file=${line%%:*}
  header=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"${line#*:}")
  from=$(cut -d/ -f2 <<<"$file")
  [[ $from == programs ]] && program=$(cut -d/ -f3 <<<"$file")
  # The public headers, the generated version.h among them.
  [[ -e include/$header || $header == quarnel/version.h ]] && continue
  to=${header%%/*}
  # A program includes its own folder's headers alone.
  if [[ $from == programs && $to == programs ]]; then
    [[ $(cut -d/ -f2 <<<"$header") == "$program" ]] && continue
    echo "$file: includes $header, another program's"
    failed=1
    continue
  fi
  [[ $to == "$from" ]] && continue
  if [[ $(rank "$from") == unknown || $(rank "$to") == unknown ]]; then
    echo "$file: includes $header, from a folder no layer names"
    failed=1
  elif (($(rank "$to") >= $(rank "$from"))) ||
    { library "$to" && ! library "$from" && [[ $header != layouts/layout_names.h && $header != layouts/byte_classes.h ]]; }; then
    echo "$file: includes $header, which is not below it"
    failed=1
  fi
done < <(grep -rn --include='*.cpp' --include='*.h' '^#include "' src | sed -E 's/:[0-9]+:/:/')
exit $failed
