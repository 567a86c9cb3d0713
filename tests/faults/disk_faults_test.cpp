// Output that cannot be written: a full disk, a read-only folder, a folder
// that vanished, a target name that is a symbolic link. Every operation must
// fail with the file's name and the system's reason, leave no partial or
// temporary file, and keep an older output intact.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "division/divide_file.h"
#include "division/obj_model.h"
#include "division/selected_groups.h"
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

const std::string kOlder = "older output\r\n";

// The three ways of writing, each with the file it writes into folder for m.obj.
struct Writer {
  const char* label;
  const char* file;
  void (*run)(const std::string& input, const std::string& folder);
};

const Writer kWriters[] = {
    {"material", "m_red.obj",
     [](const std::string& in, const std::string& out) { DivideFile(in, out, kDivMaterial); }},
    {"selected groups", "m_Selected.obj",
     [](const std::string& in, const std::string& out) {
       WriteSelectedGroups(in, out, [](const auto&, std::vector<bool>& ticked) {
         ticked.assign(ticked.size(), true);
         return true;
       });
     }},
    {"simplification", "m_Simplified95%.obj",
     [](const std::string& in, const std::string& out) {
       SilentProgress progress;
       SimplifyFile(in, out, 0.95, progress);
     }},
};

class DiskFaults : public ::testing::Test {
 protected:
  void SetUp() override { WriteBytes(input_, test::GridMesh(100)); }
  test::ScopedEnv locale_{"LC_ALL", "C"};
  test::TempDir in_dir_;
  const std::string input_ = in_dir_.Path("m.obj");
};

TEST_F(DiskFaults, FullDiskReportsTheReasonAndKeepsTheOlderFile) {
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.label);
    test::TmpfsMount disk("256k");
    if (!disk.ok()) GTEST_SKIP() << disk.why();
    WriteBytes(disk.Folder() + w.file, kOlder);
    const std::string error = ErrorText([&] { w.run(input_, disk.Folder()); });
    EXPECT_EQ(error,
              "Cannot create file \"" + disk.Folder() + w.file + "\". No space left on device.");
    EXPECT_EQ(ListFolder(disk.Folder()), w.file);  // no temporary file either
    EXPECT_EQ(ReadBytes(disk.Folder() + w.file), kOlder);
  }
}

TEST_F(DiskFaults, ADiskWithNoRoomAtAllStillFailsCleanly) {
  test::TmpfsMount disk("64k");
  if (!disk.ok()) GTEST_SKIP() << disk.why();
  WriteBytes(disk.Folder() + "filler", std::string(256 * 1024, 'x'));  // stops at the limit
  const std::string filler = ReadBytes(disk.Folder() + "filler");
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.label);
    EXPECT_NE(ErrorText([&] { w.run(input_, disk.Folder()); }).find("No space left on device."),
              std::string::npos);
    EXPECT_EQ(ListFolder(disk.Folder()), "filler");
  }
  EXPECT_EQ(ReadBytes(disk.Folder() + "filler"), filler);
}

TEST_F(DiskFaults, ReadOnlyFolder) {
  test::TempDir fallback;
  std::string folder;
  test::TmpfsMount disk("1m");
  if (geteuid() == 0) {
    // Root writes through any mode bits: only a read-only mount stops it.
    if (!disk.ok()) GTEST_SKIP() << disk.why();
    for (const Writer& w : kWriters) WriteBytes(disk.Folder() + w.file, kOlder);
    if (!disk.MakeReadOnly()) GTEST_SKIP() << "cannot remount read-only";
    folder = disk.Folder();
  } else {
    folder = fallback.Folder();
    for (const Writer& w : kWriters) WriteBytes(folder + w.file, kOlder);
    chmod(folder.c_str(), 0555);
  }
  const std::string before = ListFolder(folder);
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.label);
    const std::string error = ErrorText([&] { w.run(input_, folder); });
    EXPECT_EQ(error.rfind("Cannot create file \"" + folder + w.file + "\". ", 0), 0u) << error;
    EXPECT_EQ(ListFolder(folder), before);
    EXPECT_EQ(ReadBytes(folder + w.file), kOlder);
  }
}

TEST_F(DiskFaults, FolderThatVanishedBeforeTheWrite) {
  test::TempDir parent;
  const std::string folder = parent.Path("out") + "/";
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.label);
    std::filesystem::create_directory(parent.Path("out"));
    std::filesystem::remove(parent.Path("out"));
    EXPECT_EQ(ErrorText([&] { w.run(input_, folder); }),
              "Cannot create file \"" + folder + w.file + "\". No such file or directory.");
    EXPECT_EQ(ListFolder(parent.Folder()), "");  // the folder is not made again
    EXPECT_EQ(ListFolder(in_dir_.Folder()), "m.obj");
  }
}

TEST_F(DiskFaults, ASymbolicLinkIsReplacedNotFollowed) {
  test::TempDir out, elsewhere;
  const std::string precious = elsewhere.Path("precious.obj");
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.label);
    WriteBytes(precious, kOlder);
    std::filesystem::remove(out.Path(w.file));
    std::filesystem::create_symlink(precious, out.Path(w.file));
    w.run(input_, out.Folder());
    EXPECT_TRUE(
        std::filesystem::is_regular_file(std::filesystem::symlink_status(out.Path(w.file))));
    EXPECT_NE(ReadBytes(out.Path(w.file)), kOlder);
    EXPECT_EQ(ReadBytes(precious), kOlder);

    // A dangling link to another folder creates nothing there.
    std::filesystem::remove(out.Path(w.file));
    std::filesystem::create_symlink(elsewhere.Path("new.obj"), out.Path(w.file));
    w.run(input_, out.Folder());
    EXPECT_TRUE(
        std::filesystem::is_regular_file(std::filesystem::symlink_status(out.Path(w.file))));
    EXPECT_EQ(ListFolder(elsewhere.Folder()), "precious.obj");
  }
}

}  // namespace
}  // namespace zelfin
