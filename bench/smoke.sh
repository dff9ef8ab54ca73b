#!/bin/sh
# Links a generated 1,000-message base with the tool: the first run must
# change headers (exit code 1), a second run must find nothing to change.
# With -j the base is a JAM base, with -M a *.MSG directory.
# Usage: smoke.sh <knotter> <knotter-make-base> [link type letters, default "r s"] [-j | -M]
set -u
knotter=$1
make_base=$2
types=${3:-r s}
jam=${4:-}
dir=$(mktemp -d "${TMPDIR:-/tmp}/knotter-smoke.XXXXXX") || exit 1
trap 'rm -rf "$dir"' EXIT INT TERM

"$make_base" -n 1000 -s 7 $jam "$dir/smoke" >/dev/null || exit 1
suffixes=".sqd .sqi"
label=
base=$dir/linked
if [ "$jam" = -j ]; then
  suffixes=".jhr .jdx .jdt"
  base=$dir/linked.jhr
  label=JAM
elif [ "$jam" = -M ]; then
  suffixes=
  base=$dir/linked/
  label=MSG
fi
for type in $types; do
  if [ "$jam" = -M ]; then
    rm -rf "$dir/linked" && cp -r "$dir/smoke" "$dir/linked" || exit 1
  fi
  for suffix in $suffixes; do cp "$dir/smoke$suffix" "$dir/linked$suffix" || exit 1; done
  "$knotter" "-#$base" "-t$type" >"$dir/first.txt"
  code=$?
  if [ "$code" -ne 1 ]; then
    echo "smoke${label:+ ($label)} -t$type: first link exited with $code, expected 1:"; cat "$dir/first.txt"; exit 1
  fi
  "$knotter" "-#$base" "-t$type" >"$dir/second.txt"
  code=$?
  if [ "$code" -ne 0 ] || ! grep -q "0 of 1000" "$dir/second.txt"; then
    echo "smoke${label:+ ($label)} -t$type: second link exited with $code, expected 0 and \"0 of 1000\":"
    cat "$dir/second.txt"; exit 1
  fi
  echo "smoke${label:+ ($label)} -t$type: $(tr -d '\n' <"$dir/first.txt" | sed 's/.*Linking/Linking/'), then \"0 of 1000\""
done
