#!/usr/bin/env bash
# Builds and runs what the pages of docs/ given to it tell a reader to build
# against an installed Halvane, exactly as written there:
#   - a fenced block right after a line "<!-- file: NAME -->" is written to
#     WORK/NAME;
#   - a ```sh block right after a line "<!-- run -->" is run with bash in
#     WORK (PREFIX set to the installation), and must succeed; the ```text
#     block that follows it must be the end of what it printed (carriage
#     returns dropped): the build tools' own lines come before.
#
#   doc_blocks.sh PREFIX WORK DOC...
set -euo pipefail
prefix=$1 work=$2
shift 2
mkdir -p "$work"
runs=0
# First every document's files, then the blocks to run: a page may build a
# program another page holds.
rm -rf "$work/.blocks"
d=0
for doc in "$@"; do
  d=$((d + 1))
  # The document's pieces, numbered, in $work/.blocks/D: file.N (its name in
  # file.N.name), run.N and expect.N.
  mkdir -p "$work/.blocks/$d"
  awk -v dir="$work/.blocks/$d" '
    /^<!-- file: .* -->$/ { name = $0; sub(/^<!-- file: /, "", name); sub(/ -->$/, "", name); want = "file"; next }
    /^<!-- run -->$/ { want = "run"; next }
    /^```/ && !inside {
      inside = 1; n++
      if (want == "file") { out = dir "/file." n; print name > (out ".name"); close(out ".name") }
      else if (want == "run") { out = dir "/run." n; last_run = n }
      else if ($0 == "```text" && last_run) { out = dir "/expect." last_run; last_run = 0 }
      else out = ""
      want = ""
      if (out != "") printf "" > out
      next
    }
    /^```$/ && inside { inside = 0; if (out != "") close(out); out = ""; next }
    inside && out != "" { print > out }
  ' "$doc"
  for f in "$work/.blocks/$d"/file.*[0-9]; do
    [ -e "$f" ] || continue
    name=$(cat "$f.name")
    mkdir -p "$(dirname "$work/$name")"
    cp "$f" "$work/$name"
  done
done
d=0
for doc in "$@"; do
  d=$((d + 1))
  for r in $(ls "$work/.blocks/$d"/run.* 2>/dev/null | sort -t. -k2 -n); do
    n=${r##*.}
    runs=$((runs + 1))
    if ! (cd "$work" && PREFIX=$prefix bash -euo pipefail "$r") > "$work/.out" 2>&1; then
      echo "doc_blocks: $doc: this block failed:" >&2
      cat "$r" "$work/.out" >&2
      exit 1
    fi
    if [ -f "$work/.blocks/$d/expect.$n" ]; then
      tr -d '\r' < "$work/.out" > "$work/.out.lf"
      want_lines=$(wc -l < "$work/.blocks/$d/expect.$n")
      if ! tail -n "$want_lines" "$work/.out.lf" | cmp -s - "$work/.blocks/$d/expect.$n"; then
        echo "doc_blocks: $doc: the block" >&2
        cat "$r" >&2
        echo "printed, at its end:" >&2
        tail -n "$want_lines" "$work/.out.lf" >&2
        echo "where the document shows:" >&2
        cat "$work/.blocks/$d/expect.$n" >&2
        exit 1
      fi
    fi
  done
done
if [ "$runs" = 0 ]; then
  echo "doc_blocks: no <!-- run --> block in $*" >&2
  exit 1
fi
echo "doc_blocks: $runs blocks of $* ran as shown"
