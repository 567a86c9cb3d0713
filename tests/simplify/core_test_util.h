#pragma once
// Tables for the simplification's core tests, built without the loader.
#include <array>
#include <cstdint>
#include <vector>

#include "platform/heartbeat.h"
#include "simplify/diet_adjacency.h"
#include "simplify/diet_geometry.h"
#include "simplify/diet_model.h"
#include "simplify/diet_run.h"

namespace zelfin::test {

// A face as the tables hold it.
inline TDietFace Face(bool alive, int32_t a, int32_t b, int32_t c) {
  TDietFace f;
  f.Alive = alive;
  f.Verts[0] = a;
  f.Verts[1] = b;
  f.Verts[2] = c;
  return f;
}

// Every vertex's live faces, as the contraction lists them (no pairs).
inline VertexAdjacency FacesOfVertices(const DietRun& run, Heartbeat& heartbeat) {
  VertexAdjacency adjacency;
  adjacency.Build(
      run.VertexCount(),
      [&](auto&& emit) {
        for (size_t j = 0; j < run.faces.size(); ++j) {
          if (!FaceAlive(run.faces[j])) continue;
          for (const int32_t v : run.faces[j]) emit(v, static_cast<int32_t>(j));
        }
      },
      [](auto&&) {}, heartbeat);
  return adjacency;
}

// Tables as the loader would leave them for these positions and triangles:
// every named vertex Used, every face Alive with its normal and area.
inline DietMesh MakeMesh(const std::vector<TDietVec>& positions,
                         const std::vector<std::array<int32_t, 3>>& triangles) {
  DietMesh mesh;
  mesh.DietVerts.resize(positions.size());
  for (size_t i = 0; i < positions.size(); ++i) {
    mesh.DietVerts[i].Pos = positions[i];
    mesh.DietVerts[i].SameAs = static_cast<int32_t>(i);
  }
  for (const auto& t : triangles) {
    TDietFace f = Face(true, t[0], t[1], t[2]);
    for (int c = 0; c < 3; ++c) mesh.DietVerts[t[c]].Used = true;
    const TDietVec& A = positions[t[0]];
    const TDietVec& B = positions[t[1]];
    const TDietVec& C = positions[t[2]];
    f.Normal = TriangleNormal(A, B, C);
    f.Area = TriangleArea(A, B, C);
    mesh.DietFaces.push_back(f);
  }
  return mesh;
}

// A strip of n triangles over a gently bent grid of 2 x (n / 2 + 2) points.
inline DietMesh Strip(int n) {
  std::vector<TDietVec> pos;
  const int columns = n / 2 + 2;
  for (int c = 0; c < columns; ++c) {
    const double x = -1 + 2.0 * c / (columns - 1);
    pos.push_back({x, -0.5, 0.1 * x * x});
    pos.push_back({x, 0.5, -0.1 * x * x});
  }
  std::vector<std::array<int32_t, 3>> tris;
  for (int k = 0; static_cast<int>(tris.size()) < n; ++k) {
    const int32_t a = 2 * (k / 2);
    if (k % 2 == 0) {
      tris.push_back({a, a + 2, a + 1});
    } else {
      tris.push_back({a + 1, a + 2, a + 3});
    }
  }
  return MakeMesh(pos, tris);
}

}  // namespace zelfin::test
