#!/usr/bin/env bash
# Checks the Windows resources and PE headers of a built brevUpdater.exe
# (i686 or x86_64):
#   - TVXPRO resource 1 holds exactly 01 00 00 00 03
#   - icon group IDI_ICON2: 14 square 32-bit images with alpha, 16..256 px
#   - version block: fixed and string versions, names, translation 0409/04b0
#   - string table (language 0x409): ids 101-111 as res/string_table.h says,
#     nothing else
#   - GUI subsystem, and imports from exactly five of Windows' known DLLs
#
#   check_resources.sh <exe> [res-dir]
#
# res-dir (default: ../../res from this script) holds string_table.h and
# version.h; the expected texts are taken from there through the C
# preprocessor, so no second copy of them exists in the test.
# Needs: wrestool (icoutils), a MinGW objdump, python3, a C preprocessor.
# Exit status: 0 all checks pass, 1 some check failed, 2 usage or tool error.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
helper="$here/pe_resources.py"

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 <exe> [res-dir]" >&2
  exit 2
fi
exe=$1
resdir=$(cd "${2:-$here/../../res}" 2>/dev/null && pwd) || { echo "$0: no res directory ${2:-}" >&2; exit 2; }
[ -f "$exe" ] || { echo "$0: no such file: $exe" >&2; exit 2; }
[ -f "$resdir/string_table.h" ] || { echo "$0: $resdir/string_table.h not found" >&2; exit 2; }

# Any MinGW objdump reads both PE32 and PE32+.
objdump=
for c in x86_64-w64-mingw32-objdump i686-w64-mingw32-objdump; do
  if command -v "$c" >/dev/null; then objdump=$c; break; fi
done
cpp_cmd=()
for c in cpp gcc x86_64-w64-mingw32-gcc i686-w64-mingw32-gcc; do
  if command -v "$c" >/dev/null; then
    if [ "$c" = cpp ]; then cpp_cmd=(cpp); else cpp_cmd=("$c" -E -x c); fi
    break
  fi
done
missing=()
command -v wrestool >/dev/null || missing+=("wrestool (package icoutils)")
command -v python3 >/dev/null || missing+=(python3)
[ -n "$objdump" ] || missing+=("a MinGW objdump (binutils-mingw-w64)")
[ ${#cpp_cmd[@]} -gt 0 ] || missing+=("a C preprocessor")
if [ ${#missing[@]} -gt 0 ]; then
  printf '%s: missing tool: %s\n' "$0" "${missing[@]}" >&2
  exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/bu-rescheck.XXXXXX")
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
pass() {
  echo "ok: $*"
}

LANG_EN_US=1033

# Extracts one resource's raw bytes (a leading + marks a string type or name).
# wrestool succeeds with no output for an absent resource, and none of the
# checked resources is empty, so an empty result means "missing".
extract() {  # type name out-file
  wrestool -x --raw --type="$1" --name="$2" --language=$LANG_EN_US "$exe" >"$3" 2>/dev/null &&
    [ -s "$3" ]
}

# --------------------------------------------------------------- resources --

if ! wrestool -l "$exe" >"$work/list" 2>"$work/list.err"; then
  echo "FAIL: wrestool cannot read the resources of $exe: $(cat "$work/list.err")" >&2
  exit 1
fi

# --- TVXPRO marker -----------------------------------------------------------
if extract +TVXPRO 1 "$work/tvxpro"; then
  got=$(od -An -tx1 -v "$work/tvxpro" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')
  if [ "$got" = "01 00 00 00 03" ]; then
    pass "TVXPRO/1 = 01 00 00 00 03"
  else
    fail "TVXPRO/1 bytes are '$got', expected '01 00 00 00 03'"
  fi
else
  fail "no resource of type TVXPRO, id 1, language $LANG_EN_US"
fi

# --- icon group IDI_ICON2 ----------------------------------------------------
expected_sizes="16 20 24 30 32 36 40 48 60 64 72 80 96 256"
if extract 14 +IDI_ICON2 "$work/group"; then
  if python3 "$helper" icon-group "$work/group" >"$work/group.txt"; then
    count=$(sed -n 's/^count=//p' "$work/group.txt")
    [ "$count" = 14 ] || fail "IDI_ICON2 holds $count images, expected 14"
    sizes=()
    while read -r _ id w h bits _; do
      if ! extract 3 "$id" "$work/icon-$id"; then
        fail "IDI_ICON2 names icon image $id, which is missing"
        continue
      fi
      read -r kind iw ih ibits alpha < <(python3 "$helper" icon-image "$work/icon-$id") ||
        { fail "icon image $id cannot be decoded"; continue; }
      if [ "$iw" != "$w" ] || [ "$ih" != "$h" ]; then
        fail "icon image $id is ${iw}x${ih} ($kind), the group says ${w}x${h}"
      fi
      [ "$w" = "$h" ] || fail "icon image $id is not square: ${w}x${h}"
      if [ "$bits" != 32 ] || [ "$ibits" != 32 ]; then
        fail "icon image $id (${w}px) is not 32-bit (group $bits, image $ibits)"
      fi
      [ "$alpha" = alpha ] || fail "icon image $id (${w}px) has no alpha channel"
      sizes+=("$w")
    done < <(grep '^entry ' "$work/group.txt")
    got_sizes=$(printf '%s\n' "${sizes[@]}" | sort -n | tr '\n' ' ' | sed 's/ $//')
    if [ "$got_sizes" = "$expected_sizes" ]; then
      pass "IDI_ICON2: 14 images, sizes $got_sizes"
    else
      fail "IDI_ICON2 sizes are '$got_sizes', expected '$expected_sizes'"
    fi
  else
    fail "IDI_ICON2 is not a valid icon group"
  fi
else
  fail "no icon group named IDI_ICON2 in language $LANG_EN_US"
fi

# --- version block -----------------------------------------------------------
# The maker's own entries (company, legal notice) come from version.h.
version_value() {  # macro name -> its string value, JSON encoded
  printf '#include "%s/version.h"\n@@BU_TEXT@@ 0 %s\n' "$resdir" "$1" |
    "${cpp_cmd[@]}" -P - 2>/dev/null |
    python3 "$helper" expected-strings | sed 's/^0 //'
}
company=$(version_value BU_COMPANY_NAME)
copyright=$(version_value BU_LEGAL_COPYRIGHT)
for v in "BU_COMPANY_NAME=$company" "BU_LEGAL_COPYRIGHT=$copyright"; do
  case ${v#*=} in '' | '""') fail "${v%%=*} missing or empty in version.h" ;; esac
done

expected_version=(
  'fixed.FileVersion=5.1.7.9'
  'fixed.ProductVersion=5.1.7.9'
  'fixed.FileType=1'
  'translation=0409:04b0'
  '040904b0/CompanyName='"$company"
  '040904b0/FileDescription="Brevant Updater"'
  '040904b0/FileVersion="5.1.7.9"'
  '040904b0/InternalName="Brevant Updater"'
  '040904b0/LegalCopyright='"$copyright"
  '040904b0/OriginalFilename="brevUpdater.exe"'
  '040904b0/ProductName="Brevant Updater"'
  '040904b0/ProductVersion="5.1.7.9"'
)
if extract 16 1 "$work/version" && python3 "$helper" version "$work/version" >"$work/version.txt"; then
  ok=1
  for line in "${expected_version[@]}"; do
    key=${line%%=*}
    if ! grep -qxF -- "$line" "$work/version.txt"; then
      actual=$(grep -F -- "$key=" "$work/version.txt" | head -n 1)
      fail "version block: expected $line, found ${actual:-nothing}"
      ok=0
    fi
  done
  [ $ok = 1 ] && pass "version block: ${#expected_version[@]} values"
else
  fail "no readable version block (type 16, id 1, language $LANG_EN_US)"
fi

# --- string table ------------------------------------------------------------
# Ids 101-111 all live in block 7 (ids 96-111). Every other slot must be empty,
# and so must every other block.
# The header is named by its full path, so a string_table.h in the current
# directory cannot stand in for it.
printf '#include "%s/string_table.h"\n#define X(id, text) @@BU_TEXT@@ id text\nBU_STRING_TABLE(X)\n' "$resdir" |
  "${cpp_cmd[@]}" -P - >"$work/table.i" 2>"$work/cpp.err" ||
  fail "preprocessing string_table.h failed: $(cat "$work/cpp.err")"
if python3 "$helper" expected-strings <"$work/table.i" >"$work/expected.txt"; then
  ids=$(cut -d' ' -f1 "$work/expected.txt" | tr '\n' ' ')
  [ "$ids" = "101 102 103 104 105 106 107 108 109 110 111 " ] ||
    fail "string_table.h defines ids '$ids', expected 101..111"
else
  fail "cannot read the texts of string_table.h"
fi

other_blocks=$(grep -E -- "--type=6 " "$work/list" | grep -vE -- "--name=7 --language=$LANG_EN_US " || true)
[ -z "$other_blocks" ] || fail "unexpected string-table blocks: $other_blocks"

if extract 6 7 "$work/strings" && python3 "$helper" strings 7 "$work/strings" >"$work/actual.txt"; then
  ok=1
  # Expected: every id of the block, empty unless string_table.h gives a text.
  for id in $(seq 96 111); do
    want=$(grep -m1 "^$id " "$work/expected.txt" | cut -d' ' -f2-)
    have=$(grep -m1 "^$id " "$work/actual.txt" | cut -d' ' -f2-)
    if [ "${want:-\"\"}" != "$have" ]; then
      if [ -n "$have" ]; then
        fail "string $id: $(python3 "$helper" first-diff "${want:-\"\"}" "$have")"
      else
        fail "string $id: missing from the block"
      fi
      ok=0
    fi
  done
  [ $ok = 1 ] && pass "string table: ids 101-111 match string_table.h (language 0x409)"
else
  fail "no string-table block 7 (ids 96-111) in language 0x409"
fi

# --------------------------------------------------------------- PE header --

if "$objdump" -p "$exe" >"$work/pe.txt" 2>"$work/pe.err"; then
  subsystem=$(awk '$1 == "Subsystem" { print $2 + 0 }' "$work/pe.txt")
  if [ "$subsystem" = 2 ]; then
    pass "subsystem: Windows GUI"
  else
    fail "subsystem is '${subsystem:-unknown}', expected 2 (Windows GUI)"
  fi

  # The DLLs the loader resolves before the program's first line runs, and so
  # before the program restricts its DLL search: exactly these five, each one
  # of Windows' known DLLs, which the loader always takes from the system
  # directory, whatever the program's directory (a download folder) holds.
  # Any other import could be planted beside the program.
  expected_imports='advapi32.dll kernel32.dll msvcrt.dll shell32.dll user32.dll'
  imports=$(awk '/DLL Name:/ { print tolower($3) }' "$work/pe.txt" | sort -u | tr '\n' ' ' |
    sed 's/ $//')
  if [ "$imports" = "$expected_imports" ]; then
    pass "imports only known DLLs: $imports"
  else
    fail "imports '$imports', expected exactly the known DLLs '$expected_imports'"
  fi
else
  fail "$objdump cannot read $exe: $(cat "$work/pe.err")"
fi

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed for $exe" >&2
  exit 1
fi
echo "all resource checks passed for $exe"
