#!/usr/bin/env bash
# Runs the benchmarks of a build tree (configured with -DHALVANE_BENCH=ON) and
# prints the figures as Markdown tables:
#   bash bench/run.sh build-bench
# 1. halvane_bench: every output against its two baselines, add calls, the
#    menu scaling, Invoke against direct calls, the gallery pages in process;
# 2. `halvane run` of every gallery page as a process;
# 3. the load test: wrk against `halvane serve` and nginx (bench/load.sh).
# Everything also goes to <build>/bench-results/.  Knobs: BENCH_REPS (5),
# BENCH_MIN_TIME (0.1 s), BENCH_FILTER (all), LOAD_SECONDS (10), NO_LOAD=1.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
results=$build/bench-results
mkdir -p "$results"

echo "## Halvane benchmarks"
echo
echo "Machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores, $(free -g | awk '/^Mem:/ {print $2}') GiB;" \
  "$(uname -sr); $(g++ --version | head -1); $(date -u +%Y-%m-%d)"
echo

# ---- 1. the benchmark program --------------------------------------------------
# Repetitions are interleaved at random across all benchmarks, so that a
# burst of load from elsewhere on the machine hits a library call and its
# baselines alike; the fastest repetition of each counts.
"$build/bench/halvane_bench" \
  --benchmark_repetitions="${BENCH_REPS:-5}" \
  --benchmark_enable_random_interleaving=true \
  --benchmark_min_time="${BENCH_MIN_TIME:-0.1}" \
  --benchmark_filter="${BENCH_FILTER:-.}" \
  --benchmark_out="$results/bench.json" --benchmark_out_format=json \
  >"$results/bench.txt" 2>&1
python3 bench/report.py "$results/bench.json" "$results/summary.md"

# ---- 1b. Python against C++, when the tree built the Python extension -----------
if compgen -G "$build/bench/halvane_bench_direct*.so" >/dev/null; then
  echo "### The Python package against direct C++ calls (bench/python_bench.py)"
  echo
  PYTHONPATH="$build/python:$build/bench" /usr/bin/python3 bench/python_bench.py | tee "$results/python.md"
  echo
fi

# ---- 2. halvane run of the gallery pages, as processes ------------------------------
runs=${RUN_COUNT:-50}
echo "### \`halvane run\` of the gallery pages (a process per run, $runs runs each)"
echo
echo "| page | bytes | time per run |"
echo "|---|---:|---:|"
for page in examples/*.hvp; do
  name=$(basename "$page" .hvp)
  [ "$name" = progress ] && continue  # it sleeps between its steps on purpose
  bytes=$("$build/halvane" run "$page" 2>/dev/null | wc -c || true)
  start=$(date +%s%N)
  for ((i = 0; i < runs; i++)); do "$build/halvane" run "$page" >/dev/null 2>&1 || true; done
  end=$(date +%s%N)
  awk -v n="$name" -v b="$bytes" -v ns=$((end - start)) -v r="$runs" \
    'BEGIN { printf "| %s | %d | %.2f ms |\n", n, b, ns / r / 1e6 }'
done
echo

# ---- 3. under load -----------------------------------------------------------------------
if [ "${NO_LOAD:-0}" != 1 ]; then
  bash bench/load.sh "$build" | tee "$results/load.md"
fi
