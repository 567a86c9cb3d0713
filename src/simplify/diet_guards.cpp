#include "simplify/diet_guards.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/beside.h"
#include "platform/huge_pages.h"
#include "simplify/diet_geometry.h"
#include "simplify/surface_deviation.h"

namespace zelfin {

namespace {

// A surviving triangle may turn by at most this much in one contraction, and
// by at most kFirstTurnCos from the direction it was loaded with or from that
// of the loaded faces around its corners: a face that comes to face against
// the surface it stands for is a fold. Chosen by
// measurement on real models (fewer folds than these bounds allow cost
// accuracy when a coarse mesh is reduced hard).
const double kMaxTurnCos = std::cos(60.0 * M_PI / 180.0);
const double kFirstTurnCos = std::cos(40.0 * M_PI / 180.0);
// A triangle whose area is below this share of an equilateral one's with the
// same sum of squared sides is a sliver; a contraction may not make one,
// unless the triangle was already thinner.
constexpr double kMinQuality = 1e-3;

// The sum of the squared sides of a triangle.
double Sides(const TDietVec& p0, const TDietVec& p1, const TDietVec& p2) {
  return VecSqLen(VecSub(p1, p0)) + VecSqLen(VecSub(p2, p1)) + VecSqLen(VecSub(p0, p2));
}

// Whether a triangle of normal n (twice its area) and these squared sides is
// a sliver: its area below kMinQuality of an equilateral triangle's with the
// same sides, 2 sqrt(3) |n| < kMinQuality * sides, compared squared.
double SliverMeasure(const TDietVec& n, double sides) {
  return 12 * VecSqLen(n) - kMinQuality * kMinQuality * sides * sides;
}

// a . b >= c |a| |b| for c >= 0, without square roots.
bool WithinTurn(const TDietVec& a, const TDietVec& b, double c) {
  const double dot = VecDot(a, b);
  return dot >= 0 && dot * dot >= c * c * VecSqLen(a) * VecSqLen(b);
}

// Face f with corner `corner` moved to pos: does it keep its facing and shape?
// around() gives the direction of the loaded faces around the face's corners
// after the merge; it is asked for only when the face's own loaded direction
// refuses.
template <class Around>
bool KeepsShape(const DietRun& run, const FaceCorners& f, int corner, const TDietVec& pos,
                const std::array<float, 3>& first, Around&& around) {
  TDietVec p[3];
  for (int c = 0; c < 3; ++c) p[c] = run.pos[static_cast<size_t>(f[static_cast<size_t>(c)])];
  const TDietVec before = VecCross(VecSub(p[1], p[0]), VecSub(p[2], p[0]));
  const TDietVec at = p[corner];
  p[corner] = pos;
  const TDietVec after = VecCross(VecSub(p[1], p[0]), VecSub(p[2], p[0]));
  // A sliver may not be made, unless the triangle was thinner already.
  const double sides_after = Sides(p[0], p[1], p[2]);
  if (SliverMeasure(after, sides_after) < 0) {
    p[corner] = at;
    const double sides_before = Sides(p[0], p[1], p[2]);
    // Thinner: |after| / sides_after < |before| / sides_before, squared.
    if (VecSqLen(after) * sides_before * sides_before <
        VecSqLen(before) * sides_after * sides_after) {
      return false;
    }
  }
  // A triangle that had no direction, when loaded or now, has none to keep.
  // One loaded as a small triangle of a noisy surface may lean far from that
  // surface: within reach of the faces around its corners, it keeps facing
  // the surface it stands for.
  const TDietVec loaded{first[0], first[1], first[2]};
  if (VecSqLen(loaded) > 0 && !WithinTurn(after, loaded, kFirstTurnCos)) {
    const TDietVec surface = around();
    if (!(VecSqLen(surface) > 0 && WithinTurn(after, surface, kFirstTurnCos))) return false;
  }
  return !(VecSqLen(before) > 0 && VecSqLen(after) > 0) || WithinTurn(before, after, kMaxTurnCos);
}

// Squared distance from p to the triangle (a, b, c).
double PointTriangle2(const TDietVec& p, const TDietVec& a, const TDietVec& b, const TDietVec& c) {
  const double q[3] = {p.X, p.Y, p.Z}, x[3] = {a.X, a.Y, a.Z}, y[3] = {b.X, b.Y, b.Z},
               z[3] = {c.X, c.Y, c.Z};
  return PointTriangleDistance2(q, x, y, z);
}

void AddOnce(std::vector<int32_t>& list, int32_t v) {
  if (std::find(list.begin(), list.end(), v) == list.end()) list.push_back(v);
}

bool Holds(const std::vector<int32_t>& list, int32_t v) {
  return std::find(list.begin(), list.end(), v) != list.end();
}

}  // namespace

bool ContractionGuard::Survivors(const DietRun& run, const VertexAdjacency& adjacency, int32_t v,
                                 int32_t other, const TDietVec& pos, std::vector<int32_t>& faces,
                                 std::vector<int32_t>& ring) {
  faces.clear();
  ring.clear();
  for (const int32_t j : adjacency.Faces(v)) {
    const FaceCorners& f = run.faces[static_cast<size_t>(j)];
    if (!FaceHolds(f, v)) continue;
    const int c = CornerOf(f, v);
    const int32_t next = f[static_cast<size_t>((c + 1) % 3)];
    const int32_t prev = f[static_cast<size_t>((c + 2) % 3)];
    if (next == other || prev == other) {
      if (v < other) AddOnce(third_, next == other ? prev : next);
      continue;
    }
    const auto around = [&] {
      // The merged vertex stands for the faces around both ends.
      TDietVec sum{0, 0, 0};
      for (const int32_t x : {f[0], f[1], f[2], other}) {
        const std::array<float, 3>& n = around_[static_cast<size_t>(x)];
        sum = {sum.X + n[0], sum.Y + n[1], sum.Z + n[2]};
      }
      return sum;
    };
    if (!KeepsShape(run, f, c, pos, first_normal_[static_cast<size_t>(j)], around)) {
      refused_face_ = j;
      return false;
    }
    faces.push_back(j);
    AddOnce(ring, next);
    AddOnce(ring, prev);
  }
  return true;
}

double ContractionGuard::FromFacesNow(const DietRun& run, int32_t a, int32_t b, const TDietVec& q,
                                      double enough) const {
  double nearest = std::numeric_limits<double>::infinity();
  // Each face once, the edge's own first: q lies on or near the edge, so one
  // of them is usually within reach and the search ends there.
  const auto nearer = [&](const FaceCorners& f) {
    nearest = std::min(nearest, PointTriangle2(q, run.pos[static_cast<size_t>(f[0])],
                                               run.pos[static_cast<size_t>(f[1])],
                                               run.pos[static_cast<size_t>(f[2])]));
    return nearest <= enough;
  };
  for (const int32_t j : adjacency_->Faces(a)) {
    const FaceCorners& f = run.faces[static_cast<size_t>(j)];
    if (FaceHolds(f, a) && FaceHolds(f, b) && nearer(f)) return nearest;
  }
  for (const int32_t v : {a, b}) {
    const int32_t other = v == a ? b : a;
    for (const int32_t j : adjacency_->Faces(v)) {
      const FaceCorners& f = run.faces[static_cast<size_t>(j)];
      if (FaceHolds(f, v) && !FaceHolds(f, other) && nearer(f)) return nearest;
    }
  }
  return std::isfinite(nearest) ? nearest : 0.0;
}

bool ContractionGuard::DriftsBeyond(const DietRun& run, int32_t a, int32_t b, const TDietVec& pos,
                                    double limit, double& drift) const {
  // Face f of the merge's survivors with its a or b corner at pos.
  const auto moved = [&](const FaceCorners& f, int k) -> const TDietVec& {
    const int32_t v = f[static_cast<size_t>(k)];
    return v == a || v == b ? pos : run.pos[static_cast<size_t>(v)];
  };
  // Each distance is at most the one to a corner of the faces it is taken
  // to: only where that bound passes the limit are the faces searched. The
  // drift is the largest of the distances, so one found within the limit
  // needs no closer face: it can neither pass the limit nor set the drift
  // where another does. A loaded place is searched from the faces of its own
  // vertex, where it is found within the limit twice as soon.
  drift = 0;
  const double to_ends = std::min(VecSqLen(VecSub(pos, run.pos[static_cast<size_t>(a)])),
                                  VecSqLen(VecSub(pos, run.pos[static_cast<size_t>(b)])));
  if (to_ends > limit) drift = FromFacesNow(run, a, b, pos, limit);
  for (const int32_t v : {a, b}) {
    const TDietVec p = FirstPos(v);
    double nearest = VecSqLen(VecSub(p, pos));
    const std::vector<int32_t>& own = v == a ? faces_a_ : faces_b_;
    const std::vector<int32_t>& others = v == a ? faces_b_ : faces_a_;
    for (const std::vector<int32_t>* faces : {&own, &others}) {
      for (size_t k = 0; k < faces->size() && nearest > limit; ++k) {
        const FaceCorners& f = run.faces[static_cast<size_t>((*faces)[k])];
        nearest = std::min(nearest, PointTriangle2(p, moved(f, 0), moved(f, 1), moved(f, 2)));
      }
    }
    drift = std::max(drift, nearest);
  }
  return drift > limit;
}

void ContractionGuard::Start(const DietRun& run, Heartbeat& heartbeat,
                             const std::vector<TDietVec>* raw, const Normalisation& norm) {
  raw_ = raw != nullptr && raw->size() == run.VertexCount() ? raw : nullptr;
  norm_ = norm;
  first_pos_.clear();
  if (raw_ == nullptr) {
    first_pos_ =
        HugeCopy(run.pos.begin(), run.pos.begin() + static_cast<std::ptrdiff_t>(run.VertexCount()));
  }
  first_normal_ = HugeArray<std::array<float, 3>>(run.faces.size());
  const auto normals = [&](size_t from, size_t to, Heartbeat& beat) {
    for (size_t j = from; j < to; ++j) {
      beat.Beat();
      const FaceCorners& f = run.faces[j];
      const TDietVec n = FaceAlive(f) ? TriangleNormal(run.pos[static_cast<size_t>(f[0])],
                                                       run.pos[static_cast<size_t>(f[1])],
                                                       run.pos[static_cast<size_t>(f[2])])
                                      : TDietVec{0, 0, 0};
      first_normal_[j] = {static_cast<float>(n.X), static_cast<float>(n.Y),
                          static_cast<float>(n.Z)};
    }
  };
  const size_t n = run.faces.size();
  RunBeside(
      heartbeat, [&](const Lane& lane) { normals(0, n / 2, lane.heartbeat); },
      [&](const Lane& lane) { normals(n / 2, n, lane.heartbeat); });
  // Each thread adds every face to those of its corners in its half of the
  // vertices: the sums are those of one thread.
  const size_t vertices = run.VertexCount();
  around_ = HugeArray<std::array<float, 3>>(vertices);
  const auto around = [&](size_t from, size_t to, Heartbeat& beat) {
    std::fill_n(around_.get() + from, to - from, std::array<float, 3>{0, 0, 0});
    const auto mine = [&](int32_t v) {
      return static_cast<size_t>(v) >= from && static_cast<size_t>(v) < to;
    };
    for (const FaceCorners& f : run.faces) {
      beat.Beat();
      if (!FaceAlive(f) || !(mine(f[0]) || mine(f[1]) || mine(f[2]))) continue;
      const TDietVec& p0 = run.pos[static_cast<size_t>(f[0])];
      const TDietVec c = VecCross(VecSub(run.pos[static_cast<size_t>(f[1])], p0),
                                  VecSub(run.pos[static_cast<size_t>(f[2])], p0));
      for (const int32_t v : f) {
        if (!mine(v)) continue;
        std::array<float, 3>& sum = around_[static_cast<size_t>(v)];
        sum = {sum[0] + static_cast<float>(c.X), sum[1] + static_cast<float>(c.Y),
               sum[2] + static_cast<float>(c.Z)};
      }
    }
  };
  RunBeside(
      heartbeat, [&](const Lane& lane) { around(0, vertices / 2, lane.heartbeat); },
      [&](const Lane& lane) { around(vertices / 2, vertices, lane.heartbeat); });
}

bool ContractionGuard::SharesOnlyThirdCorners() const {
  for (const int32_t c : ring_a_) {
    if (Holds(ring_b_, c) && !Holds(third_, c)) return false;
  }
  return true;
}

// A face of a and a face of b on the same two other corners would become one
// triangle twice. Asked once the ends are known to share no neighbour but
// the edge's third corners: both of those corners are then third corners,
// so only a face of a on two of them can have a twin.
bool ContractionGuard::MakesTwinFaces(const DietRun& run) const {
  if (third_.size() < 2) return false;
  for (const int32_t ja : faces_a_) {
    const FaceCorners& fa = run.faces[static_cast<size_t>(ja)];
    int thirds = 0;
    for (const int32_t x : fa) thirds += Holds(third_, x) ? 1 : 0;
    if (thirds < 2) continue;
    for (const int32_t jb : faces_b_) {
      const FaceCorners& fb = run.faces[static_cast<size_t>(jb)];
      int shared = 0;
      for (const int32_t x : fa) shared += (x == fb[0] || x == fb[1] || x == fb[2]) ? 1 : 0;
      if (shared == 2) return true;
    }
  }
  return false;
}

bool ContractionGuard::MayContract(const DietRun& run, const VertexAdjacency& adjacency, int32_t a,
                                   int32_t b, const TDietVec& pos) {
  adjacency_ = &adjacency;
  refused_face_ = -1;
  third_.clear();
  // The third corners are gathered from the lower end's faces.
  if (!Survivors(run, adjacency, a, b, pos, faces_a_, ring_a_) ||
      !Survivors(run, adjacency, b, a, pos, faces_b_, ring_b_)) {
    return false;
  }
  if (third_.empty() || (faces_a_.empty() && faces_b_.empty())) return false;
  return SharesOnlyThirdCorners() && !MakesTwinFaces(run);
}

}  // namespace zelfin
