#!/usr/bin/env bash
# The Windows agent under Wine, end to end, on a virtual display: a sample
# terminal on Wine's drive C, its SQLite point-of-sale database reached through
# Wine's odbc32.dll and the host's unixODBC under a SQL Server driver name, and
# the API sandbox on 127.0.0.1:8000 with "DEBUG" on. The agent logs in, runs its
# first pass, and every row it marks exported was received by the sandbox (or
# given up by rule: its file is nowhere), those filed under names outside ASCII
# included. A second start with the same mutex
# ends at once with exit code 0 and writes nothing; a close request (taskkill
# without /F) ends the first with 0.
# Usage: windows_agent_test.sh <quorbin_sync.exe> <folder of the host's
# api-sandbox and sample-terminal>. Runs in the current WINEPREFIX.
set -u
binary=$1
tools=$2
command -v Xvfb >/dev/null || { echo "skipped: Xvfb is not installed"; exit 77; }
[ -x "$tools/api-sandbox" ] && [ -x "$tools/sample-terminal" ] ||
  { echo "skipped: the host's api-sandbox and sample-terminal are not built in $tools"; exit 77; }
command -v sqlite3 >/dev/null || { echo "skipped: sqlite3 is not installed"; exit 77; }

work=$(mktemp -d)
drive_c=${WINEPREFIX:-$HOME/.wine}/drive_c
source "$(dirname "$0")/script_helpers.sh"
cleanup() {
  stop_started
  rm -rf "$work" "$drive_c/Tavrellis"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*"
  show_files "$work/first/log_sync.txt" "$work/sandbox.txt"
  exit 1
}

port_free || { echo "skipped: port 8000 is in use"; exit 77; }
# Wine binds its desktop to the display its server started with: use the one the
# test run gives, else start one (then the Wine server must not be running yet).
[ -n "${DISPLAY:-}" ] || start_virtual_display
export WINEDEBUG=-all
export QUORBIN_LOCK_NAME="windows-test-$$"

# The terminal: drive C, the database beside the executable, "DEBUG" on.
mkdir -p "$work/first" "$work/second" "$work/odbc" "$work/received"
printf '[ODBC Driver 17 for SQL Server]\nDescription=SQLite standing in for SQL Server\nDriver=libsqlite3odbc.so\n' \
  >"$work/odbc/odbcinst.ini"
: >"$work/odbc/odbc.ini"
export ODBCSYSINI=$work/odbc ODBCINI=$work/odbc/odbc.ini
"$tools/sample-terminal" "$drive_c" >"$work/terminal.sql" || fail "sample-terminal failed"
database=$work/first/VELPDV
sqlite3 "$database" <"$work/terminal.sql" || fail "the sample database did not load"
# Two invoices filed in a folder and under names outside ASCII: one that only the
# search finds, and one whose row names its file (offline = 2).
nfce=$drive_c/Tavrellis/PDV/NFCe
accented=$nfce/Validadas/Março
mkdir -p "$accented"
searched_key=
for key in $(sqlite3 "$database" "SELECT CHAVE_NFCE FROM CUPOM WHERE DATA = '2019-01-15'"); do
  file=$(find "$nfce/Validadas" -name "$key-nfe.xml" | head -1)
  [ -n "$file" ] || continue
  searched_key=$key
  mv "$file" "$accented/$key-ação.xml"
  break
done
direct_key=
for key in $(sqlite3 "$database" "SELECT CHAVE_NFCE FROM CUPOM WHERE DATA <> '2019-01-15'"); do
  file=$(find "$nfce/Transmitidas" -name "$key-nfe.xml" | head -1)
  [ -n "$file" ] || continue
  direct_key=$key
  mv "$file" "$accented/$key-cópia.xml"
  sqlite3 "$database" "UPDATE CUPOM SET OFFLINE = 2,
    CHAVE_NFCE = 'C:\Tavrellis\PDV\NFCe\Validadas\Março\\$key-cópia.xml'
    WHERE CHAVE_NFCE = '$key'" || fail "the row of $key did not change"
  break
done
[ -n "$searched_key" ] && [ -n "$direct_key" ] || fail "the sample terminal has no invoices to move"
printf '[MAIN]\r\nDEBUG=1\r\nOFFLINE=1\r\n' >"$work/first/sync.ini"
cp "$binary" "$work/first/quorbin_sync.exe"
cp "$binary" "$work/second/quorbin_sync.exe"

"$tools/api-sandbox" --store "$work/received" >"$work/sandbox.txt" 2>&1 &
pids+=($!)
wait_until 100 port_busy || fail "the sandbox did not start"

(cd "$work/first" && exec "$wine_agent" quorbin_sync.exe) &
first=$!
pids+=($first)
# The first pass is over when no row is left pending (each one is either
# uploaded or given up) and the log has been still for a few seconds; a slow
# machine can search for longer than that without a log line.
pending() {
  sqlite3 "$database" "SELECT (SELECT count(*) FROM CUPOM WHERE WEB_EX = 0) +
                              (SELECT count(*) FROM FECHAMENTOS WHERE WEB_EX = 0)" 2>/dev/null
}
none_pending() { [ "$(pending)" = 0 ]; }
wait_until 1200 none_pending
log=$work/first/log_sync.txt
still=0
last_size=-1
for _ in $(seq 240); do
  sleep 0.5
  size=$(stat -c %s "$log" 2>/dev/null || echo 0)
  if [ "$size" -gt 0 ] && [ "$size" = "$last_size" ]; then still=$((still + 1)); else still=0; fi
  last_size=$size
  [ "$still" -ge 8 ] && break
done
text=$(iconv -f WINDOWS-1252 -t UTF-8 "$log" 2>/dev/null)
grep -q "] : Banco de dados - SQL SERVER" <<<"$text" || fail "the database did not open through ODBC"
grep -q "Iniciando processo de sincronia" <<<"$text" || fail "no pass ran"

received() { find "$work/received/$1" -name "$2" 2>/dev/null | wc -l; }
exported() { sqlite3 "$database" "SELECT count(*) FROM $1 WHERE WEB_EX = 1"; }
closings_sent=$(exported FECHAMENTOS)
invoices_sent=$(exported CUPOM)
[ "$invoices_sent" -gt 0 ] || fail "no invoice was marked exported"
[ "$closings_sent" -gt 0 ] || fail "no closing was marked exported"
# An invoice whose file is nowhere is given up: marked exported, never sent.
given_up=$(grep -c "A nota não será enviada" <<<"$text")
[ "$(received invoices '*.xml')" -eq $((invoices_sent - given_up)) ] ||
  fail "$invoices_sent invoices marked exported ($given_up given up), $(received invoices '*.xml') received"
[ "$(received closings '*.json')" -eq "$closings_sent" ] ||
  fail "$closings_sent closings marked exported, $(received closings '*.json') received"
for key in "$searched_key" "$direct_key"; do
  [ "$(sqlite3 "$database" "SELECT WEB_EX FROM CUPOM WHERE CHAVE_NFCE LIKE '%$key%'")" = 1 ] ||
    fail "the invoice $key in Validadas\\Março was not marked exported"
  [ "$(received invoices "*$key*.xml")" -eq 1 ] ||
    fail "the invoice $key in Validadas\\Março was not uploaded"
done
for name in "$searched_key-ação.xml" "$direct_key-cópia.xml"; do
  grep -qF "Arquivo encontrado em: C:\Tavrellis\PDV\NFCe\Validadas\Março\\$name" <<<"$text" ||
    fail "the log does not show the path of $name"
done
echo "the invoices in Validadas\\Março were uploaded and marked exported"
echo "first pass: $((invoices_sent - given_up)) invoices and $closings_sent closings uploaded and marked exported"

start=$(date +%s)
timeout 30 "$wine_agent" "$work/second/quorbin_sync.exe"
code=$?
[ "$code" -eq 0 ] || fail "second instance exit code $code"
[ ! -e "$work/second/log_sync.txt" ] || fail "the second instance wrote a log"
echo "second instance ended in $(($(date +%s) - start)) s with exit code 0"

"$wine64" taskkill /IM quorbin_sync.exe >/dev/null
first_ended() { ! kill -0 "$first" 2>/dev/null; }
wait_until 150 first_ended || fail "the agent did not end after the close request"
wait "$first"
code=$?
[ "$code" -eq 0 ] || fail "exit code $code after the close request"
echo "close request ended the agent with exit code 0"
