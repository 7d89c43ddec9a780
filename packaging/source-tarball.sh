#!/usr/bin/env bash
# Writes quarnel-VERSION.tar.gz, the source of the commit checked out, into
# the folder given (the current one by default) and prints its path. The
# same commit always gives the same bytes: git archive stamps each file
# with the commit's time, and gzip leaves out its own. The debian/ folder
# stays out: Debian adds it as its own tarball, over this one.
set -euo pipefail
out=$(cd "${1:-.}" && pwd)
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(quarnel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
tarball=$out/quarnel-$version.tar.gz
git archive --format=tar --prefix="quarnel-$version/" HEAD -- . ":(exclude)debian" | gzip -9n >"$tarball"
echo "$tarball"
