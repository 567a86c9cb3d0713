#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/beside.h"
#include "platform/heartbeat.h"
#include "platform/huge_pages.h"
#include "platform/progress_marks.h"
#include "simplify/diet_analysis.h"
#include "simplify/diet_geometry.h"
#include "simplify/diet_tables.h"

namespace zelfin {

namespace {

bool NamesEarlierCorner(const FaceCorners& f, int c) {
  for (int k = 0; k < c; ++k) {
    if (FaceCorner(f, k) == FaceCorner(f, c)) return true;
  }
  return false;
}

// Every live face adds its weighted plane product to each vertex it uses.
// The faces go in increasing order, so each vertex's sum runs in increasing
// triangle order: the same additions, in the same order, as summing vertex by
// vertex over its triangles. plane_of(j, p, area) gives the plane of face j.
// The bar's marks, defined per vertex, are shown as the faces go by.
template <class PlaneOf>
void SumPlaneProducts(DietRun& run, PlaneOf&& plane_of, ProgressSink& progress) {
  const int64_t n = static_cast<int64_t>(run.VertexCount());
  Heartbeat heartbeat(progress);
  // Room for the state of every vertex that can survive a contraction; the
  // zeros go in beside the window, unless the loader brought them already.
  if (run.q.size() != static_cast<size_t>(n)) {
    ReserveHuge(run.q, static_cast<size_t>(2 * n), static_cast<size_t>(n));
    run.q.clear();
    ResizeBeside(run.q, static_cast<size_t>(n), heartbeat);
  }
  ProgressMarks marks(n, 1, 0, 25);
  const int64_t F = static_cast<int64_t>(run.faces.size());
  for (int64_t j = 0; j < F; ++j) {
    while (marks.Next() < n && marks.Next() * F <= j * n) marks.Report(marks.Next(), progress);
    heartbeat.Beat();
    const FaceCorners& f = run.faces[static_cast<size_t>(j)];
    if (!FaceAlive(f)) continue;
    double p[4], A;
    plane_of(j, p, A);
    double product[4][4];
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) product[r][c] = A * p[r] * p[c];
    }
    for (int k = 0; k < 3; ++k) {
      const int32_t v = FaceCorner(f, k);
      if (v < 0 || v >= n || !run.Used(static_cast<size_t>(v)) || NamesEarlierCorner(f, k)) {
        continue;
      }
      TDietMatrix& Q = run.q[static_cast<size_t>(v)];
      for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) Q.m[r][c] = Q.m[r][c] + product[r][c];
      }
    }
  }
  while (marks.Next() < n) marks.Report(marks.Next(), progress);
}

// The plane through the triangle's first corner, whichever corner is summed.
void FillPlane(const TDietVec& N, const TDietVec& P0, double p[4]) {
  p[0] = N.X;
  p[1] = N.Y;
  p[2] = N.Z;
  p[3] = -VecDot(N, P0);
}

}  // namespace

void AnalyzeVertices(DietRun& run, ProgressSink& progress) {
  // The normal and area of a face as the loader would have stored them.
  const auto plane_of = [&run](int64_t j, double p[4], double& area) {
    const FaceCorners& f = run.faces[static_cast<size_t>(j)];
    const TDietVec& A = run.pos[static_cast<size_t>(f[0])];
    const TDietVec& B = run.pos[static_cast<size_t>(f[1])];
    const TDietVec& C = run.pos[static_cast<size_t>(f[2])];
    FillPlane(TriangleNormal(A, B, C), A, p);
    area = TriangleArea(A, B, C);
  };
  SumPlaneProducts(run, plane_of, progress);
}

void AnalyzeVertices(DietMesh& mesh, ProgressSink& progress) {
  DietRun run = RunFromTables(mesh, false);
  run.q.clear();  // the sums start from zero
  const auto plane_of = [&mesh](int64_t j, double p[4], double& area) {
    const TDietFace& f = mesh.DietFaces[static_cast<size_t>(j)];
    FillPlane(f.Normal, mesh.DietVerts[static_cast<size_t>(f.Verts[0])].Pos, p);
    area = f.Area;
  };
  SumPlaneProducts(run, plane_of, progress);
  for (size_t v = 0; v < mesh.DietVerts.size(); ++v) mesh.DietVerts[v].Q = run.q[v];
}

}  // namespace zelfin
