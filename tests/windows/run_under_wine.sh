#!/bin/bash
# Runs a Windows program under Wine, quietly, in the user's Wine prefix.
# The first run creates the prefix (~/.wine), which takes several seconds.
#
#   run_under_wine.sh PROGRAM.exe [ARGS...]
#   run_under_wine.sh --console PROGRAM.exe [ARGS...]
#
# Wine gives a program a console only when its standard input is a
# terminal: --console runs it in a pseudo-terminal (util-linux script),
# with its standard output collected in a file and passed on once it has
# ended, so that it arrives without the terminal's control sequences.
# The exit status is the program's.
set -u
export WINEDEBUG=-all
WINE=/usr/lib/wine/wine64

if [ "${1:-}" != "--console" ]; then
  exec "$WINE" "$@"
fi
shift
export TOLVANE_CONSOLE_PASS=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# script passes its standard input on to the terminal, and at its end sends
# one more byte, which Wine takes for a key. A FIFO opened for reading and
# writing never ends and never has anything to read.
mkfifo "$work/quiet"
command=$(printf '%q ' "$WINE" "$@")
script -qec "$command >$(printf '%q' "$work/output") 2>&1" /dev/null <>"$work/quiet" >/dev/null
status=$?
cat "$work/output"
exit $status
