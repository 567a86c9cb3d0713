#include "simplify/error_budget.h"

#include <gtest/gtest.h>

#include <cmath>

#include "simplify/diet_refined_price.h"

namespace zelfin {
namespace {

// Planes of weights 1 and 3 through the origin; a point 0.5 off the first
// and 0.25 off the second: the weighted mean square distance is
// (1 * 0.25 + 3 * 0.0625) / 4, whatever the planes' directions; the budget
// reads it as the distance its square root is.
TEST(ErrorBudget, TheCostIsTheWeightedMeanSquareOfThePlaneDistances) {
  TDietMatrix Q;
  const double planes[2][4] = {{1, 0, 0, 0}, {0, 0.6, 0.8, 0}};
  const double weights[2] = {1, 3};
  for (int k = 0; k < 2; ++k) {
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) Q.m[r][c] += weights[k] * planes[k][r] * planes[k][c];
    }
  }
  const TDietVec p{0.5, 0.25 * 0.6, 0.25 * 0.8};
  const double mean = MeanSquaredError(Q, p);
  EXPECT_NEAR(mean, (0.25 + 3 * 0.0625) / 4, 1e-15);
  EXPECT_NEAR(CostDistance(mean), std::sqrt((0.25 + 3 * 0.0625) / 4), 1e-15);
  EXPECT_EQ(CostDistance(0), 0);
  EXPECT_EQ(CostDistance(-1e-18), 0);  // rounding below zero
}

}  // namespace
}  // namespace zelfin
