#include "simplify/simplify_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <string>

#include "platform/errors.h"
#include "support/files.h"
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

}  // namespace
}  // namespace zelfin
