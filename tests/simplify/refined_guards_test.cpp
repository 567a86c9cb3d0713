// The refined method on surfaces that real models have: open borders keep
// their outline and corners, no contraction turns a face over, separate
// sheets stay apart, and a cube's corners stay where they are.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "core_test_util.h"
#include "platform/heartbeat.h"
#include "platform/progress_sink.h"
#include "simplify/diet_adjacency.h"
#include "simplify/diet_analysis.h"
#include "simplify/diet_borders.h"
#include "simplify/diet_contraction.h"
#include "simplify/diet_guards.h"
#include "simplify/diet_loader.h"
#include "simplify/diet_refined_price.h"
#include "simplify/diet_tables.h"
#include "support/mesh_gen.h"
#include "support/surface_checks.h"

namespace zelfin {
namespace {

// The tables as loaded and as the refined method leaves them at keep.
struct Simplified {
  DietMesh loaded, result;
};

Simplified Refine(const std::string& text, double keep) {
  Simplified s;
  LoadDietMeshText(text, "test.obj", s.loaded);
  s.result = s.loaded;
  SilentProgress silent;
  AnalyzeVertices(s.result, silent);
  AnalyzePairs(s.result, silent);
  ContractMesh(s.result, keep, silent, SimplifyMethod::kRefined);
  return s;
}

size_t LiveFaces(const DietMesh& mesh) {
  size_t n = 0;
  for (const TDietFace& f : mesh.DietFaces) n += f.Alive ? 1 : 0;
  return n;
}

// Twice the signed area of the live faces, seen from +z.
double AreaFromAbove(const DietMesh& mesh) {
  double sum = 0;
  for (const TDietFace& f : mesh.DietFaces) {
    if (!f.Alive) continue;
    const TDietVec& a = mesh.DietVerts[static_cast<size_t>(f.Verts[0])].Pos;
    const TDietVec& b = mesh.DietVerts[static_cast<size_t>(f.Verts[1])].Pos;
    const TDietVec& c = mesh.DietVerts[static_cast<size_t>(f.Verts[2])].Pos;
    sum += (b.X - a.X) * (c.Y - a.Y) - (b.Y - a.Y) * (c.X - a.X);
  }
  return sum;
}

bool HasVertexAt(const DietMesh& mesh, const TDietVec& p) {
  for (const TDietVertex& v : mesh.DietVerts) {
    if (v.Used && v.Pos.X == p.X && v.Pos.Y == p.Y && v.Pos.Z == p.Z) return true;
  }
  return false;
}

// A 12 x 12 grid of unit squares in z = 0 without its middle 4 x 4, each
// square cut into two triangles.
std::string SheetWithHole() {
  gen::GenMesh m;
  for (int y = 0; y <= 12; ++y) {
    for (int x = 0; x <= 12; ++x) m.AddVertex(x, y, 0);
  }
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 12; ++x) {
      if (x >= 4 && x < 8 && y >= 4 && y < 8) continue;
      const uint32_t a = static_cast<uint32_t>(y * 13 + x);
      m.AddFace({a, a + 1, a + 14});
      m.AddFace({a, a + 14, a + 13});
    }
  }
  return gen::PlainObj(m);
}

TEST(RefinedGuards, HoleKeepsItsCornersAndOutlineInThePlane) {
  const Simplified s = Refine(SheetWithHole(), 0.05);
  EXPECT_LT(LiveFaces(s.result), LiveFaces(s.loaded) / 4);
  EXPECT_EQ(test::SurfaceFault(s.loaded, s.result), "");
  // The outline's corners, outer and inner, stay where they were; every
  // vertex stays in the sheet's plane; and the area within the outline is
  // the same, so the outline did not move.
  for (size_t i : {0u, 12u, 156u, 168u, 56u, 60u, 108u, 112u}) {
    EXPECT_TRUE(HasVertexAt(s.result, s.loaded.DietVerts[i].Pos)) << "corner " << i;
  }
  for (const TDietVertex& v : s.result.DietVerts) {
    if (v.Used) {
      EXPECT_NEAR(v.Pos.Z, s.loaded.DietVerts[0].Pos.Z, 1e-12);
    }
  }
  EXPECT_NEAR(AreaFromAbove(s.result), AreaFromAbove(s.loaded), 1e-9);
}

// A flat grid whose inner points are pushed about, so that many triangles
// are thin and every contraction in the plane costs nothing: the cheapest
// contractions, taken blindly, turn faces over.
std::string JumbledGrid() {
  gen::GenMesh m;
  gen::Rng rng(7);
  for (int y = 0; y <= 10; ++y) {
    for (int x = 0; x <= 10; ++x) {
      const bool inner = x > 0 && x < 10 && y > 0 && y < 10;
      m.AddVertex(x + (inner ? rng.Range(-0.45, 0.45) : 0),
                  y + (inner ? rng.Range(-0.45, 0.45) : 0), 0);
    }
  }
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) {
      const uint32_t a = static_cast<uint32_t>(y * 11 + x);
      m.AddFace({a, a + 1, a + 12});
      m.AddFace({a, a + 12, a + 11});
    }
  }
  return gen::PlainObj(m);
}

TEST(RefinedGuards, ContractionsThatWouldTurnFacesOverAreRefused) {
  const std::string text = JumbledGrid();
  // The classic method, which has no such guard, does turn faces over here.
  DietMesh classic;
  LoadDietMeshText(text, "test.obj", classic);
  const DietMesh loaded = classic;
  SilentProgress silent;
  AnalyzeVertices(classic, silent);
  AnalyzePairs(classic, silent);
  ContractMesh(classic, 0.2, silent, SimplifyMethod::kClassic);
  ASSERT_NE(test::SurfaceFault(loaded, classic), "");

  const Simplified s = Refine(text, 0.2);
  EXPECT_EQ(test::SurfaceFault(s.loaded, s.result), "");
  EXPECT_LE(LiveFaces(s.result), LiveFaces(s.loaded) / 5 + 1);
  EXPECT_NEAR(AreaFromAbove(s.result), AreaFromAbove(s.loaded), 1e-9);
}

// A merge that the guard refused comes back when a contraction changes its
// ends or the faces around them, and only stays blocked while it would be
// refused again: at the end of a run on a rough surface, where hundreds of
// pairs are left blocked, every one of them is still refused as it stands.
TEST(RefinedGuards, PairsLeftBlockedAreStillRefused) {
  const Simplified s = Refine(gen::PlainObj(gen::Torus(5, 96, 64, 0.3, false)), 0.1);
  const DietRun loaded = RunFromTables(s.loaded);
  DietRun run = RunFromTables(s.result);
  SilentProgress silent;
  Heartbeat heartbeat(silent);
  const VertexAdjacency adjacency = test::FacesOfVertices(run, heartbeat);
  BorderKinds kinds;
  kinds.Start(run, adjacency, nullptr, heartbeat);  // closed: no border planes
  ContractionGuard guard;
  guard.Start(loaded, heartbeat);  // the faces' directions as loaded
  int blocked = 0;
  for (const TDietPair& p : s.result.DietPairs) {
    if (!p.Active || p.Cost != std::numeric_limits<double>::max()) continue;
    RefinedPrice price;
    PriceRefined(run, adjacency, kinds, nullptr, p.VertLo, p.VertHi, price);
    if (!price.allowed) continue;
    ++blocked;
    EXPECT_FALSE(guard.MayContract(run, adjacency, p.VertLo, p.VertHi, price.pos))
        << p.VertLo << "-" << p.VertHi;
  }
  EXPECT_GT(blocked, 100);
}

// A scan's noise at its finest: one vertex of a flat 5 x 5 grid stands a
// unit above it, so that its six triangles lean 45 to 55 degrees from the
// surface they stand for. Merging it with a neighbour into the plane turns
// them that far from how they were loaded, and the merge must not be refused
// for it: the faces around their corners face the plane.
TEST(RefinedGuards, ANoisySpikeMayBeMergedIntoTheSurface) {
  gen::GenMesh m;
  for (int y = 0; y <= 4; ++y) {
    for (int x = 0; x <= 4; ++x) m.AddVertex(x, y, x == 2 && y == 2 ? 1 : 0);
  }
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      const uint32_t a = static_cast<uint32_t>(y * 5 + x);
      m.AddFace({a, a + 1, a + 6});
      m.AddFace({a, a + 6, a + 5});
    }
  }
  DietMesh tables;
  LoadDietMeshText(gen::PlainObj(m), "test.obj", tables);
  const DietRun run = RunFromTables(tables);
  SilentProgress silent;
  Heartbeat heartbeat(silent);
  const VertexAdjacency adjacency = test::FacesOfVertices(run, heartbeat);
  ContractionGuard guard;
  guard.Start(run, heartbeat);
  const TDietVec& spike = run.pos[12];
  const TDietVec& below = run.pos[7];  // (2, 1, 0)
  const TDietVec pos{spike.X, (spike.Y + below.Y) / 2, below.Z};
  EXPECT_TRUE(guard.MayContract(run, adjacency, 7, 12, pos));
  // Turned over, the same faces are still refused.
  const TDietVec under{pos.X, pos.Y, below.Z - 2 * (spike.Z - below.Z)};
  EXPECT_FALSE(guard.MayContract(run, adjacency, 7, 12, under));
}

// Two square sheets at right angles, touching at one corner only.
TEST(RefinedGuards, SheetsTouchingAtOneVertexAreNotJoined) {
  gen::GenMesh m;
  for (int sheet = 0; sheet < 2; ++sheet) {
    const uint32_t base = static_cast<uint32_t>(m.VertexCount());
    for (int v = 0; v <= 6; ++v) {
      for (int u = 0; u <= 6; ++u) {
        // Sheet 0 in z = 0 ending at (6, 6, 0); sheet 1 in x = 6 from there.
        if (sheet == 0) m.AddVertex(u, v, 0);
        if (sheet == 1) m.AddVertex(6, 6 + u, v);
      }
    }
    for (int v = 0; v < 6; ++v) {
      for (int u = 0; u < 6; ++u) {
        const uint32_t a = base + static_cast<uint32_t>(v * 7 + u);
        m.AddFace({a, a + 1, a + 8});
        m.AddFace({a, a + 8, a + 7});
      }
    }
  }
  const Simplified s = Refine(gen::PlainObj(m), 0.05);
  EXPECT_EQ(test::SurfaceFault(s.loaded, s.result), "");
  // The shared corner was welded into one vertex; every face keeps to one
  // sheet: the first lies in its plane up to the corner's y, the second in
  // its plane from there.
  const TDietVec& shared = s.loaded.DietVerts[48].Pos;
  const auto first = [&](const TDietVec& p) {
    return std::fabs(p.Z - shared.Z) < 1e-9 && p.Y <= shared.Y + 1e-9;
  };
  const auto second = [&](const TDietVec& p) {
    return std::fabs(p.X - shared.X) < 1e-9 && p.Y >= shared.Y - 1e-9;
  };
  for (const TDietFace& f : s.result.DietFaces) {
    if (!f.Alive) continue;
    int in_first = 0, in_second = 0;
    for (int c = 0; c < 3; ++c) {
      const TDietVec& p = s.result.DietVerts[static_cast<size_t>(f.Verts[c])].Pos;
      in_first += first(p) ? 1 : 0;
      in_second += second(p) ? 1 : 0;
    }
    EXPECT_TRUE(in_first == 3 || in_second == 3);
  }
  EXPECT_TRUE(HasVertexAt(s.result, shared));
}

TEST(RefinedGuards, CubeKeepsItsEightCorners) {
  gen::GenMesh m;
  // Each side of the cube [-1, 1]^3 as a 6 x 6 grid; shared edges welded by
  // the loader.
  const int n = 6;
  for (int axis = 0; axis < 3; ++axis) {
    for (const double side : {-1.0, 1.0}) {
      const uint32_t base = static_cast<uint32_t>(m.VertexCount());
      for (int j = 0; j <= n; ++j) {
        for (int i = 0; i <= n; ++i) {
          double p[3];
          p[axis] = side;
          p[(axis + 1) % 3] = -1 + 2.0 * i / n;
          p[(axis + 2) % 3] = -1 + 2.0 * j / n;
          m.AddVertex(p[0], p[1], p[2]);
        }
      }
      for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
          const uint32_t a = base + static_cast<uint32_t>(j * (n + 1) + i);
          // Outward on both sides: the winding follows the side's sign.
          if (side > 0) {
            m.AddFace({a, a + 1, a + n + 2, a + n + 1});
          } else {
            m.AddFace({a, a + n + 1, a + n + 2, a + 1});
          }
        }
      }
    }
  }
  const Simplified s = Refine(gen::PlainObj(m), 0.5);
  EXPECT_EQ(test::SurfaceFault(s.loaded, s.result), "");
  EXPECT_LE(LiveFaces(s.result), LiveFaces(s.loaded) / 2 + 1);
  int corners = 0;
  for (const TDietVertex& v : s.loaded.DietVerts) {
    if (std::fabs(std::fabs(v.Pos.X) - 1) < 1e-12 && std::fabs(std::fabs(v.Pos.Y) - 1) < 1e-12 &&
        std::fabs(std::fabs(v.Pos.Z) - 1) < 1e-12 && v.Used) {
      ++corners;
      EXPECT_TRUE(HasVertexAt(s.result, v.Pos));
    }
  }
  EXPECT_EQ(corners, 8);
}

// The kinds are worked out on two threads, in chunks of vertices: on a sheet
// of several chunks every vertex of the outline takes the planes of its open
// edges, and no vertex inside takes any, whichever thread found it; and the
// quadrics' sums are the same every time.
TEST(RefinedGuards, OutlinePlanesOfASheetOfManyChunks) {
  constexpr int kSide = 300;  // 301 x 301 vertices: several chunks
  const gen::GenMesh grid = gen::FlatGrid(1, kSide, kSide);
  DietMesh mesh;
  LoadDietMeshText(gen::PlainObj(grid), "grid.obj", mesh);
  const auto started = [&] {
    DietRun run = RunFromTables(mesh);
    SilentProgress silent;
    Heartbeat heartbeat(silent);
    AnalyzeVertices(run, silent);
    const VertexAdjacency adjacency = test::FacesOfVertices(run, heartbeat);
    std::vector<TDietMatrix> before(run.q.begin(), run.q.begin() + run.VertexCount());
    BorderKinds kinds;
    kinds.Start(run, adjacency, nullptr, heartbeat);
    return std::make_pair(before, run.q);
  };
  const auto [before, after] = started();
  ASSERT_EQ(before.size(), grid.VertexCount());
  const auto same = [](const TDietMatrix& a, const TDietMatrix& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
  };
  int outline = 0;
  for (size_t v = 0; v < before.size(); ++v) {
    const double x = grid.xyz[3 * v], y = grid.xyz[3 * v + 1];
    const bool on_outline = x == 0 || y == 0 || x == kSide || y == kSide;
    outline += on_outline ? 1 : 0;
    EXPECT_EQ(same(before[v], after[v]), !on_outline) << "vertex " << v;
  }
  EXPECT_EQ(outline, 4 * kSide);
  for (int again = 0; again < 2; ++again) {
    const auto [b, a] = started();
    for (size_t v = 0; v < before.size(); ++v) ASSERT_TRUE(same(a[v], after[v])) << v;
  }
}

}  // namespace
}  // namespace zelfin
