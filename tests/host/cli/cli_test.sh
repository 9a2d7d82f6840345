#!/usr/bin/env bash
# The halvane program from the outside: exit statuses, standard output bytes,
# the one-line error reports, classes/describe/--help/--version, and serve
# stopping cleanly on Ctrl-C.
#   cli_test.sh path/to/halvane path/to/this/folder
set -uo pipefail
BIN=$1
DIR=$2
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_eq() {  # expect_eq WHAT ACTUAL EXPECTED
  [ "$2" == "$3" ] || fail "$1: got [$2], expected [$3]"
}

# ---- run ----
"$BIN" run "$DIR/good.hvs" > "$TMP/out" 2> "$TMP/err"
expect_eq "good: status" "$?" 0
expect_eq "good: stdout bytes" "$(od -An -c "$TMP/out" | tr -s ' ')" "$(printf 'one\r\ntwo\r\n' | od -An -c | tr -s ' ')"
expect_eq "good: stderr" "$(cat "$TMP/err")" ""

"$BIN" run - < "$DIR/good.hvs" > "$TMP/out2"
expect_eq "stdin: status" "$?" 0
cmp -s "$TMP/out" "$TMP/out2" || fail "stdin: output differs from the file run"

"$BIN" run "$DIR/fails.hvs" > "$TMP/out" 2> "$TMP/err"
expect_eq "runtime error: status" "$?" 1
expect_eq "runtime error: stdout keeps what was written" "$(cat "$TMP/out")" "kept"
expect_eq "runtime error: stderr" "$(cat "$TMP/err")" \
  "$DIR/fails.hvs:3: error 0x800A0001: number 1, source \"Halvane.Calendar\": ActiveDate Property not a valid date."

"$BIN" run "$DIR/syntax.hvs" > "$TMP/out" 2> "$TMP/err"
expect_eq "syntax error: status" "$?" 2
expect_eq "syntax error: nothing ran" "$(cat "$TMP/out")" ""
expect_eq "syntax error: stderr" "$(cat "$TMP/err")" \
  "$DIR/syntax.hvs:2:7: syntax error: expected ')', found end of line"

printf 'x = CInt("q")' | "$BIN" run - > /dev/null 2> "$TMP/err"
expect_eq "stdin error: status" "$?" 1
expect_eq "stdin error: stderr" "$(cat "$TMP/err")" \
  '<stdin>:1: error 0x800A000D: number 13, source "Halvane": Type mismatch'

"$BIN" run "$TMP/no-such-file.hvs" > /dev/null 2>&1
expect_eq "missing file: status" "$?" 2
"$BIN" run > /dev/null 2>&1
expect_eq "run without a file: status" "$?" 2
"$BIN" frobnicate > /dev/null 2>&1
expect_eq "unknown command: status" "$?" 2

# ---- classes, describe, help, version ----
out=$("$BIN" classes)
expect_eq "classes: status" "$?" 0
expect_eq "classes: lines" "$(echo "$out" | wc -l | tr -d ' ')" 7
echo "$out" | grep -q '^Tree  *Halvane.Tree  *{BFC10B8E-F8D0-4839-83AE-2E0B60C8BF58}  *_Tree$' || fail "classes: Tree line"

out=$("$BIN" describe halvane.TREE)
expect_eq "describe: status" "$?" 0
echo "$out" | grep -qF '0x6003000B  method        WriteNode(NodeName As String, URI As String, Target As String, [ImagePath As String]) As String' \
  || fail "describe: WriteNode line"$'\n'"$out"
echo "$out" | grep -qF '0x68030005  property let  Width(newWidth As String)' || fail "describe: Width let"
expect_eq "describe: members" "$(echo "$out" | grep -c '^  0x')" 17
"$BIN" describe '{69f2ebbf-d021-46b1-a87c-55d8a8a17fc8}' | grep -q '^Halvane.Calendar (class Calendar)$' \
  || fail "describe by CLSID"
"$BIN" describe Halvane.Nothing > /dev/null 2>&1
expect_eq "describe unknown: status" "$?" 1

for cmd in run serve classes describe; do
  "$BIN" "$cmd" --help > "$TMP/help" 2>&1
  expect_eq "$cmd --help: status" "$?" 0
  grep -q "^Usage: halvane $cmd" "$TMP/help" || fail "$cmd --help: usage line"
  grep -q "^Example" "$TMP/help" || fail "$cmd --help: examples"
done
"$BIN" --help | grep -q '^  halvane serve' || fail "--help lists serve"
expect_eq "--version" "$("$BIN" --version | head -1)" "halvane 1.0.0"

# ---- serve: a request, then Ctrl-C ----
mkdir -p "$TMP/site"
printf 'Response.Write "served"\n' > "$TMP/site/index.hvs"
"$BIN" serve "$TMP/site" --port 0 --no-compat --timeout 2 2> "$TMP/serve.err" &
pid=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$TMP/serve.err")
  [ -n "$port" ] && break
  sleep 0.05
done
if [ -z "$port" ]; then
  fail "serve: no address printed: $(cat "$TMP/serve.err")"
else
  exec 3<>"/dev/tcp/127.0.0.1/$port"
  printf 'GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n' >&3
  reply=$(cat <&3)
  exec 3<&-
  [[ "$reply" == "HTTP/1.1 200 OK"* ]] || fail "serve: status line: $reply"
  [[ "$reply" == *$'\r\n\r\nserved' ]] || fail "serve: body: $reply"
fi
kill -INT "$pid"
wait "$pid"
expect_eq "serve: status after Ctrl-C" "$?" 0
grep -q '"GET / HTTP/1.1" 200 6 ' "$TMP/serve.err" || fail "serve: access log line: $(cat "$TMP/serve.err")"
grep -q '^halvane: stopped$' "$TMP/serve.err" || fail "serve: stop message"
"$BIN" serve "$TMP/no-such-folder" --port 0 > /dev/null 2>&1
expect_eq "serve missing folder: status" "$?" 1
"$BIN" serve --port 99999 > /dev/null 2>&1
expect_eq "serve bad port: status" "$?" 2

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all halvane command-line checks passed"
