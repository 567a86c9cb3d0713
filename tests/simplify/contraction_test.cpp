#include "simplify/diet_contraction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "core_test_util.h"
#include "platform/heartbeat.h"
#include "platform/numbers.h"
#include "simplify/diet_analysis.h"
#include "simplify/diet_geometry.h"
#include "simplify/diet_guards.h"
#include "simplify/diet_tables.h"
#include "simplify/surface_deviation.h"
#include "support/recording_sink.h"

namespace zelfin {
namespace {

using test::Face;
using test::MakeMesh;
using test::RecordingSink;

DietMesh Prepared(DietMesh m) {
  SilentProgress silent;
  AnalyzeVertices(m, silent);
  AnalyzePairs(m, silent);
  return m;
}

DietMesh Torus(int nu, int nv) {
  std::vector<TDietVec> pos;
  for (int i = 0; i < nu; ++i) {
    for (int j = 0; j < nv; ++j) {
      const double u = 2 * M_PI * i / nu, v = 2 * M_PI * j / nv;
      const double r = 0.6 + 0.25 * std::cos(v) + 0.01 * ((i * 7 + j * 3) % 5);
      pos.push_back({r * std::cos(u), r * std::sin(u), 0.25 * std::sin(v)});
    }
  }
  std::vector<std::array<int32_t, 3>> tris;
  auto at = [&](int i, int j) { return static_cast<int32_t>((i % nu) * nv + (j % nv)); };
  for (int i = 0; i < nu; ++i) {
    for (int j = 0; j < nv; ++j) {
      tris.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1)});
      tris.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1)});
    }
  }
  return Prepared(MakeMesh(pos, tris));
}

int AliveFaces(const DietMesh& m) {
  int n = 0;
  for (const TDietFace& f : m.DietFaces) n += f.Alive ? 1 : 0;
  return n;
}

TEST(DietContraction, Target) {
  EXPECT_EQ(ContractionTarget(9, 0.95), 0);
  EXPECT_EQ(ContractionTarget(10, 0.95), 1);  // 0.5000000000000004
  EXPECT_EQ(ContractionTarget(2, 0.5), 1);
  EXPECT_EQ(ContractionTarget(100, 0.05), 95);
  EXPECT_EQ(ContractionTarget(1, 0.5), 0);  // halves go to the even neighbour
  EXPECT_EQ(ContractionTarget(3, 0.5), 2);
  EXPECT_EQ(ContractionTarget(5, 0.5), 2);
  EXPECT_EQ(ContractionTarget(0, 0.05), 0);
}

const std::vector<TDietVec> kDiamond = {{0, 0, 0}, {1, 0, 0.1}, {0, 1, 0.2}, {1, 1, 0.5}};

TEST(DietContraction, SmallMeshes) {
  // Nine faces at 0.95: nothing to do, but the caption still comes.
  DietMesh nine = Prepared(test::Strip(9));
  const DietMesh before = nine;
  RecordingSink sink;
  ContractMesh(nine, 0.95, sink);
  EXPECT_EQ(sink.calls, (std::vector<std::string>{"caption:Surface Simplification...", "msg"}));
  EXPECT_EQ(AliveFaces(nine), 9);

  // A single triangle has no candidate.
  DietMesh one = Prepared(MakeMesh(kDiamond, {{0, 1, 2}}));
  RecordingSink sink1;
  ContractMesh(one, 0.05, sink1);
  EXPECT_EQ(AliveFaces(one), 1);
  EXPECT_EQ(sink1.calls.size(), 2u);

  // Two triangles at 0.5: the shared edge goes and takes both triangles.
  DietMesh two = Prepared(MakeMesh(kDiamond, {{0, 1, 2}, {2, 1, 3}}));
  const TDietPair shared = two.DietPairs[1];
  RecordingSink sink2;
  ContractMesh(two, 0.5, sink2);
  EXPECT_EQ(AliveFaces(two), 0);
  EXPECT_FALSE(two.DietVerts[1].Used);
  EXPECT_TRUE(two.DietVerts[0].Used && two.DietVerts[2].Used && two.DietVerts[3].Used);
  EXPECT_EQ(two.DietVerts[2].Pos.X, shared.Pos.X);
  EXPECT_EQ(two.DietVerts[2].Q.m[0][0], shared.Q.m[0][0]);
  // R = 2 against T = 1: the bar goes past the top.
  EXPECT_EQ(sink2.Positions(), (std::vector<int>{150}));
  EXPECT_EQ(sink2.Count("msg"), 2);
}

TEST(DietContraction, LeastCostThenLowestIndex) {
  // Two separate diamonds; their shared edges are the only candidates.
  std::vector<TDietVec> pts = kDiamond;
  for (const TDietVec& p : kDiamond) pts.push_back({p.X + 3, p.Y, p.Z});
  const DietMesh base = Prepared(MakeMesh(pts, {{0, 1, 2}, {2, 1, 3}, {4, 5, 6}, {6, 5, 7}}));
  int first = -1, second = -1;
  for (size_t i = 0; i < base.DietPairs.size(); ++i) {
    if (!base.DietPairs[i].Active) continue;
    (first < 0 ? first : second) = static_cast<int>(i);
  }
  ASSERT_GE(second, 0);
  auto vanished = [&](double cost_first, double cost_second) {
    DietMesh m = base;
    m.DietPairs[first].Cost = cost_first;
    m.DietPairs[second].Cost = cost_second;
    SilentProgress silent;
    ContractMesh(m, 0.75, silent);  // T = 1
    EXPECT_EQ(AliveFaces(m), 2);
    return m.DietVerts[1].Used ? 5 : 1;
  };
  EXPECT_EQ(vanished(0.25, 0.25), 1);
  EXPECT_EQ(vanished(0.25, 0.24999999), 5);
  EXPECT_EQ(vanished(-1, 0), 1);
  EXPECT_EQ(vanished(0, -0.0), 1);  // equal costs
}

TDietMatrix Scaled(double k) {
  TDietMatrix Q;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) Q.m[r][c] = k * (r == c ? 2 : 0.25) + 0.01 * r;
  }
  return Q;
}

// Hand-made tables: pair 0 joins a = 1 to b = 4 and is the cheapest.
DietMesh RetargetTables(bool existing_first) {
  DietMesh m;
  m.DietVerts.resize(6);
  for (int i = 0; i < 6; ++i) {
    m.DietVerts[i].Used = true;
    m.DietVerts[i].SameAs = i;
    m.DietVerts[i].Pos = {0.1 * i, 0.05 * i * i, -0.2 * i};
    m.DietVerts[i].Q = Scaled(i + 1);
  }
  m.DietFaces = {Face(true, 1, 2, 4), Face(true, 3, 0, 1), Face(false, 4, 1, 2)};
  auto pair = [](bool active, int32_t lo, int32_t hi, double cost) {
    TDietPair p;
    p.Active = active;
    p.VertLo = lo;
    p.VertHi = hi;
    p.Cost = cost;
    p.Pos = {0.5, 0.25, 0.125 * lo};
    p.Q = Scaled(10 * lo + hi);
    return p;
  };
  m.DietPairs = {pair(true, 1, 4, -5),  // contracted
                 pair(true, existing_first ? 2 : 1, existing_first ? 4 : 2, 3),
                 pair(true, existing_first ? 1 : 2, existing_first ? 2 : 4, 4),
                 pair(true, 4, 5, 7),   // (b, d): stays stale
                 pair(false, 1, 3, 1),  // inactive (a, e)
                 pair(true, 0, 1, 6)};  // (c, a) with c < a
  return m;
}

TEST(DietContraction, ContractPairRetargetsInTableOrder) {
  for (bool existing_first : {false, true}) {
    DietMesh m = RetargetTables(existing_first);
    const DietMesh before = m;
    SilentProgress silent;
    ContractMesh(m, 0.5, silent);  // two live faces, T = 1

    EXPECT_FALSE(m.DietVerts[1].Used);
    EXPECT_FALSE(m.DietPairs[0].Active);
    EXPECT_EQ(m.DietVerts[4].Pos.X, before.DietPairs[0].Pos.X);
    EXPECT_EQ(m.DietVerts[4].Q.m[1][2], before.DietPairs[0].Q.m[1][2]);

    // Faces: (1,2,4) collapses; (3,0,1) takes 4; the dead one is untouched.
    EXPECT_FALSE(m.DietFaces[0].Alive);
    EXPECT_TRUE(m.DietFaces[1].Alive);
    EXPECT_EQ(m.DietFaces[1].Verts[2], 4);
    EXPECT_EQ(m.DietFaces[2].Verts[1], 1);

    // (a, 2) becomes (2, 4) at its own index, priced with b's new quadric;
    // the pair that already joined 2 and 4 retires.
    const int moved = existing_first ? 2 : 1;
    const int retired = existing_first ? 1 : 2;
    const TDietPair& p = m.DietPairs[moved];
    EXPECT_TRUE(p.Active);
    EXPECT_EQ(p.VertLo, 2);
    EXPECT_EQ(p.VertHi, 4);
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(p.Q.m[r][c], m.DietVerts[2].Q.m[r][c] + before.DietPairs[0].Q.m[r][c]);
      }
    }
    EXPECT_EQ(p.Cost, QuadricError(p.Q, p.Pos));
    EXPECT_FALSE(m.DietPairs[retired].Active);
    EXPECT_EQ(m.DietPairs[retired].Cost, before.DietPairs[retired].Cost);

    // (b, d) keeps its stale cost; the inactive (a, e) stays as it was.
    EXPECT_TRUE(m.DietPairs[3].Active);
    EXPECT_EQ(m.DietPairs[3].Cost, 7);
    EXPECT_EQ(m.DietPairs[3].Q.m[0][0], before.DietPairs[3].Q.m[0][0]);
    EXPECT_FALSE(m.DietPairs[4].Active);
    EXPECT_EQ(m.DietPairs[4].VertLo, 1);
    EXPECT_EQ(m.DietPairs[4].Cost, 1);

    // (0, a) becomes (0, b).
    EXPECT_TRUE(m.DietPairs[5].Active);
    EXPECT_EQ(m.DietPairs[5].VertLo, 0);
    EXPECT_EQ(m.DietPairs[5].VertHi, 4);
    EXPECT_NE(m.DietPairs[5].Cost, 6);
  }
}

TEST(DietContraction, ContractionWithoutSharedTriangleGoesOn) {
  // The cheapest candidate joins two vertices that share no live triangle:
  // it removes nothing, and the loop takes the next one.
  DietMesh m = Prepared(MakeMesh(kDiamond, {{0, 1, 2}, {2, 1, 3}}));
  TDietPair extra = m.DietPairs[0];
  extra.Active = true;
  extra.VertLo = 0;
  extra.VertHi = 3;
  extra.Cost = -100;
  m.DietPairs.push_back(extra);
  SilentProgress silent;
  ContractMesh(m, 0.5, silent);
  EXPECT_FALSE(m.DietVerts[0].Used);
  EXPECT_EQ(AliveFaces(m), 0);
  int unused = 0;
  for (const TDietVertex& v : m.DietVerts) unused += v.Used ? 0 : 1;
  EXPECT_EQ(unused, 2);
}

TEST(DietContraction, InvariantsAndEarlyEnd) {
  for (double keep : {0.95, 0.5, 0.05}) {
    DietMesh m = Torus(12, 8);
    SilentProgress silent;
    ContractMesh(m, keep, silent);
    const int64_t T = ContractionTarget(192, keep);
    const int removed = 192 - AliveFaces(m);
    bool any_active = false;
    for (size_t i = 0; i < m.DietPairs.size(); ++i) {
      const TDietPair& p = m.DietPairs[i];
      if (!p.Active) continue;
      any_active = true;
      ASSERT_LT(p.VertLo, p.VertHi);
      ASSERT_TRUE(m.DietVerts[p.VertLo].Used && m.DietVerts[p.VertHi].Used);
      for (size_t k = i + 1; k < m.DietPairs.size(); ++k) {
        const TDietPair& q = m.DietPairs[k];
        ASSERT_FALSE(q.Active && q.VertLo == p.VertLo && q.VertHi == p.VertHi);
      }
    }
    for (const TDietFace& f : m.DietFaces) {
      if (!f.Alive) continue;
      for (int c = 0; c < 3; ++c) ASSERT_TRUE(m.DietVerts[f.Verts[c]].Used);
      ASSERT_TRUE(f.Verts[0] != f.Verts[1] && f.Verts[1] != f.Verts[2] && f.Verts[0] != f.Verts[2]);
    }
    // Either the target was reached, or no candidate was left.
    EXPECT_TRUE(removed >= T || !any_active) << keep;
  }
}

// Records every call, and the removed-triangle count at every bar position.
struct CountingSink {
  CountingSink(const DietMesh& mesh, int faces) {
    sink.on_call = [this, &mesh, faces](const std::string& call) {
      if (call.rfind("pos:", 0) == 0) removed.push_back(faces - AliveFaces(mesh));
    };
  }
  RecordingSink sink;
  std::vector<int> removed;
};

TEST(DietContraction, ProgressMarks) {
  {
    // T = 20: the step 1 is below 2, so the only mark is at R >= 20.
    DietMesh m = Torus(10, 10);
    CountingSink counting(m, 200);
    ContractMesh(m, 0.9, counting.sink);
    const std::vector<int> positions = counting.sink.Positions();
    ASSERT_EQ(positions.size(), 1u);
    EXPECT_GE(counting.removed[0], 20);
    EXPECT_EQ(positions[0], RoundHalfEven(counting.removed[0] / 20.0 * 50 + 50));
    EXPECT_EQ(counting.sink.Count("msg"), 2);
  }
  {
    // T = 40 (0.9 of 400 leaves 39.99999999999999 to remove): step 2.
    DietMesh m = Torus(20, 10);
    CountingSink counting(m, 400);
    ContractMesh(m, 0.9, counting.sink);
    const std::vector<int> positions = counting.sink.Positions();
    ASSERT_FALSE(positions.empty());
    EXPECT_LE(positions.size(), 20u);
    int mark = 2;
    for (size_t k = 0; k < positions.size(); ++k) {
      EXPECT_GE(counting.removed[k], mark);
      EXPECT_EQ(positions[k], RoundHalfEven(counting.removed[k] / 40.0 * 50 + 50));
      mark += 2;
    }
    EXPECT_GE(counting.removed.back(), 40);
    EXPECT_EQ(counting.sink.Count("msg"), 1 + static_cast<int>(positions.size()));
  }
}

// Blocks made ready ahead change nothing.
TEST(DietContraction, BlocksPreparedAheadGiveTheSameRun) {
  const DietMesh m = Prepared(Torus(12, 10));
  SilentProgress silent;
  for (const SimplifyMethod method : {SimplifyMethod::kClassic, SimplifyMethod::kRefined}) {
    const auto contracted = [&](VertexAdjacency adjacency) {
      DietRun run = RunFromTables(m);
      ContractMesh(run, 0.3, method, silent, nullptr, kNoBudget, std::move(adjacency));
      return run.faces;
    };
    Heartbeat heartbeat(silent);
    VertexAdjacency ahead;
    ahead.Prepare(m.DietVerts.size(), &heartbeat);
    EXPECT_EQ(contracted(std::move(ahead)), contracted({}));
  }
}

// Lists built on prepared blocks, or again on blocks used before, hold the
// entries of that build alone.
TEST(VertexAdjacency, EveryBuildStartsFromEmptyBlocks) {
  SilentProgress silent;
  Heartbeat heartbeat(silent);
  const auto build = [&](VertexAdjacency& adjacency, int32_t shift) {
    // Vertex 1 gets more entries than a block holds: its lists spill.
    const auto faces = [&](auto&& emit) {
      for (int32_t j = 0; j < 30; ++j) emit(j % 3 == 0 ? 1 : (j + shift) % 4, j);
    };
    const auto pairs = [&](auto&& emit) {
      emit(0, 10 + shift);
      emit(1, 11 + shift);
    };
    adjacency.Build(4, faces, pairs, heartbeat);
  };
  const auto lists = [](const VertexAdjacency& adjacency) {
    std::vector<std::vector<int32_t>> out;
    for (int32_t v = 0; v < 4; ++v) {
      const auto f = adjacency.Faces(v), p = adjacency.Pairs(v);
      out.emplace_back(f.begin(), f.end());
      out.back().push_back(-1);
      out.back().insert(out.back().end(), p.begin(), p.end());
    }
    return out;
  };
  VertexAdjacency fresh, ahead, again;
  build(fresh, 1);
  ahead.Prepare(4, &heartbeat);
  build(ahead, 1);
  build(again, 0);
  build(again, 1);
  EXPECT_EQ(lists(ahead), lists(fresh));
  EXPECT_EQ(lists(again), lists(fresh));
  EXPECT_EQ(lists(fresh)[1].size(), 15u + 1 + 1);  // 15 faces, the mark, 1 pair
}

// The drift of a merge stops searching faces once a distance is within the
// limit; whether it passes the limit, and its value when it does, must be
// those of the whole search: the largest over the ends (and the merged
// place, when it lies further than the limit from both) of the least
// squared distance to the faces.
// A guard started on the mesh of these places and triangles.
struct GuardedMesh {
  GuardedMesh(const std::vector<TDietVec>& pos, const std::vector<std::array<int32_t, 3>>& tris)
      : run(RunFromTables(MakeMesh(pos, tris))),
        heartbeat(silent),
        adjacency(test::FacesOfVertices(run, heartbeat)) {
    guard.Start(run, heartbeat);
  }
  DietRun run;
  SilentProgress silent;
  Heartbeat heartbeat;
  VertexAdjacency adjacency;
  ContractionGuard guard;
};

TEST(ContractionGuard, DriftIsThatOfTheWholeSearch) {
  // The edge a-b inside a ring of eight; b raised, as at the tip of a spike.
  const std::vector<TDietVec> pos = {{0, 0, 0},      {1, 0, 0.4},    {-1, 0, 0}, {-0.5, -1, 0},
                                     {0.5, -1.1, 0}, {1.6, -0.9, 0}, {2, 0, 0},  {1.5, 1, 0},
                                     {0.5, 1.2, 0},  {-0.5, 1, 0}};
  const std::vector<std::array<int32_t, 3>> tris = {{0, 2, 3}, {0, 3, 4}, {0, 4, 1}, {0, 1, 8},
                                                    {0, 8, 9}, {0, 9, 2}, {1, 4, 5}, {1, 5, 6},
                                                    {1, 6, 7}, {1, 7, 8}};
  GuardedMesh m(pos, tris);
  const DietRun& run = m.run;
  const VertexAdjacency& adjacency = m.adjacency;
  ContractionGuard& guard = m.guard;
  const auto at = [&](int32_t v) { return run.pos[static_cast<size_t>(v)]; };
  // The least squared distance from p to the faces of a or b, those on the
  // edge left out when moved says the ends stand at q.
  const auto least = [&](const TDietVec& p, bool moved, const TDietVec& q) {
    double d = std::numeric_limits<double>::infinity();
    for (const FaceCorners& f : run.faces) {
      const bool has_a = FaceHolds(f, 0), has_b = FaceHolds(f, 1);
      if (!(has_a || has_b) || (moved && has_a && has_b)) continue;
      double c[3][3];
      for (int k = 0; k < 3; ++k) {
        const TDietVec x =
            moved && f[static_cast<size_t>(k)] <= 1 ? q : at(f[static_cast<size_t>(k)]);
        c[k][0] = x.X, c[k][1] = x.Y, c[k][2] = x.Z;
      }
      const double pp[3] = {p.X, p.Y, p.Z};
      d = std::min(d, PointTriangleDistance2(pp, c[0], c[1], c[2]));
    }
    return d;
  };
  int beyond = 0;
  for (const double t : {0.0, 0.3, 0.5, 0.8, 1.0}) {
    const TDietVec a = at(0), b = at(1);
    const TDietVec q{a.X + t * (b.X - a.X), a.Y + t * (b.Y - a.Y), a.Z + t * (b.Z - a.Z)};
    ASSERT_TRUE(guard.MayContract(run, adjacency, 0, 1, q)) << t;
    for (const double limit : {1e-4, 0.01, 0.05, 0.1, 1.0}) {
      double whole = std::max(least(at(0), true, q), least(at(1), true, q));
      if (std::min(VecSqLen(VecSub(q, at(0))), VecSqLen(VecSub(q, at(1)))) > limit) {
        whole = std::max(whole, least(q, false, q));
      }
      double drift = -1;
      const bool passes = guard.DriftsBeyond(run, 0, 1, q, limit, drift);
      EXPECT_EQ(passes, whole > limit) << t << " " << limit;
      if (passes) {
        EXPECT_EQ(drift, whole) << t << " " << limit;
        ++beyond;
      }
    }
  }
  EXPECT_GT(beyond, 3);  // the case that matters is met
}

TEST(ContractionGuard, NoEdgeOfATetrahedronMerges) {
  // Each edge's ends share only its third corners, and every merge would lay
  // the two remaining faces on the same three corners.
  const std::vector<TDietVec> pos = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
  const std::vector<std::array<int32_t, 3>> tris = {{0, 1, 2}, {0, 3, 1}, {0, 2, 3}, {1, 3, 2}};
  GuardedMesh m(pos, tris);
  const DietRun& run = m.run;
  const VertexAdjacency& adjacency = m.adjacency;
  ContractionGuard& guard = m.guard;
  for (int32_t a = 0; a < 4; ++a) {
    for (int32_t b = a + 1; b < 4; ++b) {
      const TDietVec& pa = run.pos[static_cast<size_t>(a)];
      const TDietVec& pb = run.pos[static_cast<size_t>(b)];
      const TDietVec mid{(pa.X + pb.X) / 2, (pa.Y + pb.Y) / 2, (pa.Z + pb.Z) / 2};
      EXPECT_FALSE(guard.MayContract(run, adjacency, a, b, mid)) << a << "-" << b;
      EXPECT_EQ(guard.RefusedFace(), -1);  // no face to blame
    }
  }
}

}  // namespace
}  // namespace zelfin
