#!/usr/bin/env bash
# Measures the tool against the floor pass on generated bases and prints one
# table; bench/README.md explains it. Every cell alternates the tool and its
# floor run by run, so that drift of the machine falls on both.
#
# Usage: run_bench.sh [--quick] [--collide]
#   --quick    smaller workloads for a smoke run (about two minutes)
#   --collide  bases whose texts collide under the tool's old, unkeyed hashes,
#              each against the ordinary base of the same size and shape
#
# Environment (all optional; the defaults are those of a full run):
#   BENCH_SIZES        message counts of the base workload  (default "100000 1000000")
#   BENCH_TYPES        link types there, as -t letters       (default "t f r s")
#   BENCH_OTHER_TYPES  link types of the other workloads     (default "r")
#   BENCH_AREAS        areas of the multi-area workload      (default 1000)
#   BENCH_AREA_SIZE    messages per area                     (default 1000)
#   BENCH_MSG_SIZE     messages of the *.MSG workload        (default 60000; at most 65534)
#   BENCH_WORKLOADS    which workloads to run                (default "base origins areas jam msg")
#   BENCH_PAIRS        undisturbed tool/floor pairs per cell (default 7)
#   BENCH_BUILD        build directory                       (default <repo>/build-bench)
#   BENCH_TMP          where bases are generated             (default /tmp; 1M messages take ~1.4 GB)
#   BENCH_KNOTTER      the knotter binary measured           (default: the one built here)
#   BENCH_RAW          also copy every timed run, in order, to this file
# With --collide:
#   BENCH_COLLIDE_SIZE     messages of each base               (default 300000; --quick: 30000)
#   BENCH_COLLIDE_ORIGINS  origin texts of the origins bases   (default 20000)
#   BENCH_COLLIDE_SUBJECTS subjects of the subjects bases      (default 2000)
#   BENCH_WORKLOADS        there: default "sq-origins jam-origins sq-subjects jam-subjects";
#                          the origins bases take the types of BENCH_TYPES but s, the
#                          subjects bases s
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
usage_lines='2,30s/^# \{0,1\}//p'
quick=false
collide=false
for option in "$@"; do
  case $option in
    --quick) quick=true ;;
    --collide) collide=true ;;
    -h | --help) sed -n "$usage_lines" "$0"; exit 0 ;;
    *) sed -n "$usage_lines" "$0" >&2; exit 2 ;;
  esac
done
if $quick; then
  sizes=${BENCH_SIZES:-"10000 100000"}
  areas=${BENCH_AREAS:-100}
  msg_size=${BENCH_MSG_SIZE:-10000}
  collide_size=${BENCH_COLLIDE_SIZE:-30000}
else
  sizes=${BENCH_SIZES:-"100000 1000000"}
  areas=${BENCH_AREAS:-1000}
  msg_size=${BENCH_MSG_SIZE:-60000}
  collide_size=${BENCH_COLLIDE_SIZE:-300000}
fi
types=${BENCH_TYPES:-"t f r s"}
other_types=${BENCH_OTHER_TYPES:-r}
area_size=${BENCH_AREA_SIZE:-1000}
collide_origins=${BENCH_COLLIDE_ORIGINS:-20000}
collide_subjects=${BENCH_COLLIDE_SUBJECTS:-2000}
if $collide; then
  workloads=${BENCH_WORKLOADS:-"sq-origins jam-origins sq-subjects jam-subjects"}
else
  workloads=${BENCH_WORKLOADS:-"base origins areas jam msg"}
fi
pairs=${BENCH_PAIRS:-7}
build=${BENCH_BUILD:-$root/build-bench}
tmp=${BENCH_TMP:-/tmp}
work=$(mktemp -d "$tmp/knotter-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

echo "Building (Release) in $build ..." >&2
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKNOTTER_BENCH=ON -DKNOTTER_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target knotter knotter-make-base knotter-floor knotter-time-run >/dev/null
knotter=${BENCH_KNOTTER:-$build/knotter}
make_base=$build/bench/knotter-make-base
floor=$build/bench/knotter-floor
timer=$build/bench/knotter-time-run

echo "Smoke check ..." >&2
"$root/bench/smoke.sh" "$knotter" "$make_base" "$types" >&2
"$root/bench/smoke.sh" "$knotter" "$make_base" "$types" -j >&2
"$root/bench/smoke.sh" "$knotter" "$make_base" "$types" -M >&2

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
results=$work/results
: >"$results"

# The bases of a workload lie in $work/source; every timed run works on the
# copy in $work/copy. tool_args and floor_args name that copy; with
# --collide, against_args name the copy of the ordinary base, on which the
# tool runs in the floor's place.
tool_args=()
floor_args=()
against_args=()
# Messages of the *.MSG area when the workload is one, else empty.
msg_area=

# sync_copy: the working copy written back to disk. A *.MSG area is a
# directory of files, which sync names only as a directory: its file system
# is written back whole.
sync_copy() {
  if [ -n "$msg_area" ]; then sync -f "$work/copy/base"; else sync "$work/copy"/*; fi
}

# fresh [name]: a new copy of the unlinked bases (those whose file names
# begin with name), written back to disk so that no writeback of the copy
# runs during the timed part. Within a workload the copy is overwritten in
# place: removing a file makes the file system discard its blocks on the
# disk in the background (/tmp may be mounted with "discard"), which would
# slow whatever run came next.
fresh() {
  local f
  if [ -n "$msg_area" ]; then
    # The generator writes the area again over the copy, each file in place
    # and whole, which undoes a link byte for byte without removing a file.
    mkdir -p "$work/copy"
    "$make_base" -M -n "$msg_area" -s 1 "$work/copy/base" >/dev/null
  elif [ ! -d "$work/copy" ]; then
    cp -r "$work/source" "$work/copy"
  else
    for f in "$work/source/${1:-}"*; do cat "$f" 1<>"$work/copy/${f##*/}"; done
  fi
  sync_copy
}

# new_workload: the bases of the next workload go into an empty source
# directory; the old copy goes, and its discards settle before timing.
new_workload() {
  msg_area=
  rm -rf "$work/source" "$work/copy"
  mkdir "$work/source"
  sync
  sleep 2
}

# timed <label> <expected status> <command...>: runs the command once and
# appends "<label> <seconds> <KiB>" to the results (label "-": not kept);
# stops the benchmark when the command ends with another status.
timed() {
  local label=$1 expected=$2 seconds kib status
  shift 2
  read -r seconds kib status < <("$timer" "$@")
  if [ "$status" != "$expected" ]; then
    echo "run_bench: '$*' exited with $status, expected $expected" >&2
    exit 1
  fi
  [ "$label" = - ] || echo "$label $seconds $kib" >>"$results"
}

# first_pair <label> <type>: a first link on a fresh copy, then the floor with
# stores on a fresh copy; with --collide, a first link of the colliding base,
# then one of the ordinary base.
first_pair() {
  if $collide; then
    fresh base
    timed "$1 first tool" 1 "$knotter" "${tool_args[@]}" "-t$2"
    fresh plain
    timed "$1 first floor" 1 "$knotter" "${against_args[@]}" "-t$2"
    return
  fi
  fresh
  timed "$1 first tool" 1 "$knotter" "${tool_args[@]}" "-t$2"
  fresh
  timed "$1 first floor" 0 "$floor" --stores "${floor_args[@]}"
}

# relink_pair <label> <type>: a relink of the linked copy, then the floor on
# it; with --collide, a relink of the colliding base, then of the ordinary one.
relink_pair() {
  timed "$1 relink tool" 0 "$knotter" "${tool_args[@]}" "-t$2"
  if $collide; then
    timed "$1 relink floor" 0 "$knotter" "${against_args[@]}" "-t$2"
  else
    timed "$1 relink floor" 0 "$floor" "${floor_args[@]}"
  fi
}

# settle <label> <type> <link>: runs $pairs pairs of the link, then more, a
# few seconds apart, until $pairs of them are undisturbed (report.awk says
# which are) or three times $pairs have run.
settle() {
  local label=$1 type=$2 link=$3 ran kept
  for ((ran = 0; ran < pairs; ++ran)); do "${link}_pair" "$label" "$type"; done
  while ((ran < 3 * pairs)); do
    kept=$(awk -v kept_of="$label $link" -f "$root/bench/report.awk" "$results")
    ((kept < pairs)) || break
    sleep 5
    "${link}_pair" "$label" "$type"
    ((++ran))
  done
}

# cell <workload> <messages> <type>: first links, then relinks of the linked
# copy, each alternating with its floor.
cell() {
  local label="$1 $2 -t$3"
  echo "  $label ..." >&2
  settle "$label" "$3" first
  fresh
  timed - 1 "$knotter" "${tool_args[@]}" "-t$3"
  $collide && timed - 1 "$knotter" "${against_args[@]}" "-t$3"
  sync_copy
  settle "$label" "$3" relink
}

# one_base <workload> <messages> <types> [make-base options...]; with -j the
# base is a JAM base, which the tool is given by its header file.
one_base() {
  local workload=$1 n=$2 type suffix=
  local -a cell_types
  read -ra cell_types <<<"$3"
  shift 3
  new_workload
  "$make_base" -n "$n" -s 1 "$@" "$work/source/base" >/dev/null
  [[ " $* " == *" -j "* ]] && suffix=.jhr
  tool_args=("-#$work/copy/base$suffix")
  floor_args=("$work/copy/base")
  for type in "${cell_types[@]}"; do cell "$workload" "$n" "$type"; done
}

# collide_base <workload> <types> <make-base options...>: a base of
# $collide_size messages whose pools collide (-c), and the ordinary base made
# with the same options without -c, which it is timed against.
collide_base() {
  local workload=$1 type suffix=
  local -a cell_types
  read -ra cell_types <<<"$2"
  shift 2
  new_workload
  "$make_base" -n "$collide_size" -s 1 -c "$@" "$work/source/base" >/dev/null
  "$make_base" -n "$collide_size" -s 1 "$@" "$work/source/plain" >/dev/null
  [[ " $* " == *" -j "* ]] && suffix=.jhr
  tool_args=("-#$work/copy/base$suffix")
  against_args=("-#$work/copy/plain$suffix")
  for type in "${cell_types[@]}"; do cell "$workload" "$collide_size" "$type"; done
}

# many_areas: one configuration over $areas generated areas, linked by one
# run of the tool; the floor visits the same areas in one process.
many_areas() {
  local i name config=$work/areas.cfg type
  new_workload
  : >"$config"
  floor_args=()
  for ((i = 1; i <= areas; ++i)); do
    name=$(printf 'a%04d' "$i")
    "$make_base" -n "$area_size" -s "$i" "$work/source/$name" >/dev/null
    echo "EchoArea AREA.$name $work/copy/$name" >>"$config"
    floor_args+=("$work/copy/$name")
  done
  tool_args=("-c$config")
  for type in $other_types; do cell areas "$((areas * area_size))" "$type"; done
}

# msg_workload: one *.MSG directory of $msg_size messages (1.msg the
# highwater mark), linked with -#<dir>/; its floor opens and reads each
# file's header and kludge lines.
msg_workload() {
  local type
  new_workload
  "$make_base" -M -n "$msg_size" -s 1 "$work/source/base" >/dev/null
  msg_area=$msg_size
  tool_args=("-#$work/copy/base/")
  floor_args=("$work/copy/base/")
  for type in $other_types; do cell msg "$msg_size" "$type"; done
}

largest=$(tr ' ' '\n' <<<"$sizes" | sort -n | tail -n 1)
origin_types=$(tr ' ' '\n' <<<"$types" | grep -vx s | tr '\n' ' ' || true)
subject_types=$(tr ' ' '\n' <<<"$types" | grep -x s || true)
for workload in $workloads; do
  echo "Measuring workload $workload ..." >&2
  case $collide:$workload in
    false:base) for n in $sizes; do one_base base "$n" "$types"; done ;;
    false:origins) one_base origins "$largest" "$other_types" -o ;;
    false:jam) one_base jam "$largest" "$other_types" -j ;;
    false:areas) many_areas ;;
    false:msg) msg_workload ;;
    true:sq-origins) collide_base "$workload" "$origin_types" -O "$collide_origins" ;;
    true:jam-origins) collide_base "$workload" "$origin_types" -O "$collide_origins" -j ;;
    true:sq-subjects) collide_base "$workload" "$subject_types" -S "$collide_subjects" ;;
    true:jam-subjects) collide_base "$workload" "$subject_types" -S "$collide_subjects" -j ;;
    *) echo "run_bench: unknown workload $workload" >&2; exit 2 ;;
  esac
done

measured=$(git -C "$root" describe --always --dirty 2>/dev/null || echo '?')
[ -n "${BENCH_KNOTTER:-}" ] && measured="$BENCH_KNOTTER (bench programs of $measured)"
echo "knotter $measured, $(date -u '+%Y-%m-%d %H:%M UTC')," \
  "$(nproc) x $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)," \
  "$(df -T "$tmp" | awk 'NR == 2 { print $2 }') on $tmp"
echo "load average $load_before at the start, $(cut -d' ' -f1-3 /proc/loadavg) at the end;" \
  "$pairs undisturbed pairs per cell (at most $((3 * pairs)) run); took $((SECONDS / 60)) min $((SECONDS % 60)) s"
if $collide; then
  echo "workloads: $workloads (-c against the same without; origins: -O $collide_origins;" \
    "subjects: -S $collide_subjects; sq: Squish, jam: JAM)"
else
  echo "workloads: $workloads (areas: $areas areas of $area_size messages;" \
    "origins: -o, nearly every message its own origin; jam: the base as a JAM base;" \
    "msg: a *.MSG directory of $msg_size messages)"
fi
echo
[ -n "${BENCH_RAW:-}" ] && cp "$results" "$BENCH_RAW"
versus=
$collide && versus=ordinary
awk -v pairs="$pairs" -v versus="$versus" -v sizes="$(tr ' ' '\n' <<<"$sizes" | sort -n | tr '\n' ' ')" \
  -f "$root/bench/report.awk" "$results"
