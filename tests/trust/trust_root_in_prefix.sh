#!/usr/bin/env bash
# Trusts a test root certificate in a Wine prefix, as a machine's trusted
# root on Windows: crypt32 of 32- and 64-bit programs finds it in
#   HKLM\Software\Microsoft\SystemCertificates\Root\Certificates\<thumbprint>
# (the SHA-1 thumbprint in upper-case hex), value "Blob": a certificate
# property record, id 0x20 (the DER encoding), flags 1, the length as
# little-endian 32-bit, then the DER bytes.
#
#   trust_root_in_prefix.sh <prefix-dir> <root.pem>
#
# The root trusted by the previous call for the same prefix is removed, so
# that the store never fills with the suite's old roots. Expects the prefix
# made by tests/wine/make_prefix.sh (its server running).
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 <prefix-dir> <root.pem>" >&2
  exit 2
fi
prefix=$(cd "$1" && pwd -P)
pem=$2
export WINEPREFIX="$prefix" WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY

store='HKEY_LOCAL_MACHINE\Software\Microsoft\SystemCertificates\Root\Certificates'
record="$prefix/.test-root-thumbprint"

thumbprint=$(openssl x509 -in "$pem" -noout -fingerprint -sha1 | sed 's/^.*=//; s/://g' |
  tr 'a-f' 'A-F')
der=$(openssl x509 -in "$pem" -outform DER | od -An -tx1 -v | tr -s ' \n' ' ' |
  sed 's/^ //; s/ $//')
count=$(wc -w <<<"$der")
length=$(printf '%02x,%02x,%02x,%02x' $((count & 255)) $(((count >> 8) & 255)) \
  $(((count >> 16) & 255)) $(((count >> 24) & 255)))

regfile=$(mktemp "${TMPDIR:-/tmp}/bu-root.XXXXXX.reg")
trap 'rm -f "$regfile"' EXIT
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  if [ -f "$record" ] && [ "$(cat "$record")" != "$thumbprint" ]; then
    printf '[-%s\\%s]\r\n\r\n' "$store" "$(cat "$record")"
  fi
  printf '[%s\\%s]\r\n' "$store" "$thumbprint"
  printf '"Blob"=hex:20,00,00,00,01,00,00,00,%s,%s\r\n' "$length" "${der// /,}"
} >"$regfile"

wine="$(dirname "$0")/../wine/wine.sh"
if ! "$wine" regedit /S "$("$wine" winepath -w "$regfile")" >"$regfile.log" 2>&1; then
  cat "$regfile.log" >&2
  rm -f "$regfile.log"
  echo "$0: importing the root into $prefix failed" >&2
  exit 1
fi
rm -f "$regfile.log"
printf '%s' "$thumbprint" >"$record"
echo "test root $thumbprint trusted in $prefix"
