#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for SECONDS (default 30),
# one after another in one process each, starting from the seed corpus in
# fuzz/corpus/<target>. Prints the executions of each run. New corpus units
# and crash inputs go below the build directory, never into fuzz/corpus.
# Exits with status 1 when a target found a crash.
#
#   fuzz/run_fuzzers.sh [SECONDS] [TARGET...]
set -euo pipefail

seconds=${1:-30}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KNOTTER_FUZZ_BUILD:-$root/build-fuzz}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(kludge_scanner subject_normaliser line_reader config_reader area area_jam area_msg)

# Largest input per target: a subject is 73 bytes; configurations, texts and
# whole areas get room for several 4096-byte buffers and frames.
declare -A maxLen=([kludge_scanner]=1024 [subject_normaliser]=73 [line_reader]=12288
                   [config_reader]=8192 [area]=20000 [area_jam]=20000
                   [area_msg]=20000)

export CC=clang CXX=clang++
mkdir -p "$build"
if ! { cmake -S "$root" -B "$build" -DKNOTTER_FUZZ=ON -DKNOTTER_TESTS=OFF &&
       cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"; } >"$build/fuzz-build.log" 2>&1; then
  cat "$build/fuzz-build.log"
  echo "building the fuzz targets failed"
  exit 1
fi

# Out-of-memory in the product is reported, not fatal: let malloc fail.
export ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=0
for target in "${targets[@]}"; do
  work=$build/fuzz-work/$target
  mkdir -p "$work/corpus" "$work/artifacts"
  log=$work/last-run.log
  status=0
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=25 \
    -max_len="${maxLen[$target]}" -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" "$root/fuzz/corpus/$target" \
    >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  corpus=$(ls "$work/corpus" | wc -l)
  if [ "$status" -ne 0 ]; then
    failed=1
    echo "fuzz_$target: FAILED after ${runs:-?} executions (see $log)"
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -5 || true
  else
    echo "fuzz_$target: ${runs:-?} executions in ${seconds} s, corpus $corpus units"
  fi
done
exit "$failed"
