// Shared machinery of the benchmarks: the two baselines every output is
// measured against, object pools for first calls, and counters.
//
// Every output benchmark comes as three entries of one name:
//   output/<case>/halvane   the library call itself
//   output/<case>/limit     memcpy of the same bytes into a freshly allocated string
//                           (with the same objects made and dropped around it)
//   output/<case>/naive     the same text built by repeated  a = a + b  copying,
//                           one step per output line
// bench/run.sh divides the throughputs of the three and prints the ratios.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench/alloc_count.h"

namespace halvane::bench {

namespace bm = benchmark;

// The output split after every CR LF (a last piece without one is kept):
// what a naive builder concatenates one step at a time.
inline std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    end = (end == std::string_view::npos) ? text.size() : end + 2;
    out.emplace_back(text.substr(start, end - start));
    start = end;
  }
  return out;
}

// The naive builder: a = a + b for every piece.
inline std::string NaiveBuild(const std::vector<std::string>& pieces) {
  std::string a;
  for (const std::string& b : pieces) a = a + b;
  return a;
}

// The limit: one allocation and one memcpy of the finished bytes.
inline std::string LimitCopy(const std::string& bytes) { return std::string(bytes.data(), bytes.size()); }

inline void Consume(const std::string& s) {
  bm::DoNotOptimize(s.data());
  bm::ClobberMemory();
}

// Objects for a call that must happen on a fresh (or freshly primed) object:
// `pool` objects are made at a time with timing paused, each serves `uses`
// calls before the next one is taken.
template <class T, class Make>
class Pool {
 public:
  Pool(Make make, std::size_t pool, std::size_t uses) : make_(std::move(make)), size_(pool), uses_(uses) {}

  T& Next(bm::State& state) {
    if (left_ == 0) {
      if (pos_ + 1 < objs_.size()) {
        ++pos_;
      } else {
        state.PauseTiming();
        Refill();
        state.ResumeTiming();
      }
      left_ = uses_;
    }
    --left_;
    return objs_[pos_];
  }

 private:
  void Refill() {
    objs_.clear();
    objs_.reserve(size_);
    for (std::size_t i = 0; i < size_; ++i) objs_.push_back(make_());
    pos_ = 0;
  }

  Make make_;
  std::size_t size_;
  std::size_t uses_;
  std::vector<T> objs_;
  std::size_t pos_ = 0;
  std::size_t left_ = 0;
};

enum class Size { Small, Large };

// Registers the three entries of one output.  `make()` returns a ready
// object (properties set, earlier calls made); `call(obj)` is the measured
// output call.  `uses` is how many calls one object can take (counters
// overflow at 32767); first calls take 1.
template <class Make, class Call>
void RegisterOutput(const std::string& name, Size size, Make make, Call call, std::size_t pool, std::size_t uses) {
  using T = decltype(make());
  // The reference output and its allocation count, from one object.
  std::size_t allocs = 0;
  std::string ref;
  {
    T obj = make();
    allocs = alloc_count::During([&] { ref = call(obj); });
  }
  const double bytes = static_cast<double>(ref.size());
  const double large = size == Size::Large ? 1.0 : 0.0;

  bm::RegisterBenchmark(("output/" + name + "/halvane").c_str(), [=](bm::State& state) {
    Pool<T, Make> objs(make, pool, uses);
    for (auto _ : state) {
      T& obj = objs.Next(state);
      std::string out = call(obj);
      Consume(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["bytes"] = bytes;
    state.counters["allocs"] = static_cast<double>(allocs);
    state.counters["large"] = large;
  });
  // The baselines take their objects from the same pool as the library
  // call, without calling them, so that all three run with the same heap
  // traffic (a first call works on a freshly made object each time).
  bm::RegisterBenchmark(("output/" + name + "/limit").c_str(), [=](bm::State& state) {
    Pool<T, Make> objs(make, pool, uses);
    for (auto _ : state) {
      bm::DoNotOptimize(&objs.Next(state));
      std::string out = LimitCopy(ref);
      Consume(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["bytes"] = bytes;
  });
  const std::vector<std::string> lines = Lines(ref);
  bm::RegisterBenchmark(("output/" + name + "/naive").c_str(), [=](bm::State& state) {
    Pool<T, Make> objs(make, pool, uses);
    for (auto _ : state) {
      bm::DoNotOptimize(&objs.Next(state));
      std::string out = NaiveBuild(lines);
      Consume(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["bytes"] = bytes;
  });
}

}  // namespace halvane::bench
