#!/usr/bin/env bash
# Stops the wineserver (and every program still running) of one test prefix:
#
#   stop_prefix.sh <prefix-dir>
#
# Other prefixes and their servers are left alone. Nothing running is fine.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 <prefix-dir>" >&2
  exit 2
fi
[ -d "$1" ] || exit 0

WINEPREFIX=$(cd "$1" && pwd -P) WINEDEBUG=-all wineserver -k >/dev/null 2>&1 || true
