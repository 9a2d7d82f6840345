#!/usr/bin/env bash
# Runs every fuzz target of a build tree on its committed seed corpus, then
# fuzzes it for FUZZ_SECONDS seconds (default 6; ./dev.sh fuzz passes 60).
#   bash fuzz/smoke.sh build-fuzz
# Any crash, sanitizer report, failed property, input slower than 10 s or
# memory above 2 GB fails the run; the input that did it is kept under
# <build>/fuzz/artifacts/.  The committed corpus is only read, unless
# FUZZ_MERGE=1, which adds the inputs that found new paths to it.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
seconds=${FUZZ_SECONDS:-6}
bin=$build/fuzz
artifacts=$bin/artifacts
mkdir -p "$artifacts"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

passed=0
failed=0
for target in read_text variant invoke script multipart template session_record; do
  exe=$bin/${target}_fuzz
  if [ ! -x "$exe" ]; then
    echo "fuzz: $target: not built ($exe), skipped"
    continue
  fi
  seeds=fuzz/corpus/$target
  mkdir -p "$work/$target"
  cp -r "$seeds/." "$work/$target/" 2>/dev/null || true
  log=$work/$target.log
  opts=(-timeout=10 -rss_limit_mb=2048 -max_len=4096 -artifact_prefix="$artifacts/$target-")
  started=$(date +%s)
  # The seeds first, every one of them; then new inputs for a while.
  if "$exe" "${opts[@]}" -runs=0 "$work/$target" >"$log" 2>&1 &&
     "$exe" "${opts[@]}" -max_total_time="$seconds" "$work/$target" >>"$log" 2>&1; then
    runs=$(grep -Eo '^#[0-9]+' "$log" | tail -1 | tr -d '#')
    echo "fuzz: $target: ok, ${runs:-0} inputs in $(($(date +%s) - started)) s"
    passed=$((passed + 1))
    if [ "${FUZZ_MERGE:-0}" = 1 ]; then
      "$exe" -merge=1 -max_len=4096 "$seeds" "$work/$target" >/dev/null 2>&1
    fi
  else
    echo "fuzz: $target: FAILED (inputs kept in $artifacts)"
    grep -E 'ERROR|SUMMARY|runtime error|property failed|Test unit written|timeout' "$log" | head -20 || true
    tail -40 "$log"
    failed=$((failed + 1))
  fi
done

echo "fuzz smoke: $passed passed, $failed failed"
[ "$failed" = 0 ]
