# Shared by the deployment tests: a temporary folder whose processes are
# stopped and which is removed on exit, `halvane serve` backends and nginx
# in front of two of them with the configuration of docs/deploy.md.
# Source it after setting `halvane` (the program) and `test_name`.

nginx=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$nginx" ] || { echo "$test_name: nginx is not installed" >&2; exit 77; }
command -v curl >/dev/null || { echo "$test_name: curl is not installed" >&2; exit 77; }

work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "$test_name: FAIL: $*" >&2; exit 1; }

# `halvane serve DIR ARGS...` on a free port; its port in $backend_port, its
# pid in $backend_pid.
start_backend() {
  local dir=$1 log i
  shift
  log=$(mktemp "$work/halvane-XXXXXX.log")  # exists before the backend writes to it
  "$halvane" serve "$dir" --port 0 --no-compat --grace 1 "$@" 2>>"$log" &
  backend_pid=$!
  pids+=("$backend_pid")
  backend_port=
  for ((i = 0; i < 100; i++)); do
    backend_port=$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$log" | head -1)
    [ -n "$backend_port" ] && return
    sleep 0.05
  done
  fail "backend did not start: $(cat "$log")"
}

# nginx (named $1) in front of ports $2 and $3, up once path $4 answers; its
# port in $nport, its base URL in $base.
start_nginx() {
  local prefix=$work/nginx-$1 try i up=0 npid
  mkdir -p "$prefix/logs"
  for ((try = 0; try < 5; try++)); do
    nport=$((20000 + RANDOM % 40000))
    sed -e "s|@PREFIX@|$prefix|g" -e "s|@PORT@|$nport|g" -e "s|@BACKEND_A@|127.0.0.1:$2|" \
      -e "s|@BACKEND_B@|127.0.0.1:$3|" "$(dirname "${BASH_SOURCE[0]}")/nginx.conf.in" >"$prefix/nginx.conf"
    "$nginx" -e "$prefix/logs/startup.log" -p "$prefix" -c "$prefix/nginx.conf" 2>"$prefix/start.err" &
    npid=$!
    for ((i = 0; i < 50; i++)); do
      if curl -fs -o /dev/null "http://127.0.0.1:$nport$4"; then up=1; break; fi
      kill -0 "$npid" 2>/dev/null || break
      sleep 0.1
    done
    if ((up)); then pids+=("$npid"); base=http://127.0.0.1:$nport; return; fi
    kill "$npid" 2>/dev/null || true
    wait "$npid" 2>/dev/null || true
  done
  fail "nginx did not start: $(cat "$prefix/start.err" "$prefix/logs/error.log" 2>/dev/null)"
}
