#!/usr/bin/env bash
# Installs everything the builds and tests need on a fresh Debian 12 machine.
# Idempotent: a second run changes nothing and finishes in seconds.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config dpkg-dev
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 mingw-w64-tools
  wine wine64 wine32:i386
  libtinyxml-dev libssl-dev openssl osslsigncode
  libunrar-dev unrar rar
  googletest libgtest-dev
  clang libclang-rt-14-dev
  imagemagick librsvg2-bin icoutils
  python3 strace
)

sudo_() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

# A host whose kernel runs no i386 code (execve answers "Exec format error")
# gets Debian's qemu-user-static, registered with binfmt_misc for i386
# programs, so that the 32-bit program's smoke tests run under emulation. A
# host that runs i386 code itself is never touched. Found out by trying, with
# the probe the tests use; root only, since binfmt_misc is the kernel's.
i386_probe="$(dirname "$0")/../tests/wine/i386_host.sh"
binfmt=/proc/sys/fs/binfmt_misc
emulate_i386() {
  [ "$(id -u)" -eq 0 ] && [ "$(BU_HIDE_I386='' bash "$i386_probe" probe)" = none ] || return 0
  [ -x /usr/bin/qemu-i386-static ] ||
    apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null ||
    { echo "$0: cannot install qemu-user-static: the 32-bit program's tests will be skipped" >&2; return 0; }
  [ -f "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" ||
    { echo "$0: cannot mount binfmt_misc: the 32-bit program's tests will be skipped" >&2; return 0; }
  # Flag F opens the interpreter now, so that it also serves other mount namespaces.
  [ -e "$binfmt/qemu-i386" ] || printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' >"$binfmt/register" ||
    { echo "$0: cannot register qemu-i386: the 32-bit program's tests will be skipped" >&2; return 0; }
  echo "$0: this host runs no i386 code; i386 programs now run under qemu-i386-static" >&2
}

need=$(missing)
srcs=/etc/apt/sources.list.d/brevant-extra.sources
if [ -z "$need" ] && [ -f "$srcs" ]; then
  emulate_i386
  exit 0
fi

# wine32 is an i386 package.
dpkg --print-foreign-architectures | grep -qx i386 || sudo_ dpkg --add-architecture i386

# The UnRAR library and rar live in non-free; sources (apt-get source) need deb-src entries.
# A separate file adds only what the stock list lacks, so no entry is duplicated. The
# mirror is the one the machine already uses for Debian's main archive: its URIs are read
# from the existing apt sources (deb822 stanzas or one-line entries).
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
stock_sources() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # One stanza per paragraph: the "deb" stanzas of the release itself that carry main.
    awk -v RS= -v suite="$codename" '/(^|\n)Types:[^\n]*deb/ && /(^|\n)Components:[^\n]*main/ &&
      $0 ~ ("(^|\n)Suites:[^\n]*[ \t]" suite "([ \t]|\n|$)")' "$f"
  done
  [ -f /etc/apt/sources.list ] && grep -E '^deb[[:space:]]' /etc/apt/sources.list |
    awk -v suite="$codename" '$3 == suite { for (i = 4; i <= NF; i++) if ($i == "main") printf "URIs: %s\n\n", $2 }'
  return 0
}
if [ ! -f "$srcs" ]; then
  stanzas=$(stock_sources)
  uris=$(sed -n 's/^URIs:[[:space:]]*//p' <<<"$stanzas" | tr ' ' '\n' | awk 'NF && !seen[$0]++' | tr '\n' ' ')
  # The release and its updates, as the stock list names them.
  suites="$codename $codename-updates"
  if [ -z "${uris// }" ]; then
    echo "$0: no Debian main entry found in the apt sources to add non-free and deb-src beside" >&2
    exit 1
  fi
  keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  sudo_ tee "$srcs" >/dev/null <<SRC
Types: deb
URIs: ${uris% }
Suites: $suites
Components: non-free
Signed-By: $keyring

Types: deb-src
URIs: ${uris% }
Suites: $suites
Components: main non-free
Signed-By: $keyring
SRC
fi

export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of a sync serves indexes that do not match their Release
# file, and apt-get update fails. Try again after a pause, then go on with the
# indexes it did get. Without one suite's i386 index (seen with the security
# suite) wine32's i386 libraries cannot match the versions of their amd64 twins,
# which came from that suite, and the install fails; it then takes every package
# from the release itself, whose two architectures are published together.
for attempt in 1 2 3; do
  sudo_ apt-get update -qq && break
  echo "$0: apt-get update failed (attempt $attempt of 3)" >&2
  if [ "$attempt" -lt 3 ]; then sleep 20; fi
done
install=(apt-get install -y -qq --no-install-recommends)
if ! sudo_ "${install[@]}" "${packages[@]}" >/dev/null; then
  echo "$0: installing from $codename alone" >&2
  sudo_ "${install[@]}" -t "$codename" "${packages[@]}" >/dev/null
fi
emulate_i386
