#include "division/obj_model.h"

#include <gtest/gtest.h>

#include "division/obj_model.h"
#include "platform/errors.h"
#include "support/error_text.h"
#include "support/files.h"
#include "support/lines.h"
#include "support/model_faces.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

using test::FacesOf;
using test::Joined;
using Texts = std::vector<std::string>;

ObjModel Parse(const std::string& text, int32_t mode, const std::string& locale = "") {
  const NameCollator collator(locale);
  return ParseOBJ(text, mode, collator, "x.obj");
}

Texts LinesOf(const ObjModel& model, const std::vector<uint64_t>& offsets) {
  Texts texts;
  for (const uint64_t offset : offsets) texts.emplace_back(LineAt(model, offset));
  return texts;
}

std::string ErrorOf(const std::string& text, int32_t mode = kDivMaterial) {
  return test::ErrorText<ZelfinError>([&] { Parse(text, mode); });
}

TEST(ParseOBJ, CleansLinesAndIgnoresWhatNoRuleNames) {
  const ObjModel model = Parse(Joined({" \tv\t1  2\t3 ", "V 9 9 9", "v", "v \t ", "vt\t0 1",
                                       "vn 0 0 1 # keep", "vx 1", "# c", "mtllib a.mtl", "o obj",
                                       "usemtl", "Usemtl no", "f", "usemtl m", "f  1\t1 1 "}),
                               kDivMaterial);
  EXPECT_EQ(LinesOf(model, model.VLines), (Texts{"v 1  2 3"}));
  EXPECT_EQ(LinesOf(model, model.VTLines), (Texts{"vt 0 1"}));
  EXPECT_EQ(LinesOf(model, model.VNLines), (Texts{"vn 0 0 1 # keep"}));
  EXPECT_EQ(model.ElementNames, (Texts{"m"}));
  EXPECT_EQ(FacesOf(model, 0), (Texts{"f 1 1 1"}));
}

TEST(ParseOBJ, NamesMergeByCaseAndFacesBeforeTheFirstNameGoToTheFirstSorted) {
  const ObjModel model = Parse(Joined({"v 0 0 0", "f 1 1 1", "usemtl Wood", "f 1", "g grp",
                                       "usemtl apple b", "f 1 1", "usemtl WOOD", "f 1 1 1 1"}),
                               kDivMaterial);
  EXPECT_EQ(model.ElementNames, (Texts{"apple", "Wood"}));
  EXPECT_EQ(FacesOf(model, 0), (Texts{"f 1 1 1", "f 1 1"}));
  EXPECT_EQ(FacesOf(model, 1), (Texts{"f 1", "f 1 1 1 1"}));
}

TEST(ParseOBJ, GroupModesTakeNamesFromGroupLinesOnly) {
  const ObjModel model = Parse(
      Joined({"v 0 0 0", "usemtl m", "g  left\t\tarm", "f 1", "g \"b  c\"", "usemtl n", "f 1 1"}),
      kDivGroup);
  EXPECT_EQ(model.ElementNames, (Texts{"b  c", "left arm"}));
  EXPECT_EQ(FacesOf(model, 0), (Texts{"f 1 1"}));
}

TEST(ParseOBJ, NamesFollowTheLocaleOrderWithCaseIgnored) {
  const std::string text = Joined({"g cherry", "g Banana", "g apple", "g Äpfel"});
  EXPECT_EQ(Parse(text, kDivGroup, "en_US").ElementNames,
            (Texts{"Äpfel", "apple", "Banana", "cherry"}));
  EXPECT_EQ(Parse(text, kDivGroup, "sv_SE").ElementNames,
            (Texts{"apple", "Banana", "cherry", "Äpfel"}));
}

TEST(ParseOBJ, WithoutNamesTheModelIsEmptyAndFacesAreNotChecked) {
  const ObjModel model = Parse(Joined({"v 0 0 0", "f 1 2 99", "g x"}), kDivMaterial);
  EXPECT_TRUE(model.VLines.empty());
  EXPECT_TRUE(model.ElementNames.empty());
  EXPECT_TRUE(model.runs.empty());
}

TEST(ParseOBJ, RefusesFacesThatReferToMissingLines) {
  const std::string head = Joined({"v 0 0 0", "v 1 0 0", "vt 0 0", "usemtl m"});
  EXPECT_EQ(
      ErrorOf(head + Joined({"f 1 2 1", "f 1 2 3"})),
      "Face on line 6 of \"x.obj\" refers to vertex 3, but the file has only 2 vertex lines.");
  EXPECT_EQ(ErrorOf(head + Joined({"f 1/2 2 1"})),
            "Face on line 5 of \"x.obj\" refers to texture coordinate 2, but the file has only 1 "
            "texture coordinate line.");
  EXPECT_EQ(ErrorOf(head + Joined({"f 1//1 2 1"})),
            "Face on line 5 of \"x.obj\" refers to normal 1, but the file has no normal lines.");
  // Relative indices count back from the face: later vertices do not help.
  EXPECT_EQ(ErrorOf(head + Joined({"f -1 -2 -3", "v 2 0 0"})),
            "Face on line 5 of \"x.obj\" refers to vertex -3, but only 2 vertex lines stand "
            "before it.");
  EXPECT_EQ(ErrorOf(Joined({"usemtl m", "f 1/-1", "vt 0 0", "v 0 0 0"})),
            "Face on line 2 of \"x.obj\" refers to texture coordinate -1, but no texture "
            "coordinate line stands before it.");
  // Beyond int64: reported as written, never wrapped into range.
  EXPECT_EQ(ErrorOf(head + Joined({"f 99999999999999999999 1 2"})),
            "Face on line 5 of \"x.obj\" refers to vertex 99999999999999999999, but the file has "
            "only 2 vertex lines.");
  // The first bad face in file order is named, also before any name line, and
  // line numbers count every kind of line end.
  EXPECT_EQ(ErrorOf("v 0 0 0\rf 5\n\nusemtl m\r\nf 4\r\n"),
            "Face on line 2 of \"x.obj\" refers to vertex 5, but the file has only 1 vertex line.");
  EXPECT_EQ(ErrorOf(head + Joined({"f -2 -1 2 0 x 1/ //"})), "no error");
}

TEST(LoadOBJ, EveryEncodingAndLineEndGivesTheSameModel) {
  test::ScopedEnv locale("LC_ALL", "C");
  const std::string lines[] = {"v 1 2 3", "usemtl \xc3\xa9t\xc3\xa9", "\tf 1 1 1 "};
  const auto utf16 = [&](bool big_endian, std::string_view end) {
    std::string ascii;
    for (const auto& line : lines) ascii += line + std::string(end);
    std::string out = big_endian ? "\xfe\xff" : "\xff\xfe";
    for (size_t i = 0; i < ascii.size(); ++i) {
      char16_t unit = static_cast<unsigned char>(ascii[i]);
      if (ascii[i] == '\xc3') unit = 0xE9, ++i;  // the one non-ASCII letter
      const char hi = static_cast<char>(unit >> 8), lo = static_cast<char>(unit & 0xFF);
      out += big_endian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
  };
  const std::string plain = lines[0] + "\n" + lines[1] + "\n" + lines[2];
  const std::string variants[] = {plain,
                                  plain + "\r\n",
                                  lines[0] + "\r" + lines[1] + "\r" + lines[2] + "\r",
                                  "\xef\xbb\xbf" + plain,
                                  utf16(false, "\r\n"),
                                  utf16(true, "\n")};
  test::TempDir dir;
  for (const std::string& bytes : variants) {
    test::WriteBytes(dir.Path("in.obj"), bytes);
    const ObjModel model = LoadOBJ(dir.Path("in.obj"), kDivMaterial);
    EXPECT_EQ(model.ElementNames, (Texts{"\xc3\xa9t\xc3\xa9"}));
    EXPECT_EQ(LinesOf(model, model.VLines), (Texts{"v 1 2 3"}));
    ASSERT_EQ(model.ElementNames.size(), 1u);
    EXPECT_EQ(FacesOf(model, 0), (Texts{"f 1 1 1"}));
  }
  EXPECT_THROW(LoadOBJ(dir.Path("missing.obj"), kDivMaterial), ZelfinError);
}

// A text read in two pieces at once gives the model of one read whole,
// wherever the cut falls: inside a line, between CR and LF, before a name
// line, inside a run of faces of a name that goes on in the second piece, or
// between two forms of one name.
TEST(ParseOBJ, EveryCutBetweenTwoPiecesGivesTheSameModel) {
  const std::string text =
      "v 0 0 0\r\nf 1 1 1\rusemtl Wood\n\tv\t1 2 3 \r\nvt 0 0\nf 1/1 -1 2\r\ng g1\n"
      "usemtl apple\r\nvn 0 0 1\nf 1//1 2//-1\r\nusemtl WOOD\nf -2 1\rusemtl  Wood\nf 2 2 2\n"
      "g g2\nusemtl apple\r\nf 1 2";
  const NameCollator collator("");
  SilentProgress silent;
  Heartbeat heartbeat(silent);
  const auto parse = [&](const std::string& input, int32_t mode, size_t cut) {
    return ParseOBJ(FileText::FromString(input), mode, collator, "x.obj", heartbeat, cut);
  };
  for (const int32_t mode : {kDivMaterial, kDivGroup}) {
    const ObjModel whole = parse(text, mode, 0);
    for (size_t cut = 1; cut <= text.size(); ++cut) {
      const ObjModel model = parse(text, mode, cut);
      EXPECT_EQ(model.VLines, whole.VLines) << cut;
      EXPECT_EQ(model.VTLines, whole.VTLines) << cut;
      EXPECT_EQ(model.VNLines, whole.VNLines) << cut;
      ASSERT_EQ(model.ElementNames, whole.ElementNames) << cut;
      for (uint32_t i = 0; i < model.ElementNames.size(); ++i) {
        EXPECT_EQ(FacesOf(model, i), FacesOf(whole, i)) << cut;
      }
      EXPECT_EQ(model.element_tabs, whole.element_tabs) << cut;
    }
  }
  const ObjModel model = parse(text, kDivMaterial, text.size() / 2);
  EXPECT_EQ(model.ElementNames, (Texts{"apple", "Wood"}));
  // Relative indices count back from their face, across the cut too.
  EXPECT_EQ(FacesOf(model, 0), (Texts{"f 1 1 1", "f 1//1 2//1", "f 1 2"}));
  EXPECT_EQ(FacesOf(model, 1), (Texts{"f 1/1 2 2", "f 1 1", "f 2 2 2"}));
  EXPECT_EQ(LinesOf(model, model.VLines), (Texts{"v 0 0 0", "v 1 2 3"}));
  EXPECT_TRUE(model.element_tabs);

  // The first bad face in file order is told, from either piece.
  for (const std::string& bad :
       {text.substr(0, text.size() - 5) + "f 1 3", "usemtl a\nf 1\n" + text.substr(8) + "\nf -3"}) {
    const auto error = [&](size_t cut) {
      try {
        parse(bad, kDivMaterial, cut);
      } catch (const ZelfinError& e) {
        return std::string(e.what());
      }
      return std::string("no error");
    };
    const std::string whole = error(0);
    EXPECT_NE(whole, "no error");
    for (size_t cut = 1; cut <= bad.size(); ++cut) EXPECT_EQ(error(cut), whole) << cut;
  }
}

// Records hold one number for a corner whose parts are numbered alike; the
// next face's differences count from all three parts even so, and a face of
// many corners may mix forms from record to record.
TEST(ParseOBJ, FacesComeBackAsWrittenWhateverTheirParts) {
  std::string many = "f";
  for (int i = 1; i <= 70; ++i)
    many +=
        " " + std::to_string(i) + "/" + std::to_string(i) + "/" + std::to_string(i == 70 ? 69 : i);
  const Texts faces = {"f 3/3/3 5/5/5 7/7/7", "f 2/9/4 3/3/3 1/1/1",    "f 4//4 6//6 8//8",
                       "f 5/5 6/6 7/7",       "f 5/6 6/6 7/7",          "f 9/9/9 10/10/10 11/11/10",
                       "f 1/1/ 2/2/ 3/3/",    "f 8/8/8 9/9/9 7/7/7",    many,
                       "f 12//12 12//12 1",   "f 1/12/1 12/1/12 1/1/12"};
  std::string text = "usemtl m\n";
  for (int i = 0; i < 70; ++i) text += "v 0 0 0\nvt 0 0\nvn 0 0 1\n";
  for (const std::string& face : faces) text += face + "\n";
  const NameCollator collator("");
  SilentProgress silent;
  Heartbeat heartbeat(silent);
  for (const size_t cut : {size_t{0}, text.size() - 200, text.size() - 20}) {
    const ObjModel model =
        ParseOBJ(FileText::FromString(text), kDivMaterial, collator, "x.obj", heartbeat, cut);
    EXPECT_EQ(FacesOf(model, 0), faces) << cut;
  }
}

}  // namespace
}  // namespace zelfin
