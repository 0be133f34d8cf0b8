#!/usr/bin/env bash
# Builds the three programs: build/brevUpdater (POSIX), and under build/
# windows-i686/brevUpdater.exe and windows-x86_64/brevUpdater64.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DBU_WINDOWS_BUILDS=ON >/dev/null
cmake --build build -j "$(nproc)"
