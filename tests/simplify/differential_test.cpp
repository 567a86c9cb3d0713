// The fast simplification steps against the literal scan-everything ones, bit
// for bit, on many generated meshes. Every production step gets exactly the
// tables that the reference's previous step produced, so a difference points
// at one step; the whole production chain is then compared end to end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "platform/errors.h"
#include "reference.h"
#include "simplify/diet_analysis.h"
#include "simplify/diet_contraction.h"
#include "simplify/diet_geometry.h"
#include "simplify/diet_loader.h"
#include "simplify/diet_writer.h"
#include "simplify/simplify_file.h"
#include "support/files.h"
#include "support/mesh_gen.h"
#include "support/recording_sink.h"
#include "support/surface_checks.h"

namespace zelfin {
namespace {

namespace fs = std::filesystem;

constexpr double kKeepRatios[] = {0.95, 0.75, 0.5, 0.2, 0.05};
constexpr int kCaseCount = 48;

// ------------------------------------------------------- first difference

std::string Show(double x) {
  std::ostringstream s;
  s.precision(17);
  s << x << " (0x" << std::hex << std::bit_cast<uint64_t>(x) << ")";
  return s.str();
}

// Collects the first difference between two values of the same table.
class Differ {
 public:
  bool Found() const { return !first_.empty(); }
  const std::string& First() const { return first_; }

  void Real(const std::string& where, double ref, double prod) {
    if (!Found() && std::bit_cast<uint64_t>(ref) != std::bit_cast<uint64_t>(prod)) {
      first_ = where + ": reference " + Show(ref) + ", production " + Show(prod);
    }
  }
  void Int(const std::string& where, int64_t ref, int64_t prod) {
    if (!Found() && ref != prod) {
      first_ =
          where + ": reference " + std::to_string(ref) + ", production " + std::to_string(prod);
    }
  }
  void Vec(const std::string& where, const TDietVec& a, const TDietVec& b) {
    Real(where + ".X", a.X, b.X);
    Real(where + ".Y", a.Y, b.Y);
    Real(where + ".Z", a.Z, b.Z);
  }
  void Matrix(const std::string& where, const TDietMatrix& a, const TDietMatrix& b) {
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) {
        Real(where + "[" + std::to_string(r) + "][" + std::to_string(c) + "]", a.m[r][c],
             b.m[r][c]);
      }
    }
  }

 private:
  std::string first_;
};

std::string DiffTables(const DietMesh& ref, const DietMesh& prod) {
  Differ d;
  d.Int("DietVerts length", ref.DietVerts.size(), prod.DietVerts.size());
  d.Int("DietFaces length", ref.DietFaces.size(), prod.DietFaces.size());
  d.Int("DietPairs length", ref.DietPairs.size(), prod.DietPairs.size());
  for (size_t i = 0; i < ref.DietVerts.size() && !d.Found(); ++i) {
    const TDietVertex &a = ref.DietVerts[i], &b = prod.DietVerts[i];
    const std::string at = "DietVerts[" + std::to_string(i) + "]";
    d.Int(at + ".Used", a.Used, b.Used);
    d.Int(at + ".SameAs", a.SameAs, b.SameAs);
    d.Vec(at + ".Pos", a.Pos, b.Pos);
    d.Matrix(at + ".Q", a.Q, b.Q);
  }
  for (size_t i = 0; i < ref.DietFaces.size() && !d.Found(); ++i) {
    const TDietFace &a = ref.DietFaces[i], &b = prod.DietFaces[i];
    const std::string at = "DietFaces[" + std::to_string(i) + "]";
    d.Int(at + ".Alive", a.Alive, b.Alive);
    for (int c = 0; c < 3; ++c) {
      d.Int(at + ".Verts[" + std::to_string(c) + "]", a.Verts[c], b.Verts[c]);
    }
    d.Vec(at + ".Normal", a.Normal, b.Normal);
    d.Real(at + ".Area", a.Area, b.Area);
  }
  for (size_t i = 0; i < ref.DietPairs.size() && !d.Found(); ++i) {
    const TDietPair &a = ref.DietPairs[i], &b = prod.DietPairs[i];
    const std::string at = "DietPairs[" + std::to_string(i) + "]";
    d.Int(at + ".Active", a.Active, b.Active);
    d.Int(at + ".VertLo", a.VertLo, b.VertLo);
    d.Int(at + ".VertHi", a.VertHi, b.VertHi);
    d.Real(at + ".Cost", a.Cost, b.Cost);
    d.Vec(at + ".Pos", a.Pos, b.Pos);
    d.Matrix(at + ".Q", a.Q, b.Q);
  }
  return d.First();
}

std::string DiffText(const std::string& ref, const std::string& prod) {
  if (ref == prod) return "";
  size_t at = 0, line = 1;
  while (at < ref.size() && at < prod.size() && ref[at] == prod[at]) {
    if (ref[at] == '\n') ++line;
    ++at;
  }
  auto around = [&](const std::string& s) {
    const size_t b = s.rfind('\n', at == 0 ? 0 : at - 1);
    const size_t start = b == std::string::npos ? 0 : b + 1;
    return "\"" + s.substr(start, std::min<size_t>(s.find('\r', start) - start, 80)) + "\"";
  };
  return "text differs at byte " + std::to_string(at) + " (line " + std::to_string(line) +
         "): reference " + around(ref) + ", production " + around(prod) + "; sizes " +
         std::to_string(ref.size()) + " and " + std::to_string(prod.size());
}

using test::ReadBytes;
using test::WriteBytes;

// ------------------------------------------- the reference checks itself
// The reference is only worth comparing against if it follows the rules; these
// are the worked examples of those rules.

// The vector and matrix routines are production's own (geometry_test.cpp
// has their worked examples); the reference scans for coincident points and
// solves for the optimal position through the whole inverse.
TEST(Reference, GeometryFollowsTheWorkedExamples) {
  TArV verts(9);
  for (int i : {3, 7}) verts[i].Pos = {0.5, 0.5, 0.5};
  EXPECT_EQ(ref::RefFindSamePoint(verts, {0.5, 0.5, 0.5}, 0), 0);
  EXPECT_EQ(ref::RefFindSamePoint(verts, {0.5, 0.5, 0.5}, 9), 3);
  EXPECT_EQ(ref::RefFindSamePoint(verts, {0.5, 0.5, 0.5}, 3), 3);
  EXPECT_EQ(ref::RefFindSamePoint(verts, {0.5, 0.5, 0.5 + 5e-9}, 9), 3);
  EXPECT_EQ(ref::RefFindSamePoint(verts, {0.5, 0.5, 0.5 + 2e-8}, 9), 9);

  // The planes x = 0.25, y = -0.5 and z = 0.75 meet in one point.
  TDietMatrix Q;
  const double planes[3][4] = {{1, 0, 0, -0.25}, {0, 1, 0, 0.5}, {0, 0, 1, -0.75}};
  for (const auto& p : planes)
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) Q.m[r][c] += p[r] * p[c];
  TDietVec pos{9, 9, 9};
  ASSERT_TRUE(ref::RefOptimalPosition(Q, pos));
  EXPECT_EQ(pos.X, 0.25);
  EXPECT_EQ(pos.Y, -0.5);
  EXPECT_EQ(pos.Z, 0.75);
  // No plane at all pins no point, and leaves pos as it was.
  EXPECT_FALSE(ref::RefOptimalPosition(TDietMatrix{}, pos));
  EXPECT_EQ(pos.X, 0.25);
}

TEST(Reference, LoaderFollowsTheWorkedExamples) {
  DietMesh m;
  auto verts = [&](size_t f) {
    const int32_t* v = m.DietFaces[f].Verts;
    return std::vector<int32_t>{v[0], v[1], v[2]};
  };
  const std::string square = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0.5 1.5 0\n";
  ref::RefLoadDietMeshText(square + "f 1 2 3 4\nf 1 2 3 4 5\n", m);
  ASSERT_EQ(m.DietFaces.size(), 5u);
  EXPECT_EQ(verts(0), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(verts(1), (std::vector<int32_t>{0, 2, 3}));
  EXPECT_EQ(verts(4), (std::vector<int32_t>{0, 3, 4}));
  EXPECT_TRUE(m.DietVerts[4].Used);

  for (const char* f : {"f 1/1/1 2/2/2 3/3/3", "f 1//1 2//2 3//3", "f 1/4 2/5 3/6", "f -5 -4 -3"}) {
    ref::RefLoadDietMeshText(square + f + "\n", m);
    ASSERT_EQ(m.DietFaces.size(), 1u) << f;
    EXPECT_EQ(verts(0), (std::vector<int32_t>{0, 1, 2})) << f;
  }
  ref::RefLoadDietMeshText("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf -3 -2 -1\n", m);
  EXPECT_EQ(verts(0), (std::vector<int32_t>{1, 2, 3}));

  // A copy is welded into the first; a chain of 0.75e-8 steps welds stepwise.
  ref::RefLoadDietMeshText("v 0 0 0\nv 2 2 2\nv 0 0 0\nf 1 2 3\nf 3 2 1 2\n", m);
  EXPECT_EQ(m.DietVerts[2].SameAs, 0);
  EXPECT_FALSE(m.DietVerts[2].Used);
  EXPECT_TRUE(m.DietFaces.empty());
  // Normalised x = c - 1 here (s = 1, m = 0): steps of 0.75e-8 in the file.
  ref::RefLoadDietMeshText(
      "v 0 0 0\nv 0.0000000075 0 0\nv 0.000000015 0 0\nv 2 2 2\nv 0 2 0\n"
      "f 3 4 5\n",
      m);
  EXPECT_EQ(m.DietVerts[1].SameAs, 0);
  EXPECT_EQ(m.DietVerts[2].SameAs, 1);
  EXPECT_EQ(verts(0), (std::vector<int32_t>{1, 3, 4}));
  EXPECT_TRUE(m.DietVerts[1].Used);
  EXPECT_FALSE(m.DietVerts[0].Used);

  ref::RefLoadDietMeshText(square + "f 1 2 2 3\nf 1 2 3\nf 1 2 3\nf 1 2\n", m);
  EXPECT_EQ(m.DietFaces.size(), 3u);
  EXPECT_EQ(verts(0), (std::vector<int32_t>{0, 1, 2}));

  // Read as (1.5, 2, 3), (4, 0, 0), (10, -2, 3): x spans the most, s = 4.25.
  ref::RefLoadDietMeshText(" \tv\t1,5\t2 3 0.5 0.5\nV 9 9 9\nvn 0 0 1\nv 4 x 0\nv 1e1 -2E0 +3\n",
                           m);
  ASSERT_EQ(m.DietVerts.size(), 3u);
  EXPECT_EQ(m.DietVerts[0].Pos.X, -1.0);
  EXPECT_EQ(m.DietVerts[2].Pos.X, 1.0);
  EXPECT_EQ(m.DietVerts[1].Pos.Y, (0 - (-2 - (4.25 - 2) / 2)) / 4.25 - 1);
  EXPECT_EQ(m.DietVerts[2].Pos.Z, (3 - (0 - (4.25 - 1.5) / 2)) / 4.25 - 1);

  ref::RefLoadDietMeshText("v 0 0 0\nv 4 2 0\n", m);
  EXPECT_EQ(m.DietVerts[0].Pos.X, -1.0);
  EXPECT_EQ(m.DietVerts[0].Pos.Y, -0.75);
  EXPECT_EQ(m.DietVerts[0].Pos.Z, -0.5);
  EXPECT_EQ(m.DietVerts[1].Pos.X, 1.0);
  EXPECT_EQ(m.DietVerts[1].Pos.Y, 0.25);
  EXPECT_EQ(m.DietVerts[1].Pos.Z, -0.5);
}

TEST(Reference, AnalysesAndContractionFollowTheWorkedExamples) {
  DietMesh m;
  // One triangle, flat in z, normalised to z = -0.5 with area 2.
  ref::RefLoadDietMeshText("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", m);
  ref::RefAnalyzeVertices(m);
  for (const TDietVertex& v : m.DietVerts) {
    EXPECT_EQ(v.Q.m[2][2], 2.0);
    EXPECT_EQ(v.Q.m[2][3], 1.0);
    EXPECT_EQ(v.Q.m[3][2], 1.0);
    EXPECT_EQ(v.Q.m[3][3], 0.5);
    EXPECT_EQ(v.Q.m[0][0], 0.0);
  }
  ref::RefAnalyzePairs(m);
  ASSERT_EQ(m.DietPairs.size(), 3u);
  for (const TDietPair& p : m.DietPairs) EXPECT_FALSE(p.Active);
  EXPECT_EQ(ref::RefSelectPair(m), -1);

  // Two triangles on one edge, met in opposite directions: five pairs, one candidate.
  const std::string two = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0.5\nf 1 2 3\nf 3 2 4\n";
  ref::RefLoadDietMeshText(two, m);
  ref::RefAnalyzeVertices(m);
  ref::RefAnalyzePairs(m);
  ASSERT_EQ(m.DietPairs.size(), 5u);
  EXPECT_TRUE(m.DietPairs[1].Active);
  EXPECT_EQ(m.DietPairs[1].VertLo, 1);
  EXPECT_EQ(m.DietPairs[1].VertHi, 2);
  EXPECT_EQ(ref::RefSelectPair(m), 1);
  ref::RefContractMesh(m, 0.5);
  const std::string text = DietMeshText(m);
  EXPECT_EQ(text.substr(0, text.find("v ")), "# Exported from Zelfin\r\n#3 vertices, 0 faces\r\n");
  EXPECT_EQ(text.find("f "), std::string::npos);

  EXPECT_EQ(ref::RefContractionTarget(9, 0.95), 0);
  EXPECT_EQ(ref::RefContractionTarget(10, 0.95), 1);
  EXPECT_EQ(ref::RefContractionTarget(10, 0.5), 5);
}

// -------------------------------------------------------- shared fixtures

// The generated meshes as files, with the reference's tables after each step.
struct CaseData {
  std::string name;
  std::string path;
  DietMesh loaded, vertices, pairs;
  DietMesh contracted[std::size(kKeepRatios)];
};

class Differential : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new fs::path(fs::temp_directory_path() /
                        ("zelfin_differential_" + std::to_string(getpid())));
    fs::create_directories(*dir_);
    cases_ = new std::vector<CaseData>();
    int k = 0;
    for (gen::GenCase& g : gen::DifferentialCases(kCaseCount)) {
      CaseData c;
      c.name = g.name;
      c.path = (*dir_ / ("case" + std::to_string(k++) + ".obj")).string();
      WriteBytes(c.path, g.text);
      ref::RefLoadDietMesh(c.path, c.loaded);
      c.vertices = c.loaded;
      ref::RefAnalyzeVertices(c.vertices);
      c.pairs = c.vertices;
      ref::RefAnalyzePairs(c.pairs);
      for (size_t r = 0; r < std::size(kKeepRatios); ++r) {
        c.contracted[r] = c.pairs;
        ref::RefContractMesh(c.contracted[r], kKeepRatios[r]);
      }
      cases_->push_back(std::move(c));
    }
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(*dir_, ec);
    delete cases_;
    delete dir_;
  }
  static const std::vector<CaseData>& Cases() { return *cases_; }
  static fs::path Dir() { return *dir_; }

 private:
  static std::vector<CaseData>* cases_;
  static fs::path* dir_;
};

std::vector<CaseData>* Differential::cases_ = nullptr;
fs::path* Differential::dir_ = nullptr;

// The catalogue must really exercise what the comparisons rely on.
TEST_F(Differential, CasesCoverTheInterestingSituations) {
  size_t welded = 0, border_pairs = 0, contractions_with_ties = 0;
  for (const CaseData& c : Cases()) {
    const size_t faces = c.loaded.DietFaces.size();
    EXPECT_GE(faces, 40u) << c.name;
    EXPECT_LE(faces, 700u) << c.name;
    for (size_t i = 0; i < c.loaded.DietVerts.size(); ++i) {
      welded += c.loaded.DietVerts[i].SameAs != static_cast<int32_t>(i);
    }
    for (const TDietPair& p : c.pairs.DietPairs) border_pairs += !p.Active;
    // Ties: two active pairs of equal least cost at the start.
    int32_t best = ref::RefSelectPair(c.pairs);
    for (size_t i = 0; best >= 0 && i < c.pairs.DietPairs.size(); ++i) {
      const TDietPair& p = c.pairs.DietPairs[i];
      if (p.Active && static_cast<int32_t>(i) != best && p.Cost == c.pairs.DietPairs[best].Cost) {
        ++contractions_with_ties;
        break;
      }
    }
  }
  EXPECT_GT(welded, 100u);
  EXPECT_GT(border_pairs, 100u);
  EXPECT_GT(contractions_with_ties, 5u);
}

TEST_F(Differential, LoaderMatchesReference) {
  for (const CaseData& c : Cases()) {
    DietMesh prod;
    LoadDietMesh(c.path, prod);
    EXPECT_EQ(DiffTables(c.loaded, prod), "") << c.name << " (" << c.path << ")";
  }
}

TEST_F(Differential, VertexAnalysisMatchesReference) {
  for (const CaseData& c : Cases()) {
    DietMesh prod = c.loaded;
    SilentProgress silent;
    AnalyzeVertices(prod, silent);
    EXPECT_EQ(DiffTables(c.vertices, prod), "") << c.name;
  }
}

TEST_F(Differential, PairAnalysisMatchesReference) {
  for (const CaseData& c : Cases()) {
    DietMesh prod = c.vertices;
    SilentProgress silent;
    AnalyzePairs(prod, silent);
    EXPECT_EQ(DiffTables(c.pairs, prod), "") << c.name;
  }
}

TEST_F(Differential, ContractionMatchesReference) {
  for (const CaseData& c : Cases()) {
    for (size_t r = 0; r < std::size(kKeepRatios); ++r) {
      DietMesh prod = c.pairs;
      SilentProgress silent;
      ContractMesh(prod, kKeepRatios[r], silent);
      EXPECT_EQ(DiffTables(c.contracted[r], prod), "") << c.name << ", keep " << kKeepRatios[r];
    }
  }
}

// The refined method keeps every generated surface sound (no face turned over,
// no edge of more than two faces that was not there); on these meshes it must
// also choose differently from the classic method somewhere, or the test
// proves nothing.
TEST_F(Differential, RefinedContractionKeepsEverySurfaceSound) {
  int differs = 0;
  for (const CaseData& c : Cases()) {
    for (const double keep : {0.5, 0.05}) {
      DietMesh prod = c.pairs;
      SilentProgress silent;
      ContractMesh(prod, keep, silent, SimplifyMethod::kRefined);
      EXPECT_EQ(test::SurfaceFault(c.loaded, prod), "") << c.name << ", keep " << keep;
      differs += DiffTables(c.contracted[keep == 0.5 ? 2 : 4], prod).empty() ? 0 : 1;
    }
  }
  EXPECT_GT(differs, static_cast<int>(Cases().size()) / 2);
}

// Single re-evaluations, on the quadrics as analysed and as moved by
// contractions, so that an evaluation difference shows apart from the loop.
TEST_F(Differential, PairEvaluationMatchesReference) {
  for (const CaseData& c : Cases()) {
    for (const DietMesh* base : {&c.vertices, &c.contracted[2]}) {
      DietMesh a = *base;
      a.DietPairs.assign(1, TDietPair{});
      DietMesh b = a;
      for (size_t f = 0; f < std::min<size_t>(a.DietFaces.size(), 40); ++f) {
        const int32_t* v = a.DietFaces[f].Verts;
        const int32_t lo = std::min(v[0], v[1]), hi = std::max(v[0], v[1]);
        ref::RefEvaluatePair(a, 0, lo, hi);
        EvaluatePair(b, 0, lo, hi);
        const DietMesh pa{{}, {}, a.DietPairs}, pb{{}, {}, b.DietPairs};
        ASSERT_EQ(DiffTables(pa, pb), "") << c.name << ", pair " << lo << "-" << hi;
      }
    }
  }
}

// The writer is production's own (the whole runs below compare its text of
// both tables); what it names and how many triangles a run removes are checked
// here on every percentage.
TEST_F(Differential, OutputNamesAndContractionTargets) {
  const struct {
    const char* path;
    std::string base;
  } names[] = {{"m/chair.obj", "chair"},
               {"a.b.obj", "a.b"},
               {"noext", "noext"},
               {"x_Simplified95%.obj", "x_Simplified95%"}};
  for (int pct = 1; pct <= 100; ++pct) {
    for (const auto& n : names) {
      EXPECT_EQ(DietOutputPath(n.path, "out/", pct / 100.0),
                "out/" + n.base + "_Simplified" + std::to_string(pct) + "%.obj");
    }
  }
  for (int64_t F = 0; F < 3000; F += 7) {
    for (int idx = 0; idx <= 18; ++idx) {
      const double keep = (95 - 5 * idx) / 100.0;
      EXPECT_EQ(ref::RefContractionTarget(F, keep), ContractionTarget(F, keep)) << F << " " << keep;
    }
  }
}

// The production steps chained on their own, and the file that the whole
// production run writes, against the reference run.
TEST_F(Differential, WholeRunMatchesReference) {
  for (const CaseData& c : Cases()) {
    for (size_t r = 0; r < std::size(kKeepRatios); ++r) {
      const double keep = kKeepRatios[r];
      DietMesh prod;
      SilentProgress silent;
      LoadDietMesh(c.path, prod);
      AnalyzeVertices(prod, silent);
      AnalyzePairs(prod, silent);
      ContractMesh(prod, keep, silent);
      const std::string expected = DietMeshText(c.contracted[r]);
      EXPECT_EQ(DiffText(expected, DietMeshText(prod)), "") << c.name << ", keep " << keep;
      if (r % 2 == 0) {
        const std::string folder = (Dir() / "out").string() + "/";
        fs::create_directories(folder);
        SimplifyFile(c.path, folder, keep, silent);
        const std::string written = ReadBytes(DietOutputPath(c.path, folder, keep));
        EXPECT_EQ(DiffText(expected, written), "") << c.name << ", keep " << keep << " (file)";
      }
    }
  }
}

// ------------------------------------------------------------- geometry

TDietVec RandomVec(gen::Rng& rng) {
  // Magnitudes from tiny to large, and exact small integers now and then.
  const double scale = std::ldexp(1.0, static_cast<int>(rng.Below(40)) - 30);
  if (rng.Chance(0.2)) {
    return {double(rng.Below(5)) - 2, double(rng.Below(5)) - 2, double(rng.Below(5)) - 2};
  }
  return {rng.Range(-1, 1) * scale, rng.Range(-1, 1) * scale, rng.Range(-1, 1) * scale};
}

TDietMatrix RandomMatrix(gen::Rng& rng) {
  TDietMatrix m;
  const int kind = static_cast<int>(rng.Below(5));
  if (kind == 0) {  // general
    for (auto& row : m.m)
      for (double& x : row) x = rng.Range(-2, 2);
  } else if (kind == 1) {  // a quadric: sum of weighted plane outer products
    const int planes = 1 + static_cast<int>(rng.Below(6));
    for (int t = 0; t < planes; ++t) {
      const TDietVec n = VecNormalize(RandomVec(rng));
      const double p[4] = {n.X, n.Y, n.Z, rng.Range(-1, 1)};
      const double area = rng.Range(0, 0.05);
      for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m.m[r][c] += area * p[r] * p[c];
    }
  } else if (kind == 2) {  // small integers: exact ties in the pivot search
    for (auto& row : m.m)
      for (double& x : row) x = double(rng.Below(7)) - 3;
  } else if (kind == 3) {  // near the singularity threshold
    for (auto& row : m.m)
      for (double& x : row) x = rng.Range(-1, 1) * 2e-6;
  } else {  // pivots right at the threshold, which passes
    const double pivots[] = {1e-6, -1e-6, 0.999999e-6, 3e-6};
    for (int i = 0; i < 4; ++i) m.m[i][i] = pivots[rng.Below(4)];
    m.m[3][0] = rng.Range(-1e-7, 1e-7);
  }
  return m;
}

// Production takes only the last row of the inverse; the reference the whole
// inverse. Both must give the same bits, and fail on the same matrices.
TEST(DifferentialGeometry, OptimalPositionMatchesReference) {
  gen::Rng rng(7);
  int solved = 0, singular = 0;
  for (int k = 0; k < 20000; ++k) {
    const TDietMatrix m = RandomMatrix(rng);
    Differ d;
    TDietVec pos_ref{9, 9, 9}, pos_prod{9, 9, 9};
    const bool ok = ref::RefOptimalPosition(m, pos_ref);
    d.Int("OptimalPosition result", ok, OptimalPosition(m, pos_prod));
    d.Vec("OptimalPosition", pos_ref, pos_prod);
    ASSERT_FALSE(d.Found()) << d.First() << " at sample " << k;
    (ok ? solved : singular)++;
  }
  // Both branches must be well exercised.
  EXPECT_GT(solved, 5000);
  EXPECT_GT(singular, 2000);
}

TEST(DifferentialGeometry, FindSamePointMatchesReference) {
  gen::Rng rng(99);
  TArV verts(400);
  for (TDietVertex& v : verts) {
    // Points on a coarse lattice, moved by fractions of the tolerance, so many
    // lie within, at or just beyond 1e-8 of each other.
    v.Pos = {rng.Below(4) * 1e-3 + rng.Below(5) * 0.5e-8, rng.Below(3) * 1e-3,
             rng.Below(3) * 0.75e-8};
  }
  for (int k = 0; k < 2000; ++k) {
    const TDietVec p = verts[rng.Below(400)].Pos;
    const TDietVec q = {p.X + rng.Below(3) * 0.5e-8, p.Y, p.Z - rng.Below(3) * 0.5e-8};
    const int32_t count = static_cast<int32_t>(rng.Below(401));
    ASSERT_EQ(ref::RefFindSamePoint(verts, q, count), FindSamePoint(verts, q, count))
        << "sample " << k;
  }
}

// ------------------------------------------------------------- bad input

TEST_F(Differential, BadInputIsRejectedByBoth) {
  const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
  const struct {
    std::string text, message;  // message: the text both must carry, if stated
  } bad[] = {
      {tri + "f 1 2 4\n", ""},
      {"f 1 2 3\n" + tri, ""},
      {tri + "f 0 1 2\n", ""},
      {tri + "f -4 -1 -2\n", ""},
      {tri + "f 1 x 3\n", ""},
      {tri + "v 1 2\n", "List index out of bounds (3)"},
      {"v 5\n" + tri, "List index out of bounds (2)"},
      {"v 1 1 1\nv 1 1 1\nf 1 2 1\n", "Invalid floating point operation"},
      {"v 1e308 0 0\nv -1e308 0 0\nv 0 1 0\n", ""},
  };
  int k = 0;
  for (const auto& b : bad) {
    const std::string path = (Dir() / ("bad" + std::to_string(k++) + ".obj")).string();
    WriteBytes(path, b.text);
    DietMesh r, p;
    std::string ref_message, prod_message;
    try {
      ref::RefLoadDietMesh(path, r);
    } catch (const ZelfinError& e) {
      ref_message = e.what();
    }
    try {
      LoadDietMesh(path, p);
    } catch (const ZelfinError& e) {
      prod_message = e.what();
    }
    EXPECT_NE(ref_message, "") << b.text;
    EXPECT_NE(prod_message, "") << b.text;
    if (!b.message.empty()) {
      EXPECT_EQ(ref_message, b.message);
      EXPECT_THAT(prod_message, ::testing::HasSubstr(b.message)) << b.text;
    }
  }
}

// ------------------------------------------------------------- progress

std::string FirstCallDifference(const std::vector<std::string>& ref,
                                const std::vector<std::string>& prod) {
  for (size_t i = 0; i < std::max(ref.size(), prod.size()); ++i) {
    const std::string a = i < ref.size() ? ref[i] : "(end)";
    const std::string b = i < prod.size() ? prod[i] : "(end)";
    if (a != b) {
      return "call " + std::to_string(i) + " of " + std::to_string(ref.size()) + ": reference \"" +
             a + "\", production \"" + b + "\"";
    }
  }
  return "";
}

TEST_F(Differential, ProgressCallsMatchReferenceRun) {
  struct Shape {
    std::string name;
    gen::GenMesh mesh;
  };
  std::vector<Shape> shapes;
  for (int n : {10, 11, 20, 38, 40, 300}) {
    shapes.push_back({"strip of " + std::to_string(n), gen::TriangleStrip(n, n)});
  }
  shapes.push_back({"torus of 300", gen::Torus(5, 15, 10, 0.05, false)});
  shapes.push_back({"sphere with fins", [] {
                      gen::GenMesh m = gen::UvSphere(8, 8, 9, 0.05, false);
                      gen::AddFins(m, 3, 5);
                      return m;
                    }()});
  const std::string folder = (Dir() / "progress").string() + "/";
  fs::create_directories(folder);
  for (const Shape& s : shapes) {
    const std::string path = folder + "in.obj";
    WriteBytes(path, gen::PlainObj(s.mesh));
    for (double keep : {0.95, 0.5, 0.05}) {
      test::RecordingSink r, p;
      const std::string expected = ref::RefSimplifyText(path, keep, r);
      SimplifyFile(path, folder, keep, p);
      EXPECT_EQ(FirstCallDifference(r.calls, p.calls), "") << s.name << ", keep " << keep;
      EXPECT_EQ(DiffText(expected, ReadBytes(DietOutputPath(path, folder, keep))), "")
          << s.name << ", keep " << keep;
    }
  }
}

}  // namespace
}  // namespace zelfin
