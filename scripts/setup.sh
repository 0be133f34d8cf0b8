#!/usr/bin/env bash
# Installs everything the builds and tests need on a fresh Debian 12 machine.
# Idempotent: a second run changes nothing and finishes in seconds.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config dpkg-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64 wine32:i386
  libtinyxml-dev libssl-dev openssl osslsigncode
  libunrar-dev unrar rar
  googletest libgtest-dev
  imagemagick librsvg2-bin icoutils
  python3
)

sudo_() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

need=$(missing)
srcs=/etc/apt/sources.list.d/brevant-extra.sources
if [ -z "$need" ] && [ -f "$srcs" ]; then
  exit 0
fi

# wine32 is an i386 package.
dpkg --print-foreign-architectures | grep -qx i386 || sudo_ dpkg --add-architecture i386

# The UnRAR library and rar live in non-free; sources (apt-get source) need deb-src entries.
# A separate file adds only what the stock list lacks, so no entry is duplicated.
if [ ! -f "$srcs" ]; then
  sudo_ tee "$srcs" >/dev/null <<'SRC'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: non-free
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main non-free
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
fi

export DEBIAN_FRONTEND=noninteractive
sudo_ apt-get update -qq
sudo_ apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
