#include "simplify/diet_refined_price.h"

#include <algorithm>
#include <cmath>

#include "simplify/diet_analysis.h"
#include "simplify/diet_geometry.h"

namespace zelfin {

namespace {

// The minimiser of a quadric is trusted when the determinant of its 3 x 3
// part is at least this share of what three equal eigenvalues of its mean
// would give: below, the quadric is flat along some direction (a plane, a
// crease) and rounding alone would choose the point along it. Chosen by
// measurement on real models: larger values give up good minimisers.
constexpr double kWellPosed = 1e-8;

// The faces of edge (lo, hi): how many, and the wedges of their ends in the
// first two, {hi's, lo's}.
int EdgeFaces(const DietRun& run, const VertexAdjacency& adjacency, const AttributeRun* attributes,
              int32_t lo, int32_t hi, WedgeMerge (&ends)[2]) {
  int n = 0;
  for (const int32_t j : adjacency.Faces(lo)) {
    const FaceCorners& f = run.faces[static_cast<size_t>(j)];
    if (!FaceHolds(f, lo) || !FaceHolds(f, hi)) continue;
    if (n < 2 && attributes) {
      const std::array<int32_t, 3>& w = attributes->face_wedges[static_cast<size_t>(j)];
      ends[n] = {w[static_cast<size_t>(CornerOf(f, hi))], w[static_cast<size_t>(CornerOf(f, lo))]};
    }
    ++n;
  }
  return n;
}

bool SolveWellPosed(const TDietMatrix& Q, TDietVec& x) {
  const double a = Q.m[0][0], b = Q.m[0][1], c = Q.m[0][2];
  const double d = Q.m[1][1], e = Q.m[1][2], f = Q.m[2][2];
  const double A = d * f - e * e, B = c * e - b * f, C = b * e - c * d;
  const double det = a * A + b * B + c * C;
  const double mean = (a + d + f) / 3;
  if (!(mean > 0) || !(std::fabs(det) >= kWellPosed * mean * mean * mean)) return false;
  const double D = a * f - c * c, E = b * c - a * e, F = a * d - b * b;
  const double r0 = -Q.m[0][3], r1 = -Q.m[1][3], r2 = -Q.m[2][3];
  x = {(A * r0 + B * r1 + C * r2) / det, (B * r0 + D * r1 + E * r2) / det,
       (C * r0 + E * r1 + F * r2) / det};
  return std::isfinite(x.X) && std::isfinite(x.Y) && std::isfinite(x.Z);
}

// The wedges of the edge's faces merged toward the end that stays.
void MergeToward(const WedgeMerge (&ends)[2], int n, bool hi_stays, WedgeMerges& out) {
  out.count = std::min(n, 2);
  for (int k = 0; k < out.count; ++k) {
    out.merge[k] = hi_stays ? ends[k] : WedgeMerge{ends[k].gone, ends[k].keep};
  }
  if (out.count == 2 && out.merge[0].gone == out.merge[1].gone) out.count = 1;
}

// The sum of a quadric's planes' weights.
double Weight(const TDietMatrix& Q) {
  return Q.m[0][0] + Q.m[1][1] + Q.m[2][2];
}

}  // namespace

int FacesOnEdge(const DietRun& run, const VertexAdjacency& adjacency, int32_t lo, int32_t hi) {
  WedgeMerge ends[2];
  return EdgeFaces(run, adjacency, nullptr, lo, hi, ends);
}

double MeanSquaredError(const TDietMatrix& Q, const TDietVec& pos, double extra) {
  const double weight = Weight(Q), error = QuadricError(Q, pos) + extra;
  return weight > 0 ? error / weight : error;
}

TDietVec AlongEdge(const TDietMatrix& Q, const TDietVec& a, const TDietVec& b) {
  const TDietVec mid{(a.X + b.X) / 2, (a.Y + b.Y) / 2, (a.Z + b.Z) / 2};
  const double e0 = QuadricError(Q, a), e1 = QuadricError(Q, b), eh = QuadricError(Q, mid);
  // The error along the edge is e0 + B t + C t^2.
  const double C = 2 * (e1 - 2 * eh + e0);
  const double B = e1 - e0 - C;
  double t = e0 <= e1 ? 0 : 1;
  if (C > 0) t = std::clamp(-B / (2 * C), 0.0, 1.0);
  return {a.X + t * (b.X - a.X), a.Y + t * (b.Y - a.Y), a.Z + t * (b.Z - a.Z)};
}

TDietVec RefinedPlacement(const TDietMatrix& Q, const TDietVec& a, const TDietVec& b) {
  TDietVec x;
  if (!SolveWellPosed(Q, x)) return AlongEdge(Q, a, b);
  // An end that the minimiser misses by rounding only is the minimiser: the
  // vertex keeps its place, and its coordinates as written.
  if (SamePoint(x, a)) return a;
  if (SamePoint(x, b)) return b;
  return x;
}

namespace {

// Which merges the border kinds allow, and where the merged vertex goes;
// false when they allow none.
bool Place(const RefinedPrice& price_so_far, BorderKind klo, BorderKind khi, bool border_edge,
           const TDietVec& plo, const TDietVec& phi, TDietVec& pos, bool& hi_stays, bool& fixed) {
  const bool lo_inside = klo == BorderKind::kInside, hi_inside = khi == BorderKind::kInside;
  hi_stays = true;
  fixed = false;
  if (lo_inside && hi_inside) {
    if (border_edge) return false;
    pos = RefinedPlacement(price_so_far.Q, plo, phi);
  } else if (lo_inside || hi_inside) {
    // Into the border vertex, at its place, across an edge inside a region.
    if (border_edge) return false;
    hi_stays = lo_inside;
    pos = hi_stays ? phi : plo;
    fixed = true;
  } else {
    // Along a border edge; a locked vertex stays where it is.
    const bool lo_locked = klo == BorderKind::kLocked, hi_locked = khi == BorderKind::kLocked;
    if (!border_edge || (lo_locked && hi_locked)) return false;
    hi_stays = !lo_locked;
    fixed = lo_locked || hi_locked;
    pos = lo_locked ? plo : hi_locked ? phi : AlongEdge(price_so_far.Q, plo, phi);
  }
  return true;
}

}  // namespace

void PriceRefined(const DietRun& run, const VertexAdjacency& adjacency, const BorderKinds& kinds,
                  const AttributeRun* attributes, int32_t lo, int32_t hi, RefinedPrice& price) {
  // Field by field: a whole new price is a 256-byte temporary cleared and
  // copied per pair priced, and its position and quadric are written below
  // before anything reads them.
  price.allowed = false;
  price.stays = -1;
  price.cost = 0;
  price.wedges = WedgeMerges{};
  WedgeMerge ends[2] = {{-1, -1}, {-1, -1}};
  // Between two inside vertices every edge has two faces and no wedges to
  // tell apart (a pair that shares no face any more the guard refuses).
  const bool inside = kinds.Of(lo) == BorderKind::kInside && kinds.Of(hi) == BorderKind::kInside;
  const int n = inside && !attributes ? 2 : EdgeFaces(run, adjacency, attributes, lo, hi, ends);
  if (n == 0 || n > 2) return;  // not an edge of the surface, or one of many sheets
  const bool border_edge = n == 1 || ends[0].keep != ends[1].keep || ends[0].gone != ends[1].gone;
  const TDietVec& plo = run.pos[static_cast<size_t>(lo)];
  const TDietVec& phi = run.pos[static_cast<size_t>(hi)];
  const TDietMatrix& Qlo = run.q[static_cast<size_t>(lo)];
  const TDietMatrix& Qhi = run.q[static_cast<size_t>(hi)];
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) price.Q.m[r][c] = Qlo.m[r][c] + Qhi.m[r][c];
  }
  bool hi_stays = true;
  if (!Place(price, kinds.Of(lo), kinds.Of(hi), border_edge, plo, phi, price.pos, hi_stays,
             price.wedges.fixed)) {
    return;
  }
  price.stays = hi_stays ? hi : lo;
  double attribute_error = 0;
  if (attributes) {
    MergeToward(ends, n, hi_stays, price.wedges);
    if (price.wedges.count == 2 && price.wedges.merge[0].keep == price.wedges.merge[1].keep) return;
    for (int k = 0; k < price.wedges.count; ++k) {
      const WedgeMerge& m = price.wedges.merge[k];
      if (m.keep < 0 || m.gone < 0) return;
      attribute_error += WedgeMergeError(*attributes, m, price.pos);
    }
  }
  // The error per unit of weight, so that the order of contractions follows
  // how far the surface moves, not how large its triangles are; half of it
  // the merged error, half the larger of the two ends' own, so that a small
  // feature (a tip, a thin tail) is not averaged away by the large neighbour
  // it merges into.
  const double merged = MeanSquaredError(price.Q, price.pos, attribute_error);
  const double worst_end =
      std::max(MeanSquaredError(Qlo, price.pos), MeanSquaredError(Qhi, price.pos));
  price.cost = (merged + worst_end) / 2;
  price.allowed = std::isfinite(price.cost);
}

}  // namespace zelfin
