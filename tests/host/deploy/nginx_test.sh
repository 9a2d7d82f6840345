#!/usr/bin/env bash
# nginx (Debian's) as a reverse proxy in front of two `halvane serve`
# processes, all on 127.0.0.1 under a temporary folder, with the
# configuration of docs/deploy.md: pages and static files come through,
# both backends take requests, a page's flushes reach the client as they
# happen, POST bodies pass, a session lives in the SQLite store the two
# share, and with one backend stopped every request is still answered and
# the session goes on where the finished pages left it.
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
  printf 'Session("n") = Session("n") + 1\nResponse.Write Session("n")\n' >"$d/count.hvs"
  printf '%s' "$b" >"$d/who.txt"
  log=$work/halvane-$b.log
  : >"$log"  # exists before the backend writes to it
  "$halvane" serve "$d" --port 0 --no-compat --grace 1 --sessions "sqlite:$work/sessions.db" 2>>"$log" &
  pids+=("$!")
  [ "$b" = a ] && pid_a=$!
  port[$b]=
  for ((i = 0; i < 100; i++)); do
    port[$b]=$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$log" | head -1)
    [ -n "${port[$b]}" ] && break
    sleep 0.05
  done
  [ -n "${port[$b]}" ] || fail "backend $b did not start: $(cat "$log")"
done

# nginx in front of both on a free port, up once who.txt answers.
prefix=$work/nginx
mkdir -p "$prefix/logs"
up=0
for ((try = 0; try < 5 && !up; try++)); do
  nport=$((20000 + RANDOM % 40000))
  sed -e "s|@PREFIX@|$prefix|g" -e "s|@PORT@|$nport|g" -e "s|@BACKEND_A@|127.0.0.1:${port[a]}|" \
    -e "s|@BACKEND_B@|127.0.0.1:${port[b]}|" "$(dirname "$0")/nginx.conf.in" >"$prefix/nginx.conf"
  "$nginx" -e "$prefix/logs/startup.log" -p "$prefix" -c "$prefix/nginx.conf" 2>"$prefix/start.err" &
  npid=$!
  pids+=("$npid")
  for ((i = 0; i < 50; i++)); do
    if curl -fs -o /dev/null "http://127.0.0.1:$nport/who.txt"; then up=1; break; fi
    kill -0 "$npid" 2>/dev/null || break
    sleep 0.1
  done
done
((up)) || fail "nginx did not start: $(cat "$prefix/start.err" "$prefix/logs/error.log" 2>/dev/null)"
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

# A session made through one backend is read through the other, then every
# request through nginx sees the count of the one before.
jar=$work/jar
[ "$(curl -fs -c "$jar" "http://127.0.0.1:${port[a]}/count.hvs")" = 1 ] || fail "first count"
grep -q HALVANE_SESSION "$jar" || fail "no session cookie"
[ "$(curl -fs -b "$jar" "http://127.0.0.1:${port[b]}/count.hvs")" = 2 ] || fail "count through the other backend"
for ((n = 3; n <= 10; n++)); do
  out=$(curl -fs -b "$jar" "$base/count.hvs") || fail "count through nginx"
  [ "$out" = "$n" ] || fail "count through nginx: $out, not $n"
done

# One backend stopped: every request is still answered, by the other, and
# the session goes on.
kill -TERM "$pid_a"
wait "$pid_a" 2>/dev/null || true
for ((i = 0; i < 10; i++)); do
  [ "$(curl -fs "$base/page.hvs")" = "page 42" ] || fail "page with backend a stopped"
  [ "$(curl -fs "$base/who.txt")" = "b" ] || fail "static file with backend a stopped"
  out=$(curl -fs -b "$jar" "$base/count.hvs") || fail "count with backend a stopped"
  [ "$out" = $((11 + i)) ] || fail "count with backend a stopped: $out, not $((11 + i))"
done
echo "nginx_test: ok (nginx on $nport, backends on ${port[a]} and ${port[b]})"
