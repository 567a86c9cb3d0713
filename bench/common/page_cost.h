#pragma once
// What fresh memory costs on this machine, printed above a benchmark's
// figures: the first touch of a small page, and from which size the programs
// advise huge pages for a table (platform/huge_pages.h). Figures of one
// machine compare with another's only where these match.
namespace zelfin::bench {

void PrintPageCost();

}  // namespace zelfin::bench
