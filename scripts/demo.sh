#!/usr/bin/env bash
# Builds everything, then runs the demo package with the POSIX program and
# with both Windows programs under Wine, showing the boxes, the answers given,
# the exit codes and the lines each run added to the log.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
exec python3 scripts/demo.py
