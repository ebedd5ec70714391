#!/usr/bin/env bash
# The Windows installer under Wine's msiexec, as a fleet deploys it: a silent
# per-user install puts the agent in %LOCALAPPDATA%\Programs\quorbin_sync and a
# shortcut in the user's Startup folder; the agent run from there reports on the
# terminal (--check, also into check.txt) and runs its first pass against the API
# sandbox; a newer package replaces the executable and keeps log_sync.txt,
# sync.ini and qb_errors; the uninstall removes the executable and the shortcut
# and leaves those three.
# Usage: windows_installer_test.sh <quorbin_sync-x64.msi> <quorbin_sync.wxs>
#        <quorbin_sync.exe> <folder of the host's api-sandbox and sample-terminal>
# Runs in the current WINEPREFIX.
set -u
msi=$(realpath "$1")
# The package's architecture, from its name (quorbin_sync-x64.msi).
arch=$(basename "$msi" .msi)
arch=${arch##*-}
wxs=$(realpath "$2")
binary=$(realpath "$3")
tools=$4
command -v wixl >/dev/null || { echo "skipped: wixl is not installed"; exit 77; }
[ -x "$tools/api-sandbox" ] && [ -x "$tools/sample-terminal" ] ||
  { echo "skipped: the host's api-sandbox and sample-terminal are not built in $tools"; exit 77; }
command -v sqlite3 >/dev/null || { echo "skipped: sqlite3 is not installed"; exit 77; }

export WINEDEBUG=-all
export QUORBIN_LOCK_NAME="installer-test-$$"
work=$(mktemp -d)
drive_c=${WINEPREFIX:-$HOME/.wine}/drive_c
source "$(dirname "$0")/script_helpers.sh"
folder=$(unix_path '%LOCALAPPDATA%')/Programs/quorbin_sync
programs="$(unix_path '%APPDATA%')/Microsoft/Windows/Start Menu/Programs"
# The Startup folder's name differs in case between systems (Wine: StartUp).
startup_shortcut() { find "$programs" -maxdepth 2 -ipath "$programs/startup/quorbin_sync.lnk" 2>/dev/null; }
cleanup() {
  stop_started
  "$wine64" msiexec /x "$work/next.msi" /qn >/dev/null 2>&1
  "$wine64" msiexec /x "$msi" /qn >/dev/null 2>&1
  rm -rf "$work" "$drive_c/Tavrellis" "$folder"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*"
  show_files "$folder/log_sync.txt" "$work/sandbox.txt"
  exit 1
}
[ ! -e "$folder" ] || fail "$folder exists before the install"

"$wine64" msiexec /i "$msi" /qn
code=$?
[ "$code" -eq 0 ] || fail "msiexec /i exit code $code"
cmp -s "$folder/quorbin_sync.exe" "$binary" || fail "the executable is not in $folder"
[ -n "$(startup_shortcut)" ] || fail "no shortcut in the Startup folder"
echo "silent install: $folder/quorbin_sync.exe and the Startup shortcut"

# The terminal: drive C, its database beside the executable, "DEBUG" on.
mkdir -p "$work/odbc" "$work/received"
printf '[ODBC Driver 17 for SQL Server]\nDescription=SQLite standing in for SQL Server\nDriver=libsqlite3odbc.so\n' \
  >"$work/odbc/odbcinst.ini"
: >"$work/odbc/odbc.ini"
export ODBCSYSINI=$work/odbc ODBCINI=$work/odbc/odbc.ini
"$tools/sample-terminal" "$drive_c" >"$work/terminal.sql" || fail "sample-terminal failed"
mkdir -p "$drive_c/Tavrellis/PDV" && printf MZ >"$drive_c/Tavrellis/PDV/Quorbin.exe"
sqlite3 "$folder/VELPDV" <"$work/terminal.sql" || fail "the sample database did not load"
printf '[MAIN]\r\nDEBUG=1\r\nOFFLINE=1\r\n' >"$folder/sync.ini"
# Tests of the shared machine take turns for the debug port, within a bound.
wait_until 2400 port_free || { echo "skipped: port 8000 stayed in use"; exit 77; }
"$tools/api-sandbox" --store "$work/received" >"$work/sandbox.txt" 2>&1 &
sandbox=$!
pids+=($sandbox)
wait_until 100 port_busy || fail "the sandbox did not start"
kill -0 "$sandbox" 2>/dev/null || fail "the sandbox did not start (port 8000 was taken meanwhile)"

(cd "$folder" && timeout 120 "$wine_agent" quorbin_sync.exe --check >"$work/check-stdout.txt")
code=$?
report=$(iconv -f UTF-8 -t UTF-8 "$folder/check.txt" 2>/dev/null | sed 's/^\xEF\xBB\xBF//; s/\r$//')
echo "$report" | sed 's/^/   /'
[ "$code" -eq 0 ] || fail "--check exit code $code"
grep -qx 'uploads can proceed: yes' <<<"$report" || fail "check.txt has no verdict yes"
grep -q '^database SQL Server LOCALHOST\\QUORPDV VELPDV: opened with ODBC driver ' <<<"$report" ||
  fail "check.txt: the database line"
grep -q 'uploads can proceed: yes' "$work/check-stdout.txt" || fail "the report did not reach the standard output"
[ ! -e "$folder/log_sync.txt" ] || fail "--check wrote a log"
rm "$folder/check.txt"

(cd "$folder" && exec "$wine_agent" quorbin_sync.exe) &
agent=$!
pids+=($agent)
sent() { iconv -f WINDOWS-1252 -t UTF-8 "$folder/log_sync.txt" 2>/dev/null | grep -q 'enviad'; }
wait_until 900 sent || fail "the agent started from the install folder sent nothing"
# The fingerprint the check reported is the one the login sent.
fingerprint=$(sed -n 's/^fingerprint: //p' <<<"$report")
grep -q "^login .* guid=$fingerprint\$" "$work/sandbox.txt" ||
  fail "the login sent another fingerprint than the check's $fingerprint"
"$wine64" taskkill /IM quorbin_sync.exe >/dev/null
ended() { ! kill -0 "$agent" 2>/dev/null; }
wait_until 150 ended || fail "the agent did not end after the close request"
echo "the installed agent ran its first pass against the sandbox"

# A newer package: the executable is replaced, the agent's own files stay.
mkdir -p "$folder/qb_errors" && echo refused >"$folder/qb_errors/cs_Sync_1_2026.html"
echo stale >"$folder/quorbin_sync.exe"
(cd "$(dirname "$binary")" && wixl -a "$arch" -D Version=99.0 -D ApiHost=api.invalid \
  -D Executable="$(basename "$binary")" -o "$work/next.msi" "$wxs") ||
  fail "wixl could not build the newer package"
"$wine64" msiexec /i "$work/next.msi" /qn
code=$?
[ "$code" -eq 0 ] || fail "upgrade: msiexec /i exit code $code"
cmp -s "$folder/quorbin_sync.exe" "$binary" || fail "upgrade did not replace the executable"
for kept in log_sync.txt sync.ini qb_errors/cs_Sync_1_2026.html; do
  [ -s "$folder/$kept" ] || fail "upgrade lost $kept"
done
[ -n "$(startup_shortcut)" ] || fail "upgrade lost the shortcut"
# The older product went with the upgrade: one product is registered for the user.
products=$("$wine64" reg query 'HKCU\Software\Microsoft\Installer\Products' /s 2>/dev/null |
  grep -c 'ProductName.*quorbin_sync')
[ "$products" -eq 1 ] || fail "$products products registered after the upgrade"
echo "upgrade: executable replaced; log_sync.txt, sync.ini and qb_errors kept"

"$wine64" msiexec /x "$work/next.msi" /qn
code=$?
[ "$code" -eq 0 ] || fail "msiexec /x exit code $code"
[ ! -e "$folder/quorbin_sync.exe" ] || fail "uninstall left the executable"
[ -z "$(startup_shortcut)" ] || fail "uninstall left the shortcut"
for kept in log_sync.txt sync.ini qb_errors/cs_Sync_1_2026.html; do
  [ -s "$folder/$kept" ] || fail "uninstall removed $kept"
done
echo "uninstall: executable and shortcut removed; log_sync.txt, sync.ini and qb_errors kept"
