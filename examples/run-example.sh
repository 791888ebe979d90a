#!/bin/sh
# A whole Tolvane run in under a minute: four workers with known exit codes
# start in the background, then Tolvane beside them, with this script's
# shell as the parent it watches. Press Esc once the workers have ended.
#
#   examples/run-example.sh [tolvane options]
#
# Tolvane writes its log beside its own executable, so the script runs a copy
# of it in a folder of its own (TOLVANE_EXAMPLE_DIR, by default
# ./tolvane-example), where the log is sure to be writable and easy to find.
# The program is $TOLVANE if set, else the one in an unpacked package or a
# source tree next to this script, else tolvane on the PATH.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
if [ -n "${TOLVANE-}" ]; then
  program=$TOLVANE
elif [ -x "$here/../bin/tolvane" ]; then
  program=$here/../bin/tolvane
elif [ -x "$here/../build/linux/tolvane" ]; then
  program=$here/../build/linux/tolvane
elif command -v tolvane >/dev/null 2>&1; then
  program=$(command -v tolvane)
else
  echo "run-example.sh: no tolvane found; build it (scripts/run) or install it (see the README)" >&2
  exit 1
fi

folder=${TOLVANE_EXAMPLE_DIR:-tolvane-example}
mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
cp "$program" "$folder/tolvane"

# The name Tolvane will choose: the first number no earlier log has taken.
n=0
while [ -e "$folder/Tolvane$n.log" ]; do n=$((n + 1)); done
log=$folder/Tolvane$n.log

echo "Four workers start now; Tolvane lists them with a * while they run:"
echo "  sh -c 'sleep 2; exit 3'           ends after 2 s with exit code 3"
echo "  sh -c 'sleep 4; exit 5'           ends after 4 s with exit code 5 (its sleep is its child)"
echo "  sh -c 'sleep 6; kill -TERM \$\$'    killed by SIGTERM after 6 s: exit code 143"
echo "  sleep 8                           ends after 8 s with exit code 0"
echo "Press Esc once they have all ended (Tab, Page Up, Page Down page the table)."
sleep 3

sh -c 'sleep 2; exit 3' &
sh -c 'sleep 4; exit 5' &
sh -c 'sleep 6; kill -TERM $$' &
sleep 8 &

code=0
"$folder/tolvane" "$@" || code=$?
wait

echo
echo "Tolvane ended with exit code $code. Its log, $log:"
if [ -f "$log" ]; then
  tr -d '\r\000' <"$log"
  echo
  top=$(cd "$here/.." && pwd)
  if [ -x "$top/scripts/log2csv" ]; then
    convert=$top/scripts/log2csv
  elif [ -x "$top/bin/tolvane-log2csv" ]; then
    convert=$top/bin/tolvane-log2csv
  else
    convert=tolvane-log2csv
  fi
  echo "As CSV: $convert '$log' > records.csv"
fi
exit "$code"
