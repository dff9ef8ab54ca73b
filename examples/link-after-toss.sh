#!/bin/sh
# Runs the tosser, then links the areas it has just written to. Run it from
# cron or a systemd timer (see cron/ and systemd/ beside this file).
#
# The list file of -k (like ImportLog with -hpt) counts from the working
# directory, not from the configuration's directory: hence the cd.
spool=${FIDO_SPOOL:-/var/spool/fido}        # where the tosser writes import.lst
config=${KNOTTER_CONFIG:-/etc/fido/squish.cfg}

cd "$spool" || exit 1
toss                                        # your tosser; writes import.lst
[ -f import.lst ] || exit 0                 # no new mail, nothing to link

# -k deletes the list afterwards. A damaged or locked area does not change
# the exit status: it is logged on a line beginning with "!".
knotter -c "$config" -kimport.lst -q
status=$?
case $status in
  0) ;;                                     # nothing changed
  1) mkdir -p flags && touch flags/rescan.flg ;;  # headers changed: readers may rebuild indexes
  2) echo "knotter: out of memory" >&2; exit 2 ;;
  3) echo "knotter: cannot read $config" >&2; exit 3 ;;
  *) echo "knotter failed with status $status" >&2; exit 1 ;;
esac
