#include "simplify/simplify_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/errors.h"
#include "platform/numbers.h"
#include "support/files.h"
#include "support/mesh_gen.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

using test::ReadBytes;
using test::RecordingSink;
using test::TempDir;

// A closed fan: a centre and a ring of n rim points, n triangles.
std::string FanObj(int n) {
  std::string text = "# a fan\nvt 0 0\nvn 0 0 1\ng fan\nusemtl red\nv 0 0 1\n";
  for (int i = 0; i < n; ++i) {
    const double a = 2 * M_PI * i / n;
    text += "v " + std::to_string(std::cos(a)) + " " + std::to_string(std::sin(a)) + " 0\n";
  }
  for (int i = 0; i < n; ++i) {
    text +=
        "f 1/1/1 " + std::to_string(2 + i) + "/1/1 " + std::to_string(2 + (i + 1) % n) + "/1/1\n";
  }
  return text;
}

size_t CountLines(const std::string& text, const std::string& prefix) {
  size_t n = 0, at = 0;
  while (at < text.size()) {
    const size_t end = text.find("\r\n", at);
    if (text.compare(at, prefix.size(), prefix) == 0) ++n;
    at = end == std::string::npos ? text.size() : end + 2;
  }
  return n;
}

TEST(SimplifyFile, StepsCaptionsAndOutput) {
  TempDir dir;
  const std::string in = dir.Write("fan.obj", FanObj(9));  // 10 vertices, 9 faces
  RecordingSink sink;
  SimplifyFile(in, dir.Folder(), 0.95, sink);
  EXPECT_EQ(sink.calls,
            (std::vector<std::string>{"pos:0", "show", "caption:Loading File...", "msg",
                                      "caption:Analyzing Vertex information...", "msg",
                                      "caption:Analyzing Vertex Pair information...", "msg",
                                      "caption:Surface Simplification...", "msg", "hide"}));
  const std::string out = ReadBytes(dir.Folder() + "fan_Simplified95%.obj");
  // Not reduced, but rewritten: only v and f lines, normalised, eight decimals.
  EXPECT_EQ(out.rfind("# Exported from Zelfin\r\n#10 vertices, 9 faces\r\nv ", 0), 0u) << out;
  EXPECT_EQ(CountLines(out, "v "), 10u);
  EXPECT_EQ(CountLines(out, "f "), 9u);
  EXPECT_EQ(CountLines(out, ""), 21u);
  EXPECT_NE(out.find("f 1// 2// 3//\r\n"), std::string::npos);
}

TEST(SimplifyFile, ReducesAndMovesTheBar) {
  TempDir dir;
  const std::string in = dir.Write("fan.obj", FanObj(40));  // 41 vertices, 40 faces
  RecordingSink sink;
  SimplifyFile(in, dir.Folder(), 0.5, sink);
  const std::vector<int> pos = sink.Positions();
  ASSERT_GT(pos.size(), 1u + 20 + 19);
  EXPECT_EQ(pos[0], 0);
  EXPECT_EQ(pos[1], 1);    // vertex 2 of 41
  EXPECT_EQ(pos[20], 24);  // vertex 40 of 41
  EXPECT_EQ(pos[21], 26);  // the first pair mark, face 2 of 40
  EXPECT_EQ(sink.calls.back(), "hide");
  EXPECT_EQ(sink.Count("show"), 1);
  const std::string out = ReadBytes(dir.Folder() + "fan_Simplified50%.obj");
  const size_t faces = CountLines(out, "f ");
  EXPECT_LE(faces, 20u);
  EXPECT_NE(out.find(" vertices, " + std::to_string(faces) + " faces\r\n"), std::string::npos);
}

TEST(SimplifyFile, EdgeCaseOutputs) {
  TempDir dir;
  SilentProgress silent;
  // Two triangles at 0.5: both go, three vertices stay.
  const std::string two =
      dir.Write("two.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0.5\nv 1 1 0.25\nf 1 2 3\nf 3 2 4\n");
  SimplifyFile(two, dir.Folder(), 0.5, silent);
  const std::string out = ReadBytes(dir.Folder() + "two_Simplified50%.obj");
  EXPECT_EQ(out.rfind("# Exported from Zelfin\r\n#3 vertices, 0 faces\r\n", 0), 0u) << out;
  EXPECT_EQ(CountLines(out, "v "), 3u);

  const std::string empty = dir.Write("empty.obj", "# nothing\r\nvt 0 0\r\n");
  SimplifyFile(empty, dir.Folder(), 0.95, silent);
  EXPECT_EQ(ReadBytes(dir.Folder() + "empty_Simplified95%.obj"),
            "# Exported from Zelfin\r\n#0 vertices, 0 faces\r\n");
}

TEST(SimplifyFile, FailureHidesAndKeepsTheOldOutput) {
  TempDir dir;
  const std::string old_out = dir.Write("bad_Simplified95%.obj", "older result");
  const std::string bad = dir.Write("bad.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n");
  RecordingSink sink;
  EXPECT_THROW(SimplifyFile(bad, dir.Folder(), 0.95, sink), ZelfinError);
  EXPECT_EQ(sink.calls.back(), "hide");
  EXPECT_EQ(ReadBytes(old_out), "older result");

  RecordingSink missing_sink;
  try {
    SimplifyFile(dir.Folder() + "missing.obj", dir.Folder(), 0.95, missing_sink);
    ADD_FAILURE() << "no error";
  } catch (const ZelfinError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot open file", 0), 0u) << e.what();
  }
  EXPECT_EQ(missing_sink.calls.back(), "hide");
  EXPECT_FALSE(std::filesystem::exists(dir.Folder() + "missing_Simplified95%.obj"));

  // An output folder that does not exist: the error comes at the very end.
  const std::string good = dir.Write("good.obj", FanObj(5));
  RecordingSink write_sink;
  EXPECT_THROW(SimplifyFile(good, dir.Folder() + "nowhere/", 0.95, write_sink), ZelfinError);
  EXPECT_EQ(write_sink.calls.back(), "hide");
  EXPECT_EQ(write_sink.Count("caption:Surface Simplification..."), 1);
}

// The bounding box of the v lines of an output.
struct Box {
  double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
};
Box BoxOfVertices(const std::string& text) {
  Box box;
  size_t at = 0;
  while ((at = text.find("\nv ", at)) != std::string::npos) {
    double c[3] = {0, 0, 0};
    const char* p = text.c_str() + at + 3;
    for (double& x : c) p = std::from_chars(p + (*p == ' '), text.c_str() + text.size(), x).ptr;
    for (int a = 0; a < 3; ++a) {
      box.lo[a] = std::min(box.lo[a], c[a]);
      box.hi[a] = std::max(box.hi[a], c[a]);
    }
    ++at;
  }
  return box;
}

// The refined method writes the model where it was: a sphere scaled by 0.001
// and moved by 1000 comes back in that frame, its box within the input's to
// the precision of the numbers; a vertex that never moved keeps its text.
TEST(SimplifyFile, RefinedWritesTheInputsOwnCoordinates) {
  TempDir dir;
  std::string text = "v 0.1 0.25 -3\nv 0.5 0.25 -3\nv 0.1 0.75 -3\nf 1 2 3\n";
  const std::string small = dir.Write("tri.obj", text);
  SilentProgress silent;
  SimplifyFile(small, dir.Folder(), 0.95, silent, SimplifyMethod::kRefined);
  EXPECT_NE(ReadBytes(dir.Folder() + "tri_Simplified95%.obj").find("\r\nv 0.1 0.25 -3\r\n"),
            std::string::npos);

  text.clear();
  const int rings = 24, segments = 48;
  for (int i = 0; i <= rings; ++i) {
    for (int j = 0; j < segments; ++j) {
      const double t = M_PI * i / rings, u = 2 * M_PI * j / segments;
      const double x = std::sin(t) * std::cos(u), y = std::sin(t) * std::sin(u), z = std::cos(t);
      text += "v " + std::to_string(1000 + 0.001 * x) + " " + std::to_string(1000 + 0.001 * y) +
              " " + std::to_string(1000 + 0.002 * z) + "\n";
    }
  }
  for (int i = 0; i < rings; ++i) {
    for (int j = 0; j < segments; ++j) {
      const int a = i * segments + j + 1, b = i * segments + (j + 1) % segments + 1;
      text += "f " + std::to_string(a) + " " + std::to_string(b) + " " +
              std::to_string(b + segments) + " " + std::to_string(a + segments) + "\n";
    }
  }
  const std::string sphere = dir.Write("sphere.obj", text);
  SimplifyFile(sphere, dir.Folder(), 0.5, silent, SimplifyMethod::kRefined);
  const Box box = BoxOfVertices(ReadBytes(dir.Folder() + "sphere_Simplified50%.obj"));
  const double half[3] = {0.001, 0.001, 0.002};
  for (int a = 0; a < 3; ++a) {
    EXPECT_GE(box.lo[a], 1000 - half[a] - 1e-6) << a;
    EXPECT_LE(box.hi[a], 1000 + half[a] + 1e-6) << a;
    EXPECT_GT(box.hi[a] - box.lo[a], half[a]) << a;  // not collapsed, not normalised
  }
}

// A closed sphere of rings x segments quads, its coordinates written with
// `decimals` decimals.
std::string SphereObj(int rings, int segments, int decimals) {
  const auto number = [decimals](double x) {
    char buf[64];
    return std::string(
        buf, std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, decimals).ptr);
  };
  std::string text = "v 0 0 1\n";
  for (int i = 1; i < rings; ++i) {
    for (int j = 0; j < segments; ++j) {
      const double t = M_PI * i / rings, u = 2 * M_PI * j / segments;
      text += "v " + number(std::sin(t) * std::cos(u)) + " " + number(std::sin(t) * std::sin(u)) +
              " " + number(std::cos(t)) + "\n";
    }
  }
  text += "v 0 0 -1\n";
  const auto at = [&](int i, int j) {
    return std::to_string(2 + (i - 1) * segments + j % segments);
  };
  const std::string bottom = std::to_string(2 + (rings - 1) * segments);
  for (int j = 0; j < segments; ++j) {
    text += "f 1 " + at(1, j) + " " + at(1, j + 1) + "\n";
    for (int i = 1; i + 1 < rings; ++i) {
      text +=
          "f " + at(i, j) + " " + at(i + 1, j) + " " + at(i + 1, j + 1) + " " + at(i, j + 1) + "\n";
    }
    text += "f " + at(rings - 1, j + 1) + " " + at(rings - 1, j) + " " + bottom + "\n";
  }
  return text;
}

// Moved vertices carry the input's decimals plus three, no more; faces are
// written as the input wrote them, without "//".
TEST(SimplifyFile, RefinedWritesMovedVerticesWithThreeMoreDecimals) {
  TempDir dir;
  const std::string in = dir.Write("ball.obj", SphereObj(12, 24, 3));
  SilentProgress silent;
  SimplifyFile(in, dir.Folder(), 0.5, silent, SimplifyMethod::kRefined);
  const std::string out = ReadBytes(dir.Folder() + "ball_Simplified50%.obj");
  size_t moved = 0, kept = 0;
  for (size_t at = out.find("\r\nv "); at != std::string::npos; at = out.find("\r\nv ", at + 2)) {
    const std::string line = out.substr(at + 2, out.find("\r\n", at + 2) - at - 2);
    int most = 0;
    for (size_t from = 2, end; from < line.size(); from = end + 1) {
      end = std::min(line.find(' ', from), line.size());
      most = std::max(most, PrecisionOf(line.substr(from, end - from)).decimals);
    }
    EXPECT_LE(most, 6) << line;
    (most > 3 ? moved : kept) += 1;
  }
  EXPECT_GT(moved, 10u);
  EXPECT_GT(kept, 0u);
  EXPECT_EQ(out.find("//"), std::string::npos);
}

// The triangles of an OBJ text of "v x y z" and "f a b c" lines.
TriMesh ReadTriangles(const std::string& text) {
  TriMesh mesh;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = std::min(text.find_first_of("\r\n", at), text.size());
    const std::string line = text.substr(at, end - at);
    at = text.find_first_not_of("\r\n", end);
    if (at == std::string::npos) at = text.size();
    double x[3];
    uint32_t v[3];
    if (std::sscanf(line.c_str(), "v %lf %lf %lf", &x[0], &x[1], &x[2]) == 3) {
      mesh.xyz.insert(mesh.xyz.end(), x, x + 3);
    } else if (std::sscanf(line.c_str(), "f %u %u %u", &v[0], &v[1], &v[2]) == 3) {
      for (const uint32_t k : v) mesh.tri.push_back(k - 1);
    }
  }
  return mesh;
}

// The figures are those of the file written, measured afresh against the
// input: the input's side of the measurement, made while the contraction
// changes the run's faces, comes from the input as it was.
TEST(SimplifyFile, DeviationIsThatOfTheWrittenFile) {
  TempDir dir;
  const std::string text = gen::PlainObj(gen::BumpySphere(5, 4000));
  const std::string in = dir.Write("ball.obj", text);
  SilentProgress silent;
  const SimplifyResult r = SimplifyFile(in, dir.Folder(), 0.2, silent, SimplifyMethod::kRefined);
  ASSERT_TRUE(r.deviation);
  const Deviation again =
      MeasureDeviation(ReadTriangles(text), ReadTriangles(ReadBytes(r.written)), silent);
  EXPECT_GT(again.max, 1e-4 * again.diagonal);
  EXPECT_NEAR(r.deviation->max, again.max, 1e-6 * again.max);
  EXPECT_NEAR(r.deviation->mean, again.mean, 1e-6 * again.mean);
  EXPECT_NEAR(r.deviation->rms, again.rms, 1e-6 * again.rms);
  EXPECT_NEAR(r.deviation->diagonal, again.diagonal, 1e-9 * again.diagonal);
}

// The refined method measures what it did; the classic one when asked, in
// its own frame (the longest side spans 2).
TEST(SimplifyFile, DeviationMeasuredInTheWrittenFilesUnits) {
  TempDir dir;
  const std::string in = dir.Write("ball.obj", SphereObj(12, 24, 6));
  SilentProgress silent;
  SimplifyResult r = SimplifyFile(in, dir.Folder(), 1.0, silent, SimplifyMethod::kRefined);
  ASSERT_TRUE(r.deviation);
  EXPECT_EQ(r.triangles_out, r.triangles_in);
  EXPECT_EQ(r.deviation->max, 0);
  EXPECT_NEAR(r.deviation->diagonal, std::sqrt(12.0), 1e-5);

  r = SimplifyFile(in, dir.Folder(), 0.3, silent, SimplifyMethod::kRefined);
  ASSERT_TRUE(r.deviation);
  EXPECT_EQ(r.triangles_out, r.target);
  EXPECT_GT(r.deviation->max, 1e-3);
  EXPECT_LT(r.deviation->max, 0.2);
  EXPECT_LT(r.deviation->mean, r.deviation->max / 3);
  EXPECT_FALSE(r.ShortOfTarget());

  r = SimplifyFile(in, dir.Folder(), 0.3, silent);
  EXPECT_FALSE(r.deviation);
  SimplifyOptions measure;
  measure.measure = true;
  const SimplifyResult classic =
      SimplifyFile(in, dir.Folder(), 0.3, silent, SimplifyMethod::kClassic, measure);
  ASSERT_TRUE(classic.deviation);
  EXPECT_NEAR(classic.deviation->diagonal, std::sqrt(12.0), 1e-5);  // the ball spans 2 already
  EXPECT_GT(classic.deviation->max, 0);

  // Nothing left (the classic method contracts the quad's only inner edge,
  // which the refined one keeps, its ends lying on the border): no figures,
  // and no failure to measure either.
  const std::string two =
      dir.Write("two.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0.5\nv 1 1 0.25\nf 1 2 3\nf 3 2 4\n");
  r = SimplifyFile(two, dir.Folder(), 0.5, silent, SimplifyMethod::kClassic, measure);
  EXPECT_EQ(r.triangles_out, 0);
  EXPECT_FALSE(r.deviation);
  EXPECT_FALSE(r.unmeasured);
}

// A budget of 0 allows no contraction on a curved surface; a wide one
// contracts down to the floor; the file is named after the budget.
TEST(SimplifyFile, ErrorBudgetStopsTheContractions) {
  TempDir dir;
  const std::string in = dir.Write("ball.obj", SphereObj(12, 24, 6));
  SilentProgress silent;
  SimplifyOptions budget;
  budget.max_error = 0;
  SimplifyResult r = SimplifyFile(in, dir.Folder(), 0.05, silent, SimplifyMethod::kRefined, budget);
  EXPECT_EQ(r.triangles_out, r.triangles_in);
  EXPECT_EQ(r.written, dir.Folder() + "ball_SimplifiedMax0%.obj");
  EXPECT_FALSE(r.ShortOfTarget());
  budget.max_error = 0.5;
  const SimplifyResult some =
      SimplifyFile(in, dir.Folder(), 0.05, silent, SimplifyMethod::kRefined, budget);
  EXPECT_LT(some.triangles_out, r.triangles_in);
  EXPECT_GT(some.triangles_out, some.target);
  budget.max_error = 100;
  r = SimplifyFile(in, dir.Folder(), 0.5, silent, SimplifyMethod::kRefined, budget);
  EXPECT_EQ(r.triangles_out, r.target);
  EXPECT_EQ(r.written, dir.Folder() + "ball_SimplifiedMax100%.obj");
}

// What the user reads after a budget is near what was asked: the surface
// moved by little more than the budget, at the budgets people use.
TEST(SimplifyFile, ErrorBudgetBoundsTheMeasuredDeviation) {
  TempDir dir;
  const std::string in = dir.Write("bumpy.obj", gen::PlainObj(gen::BumpySphere(3, 20000)));
  SilentProgress silent;
  for (const double percent : {0.1, 0.3, 1.0}) {
    SimplifyOptions budget;
    budget.max_error = percent;
    const SimplifyResult r =
        SimplifyFile(in, dir.Folder(), 0.01, silent, SimplifyMethod::kRefined, budget);
    ASSERT_TRUE(r.deviation);
    const double measured = 100 * r.deviation->max / r.deviation->diagonal;
    EXPECT_LT(r.triangles_out, r.triangles_in) << percent;
    EXPECT_LT(measured, 1.5 * percent) << percent;
  }
}

// A lone triangle has no edge that two triangles share: nothing can go.
TEST(SimplifyFile, ShortOfTheTargetWhenNoPairIsLeft) {
  TempDir dir;
  const std::string in = dir.Write("one.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  SilentProgress silent;
  for (const SimplifyMethod method : {SimplifyMethod::kClassic, SimplifyMethod::kRefined}) {
    const SimplifyResult r = SimplifyFile(in, dir.Folder(), 0.05, silent, method);
    EXPECT_EQ(r.triangles_out, 1);
    EXPECT_EQ(r.target, 0);
    EXPECT_TRUE(r.ShortOfTarget());
  }
}

}  // namespace
}  // namespace zelfin
