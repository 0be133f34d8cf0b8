#!/usr/bin/env bash
# Builds everything and runs every test: unit and end-to-end tests of the
# POSIX program, both Windows programs under Wine, then the POSIX tests again
# in a build with AddressSanitizer and UndefinedBehaviorSanitizer, and last
# every fuzz target for a short while.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
(cd build && ctest --output-on-failure -j "$(nproc)")

cmake -S . -B build/sanitized -G Ninja -DBU_WINDOWS_BUILDS=OFF -DBU_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/sanitized -j "$(nproc)"
(cd build/sanitized && ctest --output-on-failure -j "$(nproc)")

# Every fuzz target for a short fixed count, in a clang build of its own with
# libFuzzer and both sanitizers: any finding fails the run.
bash bench/fuzz.sh --build-dir build/fuzz 20000
