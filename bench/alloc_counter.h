// Counts heap allocations by replacing the global operator new and delete.
//
// Include this header in exactly ONE source file of a program (it defines the
// replacement functions, which must exist once per program); other files of
// the same program include bench/alloc_count.h for the counter alone.
//
// The counter is a plain integer: the programs that use it call the library
// on one thread, and the replacement itself stays as thin as malloc.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#include "bench/alloc_count.h"

namespace halvane::alloc_count {
std::size_t g_allocations = 0;
}  // namespace halvane::alloc_count

namespace halvane::alloc_count::detail {

inline void* Allocate(std::size_t size) {
  ++g_allocations;
  if (size == 0) size = 1;
  for (;;) {
    if (void* p = std::malloc(size)) return p;
    std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

inline void* AllocateAligned(std::size_t size, std::align_val_t align) {
  ++g_allocations;
  const std::size_t a = static_cast<std::size_t>(align);
  if (size == 0) size = a;
  size = (size + a - 1) / a * a;  // aligned_alloc wants a multiple of the alignment
  for (;;) {
    if (void* p = std::aligned_alloc(a, size)) return p;
    std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

}  // namespace halvane::alloc_count::detail

void* operator new(std::size_t size) { return halvane::alloc_count::detail::Allocate(size); }
void* operator new[](std::size_t size) { return halvane::alloc_count::detail::Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return halvane::alloc_count::detail::Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return halvane::alloc_count::detail::Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new(std::size_t size, std::align_val_t align) {
  return halvane::alloc_count::detail::AllocateAligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
  return halvane::alloc_count::detail::AllocateAligned(size, align);
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
