#include "app/process_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/files.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

using test::FileExists;
using test::ListFolder;
using test::TempDir;
using test::WriteBytes;

constexpr const char* kCube =
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nusemtl red\nf 1 2 3\nusemtl blue\nf 1 3 4\n";

struct Fixture {
  TempDir dir;
  Settings settings;
  ProcessUi ui;
  int setup_calls = 0;
  Fixture() {
    settings.isDispSetupDlg = false;
    mkdir(dir.Path("in").c_str(), 0777);
    mkdir(dir.Path("out").c_str(), 0777);
    WriteBytes(dir.Path("in/cube.obj"), kCube);
  }
};

TEST(ProcessFile, OnlyObjFilesInAnyCaseAreProcessed) {
  Fixture f;
  f.settings.isDispSetupDlg = true;
  f.ui.ExecuteSetupDialog = [&](Settings&) {
    ++f.setup_calls;
    return true;
  };
  for (const char* name : {"in/a.obj.bak", "in/noext", "in/dir.obj/file"}) {
    ProcessFile(f.dir.Path(name), f.settings, f.ui);
  }
  EXPECT_EQ(f.setup_calls, 0);  // skipped before the dialog
  EXPECT_EQ(ListFolder(f.dir.Path("in")), "cube.obj");

  std::filesystem::rename(f.dir.Path("in/cube.obj"), f.dir.Path("in/Cube.OBJ"));
  ProcessFile(f.dir.Path("in/Cube.OBJ"), f.settings, f.ui);
  EXPECT_EQ(f.setup_calls, 1);
  EXPECT_EQ(ListFolder(f.dir.Path("in")), "Cube.OBJ Cube_blue.obj Cube_red.obj");
}

TEST(ProcessFile, SetupDialogCancelSkipsAndItsChangesApplyAtOnce) {
  Fixture f;
  f.settings.isDispSetupDlg = true;
  f.ui.ExecuteSetupDialog = [&](Settings&) { return ++f.setup_calls != 1; };
  ProcessFile(f.dir.Path("in/cube.obj"), f.settings, f.ui);  // cancelled
  EXPECT_EQ(ListFolder(f.dir.Path("in")), "cube.obj");
  // Confirmed with mode Group and the dialog switched off for later files.
  f.ui.ExecuteSetupDialog = [&](Settings& s) {
    ++f.setup_calls;
    s.DivIndex = static_cast<int32_t>(DivMode::kGroup);
    s.isDispSetupDlg = false;
    return true;
  };
  WriteBytes(f.dir.Path("in/cube.obj"), std::string(kCube) + "g top\nf 1 2 4\n");
  ProcessFile(f.dir.Path("in/cube.obj"), f.settings, f.ui);
  ProcessFile(f.dir.Path("in/cube.obj"), f.settings, f.ui);
  EXPECT_EQ(f.setup_calls, 2);
  EXPECT_EQ(ListFolder(f.dir.Path("in")), "cube.obj cube_top.obj");
}

TEST(ProcessFile, OutputFolderOfEachSaveType) {
  Fixture f;
  const std::string in = f.dir.Path("in/cube.obj");
  const auto desktop = [&] { return f.dir.Path("out"); };
  const auto missing = [&] { return f.dir.Path("no-desktop"); };
  Settings s;
  s.SaveType = 0;
  EXPECT_EQ(OutputFolderFor(in, s, desktop), f.dir.Path("in/"));
  EXPECT_EQ(OutputFolderFor("cube.obj", s, desktop), "");
  s.SaveType = 1;
  EXPECT_EQ(OutputFolderFor(in, s, desktop), f.dir.Path("out/"));
  EXPECT_EQ(OutputFolderFor(in, s, missing), f.dir.Path("in/"));
  s.SaveType = 2;
  s.SaveFolder = f.dir.Path("out/");
  EXPECT_EQ(OutputFolderFor(in, s, desktop), f.dir.Path("out/"));
  s.SaveFolder = f.dir.Path("out");  // hand-edited, without its "/": still inside it
  EXPECT_EQ(OutputFolderFor(in, s, desktop), f.dir.Path("out/"));
  s.SaveFolder = "";
  EXPECT_EQ(OutputFolderFor(in, s, desktop), f.dir.Path("in/"));
  s.SaveFolder = f.dir.Path("gone/");
  EXPECT_EQ(OutputFolderFor(in, s, desktop), f.dir.Path("in/"));
}

TEST(ProcessFile, BareFileNameWritesIntoTheCurrentFolder) {
  Fixture f;
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(f.dir.Path("in").c_str()), 0);
  ProcessFile("cube.obj", f.settings, f.ui);
  EXPECT_EQ(chdir(old), 0);
  EXPECT_TRUE(FileExists(f.dir.Path("in/cube_red.obj")));
}

TEST(ProcessFile, ChosenFolderAndSimplificationMode) {
  Fixture f;
  f.settings.SaveType = 2;
  f.settings.SaveFolder = f.dir.Path("out/");
  f.settings.DivIndex = static_cast<int32_t>(DivMode::kSimplify);
  f.settings.DietIndex = 18;
  ProcessFile(f.dir.Path("in/cube.obj"), f.settings, f.ui);
  EXPECT_EQ(ListFolder(f.dir.Path("out")), "cube_Simplified5%.obj");
}

TEST(ProcessFile, GroupOptionAsksTheChooserAndWritesNothingWithoutOne) {
  Fixture f;
  WriteBytes(f.dir.Path("in/cube.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\ng b\ng a\nf 1 2 3\n");
  f.settings.DivIndex = static_cast<int32_t>(DivMode::kGroupOption);
  ProcessFile(f.dir.Path("in/cube.obj"), f.settings, f.ui);  // no chooser: as if cancelled
  EXPECT_EQ(ListFolder(f.dir.Path("in")), "cube.obj");
  std::vector<std::string> offered;
  f.ui.SelectGroups = [&](const std::vector<std::string>& names, std::vector<bool>& ticked) {
    offered = names;
    ticked[0] = true;
    return true;
  };
  ProcessFile(f.dir.Path("in/cube.obj"), f.settings, f.ui);
  EXPECT_EQ(offered, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(test::ReadBytes(f.dir.Path("in/cube_Selected.obj")),
            "#cube_Selected\r\nv 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\ng a\r\nf 1 2 3\r\n");
}

TEST(ProcessFile, KeepRatioOfEachStrength) {
  EXPECT_EQ(KeepRatio(0), 0.95);
  EXPECT_EQ(KeepRatio(1), 0.90);
  EXPECT_EQ(KeepRatio(18), 0.05);
}

TEST(ProcessFile, DesktopFolderFromUserDirs) {
  TempDir dir;
  test::ScopedEnv home("HOME", dir.Path("home").c_str());
  test::ScopedEnv config("XDG_CONFIG_HOME", dir.Path("config").c_str());
  EXPECT_EQ(GetSpecialFolderPath(0), dir.Path("home/Desktop"));
  mkdir(dir.Path("config").c_str(), 0777);
  WriteBytes(dir.Path("config/user-dirs.dirs"),
             "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch/\"\n");
  EXPECT_EQ(GetSpecialFolderPath(0), dir.Path("home/Schreibtisch"));
}

}  // namespace
}  // namespace zelfin
