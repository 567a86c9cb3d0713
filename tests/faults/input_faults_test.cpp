// Hostile inputs for the division and the simplification: each gives a clear
// error naming the file, or its documented result, and never a crash.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "division/divide_file.h"
#include "division/obj_model.h"
#include "faults/fault_util.h"
#include "platform/errors.h"
#include "platform/progress_sink.h"
#include "simplify/simplify_file.h"
#include "support/error_text.h"
#include "support/files.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

using test::ErrorText;
using test::ListFolder;
using test::ReadBytes;
using test::WriteBytes;
using namespace std::string_literals;

const std::string kEmptySimplified = "# Exported from Zelfin\r\n#0 vertices, 0 faces\r\n";

class InputFaults : public ::testing::Test {
 protected:
  std::string Input() const { return in_.Path("x.obj"); }
  std::string Divide(int32_t mode = kDivMaterial) {
    return ErrorText([&] { DivideFile(Input(), out_.Folder(), mode); });
  }
  std::string Simplify(double keep = 0.5) {
    return ErrorText([&] {
      SilentProgress progress;
      SimplifyFile(Input(), out_.Folder(), keep, progress);
    });
  }
  std::string Out(const std::string& name) const { return ReadBytes(out_.Path(name)); }
  void ClearOut() {
    for (const auto& e : std::filesystem::directory_iterator(out_.Folder())) {
      std::filesystem::remove(e.path());
    }
  }

  test::ScopedEnv locale_{"LC_ALL", "C"};
  test::TempDir in_, out_;
};

TEST_F(InputFaults, UnreadableFile) {
  WriteBytes(Input(), "v 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl a\nf 1 2 3\n");
  chmod(Input().c_str(), 0);
  chmod(in_.Folder().c_str(), 0755);
  chmod(out_.Folder().c_str(), 0777);
  const std::string expected = "Cannot open file \"" + Input() + "\". Permission denied.";
  EXPECT_EQ(test::RunWithoutRoot([&] { return Divide(); }), expected);
  EXPECT_EQ(test::RunWithoutRoot([&] { return Simplify(); }), expected);
  EXPECT_EQ(ListFolder(out_.Folder()), "");
}

TEST_F(InputFaults, FolderNamedLikeAnObjFile) {
  std::filesystem::create_directory(Input());
  const std::string expected = "Cannot open file \"" + Input() + "\". Is a directory.";
  EXPECT_EQ(Divide(), expected);
  EXPECT_EQ(Simplify(), expected);
  EXPECT_EQ(ListFolder(out_.Folder()), "");
}

TEST_F(InputFaults, EmptyFileDividesIntoNothingAndSimplifiesIntoTheCountsOnly) {
  WriteBytes(Input(), "");
  EXPECT_EQ(Divide(), "no error");
  EXPECT_EQ(Divide(kDivGroup), "no error");
  EXPECT_EQ(ListFolder(out_.Folder()), "");
  EXPECT_EQ(Simplify(), "no error");
  EXPECT_EQ(Out("x_Simplified50%.obj"), kEmptySimplified);
}

// Bytes that are not text at all: whatever the readers make of them, the
// outputs stand in the folder and every run ends normally or with an error.
TEST_F(InputFaults, BinaryGarbage) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    std::string bytes(64 * 1024, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    // Some rounds with the keywords the readers look for, to reach further.
    if (round % 2) {
      for (size_t at = 0; at + 8 < bytes.size(); at += 97) bytes.replace(at, 3, "\nf ");
      for (size_t at = 40; at + 8 < bytes.size(); at += 89) bytes.replace(at, 3, "\nv ");
      bytes.replace(0, 9, "usemtl a\n");
    }
    WriteBytes(Input(), bytes);
    Divide();
    Divide(kDivGroup);
    Simplify();
    for (const auto& e : std::filesystem::directory_iterator(out_.Folder())) {
      EXPECT_TRUE(e.is_regular_file()) << e.path();
      EXPECT_EQ(e.path().filename().string().rfind("x_", 0), 0u) << e.path();
    }
    ClearOut();
  }
}

TEST_F(InputFaults, NulBytes) {
  // In a vertex line the NUL is kept byte for byte; in a name it separates
  // tokens like any control character, and inside quotes, where it stays, it
  // cannot stand in a file name, so that file is refused (the message shows
  // it as U+FFFD, and is not cut short at it).
  WriteBytes(Input(), "v 0 0 0\nv 1 0\0 0\nv 0 1 0\nusemtl a\0b\ng a\0b\nf 1 2 3\n"s);
  EXPECT_EQ(Divide(), "no error");
  EXPECT_EQ(Out("x_a.obj"), "#x_a\r\nv 0 0 0\r\nv 1 0\0 0\r\nv 0 1 0\r\nusemtl a\r\nf 1 2 3\r\n"s);
  EXPECT_EQ(Divide(kDivGroup), "no error");
  EXPECT_EQ(ListFolder(out_.Folder()), "x_a b.obj x_a.obj");
  ClearOut();
  WriteBytes(Input(), "v 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl \"a\0b\"\nf 1 2 3\n"s);
  EXPECT_EQ(Divide(), "Cannot create file \"" + out_.Folder() +
                          "x_a\xEF\xBF\xBD"
                          "b.obj" +
                          "\". The name holds a character that a file name cannot hold.");
  EXPECT_EQ(ListFolder(out_.Folder()), "");

  WriteBytes(Input(), "v 0 0 0\nv 1 0 0\0\nv 0 1 0\nf 1 2 3\n"s);
  const std::string simplify_error = Simplify();
  if (simplify_error != "no error") {
    EXPECT_NE(simplify_error.find(Input()), std::string::npos) << simplify_error;
  }
}

TEST_F(InputFaults, Utf16WithAnOddByteCountReadsLikeItsUtf8) {
  const std::string text = "v 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\nusemtl a\r\nf 1 2 3\r\n";
  WriteBytes(Input(), text);
  ASSERT_EQ(Divide(), "no error");
  ASSERT_EQ(Simplify(), "no error");
  const std::string divided = Out("x_a.obj"), simplified = Out("x_Simplified50%.obj");
  for (const bool big_endian : {false, true}) {
    SCOPED_TRACE(big_endian ? "big endian" : "little endian");
    std::string utf16 = big_endian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char c : text) utf16 += big_endian ? std::string{'\0', c} : std::string{c, '\0'};
    WriteBytes(Input(), utf16 + "\x41");  // the odd byte ends the text as U+FFFD
    ClearOut();
    EXPECT_EQ(Divide(), "no error");
    EXPECT_EQ(Out("x_a.obj"), divided);
    EXPECT_EQ(Simplify(), "no error");
    EXPECT_EQ(Out("x_Simplified50%.obj"), simplified);
  }
}

TEST_F(InputFaults, EveryLineEndMixedReadsLikeCrLf) {
  const std::string lines[] = {"v 0 0 0", "v 1 0 0", "v 0 1 0", "v 1 1 0.5", "usemtl a",
                               "f 1 2 3", "g b",     "f 2 4 3", "usemtl c",  "f -4 -3 -1"};
  std::string crlf, mixed;
  const char* const ends[] = {"\n", "\r", "\r\n"};
  for (size_t i = 0; i < std::size(lines); ++i) {
    crlf += lines[i] + "\r\n";
    mixed += lines[i] + ends[i % 3];
  }
  std::string expected[3];
  for (const std::string* text : {&crlf, &mixed}) {
    WriteBytes(Input(), *text);
    ClearOut();
    ASSERT_EQ(Divide(), "no error");
    ASSERT_EQ(Simplify(0.3), "no error");
    const std::string got[3] = {Out("x_a.obj"), Out("x_c.obj"), Out("x_Simplified30%.obj")};
    for (int k = 0; k < 3; ++k) {
      if (text == &crlf) {
        expected[k] = got[k];
      } else {
        EXPECT_EQ(got[k], expected[k]);
      }
    }
  }
}

// One line of 200 MB, a face of a hundred million corners: the division
// stores it and writes nothing (there is no name), the simplification names
// the first corner that has no vertex. Both in time and memory in proportion
// to the file: a quadratic step would not end within the test's time.
TEST_F(InputFaults, OneLineOf200Megabytes) {
  constexpr size_t kCorners = 100'000'000;
  {
    std::string line = "f ";
    line.reserve(2 + 2 * kCorners);
    for (size_t i = 0; i < kCorners; ++i) line += "1 ";
    WriteBytes(Input(), line);
  }
  const long file_kb = static_cast<long>(2 * kCorners / 1024);
  for (const int32_t mode : {kDivMaterial, kDivGroup}) {
    const auto run = test::RunInChild([&] { return Divide(mode); }, false);
    EXPECT_EQ(run.text, "no error");
    EXPECT_LT(run.max_rss_kb, 4 * file_kb);
  }
  EXPECT_EQ(ListFolder(out_.Folder()), "");
  const auto run = test::RunInChild([&] { return Simplify(); }, false);
  EXPECT_EQ(run.text, "Face on line 1 of \"" + Input() +
                          "\" refers to vertex 1, but only 0 vertices stand before it");
  EXPECT_LT(run.max_rss_kb, 20 * file_kb);
  EXPECT_EQ(ListFolder(out_.Folder()), "");
  std::filesystem::remove(Input());
}

// A name far longer than a file name may be: the message shows the start of
// the path and the system's reason, not megabytes of name.
TEST_F(InputFaults, AnOverlongNameGivesAShortMessage) {
  const std::string name(1 << 20, 'n');
  WriteBytes(Input(),
             "v 0 0 0\nv 1 0 0\nv 0 1 0\ng " + name + "\nf 1 2 " + std::string(5000, '7') + "\n");
  const std::string reference = Divide(kDivGroup);
  EXPECT_LT(reference.size(), 2000u);
  EXPECT_EQ(reference.rfind("Face on line 5 of \"" + Input() + "\" refers to vertex 777", 0), 0u);
  EXPECT_NE(reference.find("7...,"), std::string::npos) << reference;

  WriteBytes(Input(), "v 0 0 0\nv 1 0 0\nv 0 1 0\ng " + name + "\nf 1 2 3\n");
  const std::string created = Divide(kDivGroup);
  EXPECT_LT(created.size(), 2000u);
  EXPECT_EQ(created.rfind("Cannot create file \"" + out_.Folder() + "x_nnn", 0), 0u) << created;
  EXPECT_NE(created.find("n...\". File name too long."), std::string::npos) << created;
  EXPECT_EQ(ListFolder(out_.Folder()), "");
}

TEST_F(InputFaults, HugeAndOverlongIndicesAreErrorsNotOverflows) {
  const std::string forty(40, '9');
  for (const std::string& index :
       {std::string("2147483648"), std::string("4294967297"), std::string("-2147483649"),
        std::string("9223372036854775808"), forty, "-" + forty}) {
    SCOPED_TRACE(index);
    WriteBytes(Input(), "v 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl a\ng b\nf 1 2 " + index + "\n");
    const std::string divided = Divide();
    EXPECT_EQ(divided.rfind("Face on line 6 of \"" + Input() + "\" refers to vertex " + index, 0),
              0u)
        << divided;
    EXPECT_NE(Divide(kDivGroup).find("refers to vertex " + index), std::string::npos);
    const std::string simplified = Simplify();
    EXPECT_NE(simplified.find(index), std::string::npos) << simplified;
    EXPECT_NE(simplified.find(Input()), std::string::npos) << simplified;
    EXPECT_EQ(ListFolder(out_.Folder()), "");
  }
}

}  // namespace
}  // namespace zelfin
