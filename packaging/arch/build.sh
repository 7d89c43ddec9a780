#!/usr/bin/env bash
# Builds the Arch package of the commit checked out: the source tarball, a
# copy of PKGBUILD holding its sum, then makepkg, which checks the sum and
# runs the tests in check(). makepkg refuses to run as root; as root, this
# runs it as nobody. Outside Arch there is no pacman database to check
# dependencies against, so MAKEPKG_FLAGS may hold --nodeps.
# Usage: build.sh [FOLDER]   (the package lands in FOLDER)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$(mktemp -d)}
mkdir -p "$out"
out=$(cd "$out" && pwd)
tarball=$("$here/../source-tarball.sh" "$out")
sum=$(sha256sum "$tarball" | cut -d ' ' -f 1)
sed "s/^sha256sums=.*/sha256sums=('$sum')/" "$here/PKGBUILD" >"$out/PKGBUILD"
cd "$out"
read -ra flags <<<"${MAKEPKG_FLAGS:-}"
if [[ $(id -u) == 0 ]]; then
  chown -R nobody "$out"
  runuser -u nobody -- env HOME="$out" makepkg --clean --force "${flags[@]}"
else
  makepkg --clean --force "${flags[@]}"
fi
