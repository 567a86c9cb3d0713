#include <cstdint>
#include <vector>

#include "platform/progress_marks.h"
#include "simplify/diet_analysis.h"
#include "simplify/diet_geometry.h"

namespace zelfin {

namespace {

// The live triangles of every vertex, in increasing triangle order, as one
// flat array: faces[start[v] .. start[v + 1]).
struct FacesOfVertex {
  std::vector<int64_t> start;
  std::vector<int32_t> faces;
};

bool NamesEarlierCorner(const TDietFace& f, int c) {
  for (int k = 0; k < c; ++k) {
    if (f.Verts[k] == f.Verts[c]) return true;
  }
  return false;
}

FacesOfVertex LiveFacesOfVertices(const TArF& faces, size_t vertex_count) {
  FacesOfVertex out;
  out.start.assign(vertex_count + 1, 0);
  auto for_each_corner = [&](auto&& fn) {
    for (size_t j = 0; j < faces.size(); ++j) {
      const TDietFace& f = faces[j];
      if (!f.Alive) continue;
      for (int c = 0; c < 3; ++c) {
        const int32_t v = f.Verts[c];
        if (v < 0 || static_cast<size_t>(v) >= vertex_count || NamesEarlierCorner(f, c)) continue;
        fn(static_cast<size_t>(v), static_cast<int32_t>(j));
      }
    }
  };
  for_each_corner([&](size_t v, int32_t) { ++out.start[v + 1]; });
  for (size_t v = 0; v < vertex_count; ++v) out.start[v + 1] += out.start[v];
  out.faces.resize(static_cast<size_t>(out.start[vertex_count]));
  std::vector<int64_t> fill(out.start.begin(), out.start.end() - 1);
  for_each_corner([&](size_t v, int32_t j) { out.faces[static_cast<size_t>(fill[v]++)] = j; });
  return out;
}

}  // namespace

void AnalyzeVertices(DietMesh& mesh, ProgressSink& progress) {
  TArV& verts = mesh.DietVerts;
  const TArF& faces = mesh.DietFaces;
  const int64_t n = static_cast<int64_t>(verts.size());
  ProgressMarks marks(n, 1, 0, 25);

  const FacesOfVertex lists = LiveFacesOfVertices(faces, verts.size());
  for (int64_t i = 0; i < n; ++i) {
    TDietVertex& v = verts[static_cast<size_t>(i)];
    TDietMatrix Q;
    if (v.Used) {
      for (int64_t k = lists.start[i]; k < lists.start[i + 1]; ++k) {
        const TDietFace& f = faces[static_cast<size_t>(lists.faces[static_cast<size_t>(k)])];
        // The plane through the triangle's first corner, whichever corner i is.
        const TDietVec& N = f.Normal;
        const double p[4] = {N.X, N.Y, N.Z, -VecDot(N, verts[static_cast<size_t>(f.Verts[0])].Pos)};
        const double A = f.Area;
        for (int r = 0; r < 4; ++r) {
          for (int c = 0; c < 4; ++c) Q.m[r][c] = Q.m[r][c] + A * p[r] * p[c];
        }
      }
    }
    v.Q = Q;
    if (marks.Due(i)) marks.Report(i, progress);
  }
}

}  // namespace zelfin
