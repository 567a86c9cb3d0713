#pragma once
// Large tables that are read all over: asking the kernel to back them with
// huge pages spares most of the TLB misses of a random access (the machine's
// setting "madvise" grants them only where asked).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/heartbeat.h"

namespace zelfin {

// Blocks come from glibc's heap (only a helper thread's largest from the
// system), and a freed block stays there for the blocks made after it.
// Called once, first thing in a program. A table given back to the system
// and made again comes back as fresh pages, which the kernel zeroes one by
// one; on a virtual machine whose host takes freed memory back, those came
// at 0.2-0.8 GB/s. Kept, they are used again as they are: a 1M-triangle
// refined simplification brings 25% fewer pages into being (classic 11%),
// for a peak 13% higher.
void ReuseFreedBlocks();

// Gives what the heap holds freed back to the system: after each file, so
// that a window left open does not keep the last file's tables.
void GiveBackFreedBlocks();

// Advises huge pages for the whole 2 MiB pages within [p, p + bytes).
void AdviseHugePages(const void* p, size_t bytes);

// Brings the pages of [p, p + bytes) into being as a write would, without
// writing: a helper thread can take that cost off a thread that fills them
// from the front. It goes from the back, 2 MiB at a time, so that the two
// meet instead of racing for the same pages, and each brings about the share
// its other work leaves it time for. Beats (when given a heartbeat) per piece.
// Does nothing where the kernel cannot (before Linux 5.14).
void PopulatePages(const void* p, size_t bytes, Heartbeat* heartbeat);

// Reserves room for n elements and advises huge pages for it, before the
// elements are written and their pages come into being.
template <class T>
void ReserveHuge(std::vector<T>& v, size_t n) {
  v.reserve(n);
  AdviseHugePages(v.data(), v.capacity() * sizeof(T));
}

// Grows v to n elements equal to value, a huge page at a time, beating (when
// given a heartbeat) between pieces: bringing tens of megabytes into being in
// one piece would keep the window waiting.
template <class T>
void GrowInPieces(std::vector<T>& v, size_t n, const T& value, Heartbeat* heartbeat) {
  constexpr size_t kPiece = ((size_t{2} << 20) + sizeof(T) - 1) / sizeof(T);
  while (v.size() < n) {
    v.resize(std::min(v.size() + kPiece, n), value);
    if (heartbeat) heartbeat->Beat(static_cast<int64_t>(kPiece));
  }
}

}  // namespace zelfin
