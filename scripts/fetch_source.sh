#!/usr/bin/env bash
# Usage: scripts/fetch_source.sh <debian-source-package> <dest-dir>
#
# Unpacks Debian's source of a library the Windows builds compile themselves,
# with Debian's patches applied (security fixes included), into <dest-dir>.
# Nothing of it is kept in the repository: the build tree holds it.
#
# Idempotent: when <dest-dir> already holds the version that apt offers now,
# nothing is downloaded. The unpacking goes to a scratch directory first, so an
# interrupted run never leaves a half-filled <dest-dir> behind.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 <debian-source-package> <dest-dir>" >&2
  exit 2
fi
package=$1
dest=$2
stamp=$dest/.debian-source-version

# The version apt would fetch; the deb-src entries come from scripts/setup.sh.
version=$(apt-cache showsrc "$package" 2>/dev/null | sed -n 's/^Version: //p' | sort -V | tail -n 1)
if [ -z "$version" ]; then
  echo "$0: no source package '$package' known to apt (deb-src entries missing? run scripts/setup.sh)" >&2
  exit 1
fi

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ]; then
  exit 0
fi

parent=$(dirname "$dest")
mkdir -p "$parent"
scratch=$(mktemp -d "$parent/.fetch-$package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# apt verifies the downloaded files against the signed archive index;
# dpkg-source checks their sizes and checksums against the .dsc, unpacks them
# and applies debian/patches in series order. (Its note that the uploader's
# own signature cannot be checked without debian-keyring is expected.)
quiet() {
  local output
  output=$("$@" 2>&1) || { echo "$output" >&2; echo "$0: failed: $*" >&2; exit 1; }
}
(cd "$scratch" && quiet apt-get source --download-only "$package=$version")
quiet dpkg-source -x "$scratch"/*.dsc "$scratch/tree"

echo "$version" >"$scratch/tree/.debian-source-version"
rm -rf "$dest"
mv "$scratch/tree" "$dest"
