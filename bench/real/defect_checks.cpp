// The self-check of simplify_quality --real: the fold-over and edge counters
// on a unit square of two triangles and meshes made from it.
#include <cstdio>
#include <utility>

#include "common/mesh_defects.h"
#include "real/real_quality.h"

namespace zelfin::bench {

namespace {

// The square (0, 0, 0) to (1, 1, 0), facing +z, and a tip above its centre.
TriMesh Square() {
  return {{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0.5, 0.5, 1}, {0, 1, 2, 0, 2, 3}};
}

// Each triangle with its own copies of its corners, as a soup.
TriMesh Soup(const TriMesh& m) {
  TriMesh soup;
  for (uint32_t v : m.tri) {
    soup.xyz.insert(soup.xyz.end(), &m.xyz[3 * v], &m.xyz[3 * v + 3]);
    soup.tri.push_back(static_cast<uint32_t>(soup.tri.size()));
  }
  return soup;
}

// The square as output: itself, with its second triangle turned over, and
// with triangles without area added (a corner a hair off an edge, a corner
// twice).
bool CheckFoldOvers() {
  const TriMesh square = Square();
  const TriangleTree tree(square);
  TriMesh flipped = square, flat = square;
  std::swap(flipped.tri[4], flipped.tri[5]);
  flat.xyz.insert(flat.xyz.end(), {0.5, -1e-12, 0});  // faces -z by rounding
  flat.tri.insert(flat.tri.end(), {0, 1, 5, 0, 1, 1});
  return CountFoldOvers(square, square, tree) == 0 && CountFoldOvers(flipped, square, tree) == 1 &&
         CountFoldOvers(flat, square, tree) == 0;
}

// A third triangle on the square's diagonal (up to the tip) makes one new
// edge with more than two triangles, also with its corners repeated; an
// input that has that edge already makes it not new.
bool CheckNewEdges() {
  const TriMesh square = Square();
  TriMesh fin = square;
  fin.tri.insert(fin.tri.end(), {0, 2, 4});
  const NonManifoldEdges plain(square), finned(fin);
  return plain.InputCount() == 0 && plain.CountNew(square) == 0 && plain.CountNew(fin) == 1 &&
         plain.CountNew(Soup(fin)) == 1 && finned.InputCount() == 1 && finned.CountNew(fin) == 0 &&
         finned.CountNew(Soup(fin)) == 0;
}

}  // namespace

bool DefectsSelfCheck() {
  const bool ok = CheckFoldOvers() && CheckNewEdges();
  std::printf(
      "defect self-check: %s (a triangle turned over is a fold-over, one without area is not;\n"
      "a third triangle on an edge is a new edge with more than two triangles, welded by\n"
      "position, unless the input has that edge)\n",
      ok ? "passed" : "FAILED");
  return ok;
}

}  // namespace zelfin::bench
