#include "platform/huge_pages.h"

#include <sys/mman.h>
#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>

namespace zelfin {

void ReturnLargeBlocksToSystem() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 1 << 20);  // fixed: glibc no longer moves it
  // What is freed at the top of the heap stays for the next blocks below the
  // threshold (a file's buffer, say), instead of going back page by page.
  mallopt(M_TRIM_THRESHOLD, 2 << 20);
#endif
}

namespace {

// The median of 16 fresh pages' first touches.
double MedianOfFreshPages() {
  constexpr size_t kPages = 16, kPage = 4096;
  void* const map =
      mmap(nullptr, kPages * kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) return 0;
  auto* const bytes = static_cast<volatile char*>(map);
  double micros[kPages];
  for (size_t i = 0; i < kPages; ++i) {
    const auto start = std::chrono::steady_clock::now();
    bytes[i * kPage] = 1;
    micros[i] =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
  }
  munmap(map, kPages * kPage);
  std::nth_element(micros, micros + kPages / 2, micros + kPages);
  return micros[kPages / 2];
}

// The least of three rounds: one round taken while the machine is busy (a
// profiler starting beside the program, say) can read several times what a
// small page costs, and would set every table of the run on huge pages;
// where small pages are dear, every round says so.
double MeasureSmallPage() {
  return std::min({MedianOfFreshPages(), MedianOfFreshPages(), MedianOfFreshPages()});
}

}  // namespace

// A property of the machine, measured once: every later call reads it.
double SmallPageMicroseconds() {
  static const double measured = MeasureSmallPage();
  return measured;
}

namespace {

// The first number in a small file of the system's, or -1.
long long NumberInFile(const char* path) {
  std::FILE* file = std::fopen(path, "r");
  if (!file) return -1;
  long long n = -1;
  if (std::fscanf(file, "%lld", &n) != 1) n = -1;
  std::fclose(file);
  return n;
}

bool ReadFreeHugePagesGoToHost() {
  const long long order =
      NumberInFile("/sys/module/page_reporting/parameters/page_reporting_order");
  const long long huge = NumberInFile("/sys/kernel/mm/transparent_hugepage/hpage_pmd_size");
  return ReportsHugeBlocks(order, huge, sysconf(_SC_PAGESIZE));
}

}  // namespace

bool ReportsHugeBlocks(long long order, long long huge_bytes, long long page_bytes) {
  // An order no shift could take is the unset one.
  if (order < 0 || order > 30 || huge_bytes <= 0 || page_bytes <= 0) return false;
  return (page_bytes << order) <= huge_bytes;
}

// A property of the machine, read once.
bool FreeHugePagesGoToHost() {
  static const bool reported = ReadFreeHugePagesGoToHost();
  return reported;
}

size_t WorthHugePages() {
  if (SmallPageMicroseconds() > kDearSmallPage) return kWorthHugePagesWhereDear;
  return FreeHugePagesGoToHost() ? kNoHugePages : kWorthHugePages;
}

void AdviseHugePages(const void* p, size_t bytes) {
  constexpr uintptr_t kHuge = uintptr_t{1} << 21;
  if (bytes < 2 * kHuge) return;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kHuge - 1);
  // Only advice: where the kernel cannot, the pages stay small.
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

void PopulatePages(const void* p, size_t bytes, Heartbeat* heartbeat) {
#if defined(MADV_POPULATE_WRITE)
  constexpr uintptr_t kPage = 4096, kPiece = uintptr_t{1} << 21;
  const uintptr_t begin = reinterpret_cast<uintptr_t>(p) & ~(kPage - 1);
  uintptr_t end = reinterpret_cast<uintptr_t>(p) + bytes;
  while (end > begin) {
    const uintptr_t from = std::max(begin, (end - 1) & ~(kPiece - 1));
    if (madvise(reinterpret_cast<void*>(from), end - from, MADV_POPULATE_WRITE) != 0) return;
    if (heartbeat) heartbeat->Beat(static_cast<int64_t>(end - from) / 64);
    end = from;
  }
#else
  (void)p;
  (void)bytes;
  (void)heartbeat;
#endif
}

}  // namespace zelfin
