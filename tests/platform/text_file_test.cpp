#include "platform/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/errors.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  ForEachLine(text, [&](std::string_view line) { out.emplace_back(line); });
  return out;
}

TEST(LineSplitting, AllThreeLineEndsAndNoFinalEnd) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Lines("a\r\nb\rc\nd"), (V{"a", "b", "c", "d"}));
  EXPECT_EQ(Lines("a\r\n"), (V{"a"}));            // a final end starts no line
  EXPECT_EQ(Lines("a\n\n"), (V{"a", ""}));        // but an empty line is a line
  EXPECT_EQ(Lines("\r\r\n"), (V{"", ""}));        // CR, then CR LF
  EXPECT_EQ(Lines("a\n\rb"), (V{"a", "", "b"}));  // LF CR is two ends
  EXPECT_EQ(Lines(""), V{});
  EXPECT_EQ(SplitLines("x\ry").size(), 2u);
}

TEST(ReadTextFile, ByteOrderMarks) {
  TempDir dir;
  const std::string p = dir.Path("t.txt");
  WriteBytes(p, "\xEF\xBB\xBFv 1\r\n");
  EXPECT_EQ(ReadTextFile(p), "v 1\r\n");
  // "g é" + CR LF in UTF-16 LE and BE, and a character outside the BMP.
  WriteBytes(p, std::string("\xFF\xFEg\0 \0\xE9\0\r\0\n\0\x3D\xD8\x00\xDE", 16));
  EXPECT_EQ(ReadTextFile(p), "g \xC3\xA9\r\n\xF0\x9F\x98\x80");
  WriteBytes(p, std::string("\xFE\xFF\0g\0 \0\xE9\0\r\0\n", 12));
  EXPECT_EQ(ReadTextFile(p), "g \xC3\xA9\r\n");
  // Without a mark the bytes stay as they are, even when they are not UTF-8.
  WriteBytes(p, "g \xE9t\xE9\n");
  EXPECT_EQ(ReadTextFile(p), "g \xE9t\xE9\n");
  // A lone surrogate and an odd last byte become U+FFFD instead of garbage.
  WriteBytes(p, std::string("\xFF\xFE\x00\xD8"
                            "a\0"
                            "b",
                            7));
  EXPECT_EQ(ReadTextFile(p),
            "\xEF\xBF\xBD"
            "a"
            "\xEF\xBF\xBD");
}

TEST(ReadTextFile, MissingFileNamesPathAndReason) {
  TempDir dir;
  const std::string p = dir.Path("nope.obj");
  try {
    ReadTextFile(p);
    FAIL() << "no error";
  } catch (const ZelfinError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + p + "\". No such file or directory.");
  }
  EXPECT_THROW(ReadTextFile(dir.Path("")), ZelfinError);  // a folder is not a text file
}

TEST(AtomicWrite, ReplacesWholeFileAndLeavesNoTemporary) {
  TempDir dir;
  const std::string p = dir.Path("out.obj");
  WriteTextFileAtomic(p, "old\r\n");
  WriteTextFileAtomic(p, "new\r\n");
  EXPECT_EQ(ReadBytes(p), "new\r\n");
  EXPECT_EQ(test::ListFolder(dir.Path("")), "out.obj");
  // Large content goes through in pieces.
  std::string big(3 << 20, 'x');
  AtomicFileWriter w(p);
  w.Write(big.substr(0, 1000));
  w.Write(big.substr(1000));
  w.Commit();
  EXPECT_EQ(ReadBytes(p), big);
}

TEST(AtomicWrite, FailureKeepsOlderFileAndLeavesNothing) {
  TempDir dir;
  const std::string p = dir.Path("out.obj");
  WriteTextFileAtomic(p, "older\r\n");
  {
    AtomicFileWriter w(p);
    w.Write("half of a new fi");
    // Dropped without Commit, as when the writer's caller fails midway.
  }
  EXPECT_EQ(ReadBytes(p), "older\r\n");
  EXPECT_EQ(test::ListFolder(dir.Path("")), "out.obj");

  // The target is a folder: the rename fails, and nothing is left behind.
  mkdir(dir.Path("sub").c_str(), 0777);
  EXPECT_THROW(WriteTextFileAtomic(dir.Path("sub"), "x"), ZelfinError);
  EXPECT_EQ(test::ListFolder(dir.Path("")), "out.obj sub");

  // No such folder.
  try {
    WriteTextFileAtomic(dir.Path("none/x.obj"), "x");
    FAIL() << "no error";
  } catch (const ZelfinError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot create file \"" + dir.Path("none/x.obj") + "\". No such file or directory.");
  }
}

}  // namespace
}  // namespace zelfin
