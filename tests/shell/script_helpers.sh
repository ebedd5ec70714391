# What the shell tests of the agent share, sourced by each: waiting with a bound,
# the processes a test started, the debug port, a virtual display, and showing
# the agent's Windows-1252 files when a test fails.
# A test sets `work` (its temporary folder) before it calls start_virtual_display.

pids=()

# Wine's loaders, called directly, never through the `wine` launcher: once the
# 32-bit Wine is installed, the launcher starts 64-bit programs through the
# 32-bit loader too (tens of seconds each). `wine_agent` runs the agent under
# test (QUORBIN_WINE, the loader of its bitness, set by the test's definition;
# the 64-bit one by default); `wine64` runs the prefix's own programs (cmd, reg,
# msiexec, taskkill, winepath), which are 64-bit in a 64-bit prefix.
wine64=/usr/lib/wine/wine64
wine_agent=${QUORBIN_WINE:-$wine64}

# The host's path of a Windows path, its variables (%LOCALAPPDATA%...) expanded.
unix_path() { "$wine64" winepath -u "$("$wine64" cmd /c echo "$1" | tr -d '\r')" 2>/dev/null; }

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_until() {
  local tenths=$1
  shift
  for ((i = 0; i < tenths; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# Ends every process the test started (in `pids`), with signal $1 (default TERM).
stop_started() {
  for pid in "${pids[@]}"; do kill "-${1:-TERM}" "$pid" 2>/dev/null; done
  wait 2>/dev/null
}

port_free() { ! (exec 3<>/dev/tcp/127.0.0.1/8000) 2>/dev/null; }
port_busy() { ! port_free; }

# Starts Xvfb and exports its DISPLAY.
start_virtual_display() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  pids+=($!)
  wait_until 100 test -s "$work/display" || fail "Xvfb did not start"
  export DISPLAY=":$(cat "$work/display")"
}

# Prints each of the given files that exists, from Windows-1252.
show_files() {
  for file in "$@"; do
    [ -f "$file" ] && { echo "--- $file"; iconv -f WINDOWS-1252 -t UTF-8 "$file"; }
  done
  return 0
}
