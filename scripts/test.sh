#!/usr/bin/env bash
# Builds everything and runs every test: unit and end-to-end tests of the
# POSIX program, both Windows programs under Wine, then the POSIX tests again
# in a build with AddressSanitizer and UndefinedBehaviorSanitizer, and last
# every fuzz target for a short while. Ends with one line that says how many
# tests were skipped and why (the 32-bit program's, on a host that runs no
# 32-bit code or runs it only under emulation).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
(cd build && ctest --output-on-failure -j "$(nproc)") | tee build/ctest-output.txt

cmake -S . -B build/sanitized -G Ninja -DBU_WINDOWS_BUILDS=OFF -DBU_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/sanitized -j "$(nproc)"
(cd build/sanitized && ctest --output-on-failure -j "$(nproc)")

# Every fuzz target for a short fixed count, in a clang build of its own with
# libFuzzer and both sanitizers: any finding fails the run.
bash bench/fuzz.sh --build-dir build/fuzz 20000

# CTest marks each skipped test "***Skipped" in its progress lines.
skipped=$(grep -c '\*\*\*Skipped' build/ctest-output.txt || true)
skipped32=$(grep '\*\*\*Skipped' build/ctest-output.txt | grep -c '\.win32\.' || true)
state=$(cat build/tests/i386-host 2>/dev/null || echo native)
why=
if [ "$skipped32" -gt 0 ]; then
  why=" $skipped32 of the 32-bit program, because $(tests/wine/i386_host.sh reason "$state")"
fi
if [ "$skipped" -gt "$skipped32" ]; then
  why="$why${why:+;} $((skipped - skipped32)) others (their reasons: build/Testing/Temporary/LastTest.log)"
fi
echo "$skipped tests skipped${why:+:}$why."
