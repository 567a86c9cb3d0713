#include "common/page_cost.h"

#include <cstdio>

#include "platform/huge_pages.h"

namespace zelfin::bench {

void PrintPageCost() {
  std::printf("fresh 4 KiB page: %.1f us at first touch; ", SmallPageMicroseconds());
  if (WorthHugePages() == kNoHugePages) {
    std::printf("no huge pages for tables (free huge pages go back to the host)\n");
  } else {
    std::printf("huge pages for tables from %zu MiB\n", WorthHugePages() >> 20);
  }
}

}  // namespace zelfin::bench
