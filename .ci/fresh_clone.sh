#!/usr/bin/env bash
# Clones the repository into an empty temporary folder, with nothing beside
# it, and runs the two commands of README.md's quick start there as written:
# the first as on a machine without GoogleTest, checked against the output
# the README shows; the second (every test) as on a developer's machine.
set -euo pipefail
cd "$(dirname "$0")/.."

# The quick start's indented lines: the commands, and the output shown.
section() { awk '/^## /{on = ($0 == "## Quick start")} on && /^    [^ ]/{sub(/^    /, ""); print}' README.md; }
mapfile -t commands < <(section | grep '^cmake ')
mapfile -t expected < <(section | grep -v '^cmake ')
if [ ${#commands[@]} -ne 2 ] || [ ${#expected[@]} -eq 0 ]; then
  echo "README.md's quick start should hold two commands and the expected output"
  exit 1
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
git clone -q "$PWD" "$tmp/knotter"
cd "$tmp/knotter"

# A build folder configured first with GoogleTest hidden stands for a
# machine that lacks it; the quick start must still build and link.
cmake -S . -B build -DCMAKE_DISABLE_FIND_PACKAGE_GTest=TRUE >/dev/null 2>&1
echo "fresh clone, without GoogleTest: ${commands[0]}"
status=0
bash -c "${commands[0]}" >quick-start.out 2>&1 || status=$?
mapfile -t got < <(grep -v '^$' quick-start.out | tail -n ${#expected[@]})
# Exit status 1 is the tool's own "headers changed".
if [ "$status" -gt 1 ] || [ "${got[*]}" != "${expected[*]}" ] ||
   ! grep -q '^Tests are off: GoogleTest was not found' quick-start.out; then
  cat quick-start.out
  echo "the quick start did not give the output README.md shows, or no note that tests are off"
  exit 1
fi
printf '%s\n' "${got[@]}"

rm -rf build
echo "fresh clone: ${commands[1]}"
bash -c "${commands[1]}"
