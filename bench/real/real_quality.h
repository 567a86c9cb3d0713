#pragma once
// simplify_quality --real: the refined simplification of real models (the
// OBJ files of a folder) next to meshoptimizer's simplify and
// simplifyWithUpdate (bench/meshopt_real.mjs) and CGAL's Garland-Heckbert
// edge collapse (bench/cgal_gh.cpp) at the refined result's triangle count.
#include <string>
#include <vector>

namespace zelfin::bench {

struct RealOptions {
  std::string dir;                     // the models' folder
  std::vector<int> keeps{10, 25, 50};  // percentages, in this order
  std::string only;                    // one model (its name, .obj optional), or all
  std::string save;                    // a folder that keeps every output, or none
};

// The arguments that follow --real, from argv[first] on: [DIR] [--keep LIST]
// [--only NAME] [--save DIR]. False with a message when they are wrong.
bool ParseRealOptions(int argc, char** argv, int first, RealOptions& options, std::string& error);

// Checks the fold-over and edge counters on hand-built meshes; prints the verdict.
bool DefectsSelfCheck();

// Measures and prints the table, the summary and the goals; the exit status for main.
int RunRealQuality(const RealOptions& options);

}  // namespace zelfin::bench
