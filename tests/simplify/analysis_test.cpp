#include "simplify/diet_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "core_test_util.h"
#include "simplify/diet_geometry.h"
#include "simplify/diet_loader.h"
#include "simplify/diet_pair_costs.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

using test::MakeMesh;
using test::RecordingSink;
using test::Strip;
using test::TempDir;

DietMesh Analysed(const std::string& obj) {
  TempDir dir;
  DietMesh mesh;
  LoadDietMesh(dir.Write("m.obj", obj), mesh);
  SilentProgress silent;
  AnalyzeVertices(mesh, silent);
  return mesh;
}

bool IsZero(const TDietMatrix& Q) {
  for (const auto& row : Q.m) {
    for (double x : row) {
      if (x != 0) return false;
    }
  }
  return true;
}

TEST(DietVertexAnalysis, FlatTriangleQuadric) {
  // Flat in z: the loader puts it at z0 = -0.5; the area there is 2.
  const DietMesh m = Analysed("v 0 0 0\nv 2 0 0\nv 0 2 0\nf 1 2 3\n");
  ASSERT_EQ(m.DietFaces[0].Area, 2);
  for (const TDietVertex& v : m.DietVerts) {
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) {
        double want = 0;
        if (r == 2 && c == 2) want = 2;
        if ((r == 2 && c == 3) || (r == 3 && c == 2)) want = 2 * 0.5;  // -A z0
        if (r == 3 && c == 3) want = 2 * 0.25;                         // A z0^2
        EXPECT_EQ(v.Q.m[r][c], want) << r << "," << c;
      }
    }
  }
}

TEST(DietVertexAnalysis, SumsTheLiveTrianglesOfEachUsedVertex) {
  // Two triangles in one plane; vertex 4 is unused, vertex 5 a welded copy,
  // and the collinear triangle (0, 6, 1) adds nothing.
  DietMesh m = Analysed(
      "v 0 0 0\nv 2 0 0\nv 0 2 0\nv 2 2 0\nv 1 1 0\nv 2 0 0\nv 1 0 0\n"
      "f 1 2 3\nf 2 4 3\nf 1 7 2\n");
  ASSERT_EQ(m.DietFaces.size(), 3u);
  EXPECT_EQ(m.DietVerts[0].Q.m[2][2], 2);
  EXPECT_EQ(m.DietVerts[1].Q.m[2][2], 4);
  EXPECT_EQ(m.DietVerts[2].Q.m[3][3], 1);
  EXPECT_EQ(m.DietVerts[3].Q.m[2][3], 1);
  EXPECT_TRUE(IsZero(m.DietVerts[4].Q));
  EXPECT_TRUE(IsZero(m.DietVerts[5].Q));
  EXPECT_TRUE(m.DietVerts[6].Used);
  EXPECT_TRUE(IsZero(m.DietVerts[6].Q));

  // A dead triangle no longer counts; stale quadrics are overwritten.
  m.DietFaces[1].Alive = false;
  m.DietVerts[4].Q.m[1][1] = 9;
  SilentProgress silent;
  AnalyzeVertices(m, silent);
  EXPECT_EQ(m.DietVerts[1].Q.m[2][2], 2);
  EXPECT_TRUE(IsZero(m.DietVerts[3].Q));
  EXPECT_TRUE(IsZero(m.DietVerts[4].Q));
}

TEST(DietVertexAnalysis, QuadricIsNotForcedSymmetric) {
  // (A p[r]) p[c] and (A p[c]) p[r] may round apart; both orders are kept.
  std::mt19937_64 rng(2);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int t = 0; t < 200; ++t) {
    DietMesh m =
        MakeMesh({{u(rng), u(rng), u(rng)}, {u(rng), u(rng), u(rng)}, {u(rng), u(rng), u(rng)}},
                 {{0, 1, 2}});
    SilentProgress silent;
    AnalyzeVertices(m, silent);
    const TDietFace& f = m.DietFaces[0];
    const TDietVec& N = f.Normal;
    const TDietVec& P0 = m.DietVerts[0].Pos;
    const double p[4] = {N.X, N.Y, N.Z, -(N.X * P0.X + N.Y * P0.Y + N.Z * P0.Z)};
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) {
        const double want = (f.Area * p[r]) * p[c];
        ASSERT_EQ(m.DietVerts[2].Q.m[r][c], want);
      }
    }
  }
}

std::vector<TDietVec> Points(int n) {
  std::vector<TDietVec> pts;
  for (int i = 0; i < n; ++i) pts.push_back({i / 100.0, (i % 7) / 10.0, (i % 3) / 10.0});
  return pts;
}

TEST(DietVertexAnalysis, ProgressMarks) {
  auto marks = [](int n) {
    DietMesh m = MakeMesh(Points(n), {});
    RecordingSink sink;
    AnalyzeVertices(m, sink);
    EXPECT_EQ(sink.Count("msg"), static_cast<int>(sink.Positions().size()));
    return sink.Positions();
  };
  EXPECT_TRUE(marks(0).empty());
  EXPECT_TRUE(marks(10).empty());  // 10 / 20 rounds to the even 0: the step is 10
  EXPECT_EQ(marks(11), (std::vector<int>{2, 5, 7, 9, 11, 14, 16, 18, 20, 23}));
  EXPECT_EQ(marks(20).size(), 19u);
  EXPECT_EQ(marks(40), (std::vector<int>{1, 2, 4, 5, 6, 8, 9, 10, 11, 12, 14, 15, 16, 18, 19, 20,
                                         21, 22, 24}));
}

std::vector<std::pair<int32_t, int32_t>> Ends(const DietMesh& m) {
  std::vector<std::pair<int32_t, int32_t>> out;
  for (const TDietPair& p : m.DietPairs) out.push_back({p.VertLo, p.VertHi});
  return out;
}

std::vector<bool> ActiveFlags(const DietMesh& m) {
  std::vector<bool> out;
  for (const TDietPair& p : m.DietPairs) out.push_back(p.Active);
  return out;
}

DietMesh Paired(const std::vector<TDietVec>& pos, const std::vector<std::array<int32_t, 3>>& t) {
  DietMesh m = MakeMesh(pos, t);
  SilentProgress silent;
  AnalyzeVertices(m, silent);
  m.DietPairs.resize(2);  // stale entries of an earlier run
  AnalyzePairs(m, silent);
  return m;
}

const std::vector<TDietVec> kQuadPoints = {
    {0, 0, 0}, {1, 0, 0.1}, {0, 1, 0.2}, {1, 1, 0.5}, {0.5, 0.5, 1}};

TEST(DietPairAnalysis, TableOrderAndCandidates) {
  DietMesh one = Paired(kQuadPoints, {{2, 0, 1}});
  EXPECT_EQ(Ends(one), (std::vector<std::pair<int32_t, int32_t>>{{0, 2}, {0, 1}, {1, 2}}));
  EXPECT_EQ(ActiveFlags(one), (std::vector<bool>{false, false, false}));

  // The shared edge is met as 1->2 and as 2->1: one entry, the only candidate.
  DietMesh two = Paired(kQuadPoints, {{0, 1, 2}, {2, 1, 3}});
  EXPECT_EQ(Ends(two),
            (std::vector<std::pair<int32_t, int32_t>>{{0, 1}, {1, 2}, {0, 2}, {1, 3}, {2, 3}}));
  EXPECT_EQ(ActiveFlags(two), (std::vector<bool>{false, true, false, false, false}));

  // An edge of three triangles is one candidate entry.
  DietMesh fin = Paired(kQuadPoints, {{0, 1, 2}, {2, 1, 3}, {1, 2, 4}});
  EXPECT_EQ(fin.DietPairs.size(), 7u);
  EXPECT_TRUE(fin.DietPairs[1].Active);

  // A closed surface: every distinct edge once, all of them candidates.
  DietMesh tetra = Paired(kQuadPoints, {{0, 1, 2}, {0, 3, 1}, {1, 3, 2}, {2, 3, 0}});
  EXPECT_EQ(tetra.DietPairs.size(), 6u);
  for (const TDietPair& p : tetra.DietPairs) EXPECT_TRUE(p.Active);

  RecordingSink sink;
  DietMesh empty;
  AnalyzePairs(empty, sink);
  EXPECT_TRUE(empty.DietPairs.empty());
  EXPECT_TRUE(sink.calls.empty());
}

TEST(DietPairAnalysis, PairValues) {
  DietMesh two = Paired(kQuadPoints, {{0, 1, 2}, {2, 1, 3}});
  for (size_t i = 0; i < two.DietPairs.size(); ++i) {
    const TDietPair& p = two.DietPairs[i];
    const TDietVertex& a = two.DietVerts[p.VertLo];
    const TDietVertex& b = two.DietVerts[p.VertHi];
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) ASSERT_EQ(p.Q.m[r][c], a.Q.m[r][c] + b.Q.m[r][c]);
    }
    TDietVec opt;
    if (!OptimalPosition(p.Q, opt)) {
      EXPECT_EQ(p.Pos.X, (b.Pos.X + a.Pos.X) / 2);
      EXPECT_EQ(p.Pos.Y, (b.Pos.Y + a.Pos.Y) / 2);
      EXPECT_EQ(p.Pos.Z, (b.Pos.Z + a.Pos.Z) / 2);
    } else {
      EXPECT_EQ(p.Pos.X, opt.X);
    }
    EXPECT_EQ(p.Cost, QuadricError(p.Q, p.Pos));
  }

  // Two triangles of one plane: singular, so the midpoint, at no cost.
  DietMesh flat =
      Paired({{0, 0, 0.5}, {1, 0, 0.5}, {0, 1, 0.5}, {1, 1, 0.5}}, {{0, 1, 2}, {2, 1, 3}});
  const TDietPair& shared = flat.DietPairs[1];
  EXPECT_EQ(shared.Pos.X, 0.5);
  EXPECT_EQ(shared.Pos.Y, 0.5);
  EXPECT_EQ(shared.Pos.Z, 0.5);
  EXPECT_NEAR(shared.Cost, 0, 1e-15);
}

TDietMatrix PlaneSum(const std::vector<std::array<double, 4>>& planes, double weight) {
  TDietMatrix Q;
  for (const auto& p : planes) {
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) Q.m[r][c] += weight * p[r] * p[c];
    }
  }
  return Q;
}

TEST(DietPairAnalysis, OptimalPositionAndError) {
  const std::vector<std::array<double, 4>> corner = {
      {1, 0, 0, -0.25}, {0, 1, 0, 0.5}, {0, 0, 1, -0.75}};
  TDietVec pos{9, 9, 9};
  ASSERT_TRUE(OptimalPosition(PlaneSum(corner, 1), pos));
  EXPECT_EQ(pos.X, 0.25);
  EXPECT_EQ(pos.Y, -0.5);
  EXPECT_EQ(pos.Z, 0.75);
  EXPECT_EQ(QuadricError(PlaneSum(corner, 1), pos), 0);
  EXPECT_EQ(QuadricError(PlaneSum(corner, 1), {0.25, -0.5, 1.75}), 1);

  // The threshold is absolute: tiny weights make the system singular.
  pos = {9, 9, 9};
  EXPECT_FALSE(OptimalPosition(PlaneSum(corner, 1e-7), pos));
  EXPECT_EQ(pos.X, 9);

  // The shortcut to the last row of the inverse gives the inverse's bits.
  std::mt19937_64 gen(8);
  std::uniform_real_distribution<double> w(-1, 1);
  for (int t = 0; t < 2000; ++t) {
    TDietMatrix Q;
    for (auto& row : Q.m) {
      for (double& x : row) x = t % 3 == 0 ? std::round(w(gen) * 4) / 4 : w(gen);
    }
    TDietMatrix W = Q, Inv;
    W.m[0][3] = W.m[1][3] = W.m[2][3] = 0;
    W.m[3][3] = 1;
    const bool inverted = MatInverse(W, Inv);
    ASSERT_EQ(OptimalPosition(Q, pos), inverted);
    if (!inverted) continue;
    ASSERT_EQ(pos.X, Inv.m[3][0]);
    ASSERT_EQ(pos.Y, Inv.m[3][1]);
    ASSERT_EQ(pos.Z, Inv.m[3][2]);
    ASSERT_EQ(std::signbit(pos.X), std::signbit(Inv.m[3][0]));
  }

  // Any matrix, symmetric or not: (x, y, z, 1) Q (x, y, z, 1)^T.
  std::mt19937_64 rng(4);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int t = 0; t < 100; ++t) {
    TDietMatrix Q;
    for (auto& row : Q.m) {
      for (double& x : row) x = u(rng);
    }
    const double v[4] = {u(rng), u(rng), u(rng), 1};
    double want = 0;
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) want += v[r] * Q.m[r][c] * v[c];
    }
    ASSERT_NEAR(QuadricError(Q, {v[0], v[1], v[2]}), want, 1e-12);
  }
}

// The costs of many pairs at once are PricePair's, bit for bit, whatever
// the lanes meet: pivots of equal magnitude, a pivot that fails in one lane
// (the middle of the edge), any number of pairs.
TEST(DietPairAnalysis, PairCostsArePricePairs) {
  std::mt19937_64 gen(11);
  std::uniform_real_distribution<double> w(-1, 1);
  std::vector<TDietMatrix> q(64);
  std::vector<TDietVec> pos(q.size());
  for (size_t s = 0; s < q.size(); ++s) {
    for (auto& row : q[s].m) {
      for (double& x : row) {
        x = s % 4 == 0 ? std::round(w(gen) * 2) / 4 : s % 4 == 1 ? 1e-8 * w(gen) : w(gen);
      }
    }
    pos[s] = {w(gen), w(gen), w(gen)};
  }
  // States no sound file gives, which must not spill into the other lanes:
  // nothing, an infinity, a NaN, products that overflow.
  q[60] = TDietMatrix{};
  q[61].m[1][1] = std::numeric_limits<double>::infinity();
  q[62].m[0][2] = std::numeric_limits<double>::quiet_NaN();
  for (auto& row : q[63].m) {
    for (double& x : row) x *= 1e300;
  }
  for (size_t n = 0; n < 40; ++n) {
    std::vector<PairEnds> ends(n);
    for (PairEnds& e : ends) {
      e = {static_cast<int32_t>(gen() % q.size()), static_cast<int32_t>(gen() % q.size())};
    }
    if (n > 4) ends[n / 2] = {61 + static_cast<int32_t>(n % 3), static_cast<int32_t>(n)};
    std::vector<double> cost(n + 1, -7);
    PairCosts(q.data(), pos.data(), ends.data(), n, cost.data());
    for (size_t k = 0; k < n; ++k) {
      PairPrice price;
      const size_t lo = static_cast<size_t>(ends[k].lo), hi = static_cast<size_t>(ends[k].hi);
      PricePair(q[lo], q[hi], pos[lo], pos[hi], price);
      if (std::isnan(price.Cost)) {
        ASSERT_TRUE(std::isnan(cost[k])) << n << " " << k;
      } else {
        ASSERT_EQ(std::memcmp(&cost[k], &price.Cost, sizeof(double)), 0) << n << " " << k;
      }
    }
    EXPECT_EQ(cost[n], -7);  // nothing written past the last
  }
}

TEST(DietPairAnalysis, ProgressMarks) {
  auto marks = [](int faces) {
    DietMesh m = Strip(faces);
    SilentProgress silent;
    AnalyzeVertices(m, silent);
    RecordingSink sink;
    AnalyzePairs(m, sink);
    EXPECT_EQ(sink.Count("msg"), static_cast<int>(sink.Positions().size()));
    return sink.Positions();
  };
  EXPECT_TRUE(marks(10).empty());
  EXPECT_EQ(marks(11), (std::vector<int>{27, 30, 32, 34, 36, 39, 41, 43, 45, 48}));
  EXPECT_EQ(marks(20).size(), 19u);
  const std::vector<int> forty = marks(40);
  ASSERT_EQ(forty.size(), 19u);
  EXPECT_EQ(forty.front(), 26);  // after face 2: 2/40*25+25 = 26.25
  EXPECT_EQ(forty[1], 28);       // after face 4: 27.5 rounds to the even 28
  EXPECT_EQ(forty.back(), 49);
}

}  // namespace
}  // namespace zelfin
