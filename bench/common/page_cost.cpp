#include "common/page_cost.h"

#include <cstdio>

#include "platform/huge_pages.h"

namespace zelfin::bench {

void PrintPageCost() {
  std::printf("fresh 4 KiB page: %.1f us at first touch; huge pages for tables from %zu MiB\n",
              SmallPageMicroseconds(), WorthHugePages() >> 20);
}

}  // namespace zelfin::bench
