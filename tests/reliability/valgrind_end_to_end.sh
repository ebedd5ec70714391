#!/usr/bin/env bash
# The real agent under valgrind's memcheck, end to end: a sample terminal (a
# SQLite point-of-sale database reached through unixODBC under a SQL Server
# driver name, an NFC-e tree on drive C, pending closings), the API sandbox on
# 127.0.0.1:8000 refusing one invoice, start-up, the login and the first pass,
# then SIGTERM. Prints one line:
#   valgrind: clean (N errors, M bytes definitely lost)
#   valgrind: FAILED (...)
# and exits 0 only when clean; 2 when it cannot run (port 8000 taken, valgrind or
# the binaries missing). Slow (a minute or two), so not part of ctest.
#   tests/reliability/valgrind_end_to_end.sh [BUILD_DIR]    default: build
# The binaries quorbin_sync, api-sandbox and sample-terminal must be built in
# BUILD_DIR/bin. QUORBIN_VALGRIND_KEEP=1 keeps the folder (valgrind's report, the
# log, what the sandbox received) for a look around.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
bin=$build/bin

cannot_run() {
  echo "valgrind_end_to_end: $1" >&2
  exit 2
}
command -v valgrind >/dev/null || cannot_run "valgrind is not installed (scripts/setup installs it)"
for program in quorbin_sync api-sandbox sample-terminal; do
  [ -x "$bin/$program" ] || cannot_run "$bin/$program is missing: build it first"
done
if (exec 3<>/dev/tcp/127.0.0.1/8000) 2>/dev/null; then
  cannot_run "port 8000 is in use; the agent's debug address must be free"
fi

work=$(mktemp -d /tmp/quorbin-valgrind-XXXXXX)
chmod 755 "$work"
sandbox=
agent=
finish() {
  [ -z "$agent" ] || kill -KILL "$agent" 2>/dev/null || true
  [ -z "$sandbox" ] || kill "$sandbox" 2>/dev/null || true
  wait 2>/dev/null || true
  if [ "${QUORBIN_VALGRIND_KEEP:-0}" = 1 ]; then echo "kept: $work" >&2; else rm -rf "$work"; fi
}
trap finish EXIT

terminal=$work/terminal
mkdir -p "$terminal" "$work/drive_c" "$work/odbc" "$work/received"
printf '[ODBC Driver 17 for SQL Server]\nDescription=SQLite standing in for SQL Server\nDriver=libsqlite3odbc.so\n' \
  >"$work/odbc/odbcinst.ini"
: >"$work/odbc/odbc.ini"
"$bin/sample-terminal" "$work/drive_c" >"$work/terminal.sql" 2>"$work/sample-terminal.txt"
sqlite3 "$terminal/VELPDV" <"$work/terminal.sql"
printf '[MAIN]\r\nDEBUG=1\r\nOFFLINE=1\r\n' >"$terminal/sync.ini"
cp "$bin/quorbin_sync" "$terminal/quorbin_sync"

# The sandbox refuses the second pending invoice: the refusal's page and the
# failed-note list are exercised too.
refused_key=$(sqlite3 "$terminal/VELPDV" "SELECT CHAVE_NFCE FROM CUPOM ORDER BY NUMERO DESC LIMIT 1 OFFSET 1")
"$bin/api-sandbox" --store "$work/received" --refuse-number "$((10#${refused_key:25:9}))" \
  >"$work/sandbox.txt" 2>&1 &
sandbox=$!
listening=0
for _ in $(seq 300); do
  (exec 3<>/dev/tcp/127.0.0.1/8000) 2>/dev/null && { listening=1; break; }
  kill -0 "$sandbox" 2>/dev/null || break
  sleep 0.1
done
[ "$listening" = 1 ] || cannot_run "the API sandbox did not listen on 127.0.0.1:8000: $(cat "$work/sandbox.txt")"

suppressions=()
[ -f tests/valgrind.supp ] && suppressions=(--suppressions="$PWD/tests/valgrind.supp")
report=$work/valgrind.txt
started=$(date +%s)
(cd "$terminal" && exec env -u DISPLAY -u WAYLAND_DISPLAY QUORBIN_DRIVE_C="$work/drive_c" \
  ODBCSYSINI="$work/odbc" ODBCINI="$work/odbc/odbc.ini" QUORBIN_LOCK_NAME="quorbin-valgrind-$$" \
  valgrind --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
  --num-callers=30 "${suppressions[@]}" --log-file="$report" \
  ./quorbin_sync 2>"$work/agent-stderr.txt") &
agent=$!

# The first pass is over when the log holds its start and has then been still
# for longer than the longest pause between rows (valgrind slows the work, not
# the pauses).
log=$terminal/log_sync.txt
last_size=-1
still=0
for _ in $(seq 600); do
  sleep 0.5
  kill -0 "$agent" 2>/dev/null || break
  size=$(stat -c %s "$log" 2>/dev/null || echo 0)
  if [ "$size" -gt 0 ] && [ "$size" = "$last_size" ]; then still=$((still + 1)); else still=0; fi
  last_size=$size
  [ "$still" -ge 10 ] && grep -q 'Iniciando processo de sincronia' "$log" && break
done
ran_to_the_end=0
kill -0 "$agent" 2>/dev/null && ran_to_the_end=1
kill -TERM "$agent" 2>/dev/null || true
code=
for _ in $(seq 240); do
  if ! kill -0 "$agent" 2>/dev/null; then
    wait "$agent" && code=0 || code=$?
    break
  fi
  sleep 0.5
done
agent_pid=$agent
[ -n "$code" ] && agent=
seconds=$(($(date +%s) - started))

errors=$(sed -n 's/.*ERROR SUMMARY: \([0-9,]*\) errors.*/\1/p' "$report" 2>/dev/null | tail -1 | tr -d ,)
lost=$(sed -n 's/.*definitely lost: \([0-9,]*\) bytes.*/\1/p' "$report" 2>/dev/null | tail -1 | tr -d ,)
lost=${lost:-0}
uploaded=$(grep -c ' enviad[oa]\.' "$log" 2>/dev/null || true)

if [ -z "$code" ]; then
  why="the agent did not end within 120 s of SIGTERM (pid $agent_pid)"
elif [ "$ran_to_the_end" = 0 ]; then
  why="the agent ended by itself before SIGTERM (exit code $code; see its log)"
elif [ -z "$errors" ]; then
  why="no report from valgrind (exit code $code)"
elif [ "$code" != 0 ] || [ "$errors" != 0 ] || [ "$lost" != 0 ]; then
  why="exit code $code, $errors errors, $lost bytes definitely lost"
elif [ "${uploaded:-0}" -eq 0 ]; then
  why="the first pass uploaded nothing"
else
  echo "valgrind: clean ($errors errors, $lost bytes definitely lost; $uploaded uploads, ${seconds} s)"
  exit 0
fi
echo "valgrind: FAILED ($why)"
if [ -s "$log" ]; then
  echo "--- the end of the agent's log"
  iconv -f WINDOWS-1252 -t UTF-8 "$log" | tail -20
fi
if [ -s "$report" ]; then
  echo "--- valgrind's report"
  grep -v '^==[0-9]*== *$' "$report" | tail -80
fi
exit 1
