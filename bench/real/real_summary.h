#pragma once
// The cases of simplify_quality --real and their summary: refined against
// each peer over all cases, the defect totals, and the goals.
#include <cstddef>
#include <string>
#include <vector>

namespace zelfin::bench {

enum Method { kRefined, kMoSimplify, kMoUpdate, kCgal, kMethods };
inline constexpr const char* kMethodNames[kMethods] = {"refined", "mo-simplify", "mo-update",
                                                       "cgal"};

// One method at one keep; distances are fractions of the diagonal.
struct Result {
  bool ran = false;
  size_t triangles = 0;
  double seconds = 0, hausdorff = 0, rms = 0;
  size_t folds = 0, new_edges = 0;
};

struct Case {
  std::string model;
  int keep;
  Result result[kMethods];
};

// Prints the tallies, the defect totals and the goals as PASS or MISS.
void PrintSummary(const std::vector<Case>& cases);

}  // namespace zelfin::bench
