#!/usr/bin/env bash
# Signs a file of a package with a code-signing certificate and its key.
#
#   sign_file.sh [--appended] <certificate.pem> <key.pem> <chain.pem> <input> <output>
#
# <chain.pem> holds the certificates from the signer's issuer up to the root;
# the signature carries them, so the verifier needs only to trust the root.
#
# A PE file (a DLL or an EXE: it starts with "MZ") gets an Authenticode
# signature inside it, made by osslsigncode, for the Windows programs. Any
# other file (an ELF shared object, a POSIX string module) gets the POSIX
# program's appended form, made by the stock `openssl cms` command:
#
#   the file's own bytes
#   a DER CMS SignedData over those bytes (detached), with the signer's chain
#   16 bytes: the SignedData's length as unsigned 64-bit little-endian,
#            then the 8 bytes "BUSIG001"
#
# --appended gives any file, a PE file included, the POSIX form: the package
# manifest buManifest.dll is a PE file on every port, and the POSIX program
# reads its signature in that form.
#
# An appended signature already on the input is replaced, not signed over.
set -euo pipefail

appended=no
if [ "${1:-}" = --appended ]; then
  appended=yes
  shift
fi
if [ $# -ne 5 ]; then
  sed -n '2,25s/^# \{0,1\}//p' "$0" >&2
  exit 2
fi
cert=$1 key=$2 chain=$3 in=$4 out=$5
magic=BUSIG001

work=$(mktemp -d "${TMPDIR:-/tmp}/bu-sign.XXXXXX")
trap 'rm -rf "$work"' EXIT

hex() { od -An -tx1 -v | tr -d ' \n'; }

if [ $appended = no ] && [ "$(head -c 2 "$in" | hex)" = 4d5a ]; then  # "MZ"
  osslsigncode sign -certs "$cert" -ac "$chain" -key "$key" -h sha256 \
    -in "$in" -out "$work/signed" >"$work/log" 2>&1 || { cat "$work/log" >&2; exit 1; }
  mv "$work/signed" "$out"
  exit 0
fi

# The bytes to sign: the input without an earlier appended signature.
size=$(stat -L -c %s "$in")  # -L: the file a link names, not the link
content=$size
if [ "$size" -ge 16 ] && [ "$(tail -c 8 "$in" | hex)" = "$(printf '%s' "$magic" | hex)" ]; then
  read -r -a bytes < <(tail -c 16 "$in" | head -c 8 | od -An -tu1 -v | tr -s ' \n' ' ')
  length=0
  for ((i = 7; i >= 0; i--)); do length=$(( (length << 8) | bytes[i] )); done
  if [ "$length" -gt 0 ] && [ "$length" -le $((size - 16)) ]; then
    content=$((size - 16 - length))
  fi
fi
head -c "$content" "$in" >"$work/content"

openssl cms -sign -binary -md sha256 -in "$work/content" -signer "$cert" -inkey "$key" \
  -certfile "$chain" -outform DER -out "$work/signature"
length=$(stat -c %s "$work/signature")
{
  cat "$work/content" "$work/signature"
  for i in 0 1 2 3 4 5 6 7; do
    printf "\\$(printf '%03o' $(( (length >> (8 * i)) & 255 )))"
  done
  printf '%s' "$magic"
} >"$work/signed"
mv "$work/signed" "$out"
