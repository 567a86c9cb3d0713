#include "platform/text_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <random>
#include <thread>

#include "platform/errors.h"
#include "platform/late_close.h"
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

// Lines found eight bytes at a time against a byte loop, with the bytes
// that differ from CR and LF by one bit or one in value among them.
TEST(LineSplitting, LongLinesAtEveryAlignment) {
  const std::string alphabet("aaaaaaa\r\n\x0b\x0c\x8a\x8d\x09\x0e ");
  std::mt19937 random(5);
  for (int i = 0; i < 5000; ++i) {
    std::string text(random() % 64, 'a');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    std::vector<std::string> expected;
    size_t start = 0, k = 0;
    while (k < text.size()) {
      if (text[k] != '\n' && text[k] != '\r') {
        ++k;
        continue;
      }
      expected.push_back(text.substr(start, k - start));
      k += text[k] == '\r' && k + 1 < text.size() && text[k + 1] == '\n' ? 2 : 1;
      start = k;
    }
    if (start < text.size()) expected.push_back(text.substr(start));
    ASSERT_EQ(Lines(text), expected);
  }
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

// Pages let go come back from the file: the text reads the same, its end
// included; text held in memory is not touched.
TEST(FileText, ReleasedPagesReadTheSame) {
  TempDir dir;
  const std::string p = dir.Path("t.obj");
  std::string bytes;
  for (int i = 0; i < 20000; ++i) bytes += "v " + std::to_string(i) + " 0 0\n";
  WriteBytes(p, bytes);
  const FileText mapped(p);
  ASSERT_EQ(mapped.text(), bytes);
  mapped.ReleasePages();
  EXPECT_EQ(mapped.text(), bytes);
  EXPECT_EQ(mapped.text().data()[bytes.size()], '\0');
  EXPECT_NO_THROW(mapped.CheckUnchanged());
  const FileText owned = FileText::FromString("v 1 2 3\n");
  owned.ReleasePages();
  EXPECT_EQ(owned.text(), "v 1 2 3\n");
}

TEST(FileText, MappedTextEndsInAReadableNulWhateverItsSize) {
  TempDir dir;
  const std::string p = dir.Path("t.obj");
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  // From 4 MiB on the mapping starts on a 2 MiB boundary, cut from a larger
  // reservation.
  const size_t large = size_t{4} << 20;
  for (const size_t size : {size_t{3}, page - 1, page, 2 * page, 2 * page + 3, large - page - 1,
                            large + page - 1, large + 3}) {
    std::string bytes(size, 'x');
    bytes.back() = '1';  // a last line without its end
    WriteBytes(p, bytes);
    const FileText file(p);
    ASSERT_EQ(file.text(), bytes);
    EXPECT_EQ(file.text().data()[size], '\0') << size;
    // After a UTF-8 mark the text starts behind it, in the same mapping.
    WriteBytes(p, "\xEF\xBB\xBF" + bytes.substr(3));
    const FileText marked(p);
    EXPECT_EQ(marked.text(), bytes.substr(3));
    EXPECT_EQ(marked.text().data()[size - 3], '\0') << size;
  }
  WriteBytes(p, "");
  EXPECT_EQ(FileText(p).text(), "");
  FileText moved = FileText(p);
  moved = FileText::FromString("v 1");
  EXPECT_EQ(moved.text(), "v 1");
}

// The Unicode standard's example of maximal subparts, then each kind of
// ill-formed sequence: overlong, surrogate, beyond U+10FFFF, cut short.
// Another program cuts the file short while it is mapped: what is gone reads as
// NULs instead of ending the program, and the reader is told.
TEST(FileText, AFileCutShortWhileMappedReadsAsNulsAndIsReported) {
  TempDir dir;
  const std::string path = dir.Path("cut.obj");
  WriteBytes(path, std::string(3 * 65536, 'v'));
  const FileText text(path);
  EXPECT_NO_THROW(text.CheckUnchanged());
  ASSERT_EQ(truncate(path.c_str(), 1000), 0);
  size_t nuls = 0;
  for (const char c : text.text()) nuls += c == '\0' ? 1 : 0;
  EXPECT_GT(nuls, 2 * 65536u);
  try {
    text.CheckUnchanged();
    ADD_FAILURE() << "no error";
  } catch (const ZelfinError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + path +
                                         "\". The file became shorter while it was being read.");
  }
}

// A file rewritten in place, at the same size, while it is mapped: its text
// may be a mix of both, and the reader is told.
TEST(FileText, AFileWrittenToWhileMappedIsReported) {
  TempDir dir;
  const std::string path = dir.Write("same.obj", "v 1 2 3\n");
  const FileText text(path);
  const int fd = open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, "v 4", 3, 0), 3);
  const struct timespec later[2] = {{0, UTIME_OMIT}, {12345, 0}};  // not within the clock's grain
  ASSERT_EQ(futimens(fd, later), 0);
  close(fd);
  try {
    text.CheckUnchanged();
    ADD_FAILURE() << "no error";
  } catch (const ZelfinError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"" + path + "\". The file was changed while it was being read.");
  }
  // Text of its own was read whole at once.
  EXPECT_NO_THROW(FileText::FromString("v 1").CheckUnchanged());
}

TEST(FileText, MarkedUtf8HasEachIllFormedSequenceReplacedAndUnmarkedTextIsKept) {
  TempDir dir;
  const std::string p = dir.Path("t.obj");
  const std::string fffd = "\xEF\xBF\xBD";
  const std::pair<std::string, std::string> cases[] = {
      {"a\xF1\x80\x80\xE1\x80\xC2"
       "b\x80"
       "c\x80\xBF"
       "d",
       "a" + fffd + fffd + fffd + "b" + fffd + "c" + fffd + fffd + "d"},
      {"\xC0\xAF\xE0\x80\xBF", fffd + fffd + fffd + fffd + fffd},
      {"\xED\xA0\x80|\xED\x9F\xBF", fffd + fffd + fffd + "|\xED\x9F\xBF"},
      {"\xF4\x90\x80\x80|\xF4\x8F\xBF\xBF", fffd + fffd + fffd + fffd + "|\xF4\x8F\xBF\xBF"},
      {"g caf\xE9\r\nv 1\xF0\x9F\x98", "g caf" + fffd + "\r\nv 1" + fffd},
      {"\xFF\xFEok", fffd + fffd + "ok"},  // no second mark after the first
  };
  for (const auto& [bytes, expected] : cases) {
    WriteBytes(p, "\xEF\xBB\xBF" + bytes);
    EXPECT_EQ(FileText(p).text(), expected);
    EXPECT_EQ(ReadTextFile(p), expected);
    if (bytes[0] != '\xFF') {
      WriteBytes(p, bytes);  // without the mark: every byte as it is
      EXPECT_EQ(FileText(p).text(), bytes);
    }
  }
}

// The temporary file has no name until the rename: a writer killed in the
// middle of a large file leaves nothing in the folder.
TEST(AtomicWrite, AWriterKilledMidwayLeavesNothingBehind) {
  TempDir dir;
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    AtomicFileWriter writer(dir.Path("big.obj"));
    if (!writer.Unnamed()) _exit(2);
    const std::string piece(1 << 20, 'v');
    writer.Write(piece);
    (void)!write(ready[1], "x", 1);
    for (int i = 0; i < 4096; ++i) writer.Write(piece);
    _exit(3);  // never reached in time
  }
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  close(ready[0]);
  close(ready[1]);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << status;
  EXPECT_EQ(test::ListFolder(dir.Path("")), "");
}

// Where the folder refuses a file without a name, a hidden named one stands
// in: the same bytes and the same mode, and nothing left after it.
TEST(AtomicWrite, TheNamedTemporaryWritesTheSameFileWithTheSameMode) {
  TempDir dir;
  const mode_t old_mask = umask(027);
  std::string modes, contents;
  for (const TemporaryFile kind : {TemporaryFile::kUnnamed, TemporaryFile::kNamed}) {
    const std::string p = dir.Path(kind == TemporaryFile::kNamed ? "named" : "unnamed");
    AtomicFileWriter writer(p, kind);
    EXPECT_EQ(writer.Unnamed(), kind == TemporaryFile::kUnnamed);
    writer.Write("v 1 2 3\r\n");
    const std::string during = test::ListFolder(dir.Path(""));
    writer.Commit();
    struct stat st;
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    modes += std::to_string(st.st_mode & 0777) + " ";
    contents += ReadBytes(p);
    if (kind == TemporaryFile::kNamed) {
      EXPECT_NE(during.find(".zelfin-"), std::string::npos) << during;
    } else {
      EXPECT_EQ(during, "");
    }
  }
  umask(old_mask);
  EXPECT_EQ(modes, std::to_string(0640) + " " + std::to_string(0640) + " ");
  EXPECT_EQ(contents, "v 1 2 3\r\nv 1 2 3\r\n");
  EXPECT_EQ(test::ListFolder(dir.Path("")), "named unnamed");
}

// Files replaced through one LateCloser by two threads at once: each
// replacement stands at once, the old files are all let go of by Finish, and
// however fast they come, the descriptors held for them stay few.
TEST(AtomicWrite, ReplacedFilesAreLetGoOfLaterAndNoneIsLeftOpen) {
  TempDir dir;
  const std::string paths[2] = {dir.Path("a.obj"), dir.Path("b.obj")};
  for (const std::string& p : paths) WriteTextFileAtomic(p, "0");
  const size_t before = test::OpenDescriptors();
  std::atomic<size_t> most{before};
  LateCloser replaced;
  const auto replace = [&](const std::string& p) {
    for (int i = 1; i <= 200; ++i) {
      AtomicFileWriter writer(p);
      writer.Write(std::to_string(i));
      writer.Commit(&replaced);
      EXPECT_EQ(ReadBytes(p), std::to_string(i));
      size_t seen = most;
      const size_t now = test::OpenDescriptors();
      while (now > seen && !most.compare_exchange_weak(seen, now)) {
      }
    }
  };
  std::thread other(replace, paths[1]);
  replace(paths[0]);
  other.join();
  SilentProgress silent;
  Heartbeat heartbeat(silent);
  replaced.Finish(heartbeat);
  EXPECT_EQ(test::OpenDescriptors(), before);
  EXPECT_LE(most.load(), before + 70);
  EXPECT_EQ(test::ListFolder(dir.Path("")), "a.obj b.obj");
}

}  // namespace
}  // namespace zelfin
