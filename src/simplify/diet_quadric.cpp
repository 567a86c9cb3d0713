// The pricing of one vertex pair: optimal position, cost, and EvaluatePair.
#include <cmath>
#include <utility>

#include "simplify/diet_analysis.h"
#include "simplify/diet_geometry.h"

namespace zelfin {

// The decomposition of MatInverse with its rows exchanged in memory instead of
// addressed through the permutation: the same values meet in the same
// operations, and the fixed indices let the loops unroll. Only the last row
// of the inverse is wanted: the whole forward pass of each of the first three
// columns and the last step of the backward pass.
bool OptimalPosition(const TDietMatrix& Q, TDietVec& pos) {
  // Every loop unrolled whole: they run a few fixed times, several times per
  // contraction.
  double a[4][4];
#pragma GCC unroll 4
  for (int r = 0; r < 4; ++r) {
#pragma GCC unroll 4
    for (int c = 0; c < 3; ++c) a[r][c] = Q.m[r][c];
    a[r][3] = r == 3 ? 1 : 0;
  }
  int perm[4] = {0, 1, 2, 3};
#pragma GCC unroll 4
  for (int k = 0; k < 4; ++k) {
    // Of equal magnitudes the earliest row wins.
    int best = k;
#pragma GCC unroll 4
    for (int j = k + 1; j < 4; ++j) {
      if (std::fabs(a[j][k]) > std::fabs(a[best][k])) best = j;
    }
    if (best != k) {
#pragma GCC unroll 4
      for (int c = 0; c < 4; ++c) std::swap(a[k][c], a[best][c]);
      std::swap(perm[k], perm[best]);
    }
    const double p = a[k][k];
    if (!(std::fabs(p) >= 1e-6)) return false;
#pragma GCC unroll 4
    for (int i = k + 1; i < 4; ++i) {
      const double f = a[i][k] / p;
      a[i][k] = f;
#pragma GCC unroll 4
      for (int j = k + 1; j < 4; ++j) a[i][j] = a[i][j] - f * a[k][j];
    }
  }
  double row[3];
#pragma GCC unroll 4
  for (int c = 0; c < 3; ++c) {
    double y[4];
#pragma GCC unroll 4
    for (int i = 0; i < 4; ++i) {
      double t = perm[i] == c ? 1.0 : 0.0;
#pragma GCC unroll 4
      for (int j = 0; j < i; ++j) t = t - a[i][j] * y[j];
      y[i] = t;
    }
    row[c] = y[3] / a[3][3];
  }
  pos = {row[0], row[1], row[2]};
  return true;
}

double QuadricError(const TDietMatrix& Q, const TDietVec& p) {
  double t[4];
#pragma GCC unroll 4
  for (int c = 0; c < 4; ++c) {
    t[c] = p.X * Q.m[0][c] + p.Y * Q.m[1][c] + p.Z * Q.m[2][c] + Q.m[3][c];
  }
  return t[0] * p.X + t[1] * p.Y + t[2] * p.Z + t[3];
}

void PricePair(const TDietMatrix& Qlo, const TDietMatrix& Qhi, const TDietVec& Plo,
               const TDietVec& Phi, PairPrice& price) {
#pragma GCC unroll 4
  for (int r = 0; r < 4; ++r) {
#pragma GCC unroll 4
    for (int c = 0; c < 4; ++c) price.Q.m[r][c] = Qlo.m[r][c] + Qhi.m[r][c];
  }
  if (!OptimalPosition(price.Q, price.Pos)) {
    // A flat neighbourhood pins no single point: take the middle of the edge.
    price.Pos = {(Phi.X + Plo.X) / 2, (Phi.Y + Plo.Y) / 2, (Phi.Z + Plo.Z) / 2};
  }
  price.Cost = QuadricError(price.Q, price.Pos);
}

void PriceOf(const DietRun& run, size_t i, PairPrice& price) {
  const PricedStates& s = run.pairs[i].priced;
  if (s.hi == kOwnState) {
    price.Q = run.q[s.lo];
    price.Pos = run.pos[s.lo];
    price.Cost = run.pairs[i].cost;
    return;
  }
  PricePair(run.q[s.lo], run.q[s.hi], run.pos[s.lo], run.pos[s.hi], price);
}

void EvaluatePair(DietMesh& mesh, int32_t i, int32_t a, int32_t b) {
  TDietPair& pair = mesh.DietPairs[static_cast<size_t>(i)];
  const TDietVertex& va = mesh.DietVerts[static_cast<size_t>(a)];
  const TDietVertex& vb = mesh.DietVerts[static_cast<size_t>(b)];
  PairPrice price;
  PricePair(va.Q, vb.Q, va.Pos, vb.Pos, price);
  pair.VertLo = a;
  pair.VertHi = b;
  pair.Q = price.Q;
  pair.Pos = price.Pos;
  pair.Cost = price.Cost;
  pair.Active = true;
}

}  // namespace zelfin
