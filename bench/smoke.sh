#!/bin/sh
# Links a generated 1,000-message base with the tool: the first run must
# change headers (exit code 1), a second run must find nothing to change.
# Usage: smoke.sh <knotter> <knotter-make-base> [link type letters, default "r s"]
set -u
knotter=$1
make_base=$2
types=${3:-r s}
dir=$(mktemp -d "${TMPDIR:-/tmp}/knotter-smoke.XXXXXX") || exit 1
trap 'rm -rf "$dir"' EXIT INT TERM

"$make_base" -n 1000 -s 7 "$dir/smoke" >/dev/null || exit 1
for type in $types; do
  cp "$dir/smoke.sqd" "$dir/linked.sqd" && cp "$dir/smoke.sqi" "$dir/linked.sqi" || exit 1
  "$knotter" "-#$dir/linked" "-t$type" >"$dir/first.txt"
  code=$?
  if [ "$code" -ne 1 ]; then
    echo "smoke -t$type: first link exited with $code, expected 1:"; cat "$dir/first.txt"; exit 1
  fi
  "$knotter" "-#$dir/linked" "-t$type" >"$dir/second.txt"
  code=$?
  if [ "$code" -ne 0 ] || ! grep -q "0 of 1000" "$dir/second.txt"; then
    echo "smoke -t$type: second link exited with $code, expected 0 and \"0 of 1000\":"
    cat "$dir/second.txt"; exit 1
  fi
  echo "smoke -t$type: $(tr -d '\n' <"$dir/first.txt" | sed 's/.*Linking/Linking/'), then \"0 of 1000\""
done
