#include "platform/huge_pages.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/pages_ahead.h"

namespace zelfin {
namespace {

// Whether every page that [p, p + bytes) touches is resident.
bool Resident(const char* p, size_t bytes) {
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t begin = reinterpret_cast<uintptr_t>(p) & ~(page - 1);
  const uintptr_t end = reinterpret_cast<uintptr_t>(p) + bytes;
  std::vector<unsigned char> in((end - begin + page - 1) / page);
  if (mincore(reinterpret_cast<void*>(begin), end - begin, in.data()) != 0) return false;
  for (const unsigned char c : in) {
    if ((c & 1) == 0) return false;
  }
  return true;
}

// Fresh pages of a range that starts and ends inside pages and spans several
// 2 MiB pieces come into being, and what was written stays as it was.
TEST(PopulatePages, BringsEveryPageOfTheRangeAndWritesNothing) {
  constexpr size_t kBytes = size_t{9} << 20;
  void* map = mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(map, MAP_FAILED);
  char* base = static_cast<char*>(map);
  std::memcpy(base + 100, "kept", 4);
  std::memcpy(base + kBytes - 200, "kept", 4);
  char* from = base + 100;
  const size_t bytes = kBytes - 300;
  if (Resident(from, bytes)) {
    GTEST_SKIP() << "the pages came at once (nothing to check)";
  }
  PopulatePages(from, bytes, nullptr);
#if defined(MADV_POPULATE_WRITE)
  // A kernel before 5.14 cannot, and the call does nothing there.
  if (madvise(base, 4096, MADV_POPULATE_WRITE) == 0) {
    EXPECT_TRUE(Resident(from, bytes));
  }
#endif
  EXPECT_EQ(std::memcmp(base + 100, "kept", 4), 0);
  EXPECT_EQ(std::memcmp(base + kBytes - 200, "kept", 4), 0);
  EXPECT_EQ(base[kBytes / 2], 0);
  munmap(map, kBytes);
}

// Whether the kernel lists the mapping that holds address a as advised for
// huge pages ("hg" among its VmFlags in /proc/self/smaps).
bool AdvisedHuge(uintptr_t a) {
  std::ifstream smaps("/proc/self/smaps");
  bool in = false;
  for (std::string line; std::getline(smaps, line);) {
    unsigned long begin = 0, end = 0;
    if (std::sscanf(line.c_str(), "%lx-%lx ", &begin, &end) == 2) in = begin <= a && a < end;
    if (in && line.rfind("VmFlags:", 0) == 0) return line.find(" hg") != std::string::npos;
  }
  return false;
}

// A table whose live part is a little smaller than the threshold stays on
// small pages, however much room it has to grow; one a little larger is
// advised. Nothing is touched, so nothing is committed.
TEST(ReserveHuge, AdvisesOnlyTablesWhoseLivePartIsWorthIt) {
  constexpr size_t kHuge = size_t{2} << 20;
  const auto advised = [](size_t n, size_t live) {
    std::vector<char> table;
    ReserveHuge(table, n, live);
    return AdvisedHuge((reinterpret_cast<uintptr_t>(table.data()) + kHuge - 1) & ~(kHuge - 1));
  };
  const size_t worth = WorthHugePages();
  if (worth == kNoHugePages) {
    // Where free huge pages go back to the host, no table is advised.
    EXPECT_FALSE(advised(kWorthHugePages + 2 * kHuge, kWorthHugePages + 2 * kHuge));
    return;
  }
  if (!advised(worth + 2 * kHuge, worth + 2 * kHuge)) {
    GTEST_SKIP() << "this kernel takes no advice for huge pages";
  }
  EXPECT_FALSE(advised(worth - kHuge / 2, worth - kHuge / 2));
  EXPECT_FALSE(advised(2 * worth, worth - kHuge / 2));
  EXPECT_TRUE(advised(2 * worth, worth));
}

// Reporting at a huge page's order or below gives huge pages back; an unset
// order (as the system prints it, 4294967295) or a larger one does not, and
// nothing overflows on the way.
TEST(ReportsHugeBlocks, OnlyAtOrdersUpToAHugePages) {
  constexpr long long kHuge = 2 << 20, kPage = 4096;
  EXPECT_TRUE(ReportsHugeBlocks(9, kHuge, kPage));
  EXPECT_TRUE(ReportsHugeBlocks(5, kHuge, kPage));
  EXPECT_FALSE(ReportsHugeBlocks(10, kHuge, kPage));
  EXPECT_FALSE(ReportsHugeBlocks(11, kHuge, kPage));
  EXPECT_FALSE(ReportsHugeBlocks(4294967295LL, kHuge, kPage));
  EXPECT_FALSE(ReportsHugeBlocks(-1, kHuge, kPage));
  EXPECT_FALSE(ReportsHugeBlocks(9, -1, kPage));           // no huge pages
  EXPECT_TRUE(ReportsHugeBlocks(13, 512LL << 20, 65536));  // 64 KiB pages
}

// Growing keeps what the table holds, leaves a table with room alone, at least
// doubles (a loop of push_backs stays linear), and advises the new block
// before the elements are copied in.
TEST(GrowHuge, KeepsTheElementsDoublesAndAdvisesTheNewBlock) {
  std::vector<int> small(1000);
  for (int i = 0; i < 1000; ++i) small[static_cast<size_t>(i)] = i;
  small.shrink_to_fit();
  GrowHuge(small, 1);
  EXPECT_GE(small.capacity(), 2000u);
  ASSERT_EQ(small.size(), 1000u);
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(small[static_cast<size_t>(i)], i);
  const int* const before = small.data();
  GrowHuge(small, small.capacity() - small.size());
  EXPECT_EQ(small.data(), before);

  constexpr size_t kHuge = size_t{2} << 20;
  const size_t worth = std::min(WorthHugePages(), kWorthHugePages);
  std::vector<char> large(worth + 2 * kHuge, 'x');
  large.shrink_to_fit();
  GrowHuge(large, 1);
  EXPECT_EQ(large.back(), 'x');
  const uintptr_t inside = (reinterpret_cast<uintptr_t>(large.data()) + kHuge - 1) & ~(kHuge - 1);
  std::vector<char> probe;
  ReserveHuge(probe, worth + 2 * kHuge);
  const bool kernel_takes_advice =
      AdvisedHuge((reinterpret_cast<uintptr_t>(probe.data()) + kHuge - 1) & ~(kHuge - 1));
  if (kernel_takes_advice) {
    EXPECT_TRUE(AdvisedHuge(inside));
  }
}

// A table growing at the front of a fresh mapping: the helper makes the next
// mebibyte past its end, and only that, and writes nothing. The helper's
// pages come in their own time: this waits for them (at most 10 s).
TEST(GrowthAhead, MakesThePagesJustPastTheEndAndNoMore) {
  constexpr size_t kBytes = size_t{16} << 20;
  void* map = mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(map, MAP_FAILED);
  char* base = static_cast<char*>(map);
  std::memcpy(base, "kept", 4);
#if defined(MADV_POPULATE_WRITE)
  const bool can = madvise(base, 4096, MADV_POPULATE_WRITE) == 0;
#else
  const bool can = false;
#endif
  if (!can || Resident(base + (size_t{6} << 20), 4096)) {
    munmap(map, kBytes);
    GTEST_SKIP() << "this kernel cannot make pages without writing, or made them at once";
  }
  {
    PagesAhead pages;
    GrowthAhead table(&pages);
    table.Grew(base, 4, kBytes);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Resident(base, size_t{1} << 20) && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(Resident(base, size_t{1} << 20));
    table.Grew(base, 5, kBytes);  // still far from the end of what was asked
  }
  // A huge page may round the mebibyte up to 4 MiB at most.
  EXPECT_FALSE(Resident(base + (size_t{6} << 20), 4096));
  EXPECT_EQ(std::memcmp(base, "kept", 4), 0);
  EXPECT_EQ(base[size_t{1} << 19], 0);
  munmap(map, kBytes);
}

}  // namespace
}  // namespace zelfin
