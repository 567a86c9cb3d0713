// The pricing of one vertex pair: optimal position, cost, and EvaluatePair.
#include "simplify/diet_analysis.h"
#include "simplify/diet_geometry.h"

namespace zelfin {

bool OptimalPosition(const TDietMatrix& Q, TDietVec& pos) {
  TDietMatrix LU = Q;
  LU.m[0][3] = 0;
  LU.m[1][3] = 0;
  LU.m[2][3] = 0;
  LU.m[3][3] = 1;
  TDietPerm Perm;
  if (!LUDecomposeInPlace(LU, Perm)) return false;
  // Only the last row of the inverse is wanted. It needs the whole forward
  // pass of its column and the last step of the backward pass, in the same
  // operations as MatInverse; the other rows would not change it.
  double row[3];
  for (int c = 0; c < 3; ++c) {
    double y[4];
    for (int i = 0; i < 4; ++i) {
      double t = Perm[i] == c ? 1.0 : 0.0;
      for (int j = 0; j < i; ++j) t = t - LU.m[Perm[i]][j] * y[j];
      y[i] = t;
    }
    row[c] = y[3] / LU.m[Perm[3]][3];
  }
  pos = {row[0], row[1], row[2]};
  return true;
}

double QuadricError(const TDietMatrix& Q, const TDietVec& p) {
  double t[4];
  for (int c = 0; c < 4; ++c) {
    t[c] = p.X * Q.m[0][c] + p.Y * Q.m[1][c] + p.Z * Q.m[2][c] + Q.m[3][c];
  }
  return t[0] * p.X + t[1] * p.Y + t[2] * p.Z + t[3];
}

void PricePair(const TDietMatrix& Qlo, const TDietMatrix& Qhi, const TDietVec& Plo,
               const TDietVec& Phi, PairPrice& price) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) price.Q.m[r][c] = Qlo.m[r][c] + Qhi.m[r][c];
  }
  if (!OptimalPosition(price.Q, price.Pos)) {
    // A flat neighbourhood pins no single point: take the middle of the edge.
    price.Pos = {(Phi.X + Plo.X) / 2, (Phi.Y + Plo.Y) / 2, (Phi.Z + Plo.Z) / 2};
  }
  price.Cost = QuadricError(price.Q, price.Pos);
}

void PriceOf(const DietRun& run, size_t i, PairPrice& price) {
  const PricedStates& s = run.priced[i];
  if (s.hi == kOwnState) {
    price.Q = run.q[s.lo];
    price.Pos = run.pos[s.lo];
    price.Cost = run.cost[i];
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
