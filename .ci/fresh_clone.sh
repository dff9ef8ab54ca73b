#!/usr/bin/env bash
# Clones the repository into an empty temporary folder, with nothing beside
# it, and runs the two commands of README.md's quick start there as written:
# the first as on a machine without GoogleTest and then as on one with it,
# each time checked against the output the README shows and for building no
# test binary; the second (every test) as on a developer's machine.
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
# The build folder each command configures (its "-B folder").
build_dir() { sed -n 's/^cmake -S [^ ]* -B \([^ ]*\) .*/\1/p' <<<"$1"; }
quick=$(build_dir "${commands[0]}")
tests=$(build_dir "${commands[1]}")
if [ -z "$quick" ] || [ -z "$tests" ] || [ "$quick" = "$tests" ]; then
  echo "the quick start's two commands should each configure a build folder of its own"
  exit 1
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
git clone -q "$PWD" "$tmp/knotter"
cd "$tmp/knotter"

# Runs the first command in a fresh clone whose quick-start folder may have
# been configured already; it must link the sample base as README.md shows
# and build no test binary, which would cost minutes.
quick_start() {
  local status=0
  local -a got
  bash -c "${commands[0]}" >quick-start.out 2>&1 || status=$?
  mapfile -t got < <(grep -v '^$' quick-start.out | tail -n ${#expected[@]})
  # Exit status 1 is the tool's own "headers changed".
  if [ "$status" -gt 1 ] || [ "${got[*]}" != "${expected[*]}" ]; then
    cat quick-start.out
    echo "the quick start did not give the output README.md shows"
    exit 1
  fi
  local built
  built=$(find "$quick" -name knotter_tests -type f)
  if [ -n "$built" ]; then
    echo "the quick start built the test binary: $built"
    exit 1
  fi
  printf '%s\n' "${got[@]}"
}

# A build folder configured first with GoogleTest hidden stands for a
# machine that lacks it; the quick start must still build and link.
cmake -S . -B "$quick" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=TRUE >/dev/null 2>&1
echo "fresh clone, without GoogleTest: ${commands[0]}"
quick_start
if ! grep -q '^Tests are off: GoogleTest was not found' quick-start.out; then
  cat quick-start.out
  echo "the quick start without GoogleTest gave no note that tests are off"
  exit 1
fi

# Again from nothing, as a newcomer runs it: where GoogleTest is installed,
# the tests are configured but must stay unbuilt.
rm -rf "$quick"
echo "fresh clone, with GoogleTest if installed: ${commands[0]}"
quick_start
if grep -q '^Tests are off' quick-start.out; then
  echo "GoogleTest is not installed here: the quick start was not tried with it"
fi

echo "fresh clone: ${commands[1]}"
bash -c "${commands[1]}"
