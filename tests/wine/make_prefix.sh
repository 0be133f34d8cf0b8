#!/usr/bin/env bash
# Creates (or reuses) the 64-bit Wine prefix the end-to-end tests run in, and
# leaves one persistent wineserver running for it.
#
#   make_prefix.sh <prefix-dir> <unix-temp-dir>
#
# The prefix is set up so that:
#   - message boxes are real windows that block until answered, even with no
#     X server (the "null" graphics driver);
#   - GetTempPathW of every program in the prefix, 32- or 64-bit, returns the
#     Windows form (Z:\...) of <unix-temp-dir>.
# A marker file records a finished setup, so a second call only makes sure the
# server runs (and rewrites the temp directory if it changed). Concurrent calls
# for the same prefix are serialised with a lock file beside the prefix.
# Stop the server with stop_prefix.sh.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 <prefix-dir> <unix-temp-dir>" >&2
  exit 2
fi

mkdir -p "$1" "$2"
prefix=$(cd "$1" && pwd -P)
tempdir=$(cd "$2" && pwd -P)

export WINEPREFIX="$prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# No window may reach a developer's desktop: the prefix uses the null driver
# anyway, and wineboot must not depend on an X server.
unset DISPLAY WAYLAND_DISPLAY
# Wine's own programs run as 64-bit, through the 64-bit loader: the prefix is
# made the same way on a host that runs no 32-bit code.
wine="$(dirname "$0")/wine.sh"

marker="$prefix/.testbed-ready"
# What the prefix was made with: its temporary directory and whether the host
# ran 32-bit code then. A prefix made while it ran none lacks its 32-bit
# half (wineboot could not run it), so a change of host makes it anew.
i386=$(BU_HIDE_I386='' bash "$(dirname "$0")/i386_host.sh" probe)
made_for="$tempdir
$i386"
exec 9>"$prefix.lock"
flock 9
# Every wine command below runs with fd 9 closed: the persistent server would
# otherwise inherit the lock and hold it for ever.

# Wine's background processes (services, device drivers) outlive this script
# and keep the output streams they inherit: a caller that waits for the end of
# our output (ctest, a pipe) would wait for ever. So from here on stdout and
# stderr go to a log file; fds 3 and 4 keep the caller's streams for our own
# messages and are closed for every wine command.
log="$prefix.log"
exec 3>&1 4>&2 >"$log" 2>&1
fail() {
  cat "$log" >&4
  echo "make_prefix.sh: $*" >&4
  exit 1
}

# Starts the persistent server; when one is already up for this prefix,
# wineserver refuses to start a second and that is fine.
# Then runs one trivial program, so that the prefix's background services
# start now, with this script's log as their output: started later by a test's
# program, they would keep that test's output pipe open for ever.
start_server() {
  wineserver -p 9>&- 3>&- 4>&- || true
  "$wine" cmd /c exit </dev/null 9>&- 3>&- 4>&- || true
}

if [ -f "$marker" ] && [ "$(cat "$marker")" = "$made_for" ]; then
  start_server
  exit 0
fi
if [ -f "$marker" ] && [ "$(sed -n 2p "$marker")" != "$i386" ]; then
  wineserver -k 9>&- 3>&- 4>&- || true
  find "$prefix" -mindepth 1 -delete
fi

t0=$(date +%s%N)

# A server left from an earlier setup (persistent) would never let "-w" below
# return.
wineserver -k 9>&- 3>&- 4>&- || true

if [ ! -f "$prefix/system.reg" ] || [ ! -d "$prefix/drive_c/windows/syswow64" ]; then
  "$wine" wineboot -i 9>&- 3>&- 4>&- || fail "wineboot -i failed for $prefix (a 32-bit prefix there?)"
fi

wintemp="Z:${tempdir//\//\\}"
regfile="$prefix/testbed.reg"
# .reg strings escape backslashes and quotes; the file is UTF-16 with a BOM,
# as regedit writes it, so that a non-ASCII path survives.
esc=${wintemp//\\/\\\\}
esc=${esc//\"/\\\"}
printf '%s\r\n' \
  'Windows Registry Editor Version 5.00' '' \
  '[HKEY_CURRENT_USER\Software\Wine\Drivers]' \
  '"Graphics"="null"' '' \
  '[HKEY_CURRENT_USER\Environment]' \
  "\"TMP\"=\"$esc\"" \
  "\"TEMP\"=\"$esc\"" '' | iconv -f UTF-8 -t UTF-16 >"$regfile"
"$wine" regedit /S "$regfile" 9>&- 3>&- 4>&- || fail "importing the test settings failed"
rm -f "$regfile"

# The driver and the environment are read when a server and its first
# processes start: let this server end (it saves the registry on exit), then
# start the one that stays.
wineserver -w 9>&- 3>&- 4>&-
start_server

printf '%s' "$made_for" >"$marker"
ms=$(( ($(date +%s%N) - t0) / 1000000 ))
printf 'wine prefix ready: %s (%d.%03d s)\n' "$prefix" $((ms / 1000)) $((ms % 1000)) >&3
