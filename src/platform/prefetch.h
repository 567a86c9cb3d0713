#pragma once
// Asking for memory before it is read, so that cache misses overlap.
//
// GCC takes __builtin_prefetch for an operation without side effects: a
// function that only prefetches (and reads) counts as const, and calls to it
// are dropped as dead code before it is inlined. The empty volatile asm is a
// side effect the compiler must keep, and with it the prefetch.
#include <cstddef>
#include <cstdint>

namespace zelfin {

inline void PrefetchLine(const void* p) {
  __builtin_prefetch(p);
  asm volatile("" : : "r"(p));
}

// For a line about to be written.
inline void PrefetchLineToWrite(const void* p) {
  __builtin_prefetch(p, 1);
  asm volatile("" : : "r"(p));
}

// Every cache line of [p, p + bytes).
inline void PrefetchRange(const void* p, size_t bytes) {
  const uintptr_t first = reinterpret_cast<uintptr_t>(p) & ~uintptr_t{63};
  const uintptr_t end = reinterpret_cast<uintptr_t>(p) + bytes;
  for (uintptr_t c = first; c < end; c += 64) PrefetchLine(reinterpret_cast<const void*>(c));
}

// Every cache line of *p.
template <class T>
void PrefetchLines(const T* p) {
  PrefetchRange(p, sizeof(T));
}

}  // namespace zelfin
