#include "simplify/error_budget.h"

#include <algorithm>
#include <cmath>

namespace zelfin {

double CostDistance(double cost) {
  return cost > 0 ? std::sqrt(cost) : 0;
}

double BudgetDistance(double percent, const DietRun& run) {
  const size_t n = run.VertexCount();
  if (n == 0) return 0;
  TDietVec lo = run.pos[0], hi = run.pos[0];
  for (size_t v = 1; v < n; ++v) {
    const TDietVec& p = run.pos[v];
    lo = {std::min(lo.X, p.X), std::min(lo.Y, p.Y), std::min(lo.Z, p.Z)};
    hi = {std::max(hi.X, p.X), std::max(hi.Y, p.Y), std::max(hi.Z, p.Z)};
  }
  return percent / 100 * std::hypot(hi.X - lo.X, hi.Y - lo.Y, hi.Z - lo.Z);
}

}  // namespace zelfin
