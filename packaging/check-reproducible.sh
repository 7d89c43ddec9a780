#!/usr/bin/env bash
# Builds the packages of one kind twice from the same source and checks that
# the two are byte for byte the same. The second build runs 400 days later
# (faketime, where installed), in a deeper folder, under another umask,
# locale and time zone. The second Debian build skips the tests, which is
# not to change the packages: under faketime a test that closes standard
# output would find it open, taken by faketime's own library.
#   debian   the Debian source package's binary packages (dpkg-buildpackage -b)
#   deb      CPack's .deb packages (the package preset)
#   windows  the Windows zip (cross-built with MinGW-w64)
# Usage: check-reproducible.sh KIND [WORK_FOLDER]
set -euo pipefail
kind=$1
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=${2:-$(mktemp -d)}
mkdir -p "$work"
work=$(cd "$work" && pwd)

# Runs a command as build number $1 sees the world.
as_build() {
  local build=$1
  shift
  if [[ $build == 1 ]]; then
    (umask 022 && env TZ=UTC LC_ALL=C.UTF-8 "$@")
  else
    local later=()
    command -v faketime >/dev/null && later=(faketime -f +400d)
    (umask 002 && env TZ=Pacific/Kiritimati LC_ALL= LANG=C LANGUAGE=fr "${later[@]}" "$@")
  fi
}

build() {
  local build=$1 folder=$2
  mkdir -p "$folder"
  case $kind in
    debian)
      local tarball
      tarball=$("$source_dir/packaging/source-tarball.sh" "$folder")
      cp "$tarball" "$folder/quarnel_$(basename "$tarball" .tar.gz | cut -d- -f2).orig.tar.gz"
      tar -xf "$tarball" -C "$folder"
      cp -r "$source_dir/debian" "$folder"/quarnel-*/
      local options=()
      [[ $build == 2 ]] && options=(DEB_BUILD_OPTIONS=nocheck)
      (cd "$folder"/quarnel-*/ &&
        as_build "$build" env "${options[@]}" dpkg-buildpackage -us -uc -b >../build.log 2>&1) ||
        { tail -n 40 "$folder/build.log"; return 1; }
      packages=("$folder"/*.deb)
      ;;
    deb)
      git -C "$source_dir" archive HEAD | tar -x -C "$folder"
      (cd "$folder" && as_build "$build" cmake --workflow --preset package >build.log 2>&1) ||
        { tail -n 40 "$folder/build.log"; return 1; }
      packages=("$folder"/build/package/*.deb)
      ;;
    windows)
      git -C "$source_dir" archive HEAD | tar -x -C "$folder"
      (cd "$folder" && as_build "$build" bash -c 'cmake --preset windows -DQUARNEL_TESTS=OFF &&
        cmake --build build/windows && cd build/windows && cpack -G ZIP' >build.log 2>&1) ||
        { tail -n 40 "$folder/build.log"; return 1; }
      packages=("$folder"/build/windows/*.zip)
      ;;
    *)
      echo "usage: $0 debian|deb|windows [WORK_FOLDER]" >&2
      exit 2
      ;;
  esac
}

build 1 "$work/first"
first=("${packages[@]}")
build 2 "$work/second/in/a/deeper/folder"
second=("${packages[@]}")
if [[ ${#first[@]} != "${#second[@]}" || ${#first[@]} == 0 ]]; then
  echo "the two builds made different packages: ${first[*]##*/} and ${second[*]##*/}" >&2
  exit 1
fi
status=0
for index in "${!first[@]}"; do
  name=${first[index]##*/}
  if cmp -s "${first[index]}" "${second[index]}"; then
    echo "same: $name ($(sha256sum <"${first[index]}" | cut -c1-16))"
  else
    echo "DIFFERENT: $name" >&2
    if command -v diffoscope >/dev/null; then
      diffoscope "${first[index]}" "${second[index]}" | head -n 60 >&2 || true
    fi
    status=1
  fi
done
exit $status
