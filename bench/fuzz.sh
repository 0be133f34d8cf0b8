#!/usr/bin/env bash
# Runs every fuzz target (fuzz/) for a number of executions, with
# AddressSanitizer and UndefinedBehaviorSanitizer, and prints per target the
# executions reached and any finding.
#
#   bench/fuzz.sh [--build-dir DIR] [--parallel N] [RUNS [TARGET...]]
#
#   RUNS        executions per target (default 10000000)
#   TARGET      the targets to run (default all): command_line configuration
#               appended_signature string_module registry_value archive_entry_name
#               extraction package_manifest
#   --build-dir the clang build to make and use (default build/fuzz)
#   --parallel  targets run at once (default 2)
#   BU_FUZZ_OPTIONS  more libFuzzer flags for every target (e.g. -max_len=8192)
#
# Builds what it needs itself: the packages (scripts/setup.sh), a clang build
# with -DBU_FUZZ=ON, the targets and their seed corpora. Each target starts
# from its seeds and from the corpus earlier runs left in DIR/fuzz/corpus;
# a crashing, leaking, hanging or invariant-breaking input is kept in
# DIR/fuzz/findings/<target>/. Exits 1 when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

build_dir=build/fuzz
parallel=2
runs=10000000
while [ $# -gt 0 ]; do
  case $1 in
    --build-dir) build_dir=$2; shift 2 ;;
    --parallel) parallel=$2; shift 2 ;;
    -h|--help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) break ;;
  esac
done
if [ $# -gt 0 ]; then runs=$1; shift; fi
all_targets=(command_line configuration appended_signature string_module registry_value
             archive_entry_name extraction package_manifest)
targets=("${all_targets[@]}")
if [ $# -gt 0 ]; then targets=("$@"); fi
case $runs in ''|*[!0-9]*) echo "$0: RUNS must be a number, not '$runs'" >&2; exit 2 ;; esac

bash scripts/setup.sh
mkdir -p "$build_dir"
build_dir=$(cd "$build_dir" && pwd)
cmake -S "$source_dir" -B "$build_dir" -G Ninja -DBU_WINDOWS_BUILDS=OFF -DBU_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build_dir" --target bu_fuzz -j "$(nproc)" >/dev/null

fuzz=$build_dir/fuzz
logs=$fuzz/logs
mkdir -p "$logs"

# One target: its own corpus first (the fuzzer adds to the first directory),
# the seeds second; findings under their target's name.
run_target() {
  local name=$1
  local corpus=$fuzz/corpus/$name findings=$fuzz/findings/$name
  local dict=() options=()
  mkdir -p "$corpus" "$findings"
  [ -f "$source_dir/fuzz/$name.dict" ] && dict=(-dict="$source_dir/fuzz/$name.dict")
  # A target's own libFuzzer flags, one line (fuzz/<target>.options).
  [ -f "$source_dir/fuzz/$name.options" ] && read -r -a options <"$source_dir/fuzz/$name.options"
  local start status=0
  start=$(date +%s%N)
  "$fuzz/fuzz_$name" -runs="$runs" -timeout=25 -print_final_stats=1 \
    -artifact_prefix="$findings/" "${dict[@]}" "${options[@]}" ${BU_FUZZ_OPTIONS:-} "$corpus" \
    "$fuzz/seeds/$name" >"$logs/$name.log" 2>&1 || status=$?
  echo "$status $((($(date +%s%N) - start) / 1000000))" >"$logs/$name.status"
}

pids=()
for name in "${targets[@]}"; do
  if [ ! -x "$fuzz/fuzz_$name" ]; then
    echo "$0: no fuzz target '$name' (known: ${all_targets[*]})" >&2
    exit 2
  fi
  rm -f "$logs/$name.status"
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
  echo "running $name ..." >&2
  run_target "$name" &
  pids+=($!)
done
wait "${pids[@]}" || true

found=0
printf '%-20s %14s %9s %9s  %s\n' target executions exec/s seconds result
for name in "${targets[@]}"; do
  log=$logs/$name.log
  read -r status milliseconds <"$logs/$name.status"
  executions=$(sed -n 's/^stat::number_of_executed_units: //p' "$log" | tail -n 1)
  if [ "$status" -eq 0 ]; then
    result=ok
  else
    found=1
    # Where the fuzzer ran until it stopped, and what stopped it.
    executions=${executions:-$(grep -o '^#[0-9]*' "$log" | tail -n 1 | tr -d '#')}
    report=$(grep -m 1 -E '==[0-9]+==ERROR|runtime error:|==fuzz== invariant|ALARM|out-of-memory' \
      "$log" || tail -n 1 "$log")
    artifact=$(sed -n 's/.*Test unit written to //p' "$log" | tail -n 1)
    result="FOUND (exit $status): $report${artifact:+ -> $artifact}"
  fi
  speed=?
  if [ -n "$executions" ]; then speed=$((executions * 1000 / (milliseconds > 0 ? milliseconds : 1))); fi
  seconds=$(printf '%d.%01d' $((milliseconds / 1000)) $((milliseconds % 1000 / 100)))
  printf '%-20s %14s %9s %9s  %s\n' "$name" "${executions:-?}" "$speed" "$seconds" "$result"
done
echo "logs: $logs" >&2
exit "$found"
