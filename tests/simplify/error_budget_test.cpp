#include "simplify/error_budget.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zelfin {
namespace {

// Planes of weights 1 and 3 through the origin; a point 0.5 off the first
// and 0.25 off the second: the weighted mean square distance is
// (1 * 0.25 + 3 * 0.0625) / 4, whatever the planes' directions.
TEST(QuadricDistance, IsTheWeightedRmsOfThePlaneDistances) {
  TDietMatrix Q;
  const double planes[2][4] = {{1, 0, 0, 0}, {0, 0.6, 0.8, 0}};
  const double weights[2] = {1, 3};
  for (int k = 0; k < 2; ++k) {
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) Q.m[r][c] += weights[k] * planes[k][r] * planes[k][c];
    }
  }
  const double x = 0.5, y = 0.25 * 0.6, z = 0.25 * 0.8;
  const double p[4] = {x, y, z, 1};
  double cost = 0;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) cost += p[r] * Q.m[r][c] * p[c];
  }
  EXPECT_NEAR(QuadricDistance(Q, cost), std::sqrt((0.25 + 3 * 0.0625) / 4), 1e-15);
  EXPECT_EQ(QuadricDistance(TDietMatrix{}, 0), 0);
  EXPECT_EQ(QuadricDistance(Q, -1e-18), 0);  // rounding below zero
}

}  // namespace
}  // namespace zelfin
