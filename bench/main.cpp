// The benchmark program: Google Benchmark's main, with heap allocations
// counted by the replaced global operator new.
#include <benchmark/benchmark.h>

#include "bench/alloc_counter.h"

BENCHMARK_MAIN();
