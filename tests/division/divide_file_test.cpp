#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>

#include "division/divide_file.h"
#include "division/obj_model.h"
#include "division/selected_groups.h"
#include "platform/errors.h"
#include "support/error_text.h"
#include "support/files.h"
#include "support/lines.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

using test::Joined;
using test::ListFolder;
using test::ReadBytes;

class DivideFileTest : public ::testing::Test {
 protected:
  // Writes cube.obj and divides it into the test folder.
  void Divide(const std::string& input, int32_t mode) {
    test::WriteBytes(dir_.Path("cube.obj"), input);
    DivideFile(dir_.Path("cube.obj"), dir_.Folder(), mode);
  }
  std::string Output(const std::string& name) { return ReadBytes(dir_.Path(name)); }
  std::string ErrorOf(const std::string& input, int32_t mode) {
    return test::ErrorText<ZelfinError>([&] { Divide(input, mode); });
  }

  test::ScopedEnv locale_{"LC_ALL", "C"};
  test::TempDir dir_;
  SilentProgress silent_;
};

const std::string kSquare = Joined({"v 0 0 0", "v 1 0 0", "v 1 1 0", "v 0 1 0"});

TEST_F(DivideFileTest, WorkedExampleByMaterialAndRunningAgainReplaces) {
  Divide(kSquare + Joined({"usemtl red", "f 1 2 3", "usemtl blue", "f 1 3 4"}), kDivMaterial);
  EXPECT_EQ(ListFolder(dir_.Folder()), "cube.obj cube_blue.obj cube_red.obj");
  EXPECT_EQ(Output("cube_blue.obj"),
            "#cube_blue\r\nv 0 0 0\r\nv 1 1 0\r\nv 0 1 0\r\nusemtl blue\r\nf 1 2 3\r\n");
  EXPECT_EQ(Output("cube_red.obj"),
            "#cube_red\r\nv 0 0 0\r\nv 1 0 0\r\nv 1 1 0\r\nusemtl red\r\nf 1 2 3\r\n");

  // The replaced files are let go of before the run returns.
  const size_t open = test::OpenDescriptors();
  Divide(kSquare + Joined({"usemtl red", "f 4 3 2"}), kDivMaterial);
  EXPECT_EQ(Output("cube_red.obj"),
            Joined({"#cube_red", "v 1 0 0", "v 1 1 0", "v 0 1 0", "usemtl red", "f 3 2 1"}));
  EXPECT_EQ(test::OpenDescriptors(), open);
}

TEST_F(DivideFileTest, CaseVariantsMergeAndEarlyFacesGoToTheFirstSortedName) {
  Divide(kSquare + Joined({"f 4 3 2", "usemtl Wood", "f 1 2 3", "usemtl Apple", "f 1 2 4",
                           "usemtl WOOD", "f 2 3 4"}),
         kDivMaterial);
  EXPECT_EQ(ListFolder(dir_.Folder()), "cube.obj cube_Apple.obj cube_Wood.obj");
  EXPECT_EQ(Output("cube_Apple.obj"), Joined({"#cube_Apple", "v 0 0 0", "v 1 0 0", "v 1 1 0",
                                              "v 0 1 0", "usemtl Apple", "f 4 3 2", "f 1 2 4"}));
  EXPECT_EQ(Output("cube_Wood.obj"), Joined({"#cube_Wood", "v 0 0 0", "v 1 0 0", "v 1 1 0",
                                             "v 0 1 0", "usemtl Wood", "f 1 2 3", "f 2 3 4"}));
}

TEST_F(DivideFileTest, ByGroupCarriesNoMaterialAndKeepsEmptyGroups) {
  Divide(kSquare + Joined({"vn 0 0 1", "usemtl red", "g  left\t\tarm", "f 2//1\t3//1  4//1",
                           "g \"quoted name\"", "V 5 5 5", "g empty"}),
         kDivGroup);
  EXPECT_EQ(ListFolder(dir_.Folder()),
            "cube.obj cube_empty.obj cube_left arm.obj cube_quoted name.obj");
  EXPECT_EQ(Output("cube_left arm.obj"), Joined({"#cube_left arm", "v 1 0 0", "v 1 1 0", "v 0 1 0",
                                                 "vn 0 0 1", "g left arm", "f 1//1 2//1 3//1"}));
  EXPECT_EQ(Output("cube_empty.obj"), Joined({"#cube_empty", "g empty"}));
  EXPECT_EQ(Output("cube_quoted name.obj"), Joined({"#cube_quoted name", "g quoted name"}));
}

TEST_F(DivideFileTest, CornersKeepTheirShapeWithNewNumbers) {
  std::string input;
  for (int i = 1; i <= 12; ++i) input += "v " + std::to_string(i) + " 0 0\r\n";
  for (int i = 1; i <= 7; ++i) input += "vn 0 0 " + std::to_string(i) + "\r\n";
  input += Joined({"vt 0.5 0.5", "vt 1 1", "usemtl m", "f 10/1/7/99 11/2 12//7 0/x/ 5/0 +11",
                   "f -3 -2 -1", "f 10 bad 12"});
  Divide(input, kDivMaterial);
  EXPECT_EQ(Output("cube_m.obj"), Joined({"#cube_m", "v 5 0 0", "v 10 0 0", "v 11 0 0", "v 12 0 0",
                                          "vt 0.5 0.5", "vt 1 1", "vn 0 0 7", "usemtl m",
                                          "f 2/1/1 3/2 4//1 // 1/ 3", "f 2 3 4", "f 2  4"}));
}

TEST_F(DivideFileTest, RelativeIndicesCountBackFromTheFaceLine) {
  Divide(Joined({"v 1 0 0", "v 2 0 0", "v 3 0 0", "g a", "f -1 -2 -3", "v 4 0 0", "v 5 0 0", "g b",
                 "f 4 -1 -2"}),
         kDivGroup);
  EXPECT_EQ(Output("cube_a.obj"),
            Joined({"#cube_a", "v 1 0 0", "v 2 0 0", "v 3 0 0", "g a", "f 3 2 1"}));
  EXPECT_EQ(Output("cube_b.obj"), Joined({"#cube_b", "v 4 0 0", "v 5 0 0", "g b", "f 1 2 1"}));
}

TEST_F(DivideFileTest, ABadReferenceAnywhereStopsTheRunBeforeAnyFileIsWritten) {
  EXPECT_EQ(
      ErrorOf(kSquare + Joined({"usemtl a", "f 1 2 3", "usemtl z", "f 1 2 40"}), kDivMaterial),
      "Face on line 8 of \"" + dir_.Path("cube.obj") +
          "\" refers to vertex 40, but the file has only 4 vertex lines.");
  EXPECT_EQ(ListFolder(dir_.Folder()), "cube.obj");
}

TEST_F(DivideFileTest, NamesThatWouldLeaveTheFolderAreRefusedWhenTheirFileIsDue) {
  const std::string faces = Joined({"f 1 2 3", "usemtl b/c", "f 1 2 3", "usemtl zz", "f 1 2 3"});
  EXPECT_EQ(ErrorOf(kSquare + "usemtl a\r\n" + faces, kDivMaterial),
            "Cannot create file \"" + dir_.Folder() +
                "cube_b/c.obj\". The name holds a character that a file name cannot hold.");
  EXPECT_EQ(ListFolder(dir_.Folder()), "cube.obj cube_a.obj");

  EXPECT_NE(ErrorOf(kSquare + "g ..\r\nf 1 2 3\r\n", kDivGroup).find("cube_...obj"),
            std::string::npos);
  EXPECT_NE(ErrorOf(kSquare + std::string("g \"a\0b\"\r\n", 9), kDivGroup).find("Cannot create"),
            std::string::npos);
  EXPECT_EQ(ListFolder(dir_.Folder()), "cube.obj cube_a.obj");
}

TEST_F(DivideFileTest, AFileThatCannotBeCreatedEndsTheRunAndKeepsEarlierFiles) {
  const std::string long_name(300, 'n');
  const std::string error = ErrorOf(kSquare + Joined({"usemtl a", "f 1 2 3", "usemtl " + long_name,
                                                      "f 1 2 3", "usemtl z", "f 1 2 3"}),
                                    kDivMaterial);
  EXPECT_EQ(error.rfind("Cannot create file \"" + dir_.Folder() + "cube_" + long_name, 0), 0u)
      << error;
  EXPECT_EQ(ListFolder(dir_.Folder()), "cube.obj cube_a.obj");

  // An output folder whose parent is a regular file cannot be written into.
  test::WriteBytes(dir_.Path("in.obj"), kSquare + "usemtl a\r\nf 1 2 3\r\n");
  try {
    DivideFile(dir_.Path("in.obj"), dir_.Path("cube.obj") + "/sub/", kDivMaterial);
    ADD_FAILURE() << "no error";
  } catch (const ZelfinError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + dir_.Path("cube.obj"), 0), 0u);
  }

  if (geteuid() != 0) {  // root writes into read-only folders
    test::TempDir locked;
    chmod(locked.Folder().c_str(), 0555);
    EXPECT_THROW(DivideFile(dir_.Path("in.obj"), locked.Folder(), kDivMaterial), ZelfinError);
    EXPECT_EQ(ListFolder(locked.Folder()), "");
  }
}

TEST_F(DivideFileTest, AFailedWriteLeavesNeitherAPartialNorATemporaryFile) {
  test::WriteBytes(dir_.Path("cube_big.obj"), "older output\r\n");
  std::string input = kSquare + "usemtl big\r\n";
  for (int i = 0; i < 2000; ++i) input += "f 1 2 3 4\r\n";
  test::WriteBytes(dir_.Path("cube.obj"), input);

  // A file size limit makes the write fail part way.
  struct rlimit old_limit;
  getrlimit(RLIMIT_FSIZE, &old_limit);
  struct rlimit limit = old_limit;
  limit.rlim_cur = 1000;
  const auto old_handler = signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &limit);
  const std::string error = test::ErrorText<ZelfinError>(
      [&] { DivideFile(dir_.Path("cube.obj"), dir_.Folder(), kDivMaterial); });
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);

  EXPECT_EQ(error.rfind("Cannot create file \"" + dir_.Path("cube_big.obj") + "\".", 0), 0u)
      << error;
  EXPECT_EQ(Output("cube_big.obj"), "older output\r\n");
  EXPECT_EQ(ListFolder(dir_.Folder()), "cube.obj cube_big.obj");
}

TEST_F(DivideFileTest, NoNameWritesNothing) {
  Divide(kSquare + "f 1 2 3\r\ng x\r\n", kDivMaterial);
  EXPECT_EQ(ListFolder(dir_.Folder()), "cube.obj");
}

// A UTF-8-marked file's ill-formed bytes come out as U+FFFD, in file names and
// in copied lines alike; an unmarked file keeps its bytes as they are.
TEST_F(DivideFileTest, AMarkedFileGivesValidUtf8AndAnUnmarkedOneKeepsItsBytes) {
  const std::string body = "v 0 0 0 # caf\xE9\r\nusemtl caf\xE9\r\nf 1 1 1\r\n";
  Divide("\xEF\xBB\xBF" + body, kDivMaterial);
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(Output("cube_caf" + fffd + ".obj"), "#cube_caf" + fffd + "\r\nv 0 0 0 # caf" + fffd +
                                                    "\r\nusemtl caf" + fffd + "\r\nf 1 1 1\r\n");
  Divide(body, kDivMaterial);
  EXPECT_EQ(Output("cube_caf\xE9.obj"), "#cube_caf\xE9\r\n" + body);
}

// Tabs of a copied line become spaces in the output only; a file that fills
// its last memory page exactly ends in a face without a line end.
TEST_F(DivideFileTest, TabsBecomeSpacesWhenWrittenAndTheLastLineNeedsNoEnd) {
  const std::string head = "v\t1\t2 3\nusemtl m\n", tail = "f 1 1 1";
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const std::string input =
      head + "#" + std::string(page - head.size() - tail.size() - 2, 'c') + "\n" + tail;
  ASSERT_EQ(input.size(), page);
  Divide(input, kDivMaterial);
  EXPECT_EQ(Output("cube_m.obj"), "#cube_m\r\nv 1 2 3\r\nusemtl m\r\nf 1 1 1\r\n");
  EXPECT_EQ(Output("cube.obj"), input);
}

// The division gives the window its turns during long work and shows nothing.
TEST_F(DivideFileTest, TheWindowGetsItsTurnsAndSeesNoProgress) {
  struct Recorder : ProgressSink {
    int shown = 0, turns = 0;
    void Show() override { ++shown; }
    void Hide() override { ++shown; }
    void SetCaption(const std::string&) override { ++shown; }
    void SetPosition(int) override { ++shown; }
    void ProcessMessages() override { ++shown; }
    void KeepResponsive() override { ++turns; }
  } recorder;
  std::string input = kSquare + "g a\r\n";
  for (int i = 0; i < 600000; ++i) input += "f 1 2 3\r\n";
  test::WriteBytes(dir_.Path("cube.obj"), input + "g b\r\nf 4 3 2\r\n");
  const auto start = std::chrono::steady_clock::now();
  DivideFile(dir_.Path("cube.obj"), dir_.Folder(), kDivGroup, recorder);
  WriteSelectedGroups(
      dir_.Path("cube.obj"), dir_.Folder(),
      [](const auto&, std::vector<bool>& ticked) { return ticked.assign(2, true), true; },
      recorder);
  EXPECT_EQ(recorder.shown, 0);
  if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(300)) {
    EXPECT_GT(recorder.turns, 0);
  }
}

}  // namespace
}  // namespace zelfin

namespace zelfin {
namespace {

// Kept materials: the mtllib lines after the header, and by group a usemtl
// line wherever the material changes within a name's faces (said again after
// each name line; "usemtl  red" names red again); faces before any usemtl
// line get none.
class KeepMaterialsTest : public DivideFileTest {
 protected:
  const std::string input_ =
      kSquare + Joined({"mtllib scene.mtl", "f 1 2 3", "g a", "usemtl red", "f 1 2 3", "g b",
                        "f 2 3 4", "usemtl blue", "f 1 3 4", "g a", "f 1 2 4", "usemtl red",
                        "f 2 3 4", "usemtl  red", "f 1 2 3"});
  const std::string vertices_ = kSquare;
};

TEST_F(KeepMaterialsTest, GroupsSayWhereTheMaterialChanges) {
  test::WriteBytes(dir_.Path("cube.obj"), input_);
  DivideFile(dir_.Path("cube.obj"), dir_.Folder(), kDivGroup, silent_, true);
  EXPECT_EQ(Output("cube_a.obj"),
            Joined({"#cube_a", "mtllib scene.mtl"}) + vertices_ +
                Joined({"g a", "f 1 2 3", "usemtl red", "f 1 2 3", "usemtl blue", "f 1 2 4",
                        "usemtl red", "f 2 3 4", "f 1 2 3"}));
  EXPECT_EQ(Output("cube_b.obj"),
            Joined({"#cube_b", "mtllib scene.mtl"}) + vertices_ +
                Joined({"g b", "usemtl red", "f 2 3 4", "usemtl blue", "f 1 3 4"}));

  WriteSelectedGroups(
      dir_.Path("cube.obj"), dir_.Folder(),
      [](const auto&, std::vector<bool>& ticked) { return ticked.assign(2, true), true; }, silent_,
      true);
  EXPECT_EQ(
      Output("cube_Selected.obj"),
      Joined({"#cube_Selected", "mtllib scene.mtl"}) + vertices_ +
          Joined({"g a", "f 1 2 3", "usemtl red", "f 1 2 3", "usemtl blue", "f 1 2 4", "usemtl red",
                  "f 2 3 4", "f 1 2 3", "g b", "usemtl red", "f 2 3 4", "usemtl blue", "f 1 3 4"}));
}

TEST_F(KeepMaterialsTest, ByMaterialTheNameLineIsTheUsemtlLine) {
  test::WriteBytes(dir_.Path("cube.obj"), input_);
  DivideFile(dir_.Path("cube.obj"), dir_.Folder(), kDivMaterial, silent_, true);
  EXPECT_EQ(Output("cube_blue.obj"),
            Joined({"#cube_blue", "mtllib scene.mtl", "v 0 0 0", "v 1 0 0", "v 1 1 0", "v 0 1 0",
                    "usemtl blue", "f 1 2 3", "f 1 3 4", "f 1 2 4"}));
  // Off: the files of today, byte for byte.
  DivideFile(dir_.Path("cube.obj"), dir_.Folder(), kDivMaterial, silent_, false);
  EXPECT_EQ(Output("cube_blue.obj"),
            Joined({"#cube_blue", "v 0 0 0", "v 1 0 0", "v 1 1 0", "v 0 1 0", "usemtl blue",
                    "f 1 2 3", "f 1 3 4", "f 1 2 4"}));
}

// In another folder the libraries are named from there.
TEST_F(KeepMaterialsTest, AnotherFolderFindsTheLibrary) {
  test::WriteBytes(dir_.Path("scene.mtl"), "newmtl red\n");
  test::WriteBytes(dir_.Path("cube.obj"), input_);
  ASSERT_EQ(mkdir(dir_.Path("out").c_str(), 0777), 0);
  DivideFile(dir_.Path("cube.obj"), dir_.Path("out/"), kDivMaterial, silent_, true);
  EXPECT_EQ(ReadBytes(dir_.Path("out/cube_red.obj")).substr(0, 32),
            Joined({"#cube_red", "mtllib ../scene.mtl", "v "}).substr(0, 32));
}

}  // namespace
}  // namespace zelfin
