#include "simplify/diet_geometry.h"

#include <gtest/gtest.h>

#include <random>

namespace zelfin {
namespace {

void ExpectVec(const TDietVec& v, double x, double y, double z) {
  EXPECT_EQ(v.X, x);
  EXPECT_EQ(v.Y, y);
  EXPECT_EQ(v.Z, z);
}

TDietMatrix Diagonal(double a, double b, double c, double d) {
  TDietMatrix m;
  m.m[0][0] = a;
  m.m[1][1] = b;
  m.m[2][2] = c;
  m.m[3][3] = d;
  return m;
}

TEST(DietGeometry, VectorRoutines) {
  ExpectVec(VecNormalize({0, 0, 0}), 0, 0, 0);
  ExpectVec(VecNormalize({3, 0, 4}), 0.6, 0, 0.8);
  ExpectVec(VecCross({1, 0, 0}, {0, 1, 0}), 0, 0, 1);
  ExpectVec(VecCross({0, 1, 0}, {1, 0, 0}), 0, 0, -1);
  EXPECT_EQ(VecDot({1, 2, 3}, {4, -5, 6}), 12);
  EXPECT_EQ(VecSqLen({1, 2, -2}), 9);
}

TEST(DietGeometry, TriangleAreaAndNormal) {
  EXPECT_EQ(TriangleArea({0, 0, 0}, {1, 0, 0}, {0, 1, 0}), 0.5);
  ExpectVec(TriangleNormal({0, 0, 0}, {1, 0, 0}, {0, 1, 0}), 0, 0, 1);
  ExpectVec(TriangleNormal({0, 0, 0}, {0, 1, 0}, {1, 0, 0}), 0, 0, -1);
  ExpectVec(TriangleNormal({0.5, 0.5, 0.5}, {0.5, 0.5, 0.5}, {0.5, 0.5, 0.5}), 0, 0, 0);
  EXPECT_EQ(TriangleArea({0.5, 0.5, 0.5}, {0.5, 0.5, 0.5}, {0.5, 0.5, 0.5}), 0);
  EXPECT_EQ(TriangleArea({0, 0, 0}, {1, 0, 0}, {2, 0, 0}), 0);  // on one line, exactly

  // Points on one line: rounding may push the radicand below zero, which
  // must give 0 rather than NaN or an error.
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int i = 0; i < 2000; ++i) {
    const TDietVec a{u(rng), u(rng), u(rng)};
    const TDietVec d{u(rng), u(rng), u(rng)};
    const double s = u(rng), t = u(rng);
    const TDietVec b{a.X + s * d.X, a.Y + s * d.Y, a.Z + s * d.Z};
    const TDietVec c{a.X + t * d.X, a.Y + t * d.Y, a.Z + t * d.Z};
    const double area = TriangleArea(a, b, c);
    ASSERT_GE(area, 0);
    ASSERT_LT(area, 1e-7);
  }
}

TEST(DietGeometry, SamePointTolerancePerAxis) {
  EXPECT_TRUE(SamePoint({0.25, 0.25, 0.25}, {0.25 + 5e-9, 0.25 + 5e-9, 0.25 + 5e-9}));
  EXPECT_FALSE(SamePoint({0.25, 0.25, 0.25}, {0.25, 0.25 + 2e-8, 0.25}));
  EXPECT_TRUE(SamePoint({0, 0, 0}, {1e-8, -1e-8, 1e-8}));  // equal to the tolerance
  EXPECT_FALSE(SamePoint({0, 0, 0}, {0, 0, 1.0000001e-8}));
}

TEST(DietGeometry, FindSamePointReturnsLowestIndex) {
  TArV verts(10);
  for (int i = 0; i < 10; ++i) verts[i].Pos = {0.1 * i, 0, 0};
  verts[3].Pos = {0.9, 0.9, 0.9};
  verts[7].Pos = {0.9, 0.9, 0.9 + 5e-9};
  EXPECT_EQ(FindSamePoint(verts, {0.9, 0.9, 0.9}, 0), 0);
  EXPECT_EQ(FindSamePoint(verts, {0.9, 0.9, 0.9}, 10), 3);
  EXPECT_EQ(FindSamePoint(verts, {0.9, 0.9, 0.9}, 3), 3);  // none below Count
  EXPECT_EQ(FindSamePoint(verts, {0.9, 0.9, 0.9}, -2), -2);
}

TEST(DietGeometry, LUDecomposePivoting) {
  TDietMatrix LU;
  TDietPerm perm;
  ASSERT_TRUE(LUDecompose(Diagonal(1, 1, 1, 1), LU, perm));
  EXPECT_EQ(perm, (TDietPerm{0, 1, 2, 3}));

  // Invertible, but the threshold is absolute.
  EXPECT_FALSE(LUDecompose(Diagonal(1e-7, 1e-7, 1e-7, 1e-7), LU, perm));

  // Of the two largest magnitudes in column 0 the earlier row is the pivot.
  TDietMatrix m = Diagonal(1, 1, 1, 1);
  m.m[0][0] = 0;
  m.m[1][0] = 5;
  m.m[2][0] = -5;
  m.m[3][0] = 1;
  m.m[0][1] = 3;
  ASSERT_TRUE(LUDecompose(m, LU, perm));
  EXPECT_EQ(perm[0], 1);
}

TEST(DietGeometry, MatInverse) {
  TDietMatrix inv;
  ASSERT_TRUE(MatInverse(Diagonal(2, 4, 8, 1), inv));
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      const double want = r != c ? 0 : (r == 0 ? 0.5 : r == 1 ? 0.25 : r == 2 ? 0.125 : 1);
      EXPECT_EQ(inv.m[r][c], want) << r << "," << c;
    }
  }

  TDietMatrix zero_col = Diagonal(1, 2, 3, 4);
  zero_col.m[1][1] = 0;
  TDietMatrix untouched;
  for (auto& row : untouched.m) {
    for (double& x : row) x = 7;
  }
  EXPECT_FALSE(MatInverse(zero_col, untouched));
  EXPECT_EQ(untouched.m[0][0], 7);
  EXPECT_EQ(untouched.m[3][2], 7);

  // A general matrix: M * Inv is the identity up to rounding.
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int t = 0; t < 200; ++t) {
    TDietMatrix m;
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) m.m[r][c] = u(rng) + (r == c ? 3 : 0);
    }
    ASSERT_TRUE(MatInverse(m, inv));
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) {
        double s = 0;
        for (int k = 0; k < 4; ++k) s += m.m[r][k] * inv.m[k][c];
        ASSERT_NEAR(s, r == c ? 1 : 0, 1e-12);
      }
    }
  }
}

}  // namespace
}  // namespace zelfin
