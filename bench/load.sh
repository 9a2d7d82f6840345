#!/usr/bin/env bash
# The server under load, on 127.0.0.1 only:
#   bash bench/load.sh build-bench
# Starts `halvane serve bench/pages` and an nginx (its own temporary config,
# on another free loopback port) serving the very bytes of its two pages as
# static files: small.hvs (a tree of 3 menus of 4 nodes, about 6 KB) and
# nav.hvs (20 menus of 10 nodes, about 60 KB, some 240 component calls).
# Runs wrk with 64 connections against each page on both; then sends at
# least 100,000 requests to halvane and compares its resident size before
# and after.  Prints Markdown tables.  Both servers are
# stopped on exit.  LOAD_SECONDS sets the length of each wrk run (10);
# SERVE_ARGS adds options to `halvane serve` (e.g. "--io-threads 2");
# NO_MEMORY=1 skips the 100,000-request memory check.  Sessions: the small
# page against small_session.hvs (the same page, and one session value read
# and written) on the memory store and on an SQLite store, each request with
# the cookie of one of 256 sessions made beforehand; NO_SESSIONS=1 skips it.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
seconds=${LOAD_SECONDS:-10}
connections=64
halvane=$build/halvane
nginx=$(command -v nginx || echo /usr/sbin/nginx)

for tool in wrk curl "$nginx" "$halvane"; do
  command -v "$tool" >/dev/null 2>&1 || { echo "load: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

wait_up() {  # wait_up URL
  local i
  for ((i = 0; i < 100; i++)); do
    curl -fs -o /dev/null "$1" && return 0
    sleep 0.1
  done
  echo "load: $1 did not answer" >&2
  return 1
}

rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }

# ---- the two servers ------------------------------------------------------------
hport=$(free_port)
# shellcheck disable=SC2086  # SERVE_ARGS is a list of options
"$halvane" serve bench/pages --host 127.0.0.1 --port "$hport" ${SERVE_ARGS:-} 2>"$work/halvane.log" >/dev/null &
hpid=$!
pids+=("$hpid")
wait_up "http://127.0.0.1:$hport/small.hvs"

mkdir -p "$work/www" "$work/nginx"
for page in small nav; do
  curl -fs "http://127.0.0.1:$hport/$page.hvs" -o "$work/www/$page.hvs"
done
chmod -R a+rX "$work"
nport=$(free_port)
cat >"$work/nginx/nginx.conf" <<EOF
worker_processes auto;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 1024; }
http {
  access_log $work/nginx/access.log;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  types { }
  default_type "text/html; charset=utf-8";
  server {
    listen 127.0.0.1:$nport;
    root $work/www;
  }
}
EOF
"$nginx" -p "$work/nginx" -c "$work/nginx/nginx.conf" &
pids+=("$!")
wait_up "http://127.0.0.1:$nport/small.hvs"

for page in small nav; do
  if ! cmp -s <(curl -fs "http://127.0.0.1:$nport/$page.hvs") "$work/www/$page.hvs"; then
    echo "load: nginx does not serve the same bytes for $page" >&2
    exit 1
  fi
done

# ---- wrk ------------------------------------------------------------------------------
# Runs wrk; prints "requests req_per_s errors non2xx p50 p99".
run_wrk() {  # run_wrk URL SECONDS [LUA_SCRIPT]
  local log=$work/wrk.log
  wrk -t2 -c"$connections" -d"$2"s --latency ${3:+-s "$3"} "$1" >"$log" 2>&1
  awk '
    /requests in/ { req = $1 }
    /^Requests\/sec:/ { rps = $2 }
    /Socket errors:/ { gsub(",", ""); err = $4 + $6 + $8 + $10 }
    /Non-2xx or 3xx responses:/ { bad = $5 }
    /^ +50%/ { p50 = $2 }
    /^ +99%/ { p99 = $2 }
    END { printf "%s %s %d %d %s %s\n", req, rps, err, bad, p50, p99 }' "$log"
}

echo "### Under load: wrk, $connections connections, ${seconds} s per run, 127.0.0.1"
echo
echo "| page | server | requests | requests/s | failed | non-2xx | p50 | p99 | halvane / nginx |"
echo "|---|---|---:|---:|---:|---:|---:|---:|---:|"
failures=0
for page in small nav; do
  read -r hreq hrps herr hbad hp50 hp99 < <(run_wrk "http://127.0.0.1:$hport/$page.hvs" "$seconds")
  read -r nreq nrps nerr nbad np50 np99 < <(run_wrk "http://127.0.0.1:$nport/$page.hvs" "$seconds")
  ratio=$(awk -v a="$hrps" -v b="$nrps" 'BEGIN { printf "%.2f", a / b }')
  echo "| $page | halvane serve | $hreq | $hrps | $herr | $hbad | $hp50 | $hp99 | $ratio |"
  echo "| $page | nginx (static copy) | $nreq | $nrps | $nerr | $nbad | $np50 | $np99 | |"
  failures=$((failures + herr + hbad))
done
echo

# ---- sessions -------------------------------------------------------------------------------
if [ "${NO_SESSIONS:-0}" != 1 ]; then
  sport=$(free_port)
  # shellcheck disable=SC2086
  "$halvane" serve bench/pages --host 127.0.0.1 --port "$sport" --sessions "sqlite:$work/sessions.db" \
    ${SERVE_ARGS:-} 2>"$work/halvane-sqlite.log" >/dev/null &
  pids+=("$!")
  wait_up "http://127.0.0.1:$sport/small.hvs"
  echo "### Sessions: the small page alone and with one session value read and written"
  echo
  echo "| store | page | requests/s | failed | non-2xx | p50 | p99 | with / without |"
  echo "|---|---|---:|---:|---:|---:|---:|---:|"
  for store in memory sqlite; do
    port=$hport
    [ "$store" = sqlite ] && port=$sport
    # 256 sessions, one cookie each; every request names the next of them,
    # each wrk thread from its own half (distinct visitors, as on a site).
    ids=()
    for ((i = 0; i < 256; i++)); do
      ids+=("$(curl -fs -D - -o /dev/null "http://127.0.0.1:$port/small_session.hvs" |
        sed -n 's/^Set-Cookie: HALVANE_SESSION=\([A-Za-z0-9]*\);.*/\1/p')")
    done
    {
      echo "local ids = {"
      printf '"%s",\n' "${ids[@]}"
      echo "}"
      echo 'local threads = 0'
      echo 'function setup(thread) thread:set("first", threads * 128); threads = threads + 1 end'
      echo 'local i = 0'
      echo 'request = function()'
      echo '  i = i + 1'
      echo '  return wrk.format(nil, nil, { Cookie = "HALVANE_SESSION=" .. ids[first + i % 128 + 1] })'
      echo 'end'
    } >"$work/cookies.lua"
    read -r _ prps perr pbad pp50 pp99 < <(run_wrk "http://127.0.0.1:$port/small.hvs" "$seconds")
    read -r _ srps serr sbad sp50 sp99 < <(run_wrk "http://127.0.0.1:$port/small_session.hvs" "$seconds" "$work/cookies.lua")
    ratio=$(awk -v a="$srps" -v b="$prps" 'BEGIN { printf "%.2f", a / b }')
    echo "| $store | small | $prps | $perr | $pbad | $pp50 | $pp99 | |"
    echo "| $store | small_session | $srps | $serr | $sbad | $sp50 | $sp99 | $ratio |"
    failures=$((failures + perr + pbad + serr + sbad))
  done
  echo
fi

# ---- memory over 100,000 requests -----------------------------------------------------------
if [ "${NO_MEMORY:-0}" = 1 ]; then
  echo "Failed requests over the whole load test (socket errors and non-2xx answers): $failures."
  exit 0
fi
before=$(rss_kb "$hpid")
total=0
rounds=0
while [ "$total" -lt 100000 ] && [ "$rounds" -lt 10 ]; do
  read -r req _ err bad _ _ < <(run_wrk "http://127.0.0.1:$hport/small.hvs" "$seconds")
  total=$((total + req))
  failures=$((failures + err + bad))
  rounds=$((rounds + 1))
done
after=$(rss_kb "$hpid")
echo "### Memory of halvane serve over $total more requests of the small page"
echo
echo "| resident before | resident after | change |"
echo "|---:|---:|---:|"
awk -v a="$before" -v b="$after" 'BEGIN { printf "| %.1f MiB | %.1f MiB | %+.1f MiB (%+.1f%%) |\n", a/1024, b/1024, (b-a)/1024, (b-a)*100/a }'
echo
echo "Failed requests over the whole load test (socket errors and non-2xx answers): $failures."
