#!/usr/bin/env bash
# nginx (Debian's) as a reverse proxy in front of two `halvane serve`
# processes, all on 127.0.0.1 under a temporary folder, with the
# configuration of docs/deploy.md: pages and static files come through,
# both backends take requests, a page's flushes reach the client as they
# happen, POST bodies pass, and with one backend stopped every request is
# still answered.
#   bash nginx_test.sh HALVANE_BINARY
# Exit 77 (skipped) when nginx or curl is missing.
set -euo pipefail
halvane=$1
nginx=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$nginx" ] || { echo "nginx_test: nginx is not installed" >&2; exit 77; }
command -v curl >/dev/null || { echo "nginx_test: curl is not installed" >&2; exit 77; }

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
fail() { echo "nginx_test: FAIL: $*" >&2; exit 1; }

# Two copies of one site, each served on a free port; who.txt tells them apart.
declare -A port
for b in a b; do
  d=$work/site-$b
  mkdir -p "$d"
  printf 'Response.Write "page " & 42\n' >"$d/page.hvs"
  printf 'For i = 1 To 4\nResponse.Write "step" & i & " "\nResponse.Flush\nSleep 400\nNext\n' >"$d/stream.hvs"
  printf 'Response.Write "posted"\n' >"$d/form.hvs"
  printf '%s' "$b" >"$d/who.txt"
  # The log exists before the backend starts: the loop below may read it
  # before the background process has opened it.
  : >"$work/halvane-$b.log"
  "$halvane" serve "$work/site-$b" --port 0 --no-compat --grace 1 2>>"$work/halvane-$b.log" &
  pids+=("$!")
  for ((i = 0; i < 100; i++)); do
    port[$b]=$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/halvane-$b.log" | head -1)
    [ -n "${port[$b]}" ] && break
    sleep 0.05
  done
  [ -n "${port[$b]}" ] || fail "backend $b did not start: $(cat "$work/halvane-$b.log")"
done
pid_a=${pids[0]}

mkdir -p "$work/nginx/logs"
for ((try = 0; try < 5; try++)); do
  nport=$((20000 + RANDOM % 40000))
  sed -e "s|@PREFIX@|$work/nginx|g" -e "s|@PORT@|$nport|g" -e "s|@BACKEND_A@|127.0.0.1:${port[a]}|" \
    -e "s|@BACKEND_B@|127.0.0.1:${port[b]}|" "$(dirname "$0")/nginx.conf.in" >"$work/nginx/nginx.conf"
  "$nginx" -e "$work/nginx/logs/startup.log" -p "$work/nginx" -c "$work/nginx/nginx.conf" 2>"$work/nginx/start.err" &
  npid=$!
  up=0
  for ((i = 0; i < 50; i++)); do
    if curl -fs -o /dev/null "http://127.0.0.1:$nport/who.txt"; then up=1; break; fi
    kill -0 "$npid" 2>/dev/null || break
    sleep 0.1
  done
  if ((up)); then pids+=("$npid"); break; fi
  kill "$npid" 2>/dev/null || true
  wait "$npid" 2>/dev/null || true
done
((up)) || fail "nginx did not start: $(cat "$work/nginx/start.err" "$work/nginx/logs/error.log" 2>/dev/null)"
base=http://127.0.0.1:$nport

# Pages and static files; both backends take requests.
out=$(curl -s "$base/page.hvs" || true); [ "$out" = "page 42" ] || fail "page: $out"
seen=
for ((i = 0; i < 8; i++)); do seen+=$(curl -fs "$base/who.txt"); done
case $seen in *a*) ;; *) fail "backend a never answered ($seen)" ;; esac
case $seen in *b*) ;; *) fail "backend b never answered ($seen)" ;; esac
[ "$(curl -fs -d 'x=1&y=2' "$base/form.hvs")" = "posted" ] || fail "POST"
code=$(curl -s -o /dev/null -w '%{http_code}' "$base/missing.hvs")
[ "$code" = 404 ] || fail "missing page gave $code"

# Streaming: the first step arrives at once, the whole after 1.2 s or more.
read -r first total < <(curl -fsN -o "$work/stream.out" -w '%{time_starttransfer} %{time_total}\n' "$base/stream.hvs")
[ "$(cat "$work/stream.out")" = "step1 step2 step3 step4 " ] || fail "stream body: $(cat "$work/stream.out")"
awk -v f="$first" -v t="$total" 'BEGIN { exit !(f < 0.8 && t >= 1.2) }' ||
  fail "not streamed: first byte $first s, total $total s"

# One backend stopped: every request is still answered, by the other.
kill -TERM "$pid_a"
wait "$pid_a" 2>/dev/null || true
for ((i = 0; i < 10; i++)); do
  [ "$(curl -fs "$base/page.hvs")" = "page 42" ] || fail "page with backend a stopped"
  [ "$(curl -fs "$base/who.txt")" = "b" ] || fail "static file with backend a stopped"
done
echo "nginx_test: ok (nginx on $nport, backends on ${port[a]} and ${port[b]})"
