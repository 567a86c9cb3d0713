#include "simplify/diet_attribute_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/obj_lexer.h"

namespace zelfin {
namespace {

// The lines as the loader hands them over: faces as tokens, v lines not at all.
void Feed(AttributeReader& reader, const std::vector<std::string>& lines, size_t from, size_t to) {
  std::vector<std::string_view> tokens;
  std::string scratch;
  for (size_t i = from; i < to; ++i) {
    const std::string_view line = lines[i];
    if (line.starts_with("v ")) continue;
    if (!line.starts_with("f ")) {
      reader.Line(line);
      continue;
    }
    SplitObjTokens(line, tokens, scratch);
    reader.Face(tokens);
  }
}

// The lines read in two pieces cut before line `cut`, the later joined to the earlier.
AttributeReader ReadInTwo(const std::vector<std::string>& lines, size_t cut) {
  AttributeReader first, later;
  later.StartLater();
  Feed(first, lines, 0, cut);
  Feed(later, lines, cut, lines.size());
  first.Join(std::move(later));
  return first;
}

LoadedAttributes Finish(AttributeReader& reader, int faces) {
  for (int f = 0; f < faces; ++f) {
    AttributeReader::BadReference bad;
    EXPECT_TRUE(reader.Resolve(f, bad)) << "face " << f;
    reader.AddTriangle(f, 2);
  }
  return reader.Take();
}

// A file read in two pieces, the later one joined to the earlier, gives what
// reading it in one piece gives, wherever it is cut: the names in force,
// their order of first appearance, and the vt and vn lines before a face
// (which relative references count from). Its first faces come before
// anything to keep (they are held by corner count only until it comes).
TEST(AttributeReader, TwoPiecesJoinedReadAsOne) {
  const std::string text =
      "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nvt 0 0\nf 3// 2/x 1\nmtllib a.mtl\nvt 1 0\n"
      "vn 0 0 1\n"
      "f 1/1/1 2/2/1 3/1/1\nusemtl red\ng left\ns 1\nvt 0 1\nf 1/3 2/-1 3/-2\n"
      "f -3//-1 -2//1 -1//1\nmtllib b.mtl\ng right\nusemtl blue\nvn 1 0 0\n"
      "f 1/1/2 2/2/-1 3/3/2\ns off\nusemtl red\nf 1/1 2/2 3/3\ng left\nvt 1 1\n"
      "f 1/-1/1 2/-2/-2 3/4/2\n";
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const int faces = 8;
  AttributeReader whole;
  Feed(whole, lines, 0, lines.size());
  const LoadedAttributes expected = Finish(whole, faces);
  for (size_t f = 0; f < 2; ++f) {
    EXPECT_EQ(expected.tri_uv[f], (std::array<int32_t, 3>{-1, -1, -1}));
    EXPECT_EQ(expected.tri_parts[f], (std::array<uint8_t, 3>{0, 0, 0}));
    EXPECT_EQ(expected.tri_material[f], -1);
    EXPECT_EQ(expected.tri_group[f], -1);
    EXPECT_EQ(expected.tri_smoothing[f], -1);
  }
  EXPECT_EQ(expected.tri_uv[2], (std::array<int32_t, 3>{0, 1, 0}));
  EXPECT_EQ(expected.tri_material[3], 0);
  for (size_t cut = 0; cut <= lines.size(); ++cut) {
    AttributeReader joined_reader = ReadInTwo(lines, cut);
    const LoadedAttributes joined = Finish(joined_reader, faces);
    SCOPED_TRACE("cut before line " + std::to_string(cut));
    EXPECT_EQ(joined.any, expected.any);
    EXPECT_EQ(joined.libraries, expected.libraries);
    EXPECT_EQ(joined.materials, expected.materials);
    EXPECT_EQ(joined.groups, expected.groups);
    EXPECT_EQ(joined.smoothing, expected.smoothing);
    EXPECT_EQ(joined.uvs, expected.uvs);
    EXPECT_EQ(joined.normals.size(), expected.normals.size());
    EXPECT_EQ(joined.tri_uv, expected.tri_uv);
    EXPECT_EQ(joined.tri_normal, expected.tri_normal);
    EXPECT_EQ(joined.tri_parts, expected.tri_parts);
    EXPECT_EQ(joined.tri_material, expected.tri_material);
    EXPECT_EQ(joined.tri_group, expected.tri_group);
    EXPECT_EQ(joined.tri_smoothing, expected.tri_smoothing);
  }
}

// Faces without a vt or vn reference, with vt lines but no name or library
// line: nothing to keep, in one piece or two.
TEST(AttributeReader, PlainFacesKeepNothing) {
  const std::vector<std::string> lines = {"v 0 0 0", "f 1 1 1", "vt 0 0", "f 1// 1/ 1"};
  for (size_t cut = 0; cut <= lines.size(); ++cut) {
    AttributeReader joined = ReadInTwo(lines, cut);
    EXPECT_FALSE(joined.Any()) << cut;
    EXPECT_EQ(joined.Take().uvs.size(), 1u);
  }
}

}  // namespace
}  // namespace zelfin
