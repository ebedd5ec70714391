#!/usr/bin/env bash
# The Windows agent under Wine, on a virtual display: it writes its first pass's
# line; a second start with the same mutex ends at once with exit code 0 and
# writes nothing; a close request (taskkill without /F) ends the first with 0.
# Usage: windows_process_test.sh <quorbin_sync.exe>. Runs in the current WINEPREFIX.
set -u
binary=$1
command -v Xvfb >/dev/null || { echo "skipped: Xvfb is not installed"; exit 77; }

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }
wait_until() {
  local tenths=$1
  shift
  for ((i = 0; i < tenths; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# Wine binds its desktop to the display its server started with: use the one the
# test run gives, else start one (then the Wine server must not be running yet).
if [ -z "${DISPLAY:-}" ]; then
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  pids+=($!)
  wait_until 100 test -s "$work/display" || fail "Xvfb did not start"
  export DISPLAY=":$(cat "$work/display")"
fi
export WINEDEBUG=-all
export QUORBIN_LOCK_NAME="windows-test-$$"

mkdir "$work/first" "$work/second"
cp "$binary" "$work/first/quorbin_sync.exe"
cp "$binary" "$work/second/quorbin_sync.exe"

wine "$work/first/quorbin_sync.exe" &
first=$!
pids+=($first)
wait_until 300 test -s "$work/first/log_sync.txt" || fail "the agent wrote no log line"
grep -q "Iniciando processo de sincronia" "$work/first/log_sync.txt" || fail "no pass start line"

start=$(date +%s)
timeout 30 wine "$work/second/quorbin_sync.exe"
code=$?
[ "$code" -eq 0 ] || fail "second instance exit code $code"
[ ! -e "$work/second/log_sync.txt" ] || fail "the second instance wrote a log"
echo "second instance ended in $(($(date +%s) - start)) s with exit code 0"

wine taskkill /IM quorbin_sync.exe >/dev/null
first_ended() { ! kill -0 "$first" 2>/dev/null; }
wait_until 150 first_ended || fail "the agent did not end after the close request"
wait "$first"
code=$?
[ "$code" -eq 0 ] || fail "exit code $code after the close request"
echo "close request ended the agent with exit code 0"
