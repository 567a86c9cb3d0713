#include "simplify/surface_deviation.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <limits>
#include <utility>

#include "platform/huge_pages.h"
#include "platform/two_halves.h"

namespace zelfin {

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

double AreaOf(const TriMesh& m, size_t t) {
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

namespace {

// The bits of a 10-bit number spread to every third place.
uint32_t Spread3(uint32_t x) {
  x &= 0x3FF;
  x = (x | x << 16) & 0x30000FF;
  x = (x | x << 8) & 0x300F00F;
  x = (x | x << 4) & 0x30C30C3;
  x = (x | x << 2) & 0x9249249;
  return x;
}

// The float nearest x on its side: a box in floats still holds its points.
float FloatBelow(double x) {
  const float f = static_cast<float>(x);
  return f > x ? std::nextafter(f, -std::numeric_limits<float>::infinity()) : f;
}
float FloatAbove(double x) {
  const float f = static_cast<float>(x);
  return f < x ? std::nextafter(f, std::numeric_limits<float>::infinity()) : f;
}

// Sorts by the upper 32 bits, equal ones in their order: passes of 11 bits
// (few enough places to write to at once for the caches), those in which all
// agree skipped.
void SortByKey(std::vector<uint64_t>& keyed) {
  constexpr int kBits = 11;
  constexpr uint64_t kMask = (uint64_t{1} << kBits) - 1;
  std::vector<uint64_t> other = HugeTable<uint64_t>(keyed.size());
  std::vector<size_t> start(size_t{1} << kBits);
  for (int shift = 32; shift < 64; shift += kBits) {
    std::fill(start.begin(), start.end(), 0);
    for (const uint64_t k : keyed) ++start[(k >> shift) & kMask];
    if (std::find(start.begin(), start.end(), keyed.size()) != start.end()) continue;
    size_t at = 0;
    for (size_t& s : start) at += std::exchange(s, at);
    for (const uint64_t k : keyed) other[start[(k >> shift) & kMask]++] = k;
    keyed.swap(other);
  }
}

// Three times the centre of triangle t along axis a: the order is the same.
double CentreTimesThree(const TriMesh& mesh, size_t t, int a) {
  double c = 0;
  for (int k = 0; k < 3; ++k) c += mesh.xyz[3 * size_t{mesh.tri[3 * t + k]} + a];
  return c;
}

// The box of points given x, y, z each, scaled by `times`.
void BoxOf(const std::vector<double>& xyz, double times, double (&lo)[3], double (&hi)[3]) {
  for (int a = 0; a < 3; ++a) lo[a] = kInfinity, hi[a] = -kInfinity;
  for (size_t i = 0; i < xyz.size(); ++i) {
    lo[i % 3] = std::min(lo[i % 3], times * xyz[i]);
    hi[i % 3] = std::max(hi[i % 3], times * xyz[i]);
  }
}

// Per item its Morton key (of place(i, axis) in the box lo..hi that holds
// every place, 10 bits per axis) in the upper 32 bits and its number in the
// lower, in the order of the keys: near in the order, near in space.
template <class Place>
std::vector<uint64_t> CurveOrder(size_t count, Place&& place, const double (&lo)[3],
                                 const double (&hi)[3]) {
  const double extent = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
  const double scale = extent > 0 ? 1023.0 / extent : 0;
  std::vector<uint64_t> keyed = HugeTable<uint64_t>(count);
  for (size_t i = 0; i < count; ++i) {
    uint32_t key = 0;
    for (int a = 0; a < 3; ++a) {
      const double cell = std::min((place(i, a) - lo[a]) * scale, 1023.0);
      key |= Spread3(static_cast<uint32_t>(cell >= 0 ? cell : 0)) << a;
    }
    keyed[i] = uint64_t{key} << 32 | i;
  }
  SortByKey(keyed);
  return keyed;
}

}  // namespace

std::vector<uint64_t> TriangleTree::Order(const TriMesh& mesh) {
  double lo[3], hi[3];
  BoxOf(mesh.xyz, 3, lo, hi);  // it holds three times every centre
  return CurveOrder(
      mesh.TriangleCount(), [&](size_t t, int a) { return CentreTimesThree(mesh, t, a); }, lo, hi);
}

TriangleTree::TriangleTree(const TriMesh& mesh, const std::vector<uint64_t>& keyed) {
  const uint32_t count = static_cast<uint32_t>(mesh.TriangleCount());
  if (count == 0) return;
  ids_ = HugeTable<uint32_t>(count);
  slots_ = HugeTable<uint32_t>(count);
  corners_ = HugeTable<uint32_t>(3 * size_t{count});
  std::vector<uint32_t> number = HugeTable<uint32_t>(mesh.xyz.size() / 3, UINT32_MAX);
  ReserveHuge(xyz_, mesh.xyz.size());
  for (size_t i = 0; i < count; ++i) {
    ids_[i] = static_cast<uint32_t>(keyed[i]);
    slots_[ids_[i]] = static_cast<uint32_t>(i);
    for (int k = 0; k < 3; ++k) {
      const uint32_t v = mesh.tri[3 * size_t{ids_[i]} + k];
      if (number[v] == UINT32_MAX) {
        number[v] = static_cast<uint32_t>(xyz_.size() / 3);
        xyz_.insert(xyz_.end(), &mesh.xyz[3 * size_t{v}], &mesh.xyz[3 * size_t{v}] + 3);
      }
      corners_[3 * i + k] = number[v];
    }
  }
  ReserveHuge(nodes_, 2 * size_t{count});
  nodes_.emplace_back();
  Build(0, 0, count, keyed);
}

// Fills node `id` with the triangles [begin, end) of the curve's order: a
// leaf, or an inner node whose two children, made side by side, split them
// where the highest bit of the keys that differs between them turns from 0 to
// 1 (the halves of an octree cell), or in the middle when all keys are one.
// Boxes grow from the leaves up.
void TriangleTree::Build(uint32_t id, uint32_t begin, uint32_t end,
                         const std::vector<uint64_t>& keyed) {
  Node node{};
  if (end - begin <= kLeafSize) {
    node.first = begin;
    node.count = end - begin;
    double lo[3] = {kInfinity, kInfinity, kInfinity}, hi[3] = {-kInfinity, -kInfinity, -kInfinity};
    for (size_t t = begin; t < end; ++t) {
      for (int k = 0; k < 3; ++k) {
        for (int a = 0; a < 3; ++a) {
          lo[a] = std::min(lo[a], Corner(t, k)[a]);
          hi[a] = std::max(hi[a], Corner(t, k)[a]);
        }
      }
    }
    for (int a = 0; a < 3; ++a) {
      node.lo[a] = FloatBelow(lo[a]);
      node.hi[a] = FloatAbove(hi[a]);
    }
    nodes_[id] = node;
    return;
  }
  const uint64_t differ = (keyed[begin] ^ keyed[end - 1]) >> 32;
  uint32_t mid = begin + (end - begin) / 2;
  if (differ != 0) {
    const uint64_t bit = uint64_t{1} << (95 - std::countl_zero(differ));
    mid = static_cast<uint32_t>(std::partition_point(keyed.begin() + begin, keyed.begin() + end,
                                                     [bit](uint64_t k) { return (k & bit) == 0; }) -
                                keyed.begin());
  }
  const uint32_t first = static_cast<uint32_t>(nodes_.size());
  nodes_.resize(nodes_.size() + 2);
  Build(first, begin, mid, keyed);
  Build(first + 1, mid, end, keyed);
  for (int a = 0; a < 3; ++a) {
    node.lo[a] = std::min(nodes_[first].lo[a], nodes_[first + 1].lo[a]);
    node.hi[a] = std::max(nodes_[first].hi[a], nodes_[first + 1].hi[a]);
  }
  node.first = first;
  nodes_[id] = node;
}

double TriangleTree::BoxDistance2(const Node& n, const double p[3]) {
  double d2 = 0;
  for (int a = 0; a < 3; ++a) {
    const double d = std::max({double{n.lo[a]} - p[a], 0.0, p[a] - double{n.hi[a]}});
    d2 += d * d;
  }
  return d2;
}

// Depth first, the nearer child first, skipping boxes no nearer than the best
// triangle so far.
Nearest TriangleTree::Closest(const double p[3], uint32_t* hint) const {
  Nearest best{kInfinity, UINT32_MAX, {0, 0, 0}};
  if (nodes_.empty()) return best;
  uint32_t best_slot = UINT32_MAX;
  const auto try_slot = [&](uint32_t t) {
    double w[3];
    const double d2 = ClosestOnTriangle(p, Corner(t, 0), Corner(t, 1), Corner(t, 2), w);
    if (d2 < best.d2) {
      best = {d2, ids_[t], {w[0], w[1], w[2]}};
      best_slot = t;
    }
  };
  if (hint && *hint < ids_.size()) try_slot(*hint);
  struct Entry {
    uint32_t node;
    double d2;
  };
  // Each level takes one of the keys' 30 bits or halves keys that are all one:
  // the depth stays below 30 + 32, and the stack holds one entry per level.
  Entry stack[128];
  int top = 0;
  stack[top++] = {0, BoxDistance2(nodes_[0], p)};
  while (top > 0) {
    const Entry e = stack[--top];
    if (e.d2 >= best.d2) continue;
    const Node& n = nodes_[e.node];
    if (n.count > 0) {
      for (uint32_t t = n.first; t < n.first + n.count; ++t) try_slot(t);
      continue;
    }
    Entry l{n.first, BoxDistance2(nodes_[n.first], p)};
    Entry r{n.first + 1, BoxDistance2(nodes_[n.first + 1], p)};
    if (l.d2 < r.d2) std::swap(l, r);
    if (l.d2 < best.d2) stack[top++] = l;  // the farther one, popped last
    if (r.d2 < best.d2) stack[top++] = r;
  }
  if (hint) *hint = best_slot;
  return best;
}

void AppendPoint(const TriMesh& mesh, const SurfacePoint& s, std::vector<double>& points) {
  for (int a = 0; a < 3; ++a) {
    points.push_back(s.w[0] * mesh.xyz[3 * mesh.tri[3 * s.triangle] + a] +
                     s.w[1] * mesh.xyz[3 * mesh.tri[3 * s.triangle + 1] + a] +
                     s.w[2] * mesh.xyz[3 * mesh.tri[3 * s.triangle + 2] + a]);
  }
}

std::vector<SurfacePoint> SpreadByArea(const TriMesh& mesh, size_t count, uint64_t seed) {
  const size_t triangles = mesh.TriangleCount();
  std::vector<double> cumulative = HugeTable<double>(triangles);
  double total = 0;
  for (size_t t = 0; t < triangles; ++t) cumulative[t] = total += AreaOf(mesh, t);
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

std::vector<double> SamplePoints(const TriMesh& mesh, size_t count, uint64_t seed,
                                 bool with_vertices) {
  std::vector<double> points;
  points.reserve(3 * count + (with_vertices ? mesh.xyz.size() : 0));
  for (const SurfacePoint& s : SpreadByArea(mesh, count, seed)) AppendPoint(mesh, s, points);
  if (!with_vertices) return points;
  std::vector<bool> used(mesh.xyz.size() / 3);
  for (uint32_t v : mesh.tri) used[v] = true;
  for (size_t v = 0; v < used.size(); ++v) {
    if (used[v]) points.insert(points.end(), &mesh.xyz[3 * v], &mesh.xyz[3 * v] + 3);
  }
  return points;
}

OneSided MeasureDistances(const std::vector<double>& points, const TriangleTree& tree,
                          Heartbeat& heartbeat, const std::vector<uint32_t>* near) {
  // The points along a Morton curve: one after the other, the searches walk
  // the same few branches of the tree, which then stay in the caches, and the
  // last nearest triangle is a good first guess for the next point. Fixed
  // chunks summed in their order: the same figures however the chunks fell to
  // the threads.
  constexpr size_t kChunk = 4096;
  const size_t n = points.size() / 3, chunks = (n + kChunk - 1) / kChunk;
  double lo[3], hi[3];
  BoxOf(points, 1, lo, hi);
  const std::vector<uint64_t> order = CurveOrder(
      n, [&](size_t i, int a) { return points[3 * i + a]; }, lo, hi);
  std::vector<OneSided> part(chunks);
  std::atomic<size_t> next{0};
  const auto work = [&](Heartbeat* beat) {
    for (size_t c; (c = next++) < chunks;) {
      OneSided& s = part[c];
      uint32_t hint = UINT32_MAX;
      for (size_t k = c * kChunk; k < std::min(n, (c + 1) * kChunk); ++k) {
        const size_t i = static_cast<uint32_t>(order[k]);
        if (near && (*near)[i] != UINT32_MAX) hint = tree.SlotOf((*near)[i]);
        const double d2 = tree.Closest(&points[3 * i], &hint).d2;
        s.max2 = std::max(s.max2, d2);
        s.sum2 += d2;
        s.sum += std::sqrt(d2);
        ++s.count;
      }
      if (beat) beat->Beat(static_cast<int64_t>(kChunk));
    }
  };
  RunHalvesTogether([&] { work(&heartbeat); }, [&] { work(nullptr); },
                    [&] { heartbeat.Beat(static_cast<int64_t>(kChunk)); });
  OneSided all;
  for (const OneSided& s : part) {
    all.max2 = std::max(all.max2, s.max2);
    all.sum2 += s.sum2;
    all.sum += s.sum;
    all.count += s.count;
  }
  return all;
}

Symmetric Combine(const OneSided& ab, const OneSided& ba) {
  Symmetric s;
  s.hausdorff = std::sqrt(std::max(ab.max2, ba.max2));
  const size_t count = ab.count + ba.count;
  if (count > 0) {
    s.rms = std::sqrt((ab.sum2 + ba.sum2) / static_cast<double>(count));
    s.mean = (ab.sum + ba.sum) / static_cast<double>(count);
  }
  return s;
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

namespace {

constexpr uint64_t kSeed = 0x5EED;

// Per vertex, the first triangle that uses it; UINT32_MAX for none.
std::vector<uint32_t> FirstUse(const TriMesh& mesh) {
  std::vector<uint32_t> first = HugeTable<uint32_t>(mesh.xyz.size() / 3, UINT32_MAX);
  for (size_t i = 0; i < mesh.TriangleCount(); ++i) {
    for (size_t k = 0; k < 3; ++k) {
      const uint32_t v = mesh.tri[3 * i + k];
      if (first[v] == UINT32_MAX) first[v] = static_cast<uint32_t>(i);
    }
  }
  return first;
}

// Points to measure against the other surface, each with a triangle of it
// near the point where the numbering tells one (the first that uses the
// vertex of the same number): a first guess that bounds the search at once.
struct Samples {
  std::vector<double> points;
  std::vector<uint32_t> near;  // per point, UINT32_MAX: none
  size_t in_place = 0;         // vertices left out as lying on the input
};

// The output's points: samples spread by area, then the vertices its
// triangles use, but for those (numbered alike) standing where the input's
// vertex of their number stands.
Samples OutputSamples(const TriMesh& output, const InputSide& input) {
  const auto near = [&](uint32_t v) {
    return v < input.first_use.size() ? input.first_use[v] : UINT32_MAX;
  };
  Samples out;
  const size_t most = input.samples + output.xyz.size() / 3;
  ReserveHuge(out.points, 3 * most);
  ReserveHuge(out.near, most);
  for (const SurfacePoint& s : SpreadByArea(output, input.samples, kSeed + 1)) {
    AppendPoint(output, s, out.points);
    out.near.push_back(near(output.tri[3 * size_t{s.triangle}]));
  }
  std::vector<uint8_t> used(output.xyz.size() / 3);
  for (const uint32_t v : output.tri) used[v] = 1;
  for (uint32_t v = 0; v < used.size(); ++v) {
    if (!used[v]) continue;
    const double* p = &output.xyz[3 * size_t{v}];
    if (near(v) != UINT32_MAX && std::equal(p, p + 3, &input.mesh.xyz[3 * size_t{v}])) {
      ++out.in_place;
    } else {
      out.points.insert(out.points.end(), p, p + 3);
      out.near.push_back(near(v));
    }
  }
  return out;
}

// Per point spread on the input, the first output triangle that uses the
// vertex of its triangle's first corner (numbered alike).
std::vector<uint32_t> NearOnOutput(const InputSide& input, const TriMesh& output) {
  std::vector<uint32_t> near(input.points.size() / 3, UINT32_MAX);
  if (!input.numbered_alike) return near;
  const std::vector<uint32_t> first_use = FirstUse(output);
  for (size_t i = 0; i < near.size(); ++i) {
    const uint32_t v = input.point_vertex[i];
    if (v < first_use.size()) near[i] = first_use[v];
  }
  return near;
}

}  // namespace

size_t DeviationSamples(size_t input_triangles) {
  return std::clamp<size_t>(16 * input_triangles, 1000, kDeviationSamples);
}

InputSide MeasureInputSide(TriMesh input, bool numbered_alike) {
  InputSide side;
  side.numbered_alike = numbered_alike;
  side.diagonal = Diagonal(input.xyz);
  side.samples = DeviationSamples(input.TriangleCount());
  side.order = TriangleTree::Order(input);
  const std::vector<SurfacePoint> spread = SpreadByArea(input, side.samples, kSeed);
  side.points.reserve(3 * spread.size());
  for (const SurfacePoint& s : spread) {
    AppendPoint(input, s, side.points);
    if (numbered_alike) side.point_vertex.push_back(input.tri[3 * size_t{s.triangle}]);
  }
  if (numbered_alike) side.first_use = FirstUse(input);
  side.mesh = std::move(input);
  return side;
}

Deviation MeasureDeviation(TriMesh input, TriMesh output, ProgressSink& progress,
                           bool numbered_alike) {
  const auto start = std::chrono::steady_clock::now();
  Deviation out = MeasureDeviation(MeasureInputSide(std::move(input), numbered_alike),
                                   std::move(output), progress);
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return out;
}

Deviation MeasureDeviation(InputSide input, TriMesh output, ProgressSink& progress) {
  const auto start = std::chrono::steady_clock::now();
  Heartbeat heartbeat(progress);
  Deviation out;
  out.diagonal = input.diagonal;
  // A tree on each thread. The output's points need neither tree: the
  // thread whose tree stands first makes them (the input's tree takes longer
  // when the output is small, the output's, whose curve order is made here
  // too, when it is large).
  TriangleTree input_tree, output_tree;
  Samples on_output;
  std::vector<uint32_t> input_near;
  std::atomic<bool> points_taken{false};
  const auto points = [&] {
    if (points_taken.exchange(true)) return;
    on_output = OutputSamples(output, input);
    input_near = NearOnOutput(input, output);
  };
  RunHalvesTogether(
      [&] {
        output_tree = TriangleTree(output);
        points();
      },
      [&] {
        input_tree = TriangleTree(input.mesh, input.order);
        input.order = std::vector<uint64_t>();
        points();
      },
      [&] { heartbeat.Beat(4096); });
  // The trees hold copies of the vertices.
  output = TriMesh();
  input.mesh = TriMesh();
  input.first_use = std::vector<uint32_t>();
  OneSided output_to_input =
      MeasureDistances(on_output.points, input_tree, heartbeat, &on_output.near);
  output_to_input.count += on_output.in_place;
  const Symmetric d =
      Combine(output_to_input, MeasureDistances(input.points, output_tree, heartbeat, &input_near));
  const double rounding = 1e-12 * out.diagonal;
  const auto above = [rounding](double x) { return x < rounding ? 0.0 : x; };
  out.max = above(d.hausdorff);
  out.mean = above(d.mean);
  out.rms = above(d.rms);
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return out;
}

}  // namespace zelfin
