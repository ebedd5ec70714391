#!/usr/bin/env bash
# A message box on a virtual display: a terminal without any database shows
# start-up's failure in a box and runs on. SIGTERM, SIGINT and "Sair" in the tray
# menu must each end the agent promptly with exit code 0, closing the box.
# Usage: message_box_test.sh <quorbin_sync binary>. Exit 77 (skipped) without the tools.
set -u
binary=$1
for tool in Xvfb trayer xdotool xwininfo; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
source "$(dirname "$0")/script_helpers.sh"
cleanup() {
  stop_started KILL
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; echo "--- agent stderr"; cat "$work/stderr.txt" 2>/dev/null; exit 1; }


start_virtual_display
trayer --edge top --align right --widthtype request --height 32 >/dev/null 2>&1 &
pids+=($!)

# The visible top-level windows of the agent larger than its 1x1 helpers, one
# "id geometry" a line.
agent_windows() {
  xwininfo -root -children | awk '/"quorbin_sync"/ && $0 !~ / 1x1\+/ && $0 !~ / 3x3\+/ {
    for (i = 1; i <= NF; i++) if ($i ~ /^[0-9]+x[0-9]+\+-?[0-9]+\+-?[0-9]+$/) { print $1, $i; break } }' |
    while read -r id geometry; do
      xwininfo -id "$id" 2>/dev/null | grep -q "IsViewable" && echo "$id $geometry"
    done
}
box_shown() { [ -n "$(agent_windows)" ]; }
icon_window() {
  xwininfo -root -tree | awk '/"panel"/ { in_panel = 1 } in_panel && /"quorbin_sync"/ { print $1; exit }'
}
has_icon() { [ -n "$(icon_window)" ]; }

start_agent() {
  rm -f "$work/stderr.txt" "$work/log_sync.txt"
  cp "$binary" "$work/quorbin_sync"
  (cd "$work" && ODBCSYSINI="$work/no-odbc" QUORBIN_LOCK_NAME="box-test-$$" \
    QUORBIN_DRIVE_C="$work/drive_c" exec "$work/quorbin_sync" 2>"$work/stderr.txt") &
  agent=$!
  pids+=($agent)
  wait_until 300 box_shown || fail "no message box appeared"
}

agent_ended() { ! kill -0 "$agent" 2>/dev/null; }
expect_clean_end() {
  wait_until 50 agent_ended || fail "the agent did not end after $1 while a message box was open"
  wait "$agent"
  local code=$?
  [ "$code" -eq 0 ] || fail "exit code $code after $1"
  echo "$1 ended the agent with exit code 0 while a message box was open"
}

for signal in TERM INT; do
  start_agent
  kill -"$signal" "$agent"
  expect_clean_end "SIG$signal"
done

start_agent
box=$(agent_windows | awk '{ print $1 }')
wait_until 150 has_icon || fail "the icon did not appear in the tray"
xdotool mousemove --window "$(icon_window)" 10 10 click 3
# The menu: a visible window of the agent other than the box.
menu_geometry() { agent_windows | awk -v box="$box" '$1 != box { print $2; exit }'; }
has_menu() { [ -n "$(menu_geometry)" ]; }
wait_until 50 has_menu || fail "the menu did not open while the box was shown"
IFS='x+' read -r width height left top <<<"$(menu_geometry)"
xdotool mousemove $((left + width / 2)) $((top + height / 2)) click 1
expect_clean_end "Sair"
