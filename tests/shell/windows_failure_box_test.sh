#!/usr/bin/env bash
# The Windows agent under Wine with no database to open: start-up shows its
# failure in a message box, and while nobody closes the box the agent's timers
# still run: the watchdog writes its line within seconds (no log line was ever
# written, so the first check finds the log silent). The box is still open then.
# The pass timer runs through the same window timers; its first pass comes only
# after 120 s, which ctest does not wait for: with QUORBIN_WAIT_FOR_PASS=1 in the
# environment the test also waits for that pass's lines under the open box.
# Usage: windows_failure_box_test.sh <quorbin_sync.exe>. Runs in the current
# WINEPREFIX, on the display the test run gives (or a virtual one of its own).
set -u
binary=$1
command -v Xvfb >/dev/null || { echo "skipped: Xvfb is not installed"; exit 77; }
command -v xdotool >/dev/null || { echo "skipped: xdotool is not installed"; exit 77; }

work=$(mktemp -d)
source "$(dirname "$0")/script_helpers.sh"
cleanup() {
  stop_started
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*"
  [ -f "$work/agent/log_sync.txt" ] && { echo "--- log"; iconv -f WINDOWS-1252 -t UTF-8 "$work/agent/log_sync.txt"; }
  exit 1
}

[ -n "${DISPLAY:-}" ] || start_virtual_display
export WINEDEBUG=-all
export QUORBIN_LOCK_NAME="windows-failure-box-test-$$"
# No SQL Server driver for the host's unixODBC, and no Firebird client under Wine.
mkdir -p "$work/agent" "$work/odbc"
: >"$work/odbc/odbcinst.ini"
: >"$work/odbc/odbc.ini"
export ODBCSYSINI=$work/odbc ODBCINI=$work/odbc/odbc.ini
cp "$binary" "$work/agent/quorbin_sync.exe"

(cd "$work/agent" && exec "$wine_agent" quorbin_sync.exe) &
agent=$!
pids+=($agent)

# The box: a visible window with the agent's title (its own window is never shown).
box_open() { [ -n "$(xdotool search --onlyvisible --name '^quorbin_sync$' 2>/dev/null)" ]; }
wait_until 300 box_open || fail "no message box appeared"
echo "the start-up failure box is open"

log=$work/agent/log_sync.txt
watchdog_line() {
  iconv -f WINDOWS-1252 -t UTF-8 "$log" 2>/dev/null | grep -q "2 Minutos sem log, reiniciando processo..."
}
wait_until 150 watchdog_line || fail "no watchdog line while the box was open"
kill -0 "$agent" 2>/dev/null || fail "the agent ended"
box_open || fail "the box closed"
echo "the watchdog wrote its line while the box stayed open"

if [ "${QUORBIN_WAIT_FOR_PASS:-0}" = 1 ]; then
  pass_lines() {
    iconv -f WINDOWS-1252 -t UTF-8 "$log" 2>/dev/null | grep -q "Iniciando processo de sincronia"
  }
  wait_until 1500 pass_lines || fail "no pass came from the pass timer while the box was open"
  box_open || fail "the box closed"
  echo "the pass timer ran a pass while the box stayed open:"
  iconv -f WINDOWS-1252 -t UTF-8 "$log" | sed -n '/Iniciando processo de sincronia/,$p'
fi
