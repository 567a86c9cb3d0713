#pragma once
// Large tables that are read all over: asking the kernel to back them with
// huge pages spares most of the TLB misses of a random access (the machine's
// setting "madvise" grants them only where asked), once they are large
// enough for those misses to cost.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <vector>

#include "platform/heartbeat.h"

namespace zelfin {

// Blocks of 1 MiB and up come from the system and go back to it when freed.
// Called once, first thing in a program: glibc would otherwise raise this
// threshold after the first large block is freed, and the tables of tens of
// megabytes made afterwards would come from its heaps, where what is freed
// stays resident (13 MB more at the peak of a 1M-triangle simplification).
void ReturnLargeBlocksToSystem();

// Advises huge pages for the whole 2 MiB pages within [p, p + bytes).
void AdviseHugePages(const void* p, size_t bytes);

// A table whose live part is smaller stays on 4 KiB pages. Its page entries
// (1/512 of it) then sit in the caches, so a random read's TLB miss costs
// little; and a huge page must come as a whole 2 MiB block, which on a
// virtual machine that hands free memory back to its host is memory the host
// has to fetch again, where small pages come from the guest's own fragments.
// A 1M-triangle simplification (tables of 12-64 MB) took 2.3-2.7 s right after
// an idle spell with huge pages and 1.0 s without, for the same user time; at
// 10M (tables of 120-640 MB) 4 KiB pages cost about 3.5 s more user time (of
// 19).
inline constexpr size_t kWorthHugePages = size_t{96} << 20;

// What bringing a fresh 4 KiB page into being costs on this machine, in
// microseconds: measured on the first call, the least of three rounds' medians
// of 16 pages.
double SmallPageMicroseconds();

// Where a small page costs more than kDearSmallPage microseconds, tables from
// kWorthHugePagesWhereDear on are worth huge pages. A virtual machine that
// keeps its guest's page tables itself traps to its host at the first touch
// of every small page: 9-10 us each, against about 1.5 us where the guest maps
// its own, and a 1M-triangle simplification then spends a tenth of its time
// bringing small pages into being. A huge page there costs less per byte
// even when its memory must come back from the host (256 MiB in 0.4-0.5 s,
// against 0.65-0.94 s in small pages), and far less when it need not.
inline constexpr double kDearSmallPage = 4.0;
inline constexpr size_t kWorthHugePagesWhereDear = size_t{4} << 20;

// Whether the system gives free blocks as large as a huge page back to its
// host (a virtual machine's free page reporting, at an order no larger than a
// huge page's: ReportsHugeBlocks of the system's settings).
// A fresh huge page is then memory the host must fetch and clear again, while
// small pages come from the guest's own fragments. On such a 2-core guest,
// past the few huge pages that a process had just freed, each took 17-26 ms,
// against about 1 ms for 2 MiB of small pages; a 10M-triangle simplification
// spent 4-7 s of its 15-22 s there, and 1 s more in page walks without them.
bool FreeHugePagesGoToHost();
// Whether free page reporting at `order` gives back blocks no larger than a
// huge page of huge_bytes, pages being page_bytes (each as the system reads
// them; an unset order reads 4294967295).
bool ReportsHugeBlocks(long long order, long long huge_bytes, long long page_bytes);

// No table is worth huge pages.
inline constexpr size_t kNoHugePages = SIZE_MAX;

// The least live part of a table that is advised huge pages on this machine:
// kWorthHugePagesWhereDear where a small page is dear (huge pages are cheaper
// per byte then, wherever they come from), kNoHugePages where free huge pages
// go to the host, else kWorthHugePages.
size_t WorthHugePages();

// Advises huge pages for [p, p + bytes) when its first live_bytes (what the
// table holds from the start; the rest is room to grow) are worth it.
inline void AdviseHugePagesIfWorth(const void* p, size_t bytes, size_t live_bytes) {
  if (live_bytes >= WorthHugePages()) AdviseHugePages(p, bytes);
}

// Brings the pages of [p, p + bytes) into being as a write would, without
// writing: a helper thread can take that cost off a thread that fills them
// from the front. It goes from the back, 2 MiB at a time, so that the two
// meet instead of racing for the same pages, and each brings about the share
// its other work leaves it time for. Beats (when given a heartbeat) per piece.
// Does nothing where the kernel cannot (before Linux 5.14).
void PopulatePages(const void* p, size_t bytes, Heartbeat* heartbeat);

// Reserves room for n elements and, when the first `live` of them (what the
// table holds from the start; the rest is room to grow) are worth it, advises
// huge pages for it, before the elements are written and their pages come
// into being.
template <class T>
void ReserveHuge(std::vector<T>& v, size_t n, size_t live) {
  v.reserve(n);
  AdviseHugePagesIfWorth(v.data(), v.capacity() * sizeof(T), live * sizeof(T));
}
template <class T>
void ReserveHuge(std::vector<T>& v, size_t n) {
  ReserveHuge(v, n, n);
}

// Makes room in v for `more` elements beyond its size, growing it as push_back
// would (at least doubling), into a new block advised huge pages before the
// elements are copied in: reserve() would copy them onto small pages first.
template <class T>
void GrowHuge(std::vector<T>& v, size_t more) {
  if (v.size() + more <= v.capacity()) return;
  std::vector<T> bigger;
  ReserveHuge(bigger, std::max(v.size() + more, 2 * v.capacity()), v.size() + more);
  bigger.insert(bigger.end(), std::make_move_iterator(v.begin()), std::make_move_iterator(v.end()));
  v.swap(bigger);
}

// A table of n elements equal to value, on huge pages where they are worth it.
template <class T>
std::vector<T> HugeTable(size_t n, const T& value = T()) {
  std::vector<T> v;
  ReserveHuge(v, n);
  v.resize(n, value);
  return v;
}

// A copy of [first, last) on huge pages where it is worth them.
template <class It>
auto HugeCopy(It first, It last) {
  std::vector<typename std::iterator_traits<It>::value_type> v;
  ReserveHuge(v, static_cast<size_t>(std::distance(first, last)));
  v.assign(first, last);
  return v;
}

// An array of n elements left unfilled (each is written before it is read),
// on huge pages where they are worth it.
template <class T>
std::unique_ptr<T[]> HugeArray(size_t n) {
  std::unique_ptr<T[]> a(new T[n]);
  AdviseHugePagesIfWorth(a.get(), n * sizeof(T), n * sizeof(T));
  return a;
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
