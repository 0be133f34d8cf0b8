#!/usr/bin/env bash
# Runs the benchmarks: the POSIX program against the UnRAR tool and against
# the bare cost of what it does, plus one figure for brevUpdater.exe under
# Wine. Prints a table, then one `name=value` line per figure.
#
#   bench/run.sh [--quick] [--build DIR] [--windows DIR] [--only NAME...]
#
#   --quick    smaller inputs, fewer entries: done in under five minutes
#   --build    the POSIX build to make and use (default build/bench), configured
#              with BU_BENCHMARKS=ON; a new one is configured without the
#              Windows builds
#   --windows  the i686 Windows build whose brevUpdater.exe, unrar.dll and test
#              modules the Wine figure uses (default DIR/windows-i686, else
#              build/windows-i686); without one that figure is skipped
#   --only     some of: extract entries wine parse log
#
# The test fixtures (test PKI, signed modules) are made afresh in the build;
# inputs and scratch files live in DIR/bench-work, the Wine prefix in
# DIR/bench-work/wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

build=build/bench
pass=()
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2; shift 2 ;;
    -h|--help) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) pass+=("$1"); shift ;;
  esac
done
mkdir -p "$build"
build=$(cd "$build" && pwd)

bash scripts/setup.sh
if [ -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DBU_BENCHMARKS=ON >/dev/null
else
  cmake -S "$root" -B "$build" -G Ninja -DBU_WINDOWS_BUILDS=OFF -DBU_BENCHMARKS=ON >/dev/null
fi
cmake --build "$build" -j 2 --target bu_bench_inputs >/dev/null
# Both at once: modules signed under an earlier PKI would no longer verify.
ctest --test-dir "$build" -R '^(trust\.fixtures|modules\.sign)$' --output-on-failure >/dev/null

windows=()
for candidate in "$build/windows-i686" "$root/build/windows-i686"; do
  if [ -f "$candidate/brevUpdater.exe" ]; then
    windows=(--windows "$candidate")
    break
  fi
done
exec python3 "$root/bench/bench.py" --build "$build" "${windows[@]}" "${pass[@]}"
