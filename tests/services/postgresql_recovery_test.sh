#!/usr/bin/env bash
# The tests' PostgreSQL service script recovers by itself from what a killed
# run or a killed server leaves behind. On a cluster of the test's own (its own
# folder and port), so that the tests' server is left alone:
#  - a stale pid file (the server stopped at once, as by a crash) whose number
#    another process of the postgres user now has: `stop` returns without
#    signalling that process, and `start` starts the server;
#  - an initdb killed half-way: the next `start` makes a working cluster; so
#    does it on a cluster left without the tests' configuration (by an earlier
#    version of the script killed between its initdb and its configuration).
# Usage: postgresql_recovery_test.sh <service script>. Needs root (the script
# runs the server as the postgres user): exit 77 (skipped) otherwise.
set -u
service=$1
bin=/usr/lib/postgresql/15/bin
[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root"; exit 77; }
if [ ! -x "$bin/initdb" ] || ! id postgres >/dev/null 2>&1; then
  echo "skipped: PostgreSQL 15 is not installed"
  exit 77
fi

base=$(mktemp -d)
port=$((20000 + RANDOM % 10000))
while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done
export QUORBIN_POSTGRES_BASE=$base QUORBIN_POSTGRES_PORT=$port
data=$base/postgresql
sleeper=
failures=0

cleanup() {
  [ -z "$sleeper" ] || kill "$sleeper" 2>/dev/null
  # A server left running in the test's folder, even on another port.
  for folder in "$base"/postgresql*; do
    [ -s "$folder/postmaster.pid" ] || continue
    runuser -u postgres -- "$bin/pg_ctl" -D "$folder" -m immediate -w stop >/dev/null 2>&1
  done
  rm -rf "$base"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}
answers() {
  [ "$(PGCONNECT_TIMEOUT=5 "$bin/psql" -X -h 127.0.0.1 -p "$port" -U sa -d VELPDV -tAc \
    'SELECT 1' 2>/dev/null)" = 1 ]
}
# A process of the postgres user that lives on by itself and ends on SIGINT or
# SIGTERM (which a plain shell's background process would ignore); prints its
# number.
start_sleeper() {
  runuser -u postgres -- \
    sh -c 'env --default-signal=INT,TERM sleep 600 </dev/null >/dev/null 2>&1 & echo $!'
}
# The pid file of the running server, now naming the sleeper.
write_stale_pid_file() {
  { echo "$sleeper"; tail -n +2 "$base/saved.pid"; } >"$data/postmaster.pid"
  chown postgres:postgres "$data/postmaster.pid"
  chmod 0600 "$data/postmaster.pid"
}

echo "--- a fresh cluster"
"$service" || { echo "FAILED: the first start"; exit 1; }
answers || { echo "FAILED: no answer after the first start"; exit 1; }

echo "--- a stale pid file whose number a process of the postgres user has"
cp "$data/postmaster.pid" "$base/saved.pid"
"$service" kill || fail "kill"
sleeper=$(start_sleeper)
write_stale_pid_file
timeout 30 "$service" stop
stop_code=$?
[ "$stop_code" -eq 0 ] || fail "stop with the stale pid file ended with $stop_code"
kill -0 "$sleeper" 2>/dev/null || {
  fail "stop signalled the process that has the stale pid file's number"
  sleeper=$(start_sleeper)
  write_stale_pid_file
}
timeout 120 "$service" || fail "start with the stale pid file"
answers || fail "no answer after the start with the stale pid file"
kill -0 "$sleeper" 2>/dev/null || fail "start signalled the process of the stale pid file"
kill "$sleeper"
sleeper=

echo "--- an initdb killed half-way"
"$service" kill || fail "kill"
rm -rf "${base:?}"/*
setsid "$service" </dev/null >"$base/killed.log" 2>&1 &
started=$!
for _ in $(seq 1 1200); do
  compgen -G "$base/postgresql*/PG_VERSION" >/dev/null && break
  sleep 0.05
done
compgen -G "$base/postgresql*/PG_VERSION" >/dev/null || fail "initdb never began"
kill -KILL -- "-$started"
wait "$started" 2>/dev/null
sleep 1
! grep -qs "^port = $port" "$data/postgresql.conf" || fail "killed too late: the cluster was made"
timeout 120 "$service" || fail "start after the killed initdb"
answers || fail "no answer on 127.0.0.1:$port after the killed initdb"

echo "--- a cluster without the tests' configuration (an earlier script killed)"
"$service" kill || fail "kill"
rm -rf "${base:?}"/*
install -d -o postgres -g postgres -m 0700 "$data"
runuser -u postgres -- "$bin/initdb" -D "$data" -U postgres --auth=trust >/dev/null
timeout 120 "$service" || fail "start on the cluster without the configuration"
answers || fail "no answer on 127.0.0.1:$port after the cluster without the configuration"

[ "$failures" -eq 0 ] || exit 1
echo "passed"
