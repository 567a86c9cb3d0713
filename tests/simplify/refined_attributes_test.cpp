// The refined method on files with texture coordinates, normals, materials
// and groups: what it writes, and that seams and material borders stay whole.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/progress_sink.h"
#include "simplify/diet_first_numbers.h"
#include "simplify/simplify_file.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

// The lines of a written file, split into tokens.
std::vector<std::vector<std::string>> Lines(const std::string& text) {
  std::vector<std::vector<std::string>> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find("\r\n", at);
    std::vector<std::string> tokens;
    size_t pos = at;
    while (pos < end) {
      const size_t space = std::min(text.find(' ', pos), end);
      tokens.push_back(text.substr(pos, space - pos));
      pos = space + 1;
    }
    lines.push_back(tokens);
    at = end + 2;
  }
  return lines;
}

double Number(const std::string& s) {
  double x = 0;
  std::from_chars(s.data(), s.data() + s.size(), x);
  return x;
}

// A written file read back: positions, texture coordinates, and per face its
// material, smoothing group and corners (v, vt, vn as written, 0 for none).
struct Written {
  std::vector<std::string> libraries;
  std::vector<std::array<double, 3>> v;
  std::vector<std::array<double, 2>> vt;
  struct Face {
    std::string material, smoothing;
    std::vector<std::array<int, 3>> corners;
    std::vector<std::string> forms;
  };
  std::vector<Face> faces;
};

Written ReadBack(const std::string& path) {
  Written w;
  std::string material, smoothing;
  for (const std::vector<std::string>& t : Lines(test::ReadBytes(path))) {
    if (t.empty()) continue;
    if (t[0] == "mtllib") w.libraries.push_back(t[1]);
    if (t[0] == "v") w.v.push_back({Number(t[1]), Number(t[2]), Number(t[3])});
    if (t[0] == "vt") w.vt.push_back({Number(t[1]), Number(t[2])});
    if (t[0] == "usemtl") material = t[1];
    if (t[0] == "s") smoothing = t[1];
    if (t[0] != "f") continue;
    Written::Face f{material, smoothing, {}, {}};
    for (size_t c = 1; c < t.size(); ++c) {
      std::array<int, 3> parts{0, 0, 0};
      std::string form = "v";
      size_t begin = 0;
      for (int k = 0; k < 3 && begin <= t[c].size(); ++k) {
        const size_t slash = std::min(t[c].find('/', begin), t[c].size());
        if (slash > begin) {
          parts[k] = static_cast<int>(Number(t[c].substr(begin, slash - begin)));
          if (k > 0) form += k == 1 ? "/vt" : "/vn";
        } else if (k == 1 && slash < t[c].size()) {
          form += "/";
        }
        begin = slash + 1;
      }
      f.corners.push_back(parts);
      f.forms.push_back(form);
    }
    w.faces.push_back(f);
  }
  return w;
}

// A grid of nx x ny quads on the plane z = 0 (a little wave keeps the costs
// apart), cut into triangles. The faces left of x = nx / 2 use material "a"
// and the UV island u in [0, 0.4]; those right of it "b" (when two_materials)
// and the island u in [0.6, 1]. So the line x = nx / 2 is a seam: its
// vertices carry a texture coordinate from each island.
std::string Grid(int nx, int ny, bool two_materials) {
  std::string text = "mtllib grid.mtl\n";
  for (int y = 0; y <= ny; ++y) {
    for (int x = 0; x <= nx; ++x) {
      text += "v " + std::to_string(x) + " " + std::to_string(y) + " " +
              std::to_string(0.05 * std::sin(x * 0.7 + y * 1.3)) + "\n";
    }
  }
  // Per vertex two texture coordinates: the left island's and the right's.
  for (int y = 0; y <= ny; ++y) {
    for (int x = 0; x <= nx; ++x) {
      const double u = 0.4 * x / nx, v = static_cast<double>(y) / ny;
      text += "vt " + std::to_string(u) + " " + std::to_string(v) + "\n";
      text += "vt " + std::to_string(0.6 + u) + " " + std::to_string(v) + "\n";
    }
  }
  const auto corner = [&](int x, int y, bool right) {
    const int v = y * (nx + 1) + x + 1;
    return std::to_string(v) + "/" + std::to_string(2 * (v - 1) + 1 + (right ? 1 : 0));
  };
  for (const bool right : {false, true}) {
    text += std::string("usemtl ") + (right && two_materials ? "b" : "a") + "\n";
    for (int y = 0; y < ny; ++y) {
      for (int x = right ? nx / 2 : 0; x < (right ? nx : nx / 2); ++x) {
        text += "f " + corner(x, y, right) + " " + corner(x + 1, y, right) + " " +
                corner(x + 1, y + 1, right) + "\n";
        text += "f " + corner(x, y, right) + " " + corner(x + 1, y + 1, right) + " " +
                corner(x, y + 1, right) + "\n";
      }
    }
  }
  return text;
}

std::string Simplify(test::TempDir& dir, const std::string& name, const std::string& text,
                     double keep) {
  SilentProgress silent;
  SimplifyFile(dir.Write(name + ".obj", text), dir.Folder(), keep, silent,
               SimplifyMethod::kRefined);
  return dir.Folder() + name + "_Simplified" + std::to_string(static_cast<int>(keep * 100 + 0.5)) +
         "%.obj";
}

// Values numbered by first appearance, as a map of their bits would: through
// many growths of the table, with 0 and -0 and two NaNs kept apart, and
// values that differ only in their last bit.
TEST(FirstNumbers, NumbersByFirstAppearanceToTheBit) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> pool = {0.0, -0.0,   nan,   -nan,    1.0, std::nextafter(1.0, 2.0),
                                    0.5, 1e-300, -2.25, 0.362918};
  std::mt19937 random(9);
  FirstNumbers<2> table;
  std::map<KeyWords<2>, int32_t> expected;
  for (int32_t i = 0; i < 20000; ++i) {
    std::array<double, 2> value = {pool[random() % pool.size()], pool[random() % pool.size()]};
    if (random() % 2) value[1] = i;  // new values too, so that the table grows
    const auto [it, added] = expected.try_emplace(BitsOf(value), i);
    bool fresh = false;
    ASSERT_EQ(table.Number(BitsOf(value), i, fresh), it->second);
    ASSERT_EQ(fresh, added);
  }
  EXPECT_EQ(table.size(), expected.size());
}

TEST(RefinedAttributes, SeamAndMaterialBorderStayWholeAndStraight) {
  test::TempDir dir;
  const int nx = 16, ny = 10;
  for (const bool materials : {false, true}) {
    const Written w = ReadBack(Simplify(dir, "grid", Grid(nx, ny, materials), 0.2));
    EXPECT_EQ(w.libraries, std::vector<std::string>{"grid.mtl"});  // beside the input: as it was
    ASSERT_LE(w.faces.size(), static_cast<size_t>(2 * nx * ny / 4));
    // Every face stays on its own side and island, under its own material.
    std::map<int, std::set<bool>> islands_of_vertex;
    for (const Written::Face& f : w.faces) {
      double cx = 0;
      std::set<bool> islands;
      for (const std::array<int, 3>& c : f.corners) {
        cx += w.v[static_cast<size_t>(c[0] - 1)][0] / 3;
        const bool right = w.vt[static_cast<size_t>(c[1] - 1)][0] >= 0.5;
        islands.insert(right);
        islands_of_vertex[c[0]].insert(right);
      }
      ASSERT_EQ(islands.size(), 1u) << "a face spans both islands";
      const bool right = *islands.begin();
      EXPECT_EQ(cx > nx / 2.0, right);
      EXPECT_EQ(f.material, materials && right ? "b" : "a");
    }
    // The seam's vertices keep both islands, and all of them stand on its line.
    int seam = 0;
    for (const auto& [vertex, islands] : islands_of_vertex) {
      if (islands.size() < 2) continue;
      ++seam;
      EXPECT_NEAR(w.v[static_cast<size_t>(vertex - 1)][0], nx / 2.0, 1e-9);
    }
    EXPECT_GE(seam, 2);
  }
}

// Written into another folder, the file names its library from there.
TEST(RefinedAttributes, MaterialLibraryFoundFromAnotherFolder) {
  test::TempDir dir;
  std::filesystem::create_directories(dir.Folder() + "models");
  std::filesystem::create_directories(dir.Folder() + "out");
  dir.Write("models/grid.mtl", "newmtl a\nnewmtl b\n");
  const std::string in = dir.Write("models/grid.obj", Grid(8, 6, true));
  SilentProgress silent;
  SimplifyFile(in, dir.Folder() + "out/", 0.5, silent, SimplifyMethod::kRefined);
  EXPECT_EQ(ReadBack(dir.Folder() + "out/grid_Simplified50%.obj").libraries,
            std::vector<std::string>{"../models/grid.mtl"});
}

// Smoothing groups come through in runs like materials: every face under
// the s line its input face stood under.
TEST(RefinedAttributes, SmoothingGroupsAreKept) {
  test::TempDir dir;
  const int nx = 16, ny = 10;
  std::string text = Grid(nx, ny, false);
  text.insert(text.find("usemtl a"), "s 1\n");
  text.insert(text.rfind("usemtl a"), "s off\n");
  const Written w = ReadBack(Simplify(dir, "smooth", text, 0.3));
  ASSERT_LE(w.faces.size(), static_cast<size_t>(2 * nx * ny * 3 / 10));
  for (const Written::Face& f : w.faces) {
    double cx = 0;
    for (const std::array<int, 3>& c : f.corners) cx += w.v[static_cast<size_t>(c[0] - 1)][0] / 3;
    EXPECT_EQ(f.smoothing, cx < nx / 2.0 ? "1" : "off");
  }
}

TEST(RefinedAttributes, CornersKeepTheFormsTheInputGaveThem) {
  test::TempDir dir;
  const std::string text =
      "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0.5\nvt 0 0\nvt 1 0\nvt 0 1\nvn 0 0 2\n"
      "g top\nf 1//1 2//1 3//1\nf 2/2 4/3 3/3\ng side\nf 1/1/1 2//1 4\n";
  const Written w = ReadBack(Simplify(dir, "forms", text, 0.95));
  ASSERT_EQ(w.faces.size(), 3u);
  EXPECT_EQ(w.faces[0].forms, (std::vector<std::string>{"v//vn", "v//vn", "v//vn"}));
  EXPECT_EQ(w.faces[1].forms, (std::vector<std::string>{"v/vt", "v/vt", "v/vt"}));
  EXPECT_EQ(w.faces[2].forms, (std::vector<std::string>{"v/vt/vn", "v//vn", "v"}));
  const std::string out = test::ReadBytes(dir.Folder() + "forms_Simplified95%.obj");
  EXPECT_NE(out.find("\r\nvn 0 0 1\r\n"), std::string::npos) << out;  // unit length
  EXPECT_LT(out.find("g top\r\n"), out.find("g side\r\n"));
}

TEST(RefinedAttributes, ReferencesToNothingAreTheDivisionsErrors) {
  test::TempDir dir;
  const std::string head = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\n";
  const auto error = [&](const std::string& text) {
    try {
      Simplify(dir, "bad", text, 0.5);
    } catch (const ZelfinError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  const std::string where = "Face on line 5 of \"" + dir.Folder() + "bad.obj\" refers to ";
  EXPECT_EQ(error(head + "f 1/1 2/5 3/1\n"),
            where + "texture coordinate 5, but the file has only 1 texture coordinate line.");
  EXPECT_EQ(error(head + "f 1/-2 2/1 3/1\n"),
            where + "texture coordinate -2, but only 1 texture coordinate line stands before it.");
  EXPECT_EQ(error(head + "f 1//1 2//1 3//1\n"),
            where + "normal 1, but the file has no normal lines.");
  // Relative references and a material named before any face are fine.
  const Written w =
      ReadBack(Simplify(dir, "rel", "usemtl m\n" + head + "f -3/-1 -2/-1 -1/1\n", 0.95));
  ASSERT_EQ(w.faces.size(), 1u);
  EXPECT_EQ(w.faces[0].material, "m");
}

}  // namespace
}  // namespace zelfin
