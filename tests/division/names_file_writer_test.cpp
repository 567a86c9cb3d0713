#include "division/names_file_writer.h"

#include <gtest/gtest.h>

#include "division/obj_model.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

// A text read in two pieces writes the file of the text read whole, wherever
// the cut falls: relative indices of the second piece count from its start
// until the model completes them, corners of mixed shapes and faces of many
// corners (kept in a record of their own shape, written in pieces) included.
TEST(WriteNamesFile, EveryCutWritesTheSameFile) {
  std::string input;
  for (int i = 1; i <= 30; ++i)
    input += "v " + std::to_string(i) + " 0 0\nvt 0 " + std::to_string(i) + "\nvn 1 0 " +
             std::to_string(i) + "\n";
  input += "g a\n";
  for (int i = 1; i <= 20; ++i) {
    input += "f " + std::to_string(i) + "/" + std::to_string(i + 1) + "/-1 " +
             std::to_string(i + 2) + "//" + std::to_string(30 - i) + " -" + std::to_string(i) +
             "/" + std::to_string(i) + " " + std::to_string(i + 3) + "/x/1/9 \"" +
             std::to_string(i) + "\"\n";
  }
  input += "g b\nf";
  for (int i = 0; i < 2500; ++i)
    input += " " + std::to_string(30 - i % 30) + "/-" + std::to_string(1 + i % 7);
  input += "\nf 30 29 28\n";
  const NameCollator collator("");
  SilentProgress silent;
  Heartbeat heartbeat(silent);
  test::TempDir dir;
  const auto write = [&](size_t cut) {
    const ObjModel model =
        ParseOBJ(FileText::FromString(input), kDivGroupOption, collator, "in.obj", heartbeat, cut);
    Renumbering renumbering(model);
    WriteNamesFile(model, {0, 1}, NamesFileStyle{"g "}, "#x", dir.Path("out.obj"), renumbering);
    return test::ReadBytes(dir.Path("out.obj"));
  };
  const std::string whole = write(0);
  EXPECT_NE(whole.find("\r\nf 1/2/22 3//21 30/1 4//1 1\r\n"), std::string::npos) << whole;
  // vt 30 down to 24 are the 28th to 22nd used: vt 22 and 23 are not.
  EXPECT_NE(whole.find("\r\ng b\r\nf 30/28 29/27 28/26 27/25 26/24 25/23 24/22 23/28 "),
            std::string::npos);
  for (size_t cut = 1; cut < input.size(); cut += 97) EXPECT_EQ(write(cut), whole) << cut;
}

// A number equal to the part before it is copied: only where the new numbers
// are equal, whatever the old ones, and parts without a reference stay empty.
TEST(WriteNamesFile, PartsNumberedAlike) {
  std::string input;
  for (int i = 1; i <= 12; ++i) input += "v " + std::to_string(i) + " 0 0\nvt 0 0\nvn 0 0 1\n";
  input += "g a\nf 10/1/10 11/2/10 12/1/12 10//10 11/x/11 x/x/x 12/2/11 11/11/11\n";
  const NameCollator collator("");
  const ObjModel model = ParseOBJ(input, kDivGroupOption, collator, "in.obj");
  test::TempDir dir;
  Renumbering renumbering(model);
  WriteNamesFile(model, {0}, NamesFileStyle{"g "}, "#x", dir.Path("out.obj"), renumbering);
  const std::string out = test::ReadBytes(dir.Path("out.obj"));
  EXPECT_NE(out.find("\r\nf 1/1/1 2/2/1 3/1/3 1//1 2//2 // 3/2/2 2/3/2\r\n"), std::string::npos)
      << out;
}

// Faces formatted and marked on two cores, in stretches of any size, give the
// bytes of one core: runs longer than a run's most faces, a name without
// faces, usemtl lines said again after each name line, relative references
// of a second piece.
TEST(WriteNamesFile, TwoCoresWriteTheBytesOfOne) {
  std::string input;
  for (int i = 1; i <= 40; ++i)
    input += "v " + std::to_string(i) + " 0 0\nvt 0 " + std::to_string(i) + "\n";
  // Faces on the lines from `first` on: the later names use lines that the
  // first half of the faces does not.
  const auto faces = [&](int count, int first) {
    for (int i = 0; i < count; ++i) {
      const int a = first + i * 7 % 16;
      input += "f " + std::to_string(a) + "/" + std::to_string(a + 1) + " " +
               std::to_string(a + 1) + "/-1 " + std::to_string(a + 2) + "/" + std::to_string(a) +
               "\n";
    }
  };
  input += "g a\nusemtl red\n";
  faces(9000, 1);
  input += "usemtl blue\ng b\n";
  faces(300, 21);
  input += "g empty\ng a\nusemtl red\n";
  faces(10, 21);
  input += "usemtl blue\n";
  faces(10, 22);
  const NameCollator collator("");
  SilentProgress silent;
  Heartbeat heartbeat(silent);
  test::TempDir dir;
  const auto write = [&](size_t cut, size_t stretch) {
    const ObjModel model = ParseOBJ(FileText::FromString(input), kDivGroupOption, collator,
                                    "in.obj", heartbeat, cut, true);
    Renumbering renumbering(model);
    WriteBehind out(heartbeat);
    WriteNamesFile(model, {0, 1, 2}, NamesFileStyle{"g ", nullptr, true}, "#x", dir.Path("out.obj"),
                   renumbering, out, heartbeat, stretch);
    out.Finish();
    return test::ReadBytes(dir.Path("out.obj"));
  };
  const std::string one = write(0, 0);
  EXPECT_NE(one.find("\r\ng empty\r\n"), std::string::npos);
  EXPECT_NE(one.find("usemtl blue\r\nf 20/20 21/36 22/19\r\n"), std::string::npos) << one;
  for (const size_t cut : {size_t{0}, input.size() / 3}) {
    for (const size_t stretch : {size_t{1}, size_t{700}, kTwoCoreStretch}) {
      EXPECT_EQ(write(cut, stretch), one) << cut << " " << stretch;
    }
  }
}

}  // namespace
}  // namespace zelfin
