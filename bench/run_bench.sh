#!/usr/bin/env bash
# Measures the tool against the floor pass on generated bases and prints one
# table; bench/README.md explains the columns.
#
# Environment (all optional):
#   BENCH_SIZES  message counts             (default "10000 100000 1000000")
#   BENCH_TYPES  link types, as -t letters  (default "r s")
#   BENCH_RUNS   timed runs per cell        (default 5; the median is shown)
#   BENCH_BUILD  build directory            (default <repo>/build-bench)
#   BENCH_TMP    where bases are generated  (default /tmp; 1M messages take ~1.4 GB)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD:-$root/build-bench}
sizes=${BENCH_SIZES:-"10000 100000 1000000"}
types=${BENCH_TYPES:-"r s"}
runs=${BENCH_RUNS:-5}
work=$(mktemp -d "${BENCH_TMP:-/tmp}/knotter-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

echo "Building (Release) in $build ..." >&2
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKNOTTER_BENCH=ON -DKNOTTER_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target knotter knotter-make-base knotter-floor knotter-time-run >/dev/null
knotter=$build/knotter
make_base=$build/bench/knotter-make-base
floor=$build/bench/knotter-floor
timer=$build/bench/knotter-time-run

echo "Smoke check ..." >&2
"$root/bench/smoke.sh" "$knotter" "$make_base" "$types" >&2

# fresh <base>: a new copy of the unlinked base at $work/copy, written back to
# disk so that no writeback of the copy runs during the timed part.
fresh() {
  rm -f "$work/copy.sqd" "$work/copy.sqi"
  cp "$1.sqd" "$work/copy.sqd"
  cp "$1.sqi" "$work/copy.sqi"
  sync "$work/copy.sqd" "$work/copy.sqi"
}

# timed <out file> <expected status> <command...>: appends "seconds kib" of
# one run; stops the benchmark when the command ends with another status.
timed() {
  local out=$1 expected=$2 seconds kib status
  shift 2
  read -r seconds kib status < <("$timer" "$@")
  if [ "$status" != "$expected" ]; then
    echo "run_bench: '$*' exited with $status, expected $expected" >&2
    exit 1
  fi
  echo "$seconds $kib" >>"$out"
}

# median_ms <file>: median of the first column, in milliseconds.
median_ms() {
  sort -g -k1,1 "$1" | awk '{ t[NR] = $1 } END { printf "%.1f", 1000 * t[int((NR + 1) / 2)] }'
}

# peak_mb <file>: largest second column, in MB.
peak_mb() {
  awk 'BEGIN { m = 0 } $2 > m { m = $2 } END { printf "%.1f", m / 1024 }' "$1"
}

measure_size() {
  local n=$1 base=$work/base$1 type run
  "$make_base" -n "$n" -s 1 "$base" >/dev/null
  cat "$base.sqd" "$base.sqi" >/dev/null  # warm the page cache
  "$floor" "$base" >/dev/null
  : >"$work/floor.$n"
  : >"$work/stores.$n"
  for ((run = 0; run < runs; ++run)); do timed "$work/floor.$n" 0 "$floor" "$base"; done
  for ((run = 0; run < runs; ++run)); do
    fresh "$base"
    timed "$work/stores.$n" 0 "$floor" --stores "$work/copy"
  done
  for type in $types; do
    : >"$work/first.$n.$type"
    : >"$work/relink.$n.$type"
    for ((run = 0; run < runs; ++run)); do
      fresh "$base"
      timed "$work/first.$n.$type" 1 "$knotter" "-#$work/copy" "-t$type"
    done
    sync "$work/copy.sqd"
    for ((run = 0; run < runs; ++run)); do
      timed "$work/relink.$n.$type" 0 "$knotter" "-#$work/copy" "-t$type"
    done
  done
  rm -f "$base.sqd" "$base.sqi" "$work/copy.sqd" "$work/copy.sqi"
}

for n in $sizes; do
  echo "Measuring $n messages ..." >&2
  measure_size "$n"
done

echo "knotter $(git -C "$root" describe --always --dirty 2>/dev/null || echo '?'), $(date -u '+%Y-%m-%d %H:%M UTC')," \
  "$(nproc) x $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)," \
  "$(df -T "${BENCH_TMP:-/tmp}" | awk 'NR == 2 { print $2 }') on ${BENCH_TMP:-/tmp}; median of $runs runs, times in ms"
echo
printf '%9s %4s | %10s %12s %6s | %8s %8s %6s | %8s %8s %8s\n' \
  messages type "first link" "floor+stores" ratio relink floor ratio "RSS MB" "floor MB" "own MB"
for n in $sizes; do
  stores=$(median_ms "$work/stores.$n")
  floor_ms=$(median_ms "$work/floor.$n")
  floor_mb=$(peak_mb "$work/floor.$n")
  for type in $types; do
    first=$(median_ms "$work/first.$n.$type")
    relink=$(median_ms "$work/relink.$n.$type")
    rss=$(peak_mb "$work/first.$n.$type")
    awk -v n="$n" -v t="-t$type" -v f="$first" -v s="$stores" -v r="$relink" -v p="$floor_ms" \
      -v rss="$rss" -v fm="$floor_mb" 'BEGIN {
        printf "%9d %4s | %10.1f %12.1f %6.2f | %8.1f %8.1f %6.2f | %8.1f %8.1f %8.1f\n",
          n, t, f, s, f / s, r, p, r / p, rss, fm, rss - fm }'
  done
done

# Time per message at each size, next to what n log n growth alone would
# predict from one size to the next. Small sizes carry the fixed cost of
# starting a process and mapping a file, so the later steps say more.
per_message_row() {
  local label=$1 prefix=$2 suffix=$3 n
  printf '  %-16s' "$label"
  for n in $sizes; do
    awk -v n="$n" -v t="$(median_ms "$work/$prefix.$n$suffix")" 'BEGIN { printf " %9.3f", 1000 * t / n }'
  done
  echo
}

echo
printf 'Time per message in us. Growth from n log n alone:'
previous=
for n in $sizes; do
  [ -n "$previous" ] && awk -v a="$previous" -v b="$n" 'BEGIN { printf "  x%.2f (%d -> %d)", log(b) / log(a), a, b }'
  previous=$n
done
echo
printf '  %-16s' ""
for n in $sizes; do printf ' %9s' "$n"; done
echo
for type in $types; do
  per_message_row "-t$type first link" first ".$type"
  per_message_row "-t$type relink" relink ".$type"
done
per_message_row "floor+stores" stores ""
per_message_row "floor" floor ""
