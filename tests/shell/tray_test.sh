#!/usr/bin/env bash
# The tray icon under a virtual display: the tray host starts after the agent (as
# at logon), the icon must still appear; a right click opens the menu, a click on
# "Sair" ends the agent with exit code 0.
# Usage: tray_test.sh <quorbin_sync binary>. Exit 77 (skipped) without the tools.
set -u
binary=$1
for tool in Xvfb trayer xdotool xwininfo; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
source "$(dirname "$0")/script_helpers.sh"
cleanup() {
  stop_started
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; echo "--- agent stderr"; cat "$work/stderr.txt" 2>/dev/null; exit 1; }


start_virtual_display

# A terminal whose database opens (SQLite through unixODBC under a SQL Server
# driver name) and that has no point-of-sale program: the agent runs on quietly.
command -v sqlite3 >/dev/null || { echo "skipped: sqlite3 is not installed"; exit 77; }
mkdir -p "$work/odbc"
printf '[ODBC Driver 17 for SQL Server]\nDriver=libsqlite3odbc.so\n' >"$work/odbc/odbcinst.ini"
: >"$work/odbc/odbc.ini"
sqlite3 "$work/VELPDV" 'create table PARAMETROS (NFCE_SERIE char(3));'
cp "$binary" "$work/quorbin_sync"
(cd "$work" && ODBCSYSINI="$work/odbc" ODBCINI="$work/odbc/odbc.ini" \
  QUORBIN_LOCK_NAME="tray-test-$$" QUORBIN_DRIVE_C="$work/drive_c" \
  exec "$work/quorbin_sync" 2>"$work/stderr.txt") &
agent=$!
pids+=($agent)
wait_until 100 test -s "$work/log_sync.txt" || fail "the agent wrote no log line"
grep -q "Banco de dados - SQL SERVER" "$work/log_sync.txt" || fail "the database did not open"

trayer --edge top --align right --widthtype request --height 32 >/dev/null 2>&1 &
pids+=($!)

icon_window() {
  xwininfo -root -tree | awk '/"panel"/ { in_panel = 1 } in_panel && /"quorbin_sync"/ { print $1; exit }'
}
has_icon() { [ -n "$(icon_window)" ]; }
wait_until 150 has_icon || fail "the icon did not appear in the tray"
echo "icon embedded in the tray: $(icon_window)"

xdotool mousemove --window "$(icon_window)" 10 10 click 3
# The menu: a top-level window of the agent larger than its 1x1 helpers.
menu_geometry() {
  xwininfo -root -children | awk '/"quorbin_sync"/ && $0 !~ / 1x1\+/ && $0 !~ / 3x3\+/ {
    for (i = 1; i <= NF; i++) if ($i ~ /^[0-9]+x[0-9]+\+-?[0-9]+\+-?[0-9]+$/) { print $i; exit } }'
}
has_menu() { [ -n "$(menu_geometry)" ]; }
wait_until 50 has_menu || fail "the menu did not open"
geometry=$(menu_geometry)
echo "menu: $geometry"
IFS='x+' read -r width height left top <<<"$geometry"
xdotool mousemove $((left + width / 2)) $((top + height / 2)) click 1

agent_ended() { ! kill -0 "$agent" 2>/dev/null; }
wait_until 100 agent_ended || fail "the agent did not end after Sair"
wait "$agent"
code=$?
[ "$code" -eq 0 ] || fail "exit code $code"
echo "Sair ended the agent with exit code 0"
