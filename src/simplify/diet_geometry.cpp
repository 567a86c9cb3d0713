#include "simplify/diet_geometry.h"

#include <cmath>
#include <utility>

namespace zelfin {

TDietVec VecNormalize(const TDietVec& A) {
  const double d = std::sqrt(A.X * A.X + A.Y * A.Y + A.Z * A.Z);
  if (d > 0) return {A.X / d, A.Y / d, A.Z / d};
  return {0, 0, 0};
}

double TriangleArea(const TDietVec& A, const TDietVec& B, const TDietVec& C) {
  const TDietVec E1 = VecSub(B, A);
  const TDietVec E2 = VecSub(C, A);
  const double dot = VecDot(E1, E2);
  const double r = VecSqLen(E1) * VecSqLen(E2) - dot * dot;
  // A nearly flat triangle can round below zero: it has no area.
  if (!(r >= 0)) return 0;
  return std::sqrt(r) / 2;
}

TDietVec TriangleNormal(const TDietVec& A, const TDietVec& B, const TDietVec& C) {
  return VecNormalize(VecCross(VecSub(B, A), VecSub(C, A)));
}

int32_t FindSamePoint(const TArV& DietVerts, const TDietVec& P, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i) {
    if (SamePoint(DietVerts[i].Pos, P)) return i;
  }
  return Count;
}

bool LUDecompose(const TDietMatrix& M, TDietMatrix& LU, TDietPerm& Perm) {
  LU = M;
  Perm = {0, 1, 2, 3};
  for (int k = 0; k < 4; ++k) {
    // Of equal magnitudes the earliest row wins.
    int best = k;
    for (int j = k + 1; j < 4; ++j) {
      if (std::fabs(LU.m[Perm[j]][k]) > std::fabs(LU.m[Perm[best]][k])) best = j;
    }
    std::swap(Perm[k], Perm[best]);
    const double p = LU.m[Perm[k]][k];
    if (!(std::fabs(p) >= 1e-6)) return false;
    for (int i = k + 1; i < 4; ++i) {
      double* row = LU.m[Perm[i]];
      const double* pivot_row = LU.m[Perm[k]];
      const double f = row[k] / p;
      row[k] = f;
      for (int j = k + 1; j < 4; ++j) row[j] = row[j] - f * pivot_row[j];
    }
  }
  return true;
}

bool MatInverse(const TDietMatrix& M, TDietMatrix& Inv) {
  TDietMatrix LU;
  TDietPerm Perm;
  if (!LUDecompose(M, LU, Perm)) return false;
  TDietMatrix out;
  for (int c = 0; c < 4; ++c) {
    for (int i = 0; i < 4; ++i) {
      double y = Perm[i] == c ? 1.0 : 0.0;
      for (int j = 0; j < i; ++j) y = y - LU.m[Perm[i]][j] * out.m[j][c];
      out.m[i][c] = y;
    }
    for (int i = 3; i >= 0; --i) {
      double x = out.m[i][c];
      for (int j = i + 1; j < 4; ++j) x = x - LU.m[Perm[i]][j] * out.m[j][c];
      out.m[i][c] = x / LU.m[Perm[i]][i];
    }
  }
  Inv = out;
  return true;
}

}  // namespace zelfin
