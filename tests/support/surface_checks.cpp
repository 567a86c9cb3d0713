#include "support/surface_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <utility>

namespace zelfin::test {

namespace {

using Edge = std::pair<int32_t, int32_t>;

std::map<Edge, int> FacesPerEdge(const DietMesh& mesh) {
  std::map<Edge, int> count;
  for (const TDietFace& f : mesh.DietFaces) {
    if (!f.Alive) continue;
    for (int c = 0; c < 3; ++c) {
      const int32_t a = f.Verts[c], b = f.Verts[(c + 1) % 3];
      ++count[{std::min(a, b), std::max(a, b)}];
    }
  }
  return count;
}

TDietVec Normal(const DietMesh& mesh, const TDietFace& f) {
  const TDietVec& a = mesh.DietVerts[static_cast<size_t>(f.Verts[0])].Pos;
  const TDietVec& b = mesh.DietVerts[static_cast<size_t>(f.Verts[1])].Pos;
  const TDietVec& c = mesh.DietVerts[static_cast<size_t>(f.Verts[2])].Pos;
  const double u[3] = {b.X - a.X, b.Y - a.Y, b.Z - a.Z}, v[3] = {c.X - a.X, c.Y - a.Y, c.Z - a.Z};
  return {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
}

}  // namespace

std::string SurfaceFault(const DietMesh& loaded, const DietMesh& result) {
  for (size_t j = 0; j < result.DietFaces.size(); ++j) {
    const TDietFace& f = result.DietFaces[j];
    if (!f.Alive) continue;
    const TDietVec n = Normal(result, f), n0 = loaded.DietFaces[j].Normal;
    if (n.X * n0.X + n.Y * n0.Y + n.Z * n0.Z < 0) {
      return "face " + std::to_string(j) + " is turned over";
    }
  }
  const std::map<Edge, int> before = FacesPerEdge(loaded);
  for (const auto& [edge, faces] : FacesPerEdge(result)) {
    const auto it = before.find(edge);
    if (faces > 2 && (it == before.end() || it->second <= 2)) {
      return "edge " + std::to_string(edge.first) + "-" + std::to_string(edge.second) + " has " +
             std::to_string(faces) + " faces";
    }
  }
  return "";
}

}  // namespace zelfin::test
