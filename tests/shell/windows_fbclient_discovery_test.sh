#!/usr/bin/env bash
# Where the Windows agent finds the Firebird client library, as `--check` tells
# it, with doubles of fbclient.dll of both widths that refuse every attach with a
# text naming their width and file (tests/testing/fbclient_double): the refusal on
# the Firebird line shows which file the agent used. The agent's folder, the
# point-of-sale program's folder (C:\Tavrellis\PDV) and a Firebird installation
# (C:\Program Files\Firebird\Firebird_3_0) are on Wine's drive C; the registry's
# HKLM\SOFTWARE\Firebird Project\Firebird Server\Instances, value
# DefaultInstance, is set by the test in either view (reg add /reg:64, /reg:32).
#
# Cases: found by name beside the agent; only in the point-of-sale folder; only
# in the registry's root; the other width beside the agent and the right one in
# the registry's root (the right one is used, --check names both); none anywhere
# (each place and why, in words); the common terminal (only the other width,
# beside the agent); a 32-bit agent and a 64-bit server (the WOW64 folder); and
# the bad inputs: a registry value that is empty, not a string, too long or names
# no folder, a fbclient.dll that is not a library and one that is truncated. No
# line holds an unfilled "%1".
#
# Usage: windows_fbclient_discovery_test.sh <quorbin_sync.exe> <64-bit double>
#   <32-bit double> <the agent's width: 64 or 32>
# Runs in the current WINEPREFIX, which must be a 64-bit prefix for a 32-bit
# agent's WOW64 case; QUORBIN_WINE names the agent's loader.
set -u
binary=$1
double64=$2
double32=$3
bits=$4
for double in "$double64" "$double32"; do
  [ -f "$double" ] || { echo "skipped: the double $double is not built"; exit 77; }
done
if [ "$bits" = 64 ]; then
  own=$double64 other=$double32 other_bits=32
else
  own=$double32 other=$double64 other_bits=64
fi
prefix=${WINEPREFIX:-$HOME/.wine}
drive_c=$prefix/drive_c
source "$(dirname "$0")/script_helpers.sh"
# reg is the prefix's own, 64-bit, program.
reg=("$wine64" reg)
export WINEDEBUG=-all

work=$(mktemp -d)
agent_dir=$drive_c/QuorbinDiscovery
pdv=$drive_c/Tavrellis/PDV
firebird=$drive_c/Program\ Files/Firebird/Firebird_3_0
key='HKLM\SOFTWARE\Firebird Project\Firebird Server\Instances'
cleanup() {
  clear_registry
  rm -rf "$work" "$agent_dir" "$drive_c/Tavrellis" "$drive_c/Program Files/Firebird"
}
trap cleanup EXIT
failed=0
fail() {
  echo "FAILED: $*"
  failed=1
}

clear_registry() {
  for view in 64 32; do
    "${reg[@]}" delete 'HKLM\SOFTWARE\Firebird Project' /f /reg:$view >/dev/null 2>&1
  done
}
# set_instance VIEW TYPE DATA: DefaultInstance in the 64-bit or 32-bit view.
set_instance() {
  "${reg[@]}" add "$key" /v DefaultInstance /t "$2" /d "$3" /f /reg:"$1" >/dev/null 2>&1 ||
    fail "reg add in the $1-bit view"
}
own_view=$bits
other_view=$other_bits

# A fresh terminal: the agent with DEBUG on (its API host is refused at once),
# no ODBC driver (both SQL Server profiles fail at once), the point-of-sale
# program, no client anywhere and no Firebird key.
reset_terminal() {
  rm -rf "$agent_dir" "$drive_c/Tavrellis" "$drive_c/Program Files/Firebird"
  mkdir -p "$agent_dir" "$pdv" "$firebird/bin"
  cp "$binary" "$agent_dir/quorbin_sync.exe"
  printf '[MAIN]\r\nDEBUG=1\r\nOFFLINE=1\r\n' >"$agent_dir/sync.ini"
  printf 'MZ' >"$pdv/Quorbin.exe"
  clear_registry
}
mkdir -p "$work/odbc"
: >"$work/odbc/odbcinst.ini"
: >"$work/odbc/odbc.ini"
export ODBCSYSINI=$work/odbc ODBCINI=$work/odbc/odbc.ini

# Runs --check and keeps its exit code and its report (check.txt: UTF-8 with a
# byte-order mark, CRLF) in $work/report.txt. No database opens: the code is 1,
# whatever client was loaded (a crash at exit would show here).
check() {
  (cd "$agent_dir" && timeout 300 "$wine_agent" quorbin_sync.exe --check >/dev/null 2>&1)
  check_code=$?
  sed 's/^\xEF\xBB\xBF//; s/\r$//' "$agent_dir/check.txt" >"$work/report.txt" 2>/dev/null ||
    : >"$work/report.txt"
  rm -f "$agent_dir/check.txt"
}

# The Firebird line, the client library's line and its indented lines.
firebird_block() {
  awk '/^database Firebird / { inside = 1; print; next }
       inside && (/^Firebird client library: / || /^  /) { print; next }
       { inside = 0 }' "$work/report.txt"
}

# expect CASE LINE...: the Firebird block is exactly the given lines, and no line
# of the report holds an unfilled insert.
expect() {
  local name=$1
  shift
  printf '%s\n' "$@" >"$work/expected.txt"
  if ! firebird_block | diff -u "$work/expected.txt" - >"$work/diff.txt"; then
    fail "$name: the Firebird lines differ"
    cat "$work/diff.txt"
    echo "--- the whole report"
    cat "$work/report.txt"
    return
  fi
  if grep -n '%[0-9]' "$work/report.txt"; then fail "$name: an unfilled insert in the report"; fi
  if [ "$check_code" != 1 ]; then fail "$name: --check ended with $check_code, not 1"; return; fi
  echo "passed: $name"
}

# expect_among CASE LINE...: each given line is in the Firebird block.
expect_among() {
  local name=$1 line missing=0
  shift
  for line in "$@"; do
    firebird_block | grep -qxF -- "$line" || { fail "$name: no line \"$line\""; missing=1; }
  done
  if grep -n '%[0-9]' "$work/report.txt"; then fail "$name: an unfilled insert in the report"; missing=1; fi
  if [ "$check_code" != 1 ]; then fail "$name: --check ended with $check_code, not 1"; missing=1; fi
  if [ "$missing" = 0 ]; then echo "passed: $name"; else echo "--- the whole report"; cat "$work/report.txt"; fi
}

database='database Firebird localhost:C:\Tavrellis\PDV\BD\VELPDV.FDB: failed: '
refusal() { echo "fbclient test double ($1-bit) $2 refuses the attach"; }
agent_win='C:\QuorbinDiscovery'
pdv_win='C:\Tavrellis\PDV'
firebird_win='C:\Program Files\Firebird\Firebird_3_0'
by_name="not found where the system looks for libraries (beside the agent, in the system folders, on the PATH)"
key_line() { echo "  HKLM\\SOFTWARE\\Firebird Project\\Firebird Server\\Instances ($1-bit view): $2"; }
absent="absent: no Firebird server is registered in this view"
wrong_width="is a $other_bits-bit library; this agent is $bits-bit"

# 1. Beside the agent, found by name.
reset_terminal
cp "$own" "$agent_dir/fbclient.dll"
check
grep -qx "agent bitness: $bits-bit (it loads $bits-bit database clients and ODBC drivers only)" \
  "$work/report.txt" || fail "the agent's bitness line"
grep -qx "ODBC drivers ($bits-bit): none" "$work/report.txt" || fail "the ODBC drivers line"
expect "found by name beside the agent" \
  "$database$(refusal "$bits" "$agent_win\\fbclient.dll")" \
  "Firebird client library: $agent_win\\fbclient.dll ($bits-bit)"

# 2. Only in the point-of-sale program's folder.
reset_terminal
cp "$own" "$pdv/fbclient.dll"
check
expect "only in the point-of-sale folder" \
  "$database$(refusal "$bits" "$pdv_win\\fbclient.dll")" \
  "Firebird client library: $pdv_win\\fbclient.dll ($bits-bit); not used before it:" \
  "  fbclient.dll: $by_name" \
  "  fbembed.dll: $by_name"

# 3. Only in the root of the installation the registry names (with the
# installer's trailing backslash).
reset_terminal
cp "$own" "$firebird/fbclient.dll"
set_instance "$own_view" REG_SZ "$firebird_win\\"
check
expect "only in the registry's root" \
  "$database$(refusal "$bits" "$firebird_win\\fbclient.dll")" \
  "Firebird client library: $firebird_win\\fbclient.dll ($bits-bit); not used before it:" \
  "  fbclient.dll: $by_name" \
  "  fbembed.dll: $by_name" \
  "  $pdv_win\\fbclient.dll: not found" \
  "  $pdv_win\\fbembed.dll: not found"

# 4. The other width beside the agent, the right one in the registry's root: the
# first is skipped for its width, never loaded, and both are named.
reset_terminal
cp "$other" "$agent_dir/fbclient.dll"
cp "$own" "$firebird/fbclient.dll"
set_instance "$own_view" REG_SZ "$firebird_win"
check
expect "the other width beside the agent, the right one in the registry's root" \
  "$database$(refusal "$bits" "$firebird_win\\fbclient.dll")" \
  "Firebird client library: $firebird_win\\fbclient.dll ($bits-bit); not used before it:" \
  "  fbclient.dll: $agent_win\\fbclient.dll $wrong_width" \
  "  fbembed.dll: $by_name" \
  "  $pdv_win\\fbclient.dll: not found" \
  "  $pdv_win\\fbembed.dll: not found"

# 5. None anywhere: each place and why; no Firebird key in either view.
reset_terminal
check
none_tried="fbclient.dll: $by_name; fbembed.dll: $by_name; $pdv_win\\fbclient.dll: not found; $pdv_win\\fbembed.dll: not found"
none_tried+="; HKLM\\SOFTWARE\\Firebird Project\\Firebird Server\\Instances ($own_view-bit view): $absent"
none_tried+="; HKLM\\SOFTWARE\\Firebird Project\\Firebird Server\\Instances ($other_view-bit view): $absent"
expect "none anywhere" \
  "${database}Firebird client library cannot be loaded: $none_tried" \
  "Firebird client library: NONE loads: no Firebird client found: install the $bits-bit Firebird client, or copy its fbclient.dll beside the agent" \
  "  fbclient.dll: $by_name" \
  "  fbembed.dll: $by_name" \
  "  $pdv_win\\fbclient.dll: not found" \
  "  $pdv_win\\fbembed.dll: not found" \
  "$(key_line "$own_view" "$absent")" \
  "$(key_line "$other_view" "$absent")"

# 6. The common terminal: only a client of the other width, beside the agent;
# the registry names a folder that does not exist (the chain goes on past it).
reset_terminal
cp "$other" "$agent_dir/fbclient.dll"
set_instance "$own_view" REG_SZ 'C:\Nowhere\Firebird'
check
expect "only the other width, and a registry folder that does not exist" \
  "${database}Firebird client library cannot be loaded: fbclient.dll: $agent_win\\fbclient.dll $wrong_width; fbembed.dll: $by_name; $pdv_win\\fbclient.dll: not found; $pdv_win\\fbembed.dll: not found; HKLM\\SOFTWARE\\Firebird Project\\Firebird Server\\Instances ($own_view-bit view): DefaultInstance names C:\\Nowhere\\Firebird, a folder that does not exist; HKLM\\SOFTWARE\\Firebird Project\\Firebird Server\\Instances ($other_view-bit view): $absent" \
  "Firebird client library: NONE loads: the Firebird client found is $other_bits-bit and this agent is $bits-bit: install the agent's $other_bits-bit package, or a $bits-bit Firebird client" \
  "  fbclient.dll: $agent_win\\fbclient.dll $wrong_width" \
  "  fbembed.dll: $by_name" \
  "  $pdv_win\\fbclient.dll: not found" \
  "  $pdv_win\\fbembed.dll: not found" \
  "$(key_line "$own_view" "DefaultInstance names C:\\Nowhere\\Firebird, a folder that does not exist")" \
  "$(key_line "$other_view" "$absent")"

# 7. Bad files and bad values: a fbclient.dll that is not a library, a truncated
# fbembed.dll (its headers whole), an empty value and one that is not a string.
reset_terminal
printf 'Firebird client: see the manual\r\n' >"$pdv/fbclient.dll"
head -c 1024 "$own" >"$pdv/fbembed.dll"
set_instance "$own_view" REG_SZ ''
set_instance "$other_view" REG_DWORD 7
check
expect_among "a file that is no library, a truncated one, an empty value, a value that is not a string" \
  "  $pdv_win\\fbclient.dll: is not a Windows library (it starts with neither a PE nor an ELF header)" \
  "  $pdv_win\\fbembed.dll: is truncated: it has 1024 bytes of the $(stat -c %s "$own") its headers announce" \
  "$(key_line "$own_view" "DefaultInstance is empty")" \
  "$(key_line "$other_view" "DefaultInstance is not a string but REG_DWORD")" \
  "Firebird client library: NONE loads: a Firebird client was found but does not load: reinstall the $bits-bit Firebird client"

# 8. A value too long for a folder in the agent's own view: the search goes on to
# the other view, whose installation (named with a variable, REG_EXPAND_SZ)
# holds the right client.
reset_terminal
cp "$own" "$firebird/fbclient.dll"
set_instance "$own_view" REG_SZ "C:\\$(printf 'x%.0s' $(seq 300))"
set_instance "$other_view" REG_EXPAND_SZ '%SystemDrive%\Program Files\Firebird\Firebird_3_0\'
check
expect "a value too long, then the other view's installation" \
  "$database$(refusal "$bits" "$firebird_win\\fbclient.dll")" \
  "Firebird client library: $firebird_win\\fbclient.dll ($bits-bit); not used before it:" \
  "  fbclient.dll: $by_name" \
  "  fbembed.dll: $by_name" \
  "  $pdv_win\\fbclient.dll: not found" \
  "  $pdv_win\\fbembed.dll: not found" \
  "$(key_line "$own_view" "DefaultInstance is 303 characters long, longer than a folder path may be (259)")"

# 9. A 32-bit agent and a 64-bit server: the 64-bit client in the root is
# skipped, the 32-bit one in its WOW64 folder is used.
if [ "$bits" = 32 ]; then
  reset_terminal
  cp "$other" "$firebird/fbclient.dll"
  mkdir -p "$firebird/WOW64"
  cp "$own" "$firebird/WOW64/fbclient.dll"
  set_instance 64 REG_SZ "$firebird_win"
  check
  expect "a 64-bit server's WOW64 folder" \
    "$database$(refusal 32 "$firebird_win\\WOW64\\fbclient.dll")" \
    "Firebird client library: $firebird_win\\WOW64\\fbclient.dll (32-bit); not used before it:" \
    "  fbclient.dll: $by_name" \
    "  fbembed.dll: $by_name" \
    "  $pdv_win\\fbclient.dll: not found" \
    "  $pdv_win\\fbembed.dll: not found" \
    "$(key_line 32 "$absent")" \
    "  $firebird_win\\fbclient.dll: is a 64-bit library; this agent is 32-bit" \
    "  $firebird_win\\bin\\fbclient.dll: not found"
fi

exit "$failed"
