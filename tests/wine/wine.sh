#!/bin/sh
# Runs a Windows program under Wine through the loader of its own architecture:
#
#   wine.sh <program.exe | Wine's own program (reg, regedit, winepath, cmd)> [args...]
#
# Debian's `wine` command starts the 32-bit loader first, even for a 64-bit
# program, and a host that runs no i386 code cannot start it at all. So a
# 32-bit image (PE machine 0x014c) goes to `wine`, and everything else - a
# 64-bit image, or one of Wine's own programs, run as 64-bit - straight to the
# 64-bit loader. The loader is exec'd: the process is the Windows program.
set -eu

wine64_loader() {
  for loader in "${BU_WINE64:-}" /usr/lib/wine/wine64 /usr/lib64/wine/wine64; do
    if [ -n "$loader" ] && [ -x "$loader" ]; then
      echo "$loader"
      return
    fi
  done
  command -v wine64 || echo wine
}

# The machine field of a PE image: the 16-bit word after "PE\0\0", whose
# offset is the 32-bit value at 0x3c. Prints nothing for anything else.
pe_machine() {
  [ -f "$1" ] || return 0
  offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 0
  [ -n "$offset" ] || return 0
  od -An -tx2 -j$((offset + 4)) -N2 "$1" 2>/dev/null | tr -d ' '
}

if [ $# -ge 1 ] && [ "$(pe_machine "$1")" = 014c ]; then
  exec wine "$@"
fi
exec "$(wine64_loader)" "$@"
