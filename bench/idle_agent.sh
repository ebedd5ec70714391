#!/usr/bin/env bash
# The agent at rest: a sample terminal (as scripts/demo lays it out) with the API
# sandbox on 127.0.0.1:8000; once the agent's first pass is over (its log still
# for 3 s), its CPU time, wake-ups (the times its threads went to sleep and were
# woken: their voluntary context switches) and private memory (the pages it
# wrote itself; clean pages are left out, since a shared library no other
# process maps counts as private) are read from /proc over IDLE_SECONDS (20).
#
#   bench/idle_agent.sh BUILD_DIR
#
# Prints three figure lines in the benchmark table's format. Waits up to 4
# minutes for port 8000 when another program holds it; prints a note instead of
# figures when it stays taken.
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${IDLE_SECONDS:-20}
source "$(dirname "$0")/figure.sh"

port_taken() { (exec 3<>/dev/tcp/127.0.0.1/8000) 2>/dev/null; }
for _ in $(seq 240); do port_taken || break; sleep 1; done
if port_taken; then
  echo "idle agent: port 8000 stayed taken; no figures"
  exit 0
fi

dir=$(mktemp -d /tmp/quorbin-idle-bench-XXXXXX)
chmod 755 "$dir"
pids=()
finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$dir"
}
trap finish EXIT

terminal=$dir/terminal
mkdir -p "$terminal" "$dir/drive_c" "$dir/odbc" "$dir/received"
printf '[ODBC Driver 17 for SQL Server]\nDescription=SQLite standing in for SQL Server\nDriver=libsqlite3odbc.so\n' \
  >"$dir/odbc/odbcinst.ini"
: >"$dir/odbc/odbc.ini"
"$build/bin/sample-terminal" "$dir/drive_c" >"$dir/terminal.sql" 2>/dev/null
sqlite3 "$terminal/VELPDV" <"$dir/terminal.sql"
printf '[MAIN]\r\nDEBUG=1\r\nOFFLINE=1\r\n' >"$terminal/sync.ini"
cp "$build/bin/quorbin_sync" "$terminal/quorbin_sync"

"$build/bin/api-sandbox" --store "$dir/received" >"$dir/sandbox.txt" 2>&1 &
pids+=($!)
for _ in $(seq 50); do port_taken && break; sleep 0.1; done

(cd "$terminal" && exec env -u DISPLAY -u WAYLAND_DISPLAY QUORBIN_DRIVE_C="$dir/drive_c" \
  ODBCSYSINI="$dir/odbc" ODBCINI="$dir/odbc/odbc.ini" QUORBIN_LOCK_NAME="quorbin-idle-bench-$$" \
  ./quorbin_sync 2>"$dir/agent-stderr.txt") &
agent=$!
pids+=($agent)
log=$terminal/log_sync.txt
last_size=-1
still=0
for _ in $(seq 240); do
  sleep 0.5
  kill -0 "$agent" 2>/dev/null || { echo "idle agent: the agent ended early"; exit 1; }
  size=$(stat -c %s "$log" 2>/dev/null || echo 0)
  if [ "$size" -gt 0 ] && [ "$size" = "$last_size" ]; then still=$((still + 1)); else still=0; fi
  last_size=$size
  [ "$still" -ge 6 ] && break
done

# Nanoseconds on a CPU, all threads (the scheduler's own count, finer than ticks).
cpu_ns() { cat /proc/"$agent"/task/*/schedstat | awk '{sum += $1} END {printf "%.0f", sum}'; }
switches() {
  cat /proc/"$agent"/task/*/status |
    awk '/^voluntary_ctxt_switches/ {sum += $2} END {print sum}'
}
cpu_before=$(cpu_ns)
switches_before=$(switches)
start=$(date +%s.%N)
sleep "$seconds"
cpu_after=$(cpu_ns)
switches_after=$(switches)
end=$(date +%s.%N)
private_kb=$(awk '/^Private_Dirty:/ {sum += $2} END {print sum}' "/proc/$agent/smaps_rollup")
threads=$(ls "/proc/$agent/task" | wc -l)

read -r cpu_share wakeups private_mb elapsed <<<"$(awk -v t="$((cpu_after - cpu_before))" \
  -v s="$((switches_after - switches_before))" -v a="$start" -v b="$end" \
  -v p="$private_kb" 'BEGIN {w = b - a; printf "%.3f %.2f %.1f %.1f", 100 * t / 1e9 / w, s / w, p / 1024, w}')"
figure idle_agent_cpu_percent "$cpu_share" "<= 0.1" "(CPU time over ${elapsed} s after the first pass)"
figure idle_agent_wakeups_per_s "$wakeups" "<= 1.5" "($threads threads; the watchdog ticks once a second)"
figure idle_agent_private_mb "$private_mb" "<= 16" "(pages it wrote itself: heap, stacks, data; shared libraries excluded)"
