// The heap-allocation counter that bench/alloc_counter.h maintains.
#pragma once

#include <cstddef>

namespace halvane::alloc_count {

// Number of calls of the global operator new (every form) so far.
extern std::size_t g_allocations;

// Allocations made while running f().
template <class F>
std::size_t During(F&& f) {
  const std::size_t before = g_allocations;
  f();
  return g_allocations - before;
}

}  // namespace halvane::alloc_count
