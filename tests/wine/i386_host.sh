#!/usr/bin/env bash
# Whether this host runs 32-bit (i386) code, found out by trying, and the gate
# that the 32-bit program's tests run through.
#
#   i386_host.sh probe [<state-file>]
#       Tries the 32-bit Wine loader and prints one word: native, emulated
#       (i386 code runs through a qemu handler registered with binfmt_misc),
#       none, or hidden (BU_HIDE_I386 set and not 0: the host is treated as
#       one without i386 code). With a state file, writes the word there too.
#   i386_host.sh reason <word>
#       Prints why the 32-bit tests are skipped for that word (nothing for native).
#   i386_host.sh gate <state-file> [--smoke <arg>] -- <command...>
#       Runs the command where the host runs i386 code natively. Under
#       emulation, runs it with <arg> appended (the command's smoke set) when
#       --smoke is given, else skips it; BU_I386_EMULATED_ALL set runs every
#       command whole there too (slow: minutes per program start). Elsewhere skips it. A skip prints the
#       reason and exits 77, which CTest reports as a skipped test. Without a
#       state file (the probe's fixture did not run) it probes itself.
set -euo pipefail

SKIP=77
I386_LOADER=/usr/lib/wine/wine

probe() {
  if [ -n "${BU_HIDE_I386:-}" ] && [ "$BU_HIDE_I386" != 0 ]; then
    echo hidden
  elif ! "$I386_LOADER" --version >/dev/null 2>&1; then
    echo none
  elif emulated; then
    echo emulated
  else
    echo native
  fi
}

# A handler registered with binfmt_misc runs before the kernel's own ELF
# loader: with an enabled qemu-i386 entry, every i386 program is emulated.
emulated() {
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    [ -f "$entry" ] && grep -qs 'qemu-i386' "$entry" && [ "$(head -n1 "$entry")" = enabled ] && return 0
  done
  return 1
}

reason() {
  case "$1" in
    native) ;;
    emulated) echo "this host runs 32-bit (i386) code only under emulation, where only the smoke set runs" ;;
    none) echo "this host runs no 32-bit (i386) code" ;;
    hidden) echo "BU_HIDE_I386 hides this host's 32-bit (i386) code" ;;
    *) echo "unknown i386 state '$1'" ;;
  esac
}

case "${1:-}" in
  probe)
    state=$(probe)
    if [ $# -ge 2 ]; then
      mkdir -p "$(dirname "$2")"
      printf '%s\n' "$state" >"$2.$$"
      mv -f "$2.$$" "$2"
    fi
    echo "$state"
    ;;
  reason)
    reason "$2"
    ;;
  gate)
    file=$2
    shift 2
    smoke=
    if [ "${1:-}" = --smoke ]; then
      smoke=$2
      shift 2
    fi
    [ "${1:-}" = -- ] && shift
    if [ -f "$file" ]; then state=$(cat "$file"); else state=$(probe); fi
    case "$state" in
      native) exec "$@" ;;
      emulated)
        # A 32-bit program start costs about a minute here: the runners' time
        # limits (tests/e2e/wine_runner.py) grow tenfold.
        export BU_WINE_TIME_SCALE=${BU_WINE_TIME_SCALE:-10}
        if [ -n "${BU_I386_EMULATED_ALL:-}" ]; then exec "$@"; fi
        if [ -n "$smoke" ]; then exec "$@" "$smoke"; fi
        ;;
    esac
    echo "skipped, a test of the 32-bit program: $(reason "$state")"
    exit $SKIP
    ;;
  *)
    echo "usage: $0 probe [<state-file>] | reason <word> | gate <state-file> [--smoke <arg>] -- <command...>" >&2
    exit 2
    ;;
esac
