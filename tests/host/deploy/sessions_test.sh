#!/usr/bin/env bash
# Sessions behind nginx, as docs/deploy.md sets them up: two `halvane serve`
# processes sharing an SQLite store (one host), then two "hosts" (processes
# with folders and ports of their own) sharing a Redis server that this test
# starts on a loopback port and stops.  For each: a session made through one
# backend is read through the other, every request through nginx sees the
# count of the one before, and with one backend stopped mid-way no value a
# finished page wrote is lost.
#   bash sessions_test.sh HALVANE_BINARY
# Exit 77 (skipped) when nginx, curl or redis-server is missing.
set -euo pipefail
halvane=$1
test_name=sessions_test
source "$(dirname "$0")/deploy_lib.sh"
redis=$(command -v redis-server || echo /usr/bin/redis-server)
[ -x "$redis" ] || { echo "sessions_test: redis-server is not installed" >&2; exit 77; }

make_site() {
  mkdir -p "$1"
  printf 'Session("n") = Session("n") + 1\nResponse.Write Session("n")\n' >"$1/count.hvs"
  printf 'Response.Write "plain"\n' >"$1/plain.hvs"
}

# The checks, on backends at ports $1 and $2 (pid of the first: $3), behind nginx.
check() {
  local what=$1 port_a=$2 port_b=$3 pid_a=$4 jar=$work/jar-$1 n
  # Made through one backend, read through the other.
  out=$(curl -fs -c "$jar" "http://127.0.0.1:$port_a/count.hvs") || fail "$what: first page"
  [ "$out" = 1 ] || fail "$what: first count $out"
  grep -q HALVANE_SESSION "$jar" || fail "$what: no session cookie"
  out=$(curl -fs -b "$jar" "http://127.0.0.1:$port_b/count.hvs")
  [ "$out" = 2 ] || fail "$what: read through the other backend: $out"
  start_nginx "$what" "$port_a" "$port_b" /plain.hvs
  for ((n = 3; n <= 10; n++)); do
    out=$(curl -fs -b "$jar" "$base/count.hvs") || fail "$what: through nginx"
    [ "$out" = "$n" ] || fail "$what: through nginx: $out, not $n"
  done
  # One backend stopped mid-way: the count goes on where the finished pages left it.
  kill -TERM "$pid_a"
  wait "$pid_a" 2>/dev/null || true
  for ((n = 11; n <= 16; n++)); do
    out=$(curl -fs -b "$jar" "$base/count.hvs") || fail "$what: with a backend stopped"
    [ "$out" = "$n" ] || fail "$what: with a backend stopped: $out, not $n"
  done
}

# One host: two processes, one folder, one SQLite file.
make_site "$work/site"
start_backend "$work/site" --sessions "sqlite:$work/sessions.db"; a_port=$backend_port; a_pid=$backend_pid
start_backend "$work/site" --sessions "sqlite:$work/sessions.db"; b_port=$backend_port
check sqlite "$a_port" "$b_port" "$a_pid"

# Two hosts: folders and ports of their own, one Redis server.
for ((try = 0; try < 5; try++)); do
  rport=$((20000 + RANDOM % 40000))
  "$redis" --port "$rport" --bind 127.0.0.1 --save '' --appendonly no --dir "$work" >"$work/redis.log" 2>&1 &
  rpid=$!
  up=0
  for ((i = 0; i < 50; i++)); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$rport") 2>/dev/null; then up=1; break; fi
    kill -0 "$rpid" 2>/dev/null || break
    sleep 0.1
  done
  if ((up)); then pids+=("$rpid"); break; fi
  wait "$rpid" 2>/dev/null || true
done
((up)) || fail "redis-server did not start: $(cat "$work/redis.log")"
make_site "$work/host-a"
make_site "$work/host-b"
start_backend "$work/host-a" --sessions "redis://127.0.0.1:$rport/1"; a_port=$backend_port; a_pid=$backend_pid
start_backend "$work/host-b" --sessions "redis://127.0.0.1:$rport/1"; b_port=$backend_port
check redis "$a_port" "$b_port" "$a_pid"

echo "sessions_test: ok (SQLite and Redis behind nginx)"
