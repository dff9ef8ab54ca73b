#!/bin/sh
# Formats each manual page with every groff warning turned on and fails if
# groff says anything at all. Exits 77 (skipped) where groff is not installed.
command -v groff >/dev/null 2>&1 || { echo "groff not installed"; exit 77; }
status=0
for page in "$@"; do
  out=$(groff -ww -z -man "$page" 2>&1) || status=1
  if [ -n "$out" ]; then
    printf '%s:\n%s\n' "$page" "$out"
    status=1
  fi
done
exit $status
