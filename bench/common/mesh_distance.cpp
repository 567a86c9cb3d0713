#include "common/mesh_distance.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

namespace zelfin::bench {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr uint32_t kLeafSize = 4;

double Dot(const double a[3], const double b[3]) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void Sub(const double a[3], const double b[3], double out[3]) {
  for (int i = 0; i < 3; ++i) out[i] = a[i] - b[i];
}

// Squared distance from p to q + t (r - q), the closest point with t in [0, 1].
double PointSegmentDistance2(const double p[3], const double q[3], const double r[3], double& t) {
  double qr[3], qp[3];
  Sub(r, q, qr);
  Sub(p, q, qp);
  const double len2 = Dot(qr, qr);
  t = len2 > 0 ? std::clamp(Dot(qp, qr) / len2, 0.0, 1.0) : 0.0;
  double d[3];
  for (int i = 0; i < 3; ++i) d[i] = qp[i] - t * qr[i];
  return Dot(d, d);
}

// Squared distance from p to a + s e1 + t e2, whose weights w are those of
// the triangle (a, a + e1, a + e2).
double Distance2To(const double p[3], const double a[3], const double e1[3], double s,
                   const double e2[3], double t, double w[3]) {
  w[0] = 1 - s - t;
  w[1] = s;
  w[2] = t;
  double d[3];
  for (int i = 0; i < 3; ++i) d[i] = p[i] - (a[i] + s * e1[i] + t * e2[i]);
  return Dot(d, d);
}

double Corner(const double ap[3], int k, double w[3]) {
  w[0] = w[1] = w[2] = 0;
  w[k] = 1;
  return Dot(ap, ap);
}

// The nearest of the triangle's three edges, for triangles without area.
double NearestEdge(const double p[3], const double a[3], const double b[3], const double c[3],
                   double w[3]) {
  const double* corner[3] = {a, b, c};
  double best = std::numeric_limits<double>::infinity();
  for (int k = 0; k < 3; ++k) {
    double t = 0;
    const double d2 = PointSegmentDistance2(p, corner[k], corner[(k + 1) % 3], t);
    if (d2 < best) {
      best = d2;
      w[k] = 1 - t;
      w[(k + 1) % 3] = t;
      w[(k + 2) % 3] = 0;
    }
  }
  return best;
}

// splitmix64: the samples are the same on every machine.
struct SplitMix {
  uint64_t state;
  double Unit() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<double>((z ^ (z >> 31)) >> 11) * 0x1.0p-53;
  }
};

double TriangleArea(const TriMesh& m, size_t t) {
  const double* a = &m.xyz[3 * m.tri[3 * t]];
  double ab[3], ac[3];
  Sub(&m.xyz[3 * m.tri[3 * t + 1]], a, ab);
  Sub(&m.xyz[3 * m.tri[3 * t + 2]], a, ac);
  const double n[3] = {ab[1] * ac[2] - ab[2] * ac[1], ab[2] * ac[0] - ab[0] * ac[2],
                       ab[0] * ac[1] - ab[1] * ac[0]};
  return 0.5 * std::sqrt(Dot(n, n));
}

}  // namespace

// The regions of the triangle's plane as in Ericson, Real-Time Collision
// Detection, 5.1.5; a triangle without area falls back to its three edges.
double ClosestOnTriangle(const double p[3], const double a[3], const double b[3], const double c[3],
                         double w[3]) {
  double ab[3], ac[3], ap[3], bp[3], cp[3];
  Sub(b, a, ab);
  Sub(c, a, ac);
  Sub(p, a, ap);
  const double d1 = Dot(ab, ap), d2 = Dot(ac, ap);
  if (d1 <= 0 && d2 <= 0) return Corner(ap, 0, w);
  Sub(p, b, bp);
  const double d3 = Dot(ab, bp), d4 = Dot(ac, bp);
  if (d3 >= 0 && d4 <= d3) return Corner(bp, 1, w);
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0) return Distance2To(p, a, ab, d1 / (d1 - d3), ac, 0, w);
  Sub(p, c, cp);
  const double d5 = Dot(ab, cp), d6 = Dot(ac, cp);
  if (d6 >= 0 && d5 <= d6) return Corner(cp, 2, w);
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0) return Distance2To(p, a, ab, 0, ac, d2 / (d2 - d6), w);
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0) {
    double t = 0;
    const double d = PointSegmentDistance2(p, b, c, t);
    w[0] = 0;
    w[1] = 1 - t;
    w[2] = t;
    return d;
  }
  const double sum = va + vb + vc;
  if (!(sum > 0)) return NearestEdge(p, a, b, c, w);
  return Distance2To(p, a, ab, vb / sum, ac, vc / sum, w);
}

double PointTriangleDistance2(const double p[3], const double a[3], const double b[3],
                              const double c[3]) {
  double w[3];
  return ClosestOnTriangle(p, a, b, c, w);
}

TriangleTree::TriangleTree(const TriMesh& mesh) {
  const uint32_t count = static_cast<uint32_t>(mesh.TriangleCount());
  if (count == 0) return;
  std::vector<uint32_t> order(count);
  std::vector<double> centres(3 * static_cast<size_t>(count));
  for (uint32_t t = 0; t < count; ++t) {
    order[t] = t;
    for (int k = 0; k < 3; ++k) {
      for (int a = 0; a < 3; ++a) centres[3 * t + a] += mesh.xyz[3 * mesh.tri[3 * t + k] + a] / 3;
    }
  }
  nodes_.reserve(2 * (count / kLeafSize + 1) + 1);
  corners_.reserve(9 * static_cast<size_t>(count));
  ids_.reserve(count);
  nodes_.emplace_back();
  Build(0, order, centres, 0, count, mesh);
}

// Fills node `id` with triangles order[begin, end): a leaf, or an inner node
// whose two children, made side by side, split them at the median centre
// along the centres' widest axis.
void TriangleTree::Build(uint32_t id, std::vector<uint32_t>& order,
                         const std::vector<double>& centres, uint32_t begin, uint32_t end,
                         const TriMesh& mesh) {
  Node node{{kInfinity, kInfinity, kInfinity}, {-kInfinity, -kInfinity, -kInfinity}, 0, 0};
  double clo[3] = {kInfinity, kInfinity, kInfinity}, chi[3] = {-kInfinity, -kInfinity, -kInfinity};
  for (uint32_t i = begin; i < end; ++i) {
    for (int a = 0; a < 3; ++a) {
      clo[a] = std::min(clo[a], centres[3 * order[i] + a]);
      chi[a] = std::max(chi[a], centres[3 * order[i] + a]);
      for (int k = 0; k < 3; ++k) {
        const double x = mesh.xyz[3 * mesh.tri[3 * order[i] + k] + a];
        node.lo[a] = std::min(node.lo[a], x);
        node.hi[a] = std::max(node.hi[a], x);
      }
    }
  }
  if (end - begin <= kLeafSize) {
    node.first = static_cast<uint32_t>(corners_.size() / 9);
    node.count = end - begin;
    for (uint32_t i = begin; i < end; ++i) {
      for (int k = 0; k < 3; ++k) {
        const double* v = &mesh.xyz[3 * mesh.tri[3 * order[i] + k]];
        corners_.insert(corners_.end(), v, v + 3);
      }
      ids_.push_back(order[i]);
    }
    nodes_[id] = node;
    return;
  }
  int axis = 0;
  for (int a = 1; a < 3; ++a) axis = chi[a] - clo[a] > chi[axis] - clo[axis] ? a : axis;
  const uint32_t mid = begin + (end - begin) / 2;
  std::nth_element(
      order.begin() + begin, order.begin() + mid, order.begin() + end,
      [&](uint32_t s, uint32_t t) { return centres[3 * s + axis] < centres[3 * t + axis]; });
  node.first = static_cast<uint32_t>(nodes_.size());
  nodes_[id] = node;
  nodes_.resize(nodes_.size() + 2);
  Build(node.first, order, centres, begin, mid, mesh);
  Build(node.first + 1, order, centres, mid, end, mesh);
}

double TriangleTree::BoxDistance2(const Node& n, const double p[3]) {
  double d2 = 0;
  for (int a = 0; a < 3; ++a) {
    const double d = std::max({n.lo[a] - p[a], 0.0, p[a] - n.hi[a]});
    d2 += d * d;
  }
  return d2;
}

// Depth first, the nearer child first, skipping boxes no nearer than the best
// triangle so far.
Nearest TriangleTree::Closest(const double p[3]) const {
  Nearest best{kInfinity, UINT32_MAX, {0, 0, 0}};
  if (nodes_.empty()) return best;
  struct Entry {
    uint32_t node;
    double d2;
  };
  Entry stack[128];  // the median split keeps the depth near log2 of the leaves
  int top = 0;
  stack[top++] = {0, BoxDistance2(nodes_[0], p)};
  while (top > 0) {
    const Entry e = stack[--top];
    if (e.d2 >= best.d2) continue;
    const Node& n = nodes_[e.node];
    if (n.count > 0) {
      for (uint32_t t = n.first; t < n.first + n.count; ++t) {
        const double* c = &corners_[9 * static_cast<size_t>(t)];
        double w[3];
        const double d2 = ClosestOnTriangle(p, c, c + 3, c + 6, w);
        if (d2 < best.d2) best = {d2, ids_[t], {w[0], w[1], w[2]}};
      }
      continue;
    }
    Entry l{n.first, BoxDistance2(nodes_[n.first], p)};
    Entry r{n.first + 1, BoxDistance2(nodes_[n.first + 1], p)};
    if (l.d2 < r.d2) std::swap(l, r);
    if (l.d2 < best.d2) stack[top++] = l;  // the farther one, popped last
    if (r.d2 < best.d2) stack[top++] = r;
  }
  return best;
}

std::vector<SurfacePoint> SpreadByArea(const TriMesh& mesh, size_t count, uint64_t seed) {
  const size_t triangles = mesh.TriangleCount();
  std::vector<double> cumulative(triangles);
  double total = 0;
  for (size_t t = 0; t < triangles; ++t) cumulative[t] = total += TriangleArea(mesh, t);
  std::vector<SurfacePoint> points;
  points.reserve(count);
  SplitMix rng{seed};
  size_t t = 0;
  for (size_t k = 0; k < count && total > 0; ++k) {
    const double at = (static_cast<double>(k) + rng.Unit()) * total / static_cast<double>(count);
    while (t + 1 < triangles && cumulative[t] < at) ++t;
    // Uniform over the triangle: the square root undoes the crowding at corner a.
    const double r1 = std::sqrt(rng.Unit()), r2 = rng.Unit();
    points.push_back({static_cast<uint32_t>(t), {1 - r1, r1 * (1 - r2), r1 * r2}});
  }
  return points;
}

std::vector<double> SamplePoints(const TriMesh& mesh, size_t count, uint64_t seed) {
  std::vector<double> points;
  points.reserve(3 * count + mesh.xyz.size());
  for (const SurfacePoint& s : SpreadByArea(mesh, count, seed)) {
    for (int a = 0; a < 3; ++a) {
      points.push_back(s.w[0] * mesh.xyz[3 * mesh.tri[3 * s.triangle] + a] +
                       s.w[1] * mesh.xyz[3 * mesh.tri[3 * s.triangle + 1] + a] +
                       s.w[2] * mesh.xyz[3 * mesh.tri[3 * s.triangle + 2] + a]);
    }
  }
  std::vector<bool> used(mesh.xyz.size() / 3);
  for (uint32_t v : mesh.tri) used[v] = true;
  for (size_t v = 0; v < used.size(); ++v) {
    if (used[v]) points.insert(points.end(), &mesh.xyz[3 * v], &mesh.xyz[3 * v] + 3);
  }
  return points;
}

OneSided MeasureDistances(const std::vector<double>& points, const TriangleTree& tree,
                          int threads) {
  // Fixed chunks summed in their order: the same figures on any thread count.
  constexpr size_t kChunk = 4096;
  const size_t n = points.size() / 3, chunks = (n + kChunk - 1) / kChunk;
  std::vector<OneSided> part(chunks);
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t c; (c = next++) < chunks;) {
      OneSided& s = part[c];
      for (size_t i = c * kChunk; i < std::min(n, (c + 1) * kChunk); ++i) {
        const double d2 = tree.Distance2(&points[3 * i]);
        s.max2 = std::max(s.max2, d2);
        s.sum2 += d2;
        ++s.count;
      }
    }
  };
  std::vector<std::thread> helpers;
  for (int i = 1; i < threads; ++i) helpers.emplace_back(work);
  work();
  for (std::thread& h : helpers) h.join();
  OneSided all;
  for (const OneSided& s : part) {
    all.max2 = std::max(all.max2, s.max2);
    all.sum2 += s.sum2;
    all.count += s.count;
  }
  return all;
}

Symmetric Combine(const OneSided& ab, const OneSided& ba) {
  Symmetric s;
  s.hausdorff = std::sqrt(std::max(ab.max2, ba.max2));
  const size_t count = ab.count + ba.count;
  s.rms = count > 0 ? std::sqrt((ab.sum2 + ba.sum2) / static_cast<double>(count)) : 0;
  return s;
}

Symmetric Compare(const Surface& a, const Surface& b, int threads) {
  return Combine(MeasureDistances(a.samples, b.tree, threads),
                 MeasureDistances(b.samples, a.tree, threads));
}

double Diagonal(const std::vector<double>& xyz) {
  double lo[3], hi[3];
  for (int a = 0; a < 3; ++a) lo[a] = hi[a] = xyz.empty() ? 0 : xyz[a];
  for (size_t i = 0; i < xyz.size(); ++i) {
    lo[i % 3] = std::min(lo[i % 3], xyz[i]);
    hi[i % 3] = std::max(hi[i % 3], xyz[i]);
  }
  return std::hypot(hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]);
}

}  // namespace zelfin::bench
