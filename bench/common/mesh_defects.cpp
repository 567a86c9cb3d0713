#include "common/mesh_defects.h"

#include <algorithm>
#include <bit>

namespace zelfin::bench {

namespace {

// The (unnormalised) normal of triangle t: (b - a) x (c - a).
std::array<double, 3> Normal(const TriMesh& m, size_t t) {
  const double* a = &m.xyz[3 * m.tri[3 * t]];
  const double* b = &m.xyz[3 * m.tri[3 * t + 1]];
  const double* c = &m.xyz[3 * m.tri[3 * t + 2]];
  const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  const double v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
  return {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
}

double Dot(const std::array<double, 3>& a, const std::array<double, 3>& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Whether triangle t, of normal n, is flat to rounding: its height over its
// longest edge below 1e-10 of that edge, so that its normal means nothing.
bool Degenerate(const TriMesh& m, size_t t, const std::array<double, 3>& n) {
  double longest2 = 0;
  for (int k = 0; k < 3; ++k) {
    const double* p = &m.xyz[3 * m.tri[3 * t + k]];
    const double* q = &m.xyz[3 * m.tri[3 * t + (k + 1) % 3]];
    const std::array<double, 3> e = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
    longest2 = std::max(longest2, Dot(e, e));
  }
  // |n| is the longest edge times the height over it.
  return Dot(n, n) <= 1e-20 * longest2 * longest2;
}

// The edges with more than two triangles, as sorted low << 32 | high pairs
// of vertex ids; triangles with a repeated id have no edges.
std::vector<uint64_t> CrowdedEdges(const std::vector<uint32_t>& id,
                                   const std::vector<uint32_t>& tri) {
  std::vector<uint64_t> edges;
  for (size_t t = 0; t < tri.size(); t += 3) {
    const uint32_t v[3] = {id[tri[t]], id[tri[t + 1]], id[tri[t + 2]]};
    if (v[0] == v[1] || v[1] == v[2] || v[2] == v[0]) continue;
    for (int k = 0; k < 3; ++k) {
      const uint32_t p = v[k], q = v[(k + 1) % 3];
      edges.push_back(uint64_t{std::min(p, q)} << 32 | std::max(p, q));
    }
  }
  std::sort(edges.begin(), edges.end());
  std::vector<uint64_t> crowded;
  for (size_t i = 0; i + 2 < edges.size(); ++i) {
    if (edges[i] == edges[i + 2] && (crowded.empty() || crowded.back() != edges[i])) {
      crowded.push_back(edges[i]);
    }
  }
  return crowded;
}

}  // namespace

size_t CountFoldOvers(const TriMesh& output, const TriMesh& input, const TriangleTree& tree) {
  size_t folds = 0;
  for (size_t t = 0; t < output.TriangleCount(); ++t) {
    const std::array<double, 3> n = Normal(output, t);
    if (Degenerate(output, t, n)) continue;
    double centre[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k) {
      for (int a = 0; a < 3; ++a) centre[a] += output.xyz[3 * output.tri[3 * t + k] + a] / 3;
    }
    const uint32_t near = tree.Closest(centre).triangle;
    if (near == UINT32_MAX) continue;
    const std::array<double, 3> m = Normal(input, near);
    if (!Degenerate(input, near, m) && Dot(n, m) < 0) ++folds;
  }
  return folds;
}

size_t NonManifoldEdges::Hash::operator()(const std::array<double, 3>& p) const {
  uint64_t h = 0;
  for (double x : p) h = (h ^ std::bit_cast<uint64_t>(x)) * 0x9E3779B97F4A7C15u;
  return static_cast<size_t>(h ^ (h >> 29));
}

std::vector<uint32_t> NonManifoldEdges::Weld(const TriMesh& mesh, Ids& ids) const {
  std::vector<uint32_t> id(mesh.xyz.size() / 3);
  for (size_t v = 0; v < id.size(); ++v) {
    // + 0.0 makes -0 into 0, which compares equal to it.
    const std::array<double, 3> p = {mesh.xyz[3 * v] + 0.0, mesh.xyz[3 * v + 1] + 0.0,
                                     mesh.xyz[3 * v + 2] + 0.0};
    const auto known = ids_.find(p);
    id[v] = known != ids_.end()
                ? known->second
                : ids.try_emplace(p, static_cast<uint32_t>(ids_.size() + ids.size())).first->second;
  }
  return id;
}

NonManifoldEdges::NonManifoldEdges(const TriMesh& input) {
  Ids ids;
  const std::vector<uint32_t> id = Weld(input, ids);
  ids_ = std::move(ids);
  edges_ = CrowdedEdges(id, input.tri);
}

size_t NonManifoldEdges::CountNew(const TriMesh& output) const {
  Ids ids;
  size_t count = 0;
  for (uint64_t e : CrowdedEdges(Weld(output, ids), output.tri)) {
    count += std::binary_search(edges_.begin(), edges_.end(), e) ? 0 : 1;
  }
  return count;
}

}  // namespace zelfin::bench
