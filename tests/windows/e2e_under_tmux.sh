#!/bin/bash
# Tolvane.exe end to end under Wine, in a terminal (tmux): the launcher
# starts two workers and Tolvane as its own children; the run is read off the
# screen, paged with Tab, Page Up and Page Down, stopped with Esc, and its exit
# code and every line of its log are checked.
#
#   e2e_under_tmux.sh TOLVANE.EXE LAUNCHER.EXE
#
# Wine runs in the inherited prefix (WINEPREFIX, else the user's), which other
# runs may share: nothing here ends Wine's server. Whatever the launcher
# started ends with it, so ending the terminal leaves nothing behind.
set -u
if [ $# -ne 2 ]; then
  echo "usage: $0 TOLVANE.EXE LAUNCHER.EXE" >&2
  exit 2
fi
export WINEDEBUG=-all
WINE=/usr/lib/wine/wine64
# Every wait has a deadline this far off, in tenths of a second; the first
# may include the creation of the Wine prefix.
FIRST_PATIENCE=3000
PATIENCE=600
if ! command -v tmux >/dev/null; then
  echo "SKIP: tmux is not installed"
  exit 77
fi

work=$(mktemp -d -t tolvane-e2e.XXXXXX) || exit 1
# A tmux server of its own, its socket in the run's folder.
terminal() { tmux -S "$work/tmux" "$@"; }
cleanup() {
  terminal kill-server 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# Ended from outside (a timeout), it still cleans up.
trap 'exit 1' TERM INT HUP
cp "$1" "$work/Tolvane.exe" && cp "$2" "$work/tolvane_launcher.exe" || exit 1

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The run's folder as Wine names it, and as a pattern.
windows_folder="Z:${work//\//\\}"
pattern_of() { sed 's/[][\.*^$+?(){}|/]/\\&/g' <<<"$1"; }
launcher_path=$(pattern_of "$windows_folder\\tolvane_launcher.exe")
tolvane_path=$(pattern_of "$windows_folder\\Tolvane.exe")
# The view shows the last 33 units of a longer name.
last_33() { if [ ${#1} -gt 33 ]; then echo "${1: -33}"; else echo "$1"; fi; }
launcher_running=$(pattern_of "$(last_33 "$windows_folder\\tolvane_launcher.exe")")
# A scan that meets a worker while it ends cannot read its module list, and
# names it by its executable alone from then on.
launcher_shown="($launcher_running|tolvane_launcher\.exe)"
tolvane_shown=$(pattern_of "$(last_33 "$windows_folder\\Tolvane.exe")")

# The screen, one line per element of the array screen.
screen=()
read_screen() { mapfile -t screen < <(terminal capture-pane -p -t e2e 2>/dev/null); }
show_screen() {
  echo "--- screen:"
  printf '%s\n' "${screen[@]}"
  echo "---"
}

# Polls until the check (a function setting why when it refuses) accepts
# a screen, or the deadline passes.
why=""
wait_for_screen() {
  local description=$1 check=$2 patience=${3:-$PATIENCE}
  local tries
  for ((tries = 0; tries < patience; tries++)); do
    read_screen
    if $check; then return 0; fi
    sleep 0.1
  done
  fail "$description: $why"
  show_screen
  return 1
}

line_is() {
  local index=$1 expected=$2
  if [ "${screen[index]-}" != "$expected" ]; then
    why="line $index is '${screen[index]-}', not '$expected'"
    return 1
  fi
}
line_matches() {
  local index=$1 pattern=$2
  if ! [[ ${screen[index]-} =~ ^${pattern}$ ]]; then
    why="line $index '${screen[index]-}' does not match '$pattern'"
    return 1
  fi
}

hex8='[0-9A-F]{8}'
# marker, number, parent, own ID, handle, child count, exit code, name
row() { echo "$1$2   $hex8 $hex8 $hex8 0    $3 $4"; }
rule=$(printf -- '-%.0s' {1..79})
total="Total recorded processes=3"

heading() {
  line_is 0 " Tolvane Utility, Rev: 1.0.0.3" &&
    line_is 1 "$(printf -- '=%.0s' {1..79})" &&
    line_is 2 " No | Parent | Own ID | Handle | SN | Exit_C |    FileName" &&
    line_is 3 "$rule"
}
first_page_running() {
  heading && line_matches 4 "$(row '\*' 1 00000000 "$launcher_running")" &&
    line_matches 5 "$(row '\*' 2 00000000 "$launcher_running")" && line_is 6 "$total"
}
second_page() {
  heading && line_matches 4 "$(row '\*' 3 00000000 "$tolvane_shown")" && line_is 5 "$total"
}
first_page() {
  heading && line_matches 4 "$(row '[* ]' 1 '[0-9a-f]{8}' "$launcher_shown")" &&
    line_matches 5 "$(row '[* ]' 2 '[0-9a-f]{8}' "$launcher_shown")" && line_is 6 "$total"
}
first_page_ended() {
  local ended_2 ended_7
  heading && line_is 6 "$total" || return 1
  ended_2=$(row ' ' '[12]' 00000002 "$launcher_shown")
  ended_7=$(row ' ' '[12]' 00000007 "$launcher_shown")
  { line_matches 4 "$ended_2" && line_matches 5 "$ended_7"; } ||
    { line_matches 4 "$ended_7" && line_matches 5 "$ended_2"; } || return 1
  [[ ${screen[4]} == " 1 "* && ${screen[5]} == " 2 "* ]] || {
    why="the rows are not numbered 1 and 2"
    return 1
  }
}
stopped() {
  local line
  for line in "${screen[@]}"; do [ "$line" = "Return_Code=0" ] && return 0; done
  why="no line 'Return_Code=0'"
  return 1
}

# Remembered from the view, to be found again in the log.
own_ids() { awk '{ print $3 }' <<<"$1"; }

terminal -f /dev/null new-session -d -s e2e -x 100 -y 30 -c "$work" \
  "$(printf '%q ' "$WINE" tolvane_launcher.exe -dn 2 -dt 1)" \; set-option -t e2e remain-on-exit on ||
  exit 1

# The launcher's workers end with codes 2 and 7, 2.5 s and 4.5 s after their
# creation. Both run for seconds after Tolvane has started: the first page
# shows them with the marker, their exit codes still zero.
# Without this page nothing after it can be seen.
wait_for_screen "first page with both workers running" first_page_running "$FIRST_PATIENCE" ||
  exit 1
workers_seen="${screen[4]}"$'\n'"${screen[5]}"
terminal send-keys -t e2e Tab
wait_for_screen "Tab to the second page: Tolvane itself" second_page && self_seen="${screen[4]}"
terminal send-keys -t e2e PPage
wait_for_screen "Page Up back to the first page" first_page
terminal send-keys -t e2e NPage
wait_for_screen "Page Down to the second page" second_page
terminal send-keys -t e2e PPage
wait_for_screen "both workers ended with codes 2 and 7, without the marker" first_page_ended

terminal send-keys -t e2e Escape
for ((tries = 0; tries < PATIENCE; tries++)); do
  [ -e "$work/rc.txt" ] && break
  sleep 0.1
done
if [ ! -e "$work/rc.txt" ]; then
  fail "Esc did not end Tolvane"
elif [ "$(od -An -c "$work/rc.txt" | tr -d ' ')" != '0\n' ]; then
  fail "exit code after Esc: $(cat "$work/rc.txt")"
fi
wait_for_screen "the exit code printed on Esc" stopped

# The log: a header, one line per record and a zero byte, in "\r\n" lines.
log="$work/Tolvane0.log"
logs=$(cd "$work" && ls Tolvane*.log 2>/dev/null | tr '\n' ' ')
[ "$logs" = "Tolvane0.log " ] || fail "log files: '$logs'"
if [ -s "$log" ]; then
  [ "$(tail -c 1 "$log" | od -An -tx1 | tr -d ' ')" = 00 ] || fail "the log does not end in a zero byte"
  [ "$(tr -cd '\0' <"$log" | wc -c)" -eq 1 ] || fail "the log holds more than one zero byte"
  [ "$(tail -c 3 "$log" | od -An -tx1 | tr -d ' ')" = 0d0a00 ] ||
    fail "the last line does not end in \\r\\n"
  mapfile -t lines < <(head -c -1 "$log")
  for index in "${!lines[@]}"; do
    [[ ${lines[index]} == *$'\r' ]] || fail "log line $((index + 1)) does not end in \\r\\n"
    lines[index]=${lines[index]%$'\r'}
  done
  date='[0-9]{4}-[0-9]{1,2}-[0-9]{1,2} [0-9]{1,2}:[0-9]{1,2}:[0-9]{1,2}'
  header="^ Tolvane Utility, Rev: 1\.0\.0\.3, Start: $date, End: $date$"
  fixed="Valid=Yes, LostClose=No , Handle=(Open |Close), ParentID=($hex8), ProcessID=($hex8), Handle=$hex8, SubProcessNo=0   , "
  times="tStart=$hex8 $hex8, tEnd=$hex8 $hex8, "
  worker() {
    echo "^No:$1   , ${fixed}ExitCode=$2, ${times}tUseTime=0M:$3S, FilePathName=($launcher_path|tolvane_launcher\.exe)$"
  }
  self="^No:3   , ${fixed}ExitCode=00000000, tStart=$hex8 $hex8, tEnd=00000000 00000000, TakeTime=unknown, FilePathName=$tolvane_path$"
  if [ "${#lines[@]}" -ne 4 ]; then
    fail "the log has ${#lines[@]} lines, not 4"
  else
    [[ ${lines[0]} =~ $header ]] || fail "log header: '${lines[0]}'"
    parents=() ids=()
    for index in 1 2; do
      if [[ ${lines[index]} =~ $(worker "$index" 00000002 2) ||
        ${lines[index]} =~ $(worker "$index" 00000007 4) ]]; then
        [ "${BASH_REMATCH[1]}" = Close ] || fail "log line $((index + 1)): the handle is not closed"
        parents+=("${BASH_REMATCH[2]}") ids+=("${BASH_REMATCH[3]}")
      else
        fail "log line $((index + 1)), a worker: '${lines[index]}'"
      fi
    done
    [[ ${lines[1]} == *ExitCode=00000002* || ${lines[2]} == *ExitCode=00000002* ]] ||
      fail "no worker logged with exit code 2"
    [[ ${lines[1]} == *ExitCode=00000007* || ${lines[2]} == *ExitCode=00000007* ]] ||
      fail "no worker logged with exit code 7"
    if [[ ${lines[3]} =~ $self ]]; then
      [ "${BASH_REMATCH[1]}" = "Open " ] || fail "log line 4: Tolvane's own handle is not open"
      parents+=("${BASH_REMATCH[2]}") ids+=("${BASH_REMATCH[3]}")
    else
      fail "log line 4, Tolvane itself: '${lines[3]}'"
    fi
    # Siblings below one parent, the processes the view showed.
    [ "$(printf '%s\n' "${parents[@]}" | sort -u | wc -l)" -eq 1 ] ||
      fail "the records have different parents: ${parents[*]}"
    seen=$(own_ids "${workers_seen-}"$'\n'"${self_seen-}")
    [ "$(printf '%s\n' "${ids[@]}")" = "$seen" ] ||
      fail "the logged process IDs (${ids[*]}) are not the ones shown ($(echo $seen))"
  fi
  if [ "$failures" -ne 0 ]; then
    echo "--- log:"
    cat -A "$log"
    echo
  fi
else
  fail "no log Tolvane0.log beside Tolvane.exe"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "end to end under Wine: all checks passed"
