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

}  // namespace
}  // namespace zelfin
