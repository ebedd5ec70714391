#!/usr/bin/env bash
# The 32-bit agent and the 64-bit one report the same fingerprint on the same
# machine (a 64-bit prefix, WoW64): the server knows a terminal by it, so a
# technician who swaps one package for the other keeps the terminal's login.
# Each runs `--check` in a folder of its own with the same sync.ini; the
# fingerprint line of both reports must be there and equal.
# Usage: windows32_fingerprint_test.sh <32-bit quorbin_sync.exe> <64-bit quorbin_sync.exe>
# QUORBIN_WINE names the 32-bit loader; the prefix is scripts/wine-prefix's,
# whose 32-bit registry view carries the Windows version.
set -u
binary32=$(realpath "$1")
binary64=$(realpath -m "$2")
[ -f "$binary64" ] || { echo "skipped: no 64-bit agent at $2"; exit 77; }

export WINEDEBUG=-all
export QUORBIN_LOCK_NAME="windows32-fingerprint-test-$$"
work=$(mktemp -d)
source "$(dirname "$0")/script_helpers.sh"
trap 'rm -rf "$work"' EXIT

# fingerprint_of <loader> <quorbin_sync.exe> <folder>: the fingerprint line of
# the agent's --check report.
fingerprint_of() {
  mkdir -p "$3"
  cp "$2" "$3/quorbin_sync.exe"
  printf '[MAIN]\r\nOFFLINE=1\r\n' >"$3/sync.ini"
  (cd "$3" && timeout 300 "$1" quorbin_sync.exe --check >/dev/null)
  sed 's/^\xEF\xBB\xBF//; s/\r$//' "$3/check.txt" 2>/dev/null | sed -n 's/^fingerprint: //p'
}
fingerprint32=$(fingerprint_of "$wine_agent" "$binary32" "$work/agent32")
fingerprint64=$(fingerprint_of "$wine64" "$binary64" "$work/agent64")
echo "32-bit agent: '$fingerprint32'"
echo "64-bit agent: '$fingerprint64'"
[[ "$fingerprint32" =~ ^[0-9A-F]{32}$ ]] || { echo "FAILED: no fingerprint from the 32-bit agent"; exit 1; }
[ "$fingerprint32" = "$fingerprint64" ] || { echo "FAILED: the fingerprints differ"; exit 1; }
