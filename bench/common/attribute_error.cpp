#include "common/attribute_error.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <thread>

namespace zelfin::bench {

namespace {

uint32_t Root(std::vector<uint32_t>& parent, uint32_t x) {
  while (parent[x] != x) x = parent[x] = parent[parent[x]];
  return x;
}

// The input's triangles laid out in UV space, at z = 0.
TriMesh UvLayout(const gen::TexturedMesh& m) {
  TriMesh uv;
  uv.xyz.reserve(3 * m.uv.size() / 2);
  for (size_t i = 0; i < m.uv.size(); i += 2)
    uv.xyz.insert(uv.xyz.end(), {m.uv[i], m.uv[i + 1], 0});
  uv.tri = m.vt;
  return uv;
}

// An attribute of `width` numbers at a point of triangle t: its corners'
// values weighted by w.
void Interpolate(const std::vector<double>& values, const std::vector<uint32_t>& index, size_t t,
                 const double w[3], int width, double* out) {
  for (int a = 0; a < width; ++a) {
    out[a] = 0;
    for (int k = 0; k < 3; ++k)
      out[a] += w[k] * values[static_cast<size_t>(width) * index[3 * t + k] + a];
  }
}

// From the cross and dot products, which keep small angles exact (acos does
// not); a normal that interpolates to nothing counts as turned right round.
double AngleDegrees(const double a[3], const double b[3]) {
  const double c[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                       a[0] * b[1] - a[1] * b[0]};
  const double sin = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
  const double cos = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
  if (sin == 0 && cos == 0) return 180;
  return std::atan2(sin, cos) * 180 / 3.14159265358979323846;
}

// f(i) for i in [0, n) on `threads` threads, in chunks taken in turn.
template <class F>
void ParallelFor(size_t n, int threads, const F& f) {
  constexpr size_t kChunk = 4096;
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t c; (c = next++) * kChunk < n;) {
      for (size_t i = c * kChunk; i < std::min(n, (c + 1) * kChunk); ++i) f(i);
    }
  };
  std::vector<std::thread> helpers;
  for (int i = 1; i < threads; ++i) helpers.emplace_back(work);
  work();
  for (std::thread& h : helpers) h.join();
}

double Mean(const std::vector<double>& x) {
  double sum = 0;
  for (double v : x) sum += v;
  return x.empty() ? 0 : sum / static_cast<double>(x.size());
}

double Percentile99(std::vector<double> x) {
  if (x.empty()) return 0;
  const auto at = x.begin() + static_cast<std::ptrdiff_t>((x.size() - 1) * 99 / 100);
  std::nth_element(x.begin(), at, x.end());
  return *at;
}

}  // namespace

std::vector<uint32_t> UvIslands(const gen::TexturedMesh& mesh, size_t& count) {
  std::vector<uint32_t> parent(mesh.uv.size() / 2);
  for (uint32_t i = 0; i < parent.size(); ++i) parent[i] = i;
  for (size_t c = 0; c < mesh.vt.size(); c += 3) {
    for (int k = 1; k < 3; ++k) parent[Root(parent, mesh.vt[c + k])] = Root(parent, mesh.vt[c]);
  }
  std::vector<uint32_t> number(parent.size(), UINT32_MAX), island(mesh.vt.size() / 3);
  count = 0;
  for (size_t t = 0; t < island.size(); ++t) {
    uint32_t& n = number[Root(parent, mesh.vt[3 * t])];
    if (n == UINT32_MAX) n = static_cast<uint32_t>(count++);
    island[t] = n;
  }
  return island;
}

TriMesh Geometry(const gen::TexturedMesh& mesh) {
  return TriMesh{mesh.xyz, mesh.v};
}

AttributeReference::AttributeReference(const gen::TexturedMesh& input)
    : input_(input), uv_tree_(UvLayout(input)), whole_(Geometry(input)) {
  size_t count = 0;
  island_of_ = UvIslands(input, count);
  std::vector<TriMesh> parts(count, TriMesh{input.xyz, {}});
  std::vector<std::vector<uint32_t>> numbers(count);
  for (uint32_t t = 0; t < island_of_.size(); ++t) {
    TriMesh& part = parts[island_of_[t]];
    part.tri.insert(part.tri.end(), &input.v[3 * t], &input.v[3 * t] + 3);
    numbers[island_of_[t]].push_back(t);
  }
  for (size_t i = 0; i < count; ++i) islands_.push_back({TriangleTree(parts[i]), numbers[i]});
}

uint32_t AttributeReference::IslandAt(const double uv[2]) const {
  const double p[3] = {uv[0], uv[1], 0};
  return island_of_[uv_tree_.Closest(p).triangle];
}

std::vector<uint32_t> AttributeReference::OutputIslands(const gen::TexturedMesh& output,
                                                        size_t& merged) const {
  std::vector<uint32_t> of_uv(output.uv.size() / 2);
  for (size_t i = 0; i < of_uv.size(); ++i) of_uv[i] = IslandAt(&output.uv[2 * i]);
  std::vector<uint32_t> island(output.TriangleCount());
  merged = 0;
  for (size_t t = 0; t < island.size(); ++t) {
    const uint32_t a = of_uv[output.vt[3 * t]], b = of_uv[output.vt[3 * t + 1]],
                   c = of_uv[output.vt[3 * t + 2]];
    island[t] = a == b || a == c ? a : b;
    merged += a != b || a != c;
  }
  return island;
}

AttributeErrors AttributeReference::Measure(const gen::TexturedMesh& output, size_t samples,
                                            uint64_t seed, int threads) const {
  AttributeErrors e;
  e.has_uv = !input_.vt.empty() && !output.vt.empty() && !islands_.empty();
  e.has_normals = !input_.vn.empty() && !output.vn.empty();
  if (!e.has_uv && !e.has_normals) return e;
  std::vector<uint32_t> island;
  if (e.has_uv) island = OutputIslands(output, e.merged);
  const std::vector<SurfacePoint> points = SpreadByArea(Geometry(output), samples, seed);
  std::vector<double> uv_error(e.has_uv ? points.size() : 0);
  std::vector<double> angle(e.has_normals ? points.size() : 0);
  ParallelFor(points.size(), threads, [&](size_t i) {
    const SurfacePoint& s = points[i];
    double p[3];
    Interpolate(output.xyz, output.v, s.triangle, s.w, 3, p);
    const Island* own = e.has_uv ? &islands_[island[s.triangle]] : nullptr;
    const Nearest near = own ? own->tree.Closest(p) : whole_.Closest(p);
    const uint32_t t = own ? own->triangle[near.triangle] : near.triangle;
    if (e.has_uv) {
      double a[2], b[2];
      Interpolate(output.uv, output.vt, s.triangle, s.w, 2, a);
      Interpolate(input_.uv, input_.vt, t, near.w, 2, b);
      uv_error[i] = std::hypot(a[0] - b[0], a[1] - b[1]);
    }
    if (e.has_normals) {
      double a[3], b[3];
      Interpolate(output.normal, output.vn, s.triangle, s.w, 3, a);
      Interpolate(input_.normal, input_.vn, t, near.w, 3, b);
      angle[i] = AngleDegrees(a, b);
    }
  });
  e.uv_mean = Mean(uv_error);
  e.uv_max = uv_error.empty() ? 0 : *std::max_element(uv_error.begin(), uv_error.end());
  e.normal_mean = Mean(angle);
  e.normal_p99 = Percentile99(std::move(angle));
  return e;
}

int AttributeReference::MaterialsKept(const gen::TexturedMesh& output) const {
  if (output.materials.empty()) return -1;
  std::vector<bool> used(output.materials.size());
  for (uint32_t m : output.material) used[m] = true;
  int kept = 0;
  for (const std::string& name : input_.materials) {
    bool found = false;
    for (size_t m = 0; m < used.size() && !found; ++m)
      found = used[m] && output.materials[m] == name;
    kept += found;
  }
  return kept;
}

}  // namespace zelfin::bench
