#include "simplify/diet_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "platform/errors.h"
#include "platform/numbers.h"
#include "platform/obj_lexer.h"
#include "platform/progress_sink.h"
#include "simplify/diet_geometry.h"
#include "simplify/diet_point_grid.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

using test::TempDir;

DietMesh LoadText(const std::string& text, const std::string& name = "m.obj") {
  TempDir dir;
  DietMesh mesh;
  mesh.DietPairs.resize(3);  // left over from an earlier run
  LoadDietMesh(dir.Write(name, text), mesh);
  EXPECT_TRUE(mesh.DietPairs.empty());
  return mesh;
}

// The error text of loading text from a file, its path shown as <path>; ""
// when it loads.
std::string LoadError(const std::string& text) {
  TempDir dir;
  const std::string path = dir.Write("x.obj", text);
  DietMesh mesh;
  try {
    LoadDietMesh(path, mesh);
  } catch (const ZelfinError& e) {
    std::string msg = e.what();
    const size_t at = msg.find(path);
    if (at != std::string::npos) msg.replace(at, path.size(), "<path>");
    return msg;
  }
  return "";
}

void ExpectFace(const TDietFace& f, int32_t a, int32_t b, int32_t c) {
  EXPECT_TRUE(f.Alive);
  EXPECT_EQ(f.Verts[0], a);
  EXPECT_EQ(f.Verts[1], b);
  EXPECT_EQ(f.Verts[2], c);
}

const char* kFiveVerts = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0.5 1.5 0.25\n";

TEST(DietLoader, FansAndReferenceForms) {
  DietMesh m = LoadText(std::string(kFiveVerts) +
                        "f 1 2 3 4\n"
                        "f 1 2 3 4 5\n"
                        "f 1/1/1 2/2/2 3/3/3\n"
                        "f 1//1 2//2 3//3\n"
                        "f -4 -3 -2\n"
                        "f 1 2\n");
  ASSERT_EQ(m.DietFaces.size(), 2u + 3u + 3u);
  ExpectFace(m.DietFaces[0], 0, 1, 2);
  ExpectFace(m.DietFaces[1], 0, 2, 3);
  ExpectFace(m.DietFaces[2], 0, 1, 2);
  ExpectFace(m.DietFaces[3], 0, 2, 3);
  ExpectFace(m.DietFaces[4], 0, 3, 4);
  ExpectFace(m.DietFaces[5], 0, 1, 2);
  ExpectFace(m.DietFaces[6], 0, 1, 2);
  ExpectFace(m.DietFaces[7], 1, 2, 3);
  for (const TDietVertex& v : m.DietVerts) EXPECT_TRUE(v.Used);
  // Normal and area come from the normalised positions in corner order.
  const TDietFace& f = m.DietFaces[0];
  const TDietVec& A = m.DietVerts[0].Pos;
  const TDietVec& B = m.DietVerts[1].Pos;
  const TDietVec& C = m.DietVerts[2].Pos;
  EXPECT_EQ(f.Area, TriangleArea(A, B, C));
  EXPECT_EQ(f.Normal.Z, TriangleNormal(A, B, C).Z);
  EXPECT_EQ(f.Normal.Z, 1);
}

TEST(DietLoader, RelativeReferencesCountFromTheFaceLine) {
  DietMesh m = LoadText("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf -3 -2 -1\nv 2 2 2\nf -1 -2 -3\n");
  ASSERT_EQ(m.DietFaces.size(), 2u);
  ExpectFace(m.DietFaces[0], 1, 2, 3);
  ExpectFace(m.DietFaces[1], 4, 3, 2);
  EXPECT_FALSE(m.DietVerts[0].Used);
}

TEST(DietLoader, WeldsCoincidentVertices) {
  DietMesh m =
      LoadText("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 0 0\nf 1 4 3\nf 1 2 4\nf 1 2 2 3\nf 1 2 3\n");
  EXPECT_EQ(m.DietVerts[3].SameAs, 1);
  EXPECT_EQ(m.DietVerts[1].SameAs, 1);
  EXPECT_FALSE(m.DietVerts[3].Used);
  // f 1 2 4 collapses onto an edge; f 1 2 2 3 keeps only (1, 2, 3); the same
  // triangle given twice is stored twice.
  ASSERT_EQ(m.DietFaces.size(), 3u);
  ExpectFace(m.DietFaces[0], 0, 1, 2);
  ExpectFace(m.DietFaces[1], 0, 1, 2);
  ExpectFace(m.DietFaces[2], 0, 1, 2);
}

// Points are welded a batch at a time: a point given again far on, in a later
// batch, still links to where it first stood.
TEST(DietLoader, WeldsAcrossBatches) {
  std::string text;
  for (int i = 0; i < 100; ++i) {
    text += "v " + std::to_string(i % 37) + " " + std::to_string(2 * (i % 37)) + " 1\n";
  }
  const DietMesh m = LoadText(text);
  ASSERT_EQ(m.DietVerts.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(m.DietVerts[static_cast<size_t>(i)].SameAs, i % 37) << i;
}

TEST(DietLoader, WeldingFollowsOneStepWithinTolerance) {
  // The box spans -1..1 in x with s = 1: normalised x is (x + 1) - 1.
  DietMesh m =
      LoadText("v -1 0 0\nv 1 0 0\nv 0 0 0\nv 0.75e-8 0 0\nv 1.5e-8 0 0\nv 0 1 0\nf 5 2 6\n");
  EXPECT_EQ(m.DietVerts[3].SameAs, 2);
  EXPECT_EQ(m.DietVerts[4].SameAs, 3);  // 1.5e-8 from vertex 2: beyond the tolerance
  ASSERT_EQ(m.DietFaces.size(), 1u);
  ExpectFace(m.DietFaces[0], 3, 1, 5);
  EXPECT_TRUE(m.DietVerts[3].Used);
  EXPECT_FALSE(m.DietVerts[4].Used);
}

TEST(DietLoader, NormalisesIntoTheUnitBoxWithoutCentringShortAxes) {
  DietMesh m = LoadText("v 0 0 0\nv 4 2 0\n");
  ASSERT_EQ(m.DietVerts.size(), 2u);
  EXPECT_TRUE(m.DietFaces.empty());
  const TDietVec& a = m.DietVerts[0].Pos;
  const TDietVec& b = m.DietVerts[1].Pos;
  EXPECT_EQ(a.X, -1);
  EXPECT_EQ(a.Y, -0.75);
  EXPECT_EQ(a.Z, -0.5);
  EXPECT_EQ(b.X, 1);
  EXPECT_EQ(b.Y, 0.25);
  EXPECT_EQ(b.Z, -0.5);
  for (const TDietVertex& v : m.DietVerts) EXPECT_FALSE(v.Used);
}

TEST(DietLoader, LineFormsAndCoordinateText) {
  DietMesh m = LoadText(
      "# comment\r\n"
      "  v\t0\t0\t0  \r"
      "V 9 9 9\n"
      "vn 0 0 1\n"
      "vt 0.5 0.5\n"
      "v 4 x 4 0.5 0.5 0.5\n"
      "v 2,5 +1 .5e1\n"
      "v 5. 4e0 inf\n"
      "g group\nusemtl m\nf 1 2 3 4\n");
  ASSERT_EQ(m.DietVerts.size(), 4u);
  // Raw points (0,0,0) (4,0,4) (2.5,1,5) (5,4,0): s = 2.5, m = (0, -0.25, 0).
  EXPECT_EQ(m.DietVerts[1].Pos.X, 4 / 2.5 - 1);
  EXPECT_EQ(m.DietVerts[1].Pos.Y, 0.25 / 2.5 - 1);
  EXPECT_EQ(m.DietVerts[2].Pos.X, 0);
  EXPECT_EQ(m.DietVerts[2].Pos.Y, 1.25 / 2.5 - 1);
  EXPECT_EQ(m.DietVerts[2].Pos.Z, 1);
  EXPECT_EQ(m.DietVerts[3].Pos.Z, -1);
  EXPECT_EQ(m.DietFaces.size(), 2u);
}

TEST(DietLoader, EmptyAndCollapsedInputs) {
  DietMesh empty = LoadText("");
  EXPECT_TRUE(empty.DietVerts.empty());
  EXPECT_TRUE(empty.DietFaces.empty());
  DietMesh collapsed = LoadText("v 0 0 0\nv 1 1 1\nv 1 1 1\nf 1 2 3\nf 1 1 2\n");
  EXPECT_TRUE(collapsed.DietFaces.empty());
}

TEST(DietTokens, CoordinateGrammar) {
  double v = -1;
  EXPECT_EQ(ReadCoordinate(".5", v), CoordinateRead::kNumber);
  EXPECT_EQ(v, 0.5);
  EXPECT_EQ(ReadCoordinate("5.", v), CoordinateRead::kNumber);
  EXPECT_EQ(v, 5);
  EXPECT_EQ(ReadCoordinate("+2", v), CoordinateRead::kNumber);
  EXPECT_EQ(v, 2);
  EXPECT_EQ(ReadCoordinate("-3E+2", v), CoordinateRead::kNumber);
  EXPECT_EQ(v, -300);
  EXPECT_EQ(ReadCoordinate("0.1", v), CoordinateRead::kNumber);
  EXPECT_EQ(v, 0.1);
  for (const char* bad :
       {"", ".", "-", "+.", "inf", "nan", "0x10", "1e", "1e+", "1.2.3", "1d5", "--1", " 1", "1 "}) {
    v = -1;
    EXPECT_EQ(ReadCoordinate(bad, v), CoordinateRead::kNotANumber) << bad;
    EXPECT_EQ(v, 0) << bad;
  }
  EXPECT_EQ(ReadCoordinate("1e400", v), CoordinateRead::kOverflow);
  EXPECT_EQ(ReadCoordinate("-123456e305", v), CoordinateRead::kOverflow);
  EXPECT_EQ(ReadCoordinate("1e-400", v), CoordinateRead::kNumber);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(ReadCoordinate("0.000001e-330", v), CoordinateRead::kNumber);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(ReadCoordinate("4.9e-324", v), CoordinateRead::kNumber);
  EXPECT_GT(v, 0);
  EXPECT_EQ(ReadCoordinate("0e999", v), CoordinateRead::kNumber);
  EXPECT_EQ(v, 0);
}

TEST(DietTokens, SplittingAndQuotes) {
  std::vector<std::string_view> t;
  std::string scratch;
  SplitObjTokens("f  1/2/3\x01 \"a \"\"b\"\"\" \"c\"d \"open", t, scratch);
  ASSERT_EQ(t.size(), 6u);
  EXPECT_EQ(t[0], "f");
  EXPECT_EQ(t[1], "1/2/3");
  EXPECT_EQ(t[2], "a \"b\"");
  EXPECT_EQ(t[3], "c");
  EXPECT_EQ(t[4], "d");
  EXPECT_EQ(t[5], "open");
  // The counting pass must agree with the splitting pass on any line.
  std::mt19937 rng(3);
  const char alphabet[] = {'a', '1', ' ', '"', '\t', '/', '\x05'};
  for (int i = 0; i < 3000; ++i) {
    std::string line;
    const int n = static_cast<int>(rng() % 12);
    for (int k = 0; k < n; ++k) line += alphabet[rng() % sizeof alphabet];
    SplitObjTokens(line, t, scratch);
    ASSERT_EQ(CountObjTokens(line), t.size()) << line;
  }
  int64_t r = 0;
  EXPECT_TRUE(ReadVertexReference("7/3/2", r));
  EXPECT_EQ(r, 7);
  EXPECT_TRUE(ReadVertexReference("-2//4", r));
  EXPECT_EQ(r, -2);
  EXPECT_FALSE(ReadVertexReference("/3", r));
  EXPECT_FALSE(ReadVertexReference("x", r));
  EXPECT_FALSE(ReadVertexReference("1.0", r));
}

TEST(DietLoader, ReferencesThatNameNoVertexAreErrors) {
  const std::string head = "v 0 0 0\nv 1 0 0\r\nv 0 1 0\r";
  EXPECT_EQ(LoadError(head + "\nf 1 2 4\n"),
            "Face on line 4 of \"<path>\" refers to vertex 4, but only 3 vertices stand before it");
  EXPECT_EQ(
      LoadError(head + "f 1 -4 3\n"),
      "Face on line 4 of \"<path>\" refers to vertex -4, but only 3 vertices stand before it");
  EXPECT_EQ(LoadError(head + "f 1 0 3\n"),
            "Face on line 4 of \"<path>\" has a vertex reference \"0\" that names no vertex");
  EXPECT_EQ(LoadError(head + "f 1 abc/2 3\n"),
            "Face on line 4 of \"<path>\" has a vertex reference \"abc/2\" that names no vertex");
  EXPECT_EQ(LoadError("f 1 2 3\n" + head),
            "Face on line 1 of \"<path>\" refers to vertex 1, but only 0 vertices stand before it");
  EXPECT_EQ(LoadError("v 0 0 0\nf 1 1 2\nv 1 1 1\n"),
            "Face on line 2 of \"<path>\" refers to vertex 2, but only 1 vertex stands before it");
  EXPECT_NE(LoadError(head + "f 1 2 99999999999999999999999\n").find("refers to vertex"),
            std::string::npos);
  EXPECT_NE(LoadError(head + "f 1 2 4294967298\n").find("refers to vertex"), std::string::npos);
  // A face line with fewer than three references stores nothing and is not checked.
  EXPECT_EQ(LoadError(head + "f 0 9\n"), "");
}

TEST(DietLoader, FloatingPointFaultsAreErrors) {
  EXPECT_EQ(LoadError("v 1 2 3\nv 1 2\n"), "List index out of bounds (3) on line 2 of \"<path>\"");
  EXPECT_EQ(LoadError("f 1 2 3\nv 1\n"), "List index out of bounds (2) on line 2 of \"<path>\"");
  EXPECT_EQ(LoadError("v 1 2 3\n"), "Invalid floating point operation");
  EXPECT_EQ(LoadError("v 1 2 3\nv 1 2 3\nv 1 2 3.000\nf 1 2 3\n"),
            "Invalid floating point operation");
  EXPECT_EQ(LoadError("v 0 0 0\nv 1 1e400 1\n"), "Floating point overflow on line 2 of \"<path>\"");
  EXPECT_EQ(LoadError("v -1.7e308 0 0\nv 1.7e308 0 0\n"), "Floating point overflow");
  // Finite extents whose offset overflows.
  EXPECT_EQ(LoadError("v -1.7e308 0 0\nv -1.7e308 1.7e308 0\n"), "Floating point overflow");
  // Tiny values are just tiny.
  EXPECT_EQ(LoadError("v 0 0 0\nv 1 1e-400 1\nv 1 0 0\nf 1 2 3\n"), "");
}

TEST(DietLoader, HugeButFiniteCoordinatesStayFinite) {
  DietMesh m = LoadText("v -8e307 -8e307 0\nv 8e307 8e307 1\nv 8e307 -8e307 0\nf 1 2 3\n");
  for (const TDietVertex& v : m.DietVerts) {
    EXPECT_TRUE(std::isfinite(v.Pos.X) && std::isfinite(v.Pos.Y) && std::isfinite(v.Pos.Z));
  }
  EXPECT_EQ(m.DietVerts[0].Pos.X, -1);
  EXPECT_EQ(m.DietVerts[1].Pos.X, 1);
}

TEST(DietLoader, GridWeldingMatchesThePlainScan) {
  // Clusters of points spaced around the tolerance, some straddling grid
  // cells: every SameAs must be the lowest index within 1e-8 on every axis.
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> centre(-0.9, 0.9);
  std::uniform_int_distribution<int> step(-3, 3);
  std::string text = "v -1 -1 -1\nv 1 1 1\n";
  for (int c = 0; c < 300; ++c) {
    double x = centre(rng), y = centre(rng), z = centre(rng);
    if (c % 3 == 0) x = std::ldexp(std::round(std::ldexp(x, 23)), -23);  // a cell edge
    for (int k = 0; k < 12; ++k) {
      char line[128];
      std::snprintf(line, sizeof line, "v %.17g %.17g %.17g\n", x + step(rng) * 0.6e-8,
                    y + step(rng) * 0.6e-8, z + step(rng) * 0.34e-8);
      text += line;
    }
  }
  DietMesh m = LoadText(text);
  int welded = 0;
  for (int32_t k = 0; k < static_cast<int32_t>(m.DietVerts.size()); ++k) {
    ASSERT_EQ(m.DietVerts[k].SameAs, FindSamePoint(m.DietVerts, m.DietVerts[k].Pos, k)) << k;
    welded += m.DietVerts[k].SameAs != k ? 1 : 0;
  }
  EXPECT_GT(welded, 300);
}

TEST(DietPointGrid, FallsBackToTheScanForFarPoints) {
  const std::vector<TDietVec> pts = {
      {1000, 0, 0}, {0.5, 0.5, 0.5}, {1000, 0, 5e-9}, {0.5, 0.5, 0.5 + 1e-8}, {0.5, 0.5, 0.5}};
  TArV verts(pts.size());
  for (size_t i = 0; i < pts.size(); ++i) verts[i].Pos = pts[i];
  PointGrid grid(pts.size());
  SilentProgress silent;
  Heartbeat beat(silent);
  const std::vector<int32_t> welded = WeldPoints(pts, beat);
  for (int32_t i = 0; i < static_cast<int32_t>(pts.size()); ++i) {
    EXPECT_EQ(grid.FindLowestAndAdd(pts, pts[i], i), FindSamePoint(verts, pts[i], i)) << i;
    EXPECT_EQ(welded[static_cast<size_t>(i)], FindSamePoint(verts, pts[i], i)) << i;
  }
}

TEST(DietPointGrid, WeldingOnTwoThreadsMatchesThePlainScan) {
  // Clusters at corners where cells of both threads' halves meet, so that
  // many points need cells of the other half: every answer must still be
  // the lowest index within the tolerance.
  std::mt19937_64 rng(11);
  std::uniform_int_distribution<int> corner(-60000, 60000), step(-3, 3);
  std::vector<TDietVec> pts;
  for (int c = 0; c < 400; ++c) {
    const double x = std::ldexp(corner(rng), -17), y = std::ldexp(corner(rng), -17),
                 z = std::ldexp(corner(rng), -17);
    for (int k = 0; k < 10; ++k) {
      pts.push_back({x + step(rng) * 0.6e-8, y + step(rng) * 0.6e-8, z + step(rng) * 0.34e-8});
    }
  }
  std::shuffle(pts.begin(), pts.end(), rng);
  TArV verts(pts.size());
  for (size_t i = 0; i < pts.size(); ++i) verts[i].Pos = pts[i];
  SilentProgress silent;
  Heartbeat beat(silent);
  const std::vector<int32_t> welded = WeldPoints(pts, beat);
  ASSERT_EQ(welded.size(), pts.size());
  int merged = 0;
  for (int32_t k = 0; k < static_cast<int32_t>(pts.size()); ++k) {
    ASSERT_EQ(welded[static_cast<size_t>(k)], FindSamePoint(verts, pts[k], k)) << k;
    merged += welded[static_cast<size_t>(k)] != k ? 1 : 0;
  }
  EXPECT_GT(merged, 1000);
}

}  // namespace
}  // namespace zelfin
