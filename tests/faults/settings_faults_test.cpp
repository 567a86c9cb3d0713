// The settings file when it cannot be read, holds values of the wrong kind,
// or is saved by two programs while a third reads it.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

#include "app/settings.h"
#include "faults/fault_util.h"
#include "platform/errors.h"
#include "support/error_text.h"
#include "support/files.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

using test::ErrorText;
using test::ReadBytes;
using test::WriteBytes;

const std::string kHead =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\MORVAIN\\ZELFIN\\Setup]\r\n";

auto Values(const Settings& s) {
  return std::tuple(s.SaveType, s.SaveFolder, s.DivIndex, s.DietIndex, s.isDispSetupDlg,
                    s.DietMethod, s.KeepMaterials);
}

class SettingsFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir_.Path("MORVAIN"));
    file_ = SettingsFilePath();
  }
  test::TempDir dir_;
  test::ScopedEnv config_{"XDG_CONFIG_HOME", dir_.Path("").c_str()};
  std::string file_;
};

TEST_F(SettingsFaults, UnreadableFileIsReportedAndNotOverwritten) {
  ASSERT_EQ(file_, dir_.Path("MORVAIN/ZELFIN.reg"));
  const std::string text = kHead + "\"DivIndex\"=dword:00000002\r\n";
  WriteBytes(file_, text);
  chmod(file_.c_str(), 0);
  chmod(dir_.Folder().c_str(), 0755);
  chmod(dir_.Path("MORVAIN").c_str(), 0777);
  const std::string expected = "Cannot open file \"" + file_ + "\". Permission denied.";
  EXPECT_EQ(test::RunWithoutRoot([] {
              Settings s;
              return ErrorText([&] { LoadSettings(s); });
            }),
            expected);
  // A save must not replace a file it could not read with one of defaults.
  EXPECT_EQ(test::RunWithoutRoot([] {
              Settings s;
              return ErrorText([&] { SaveSettings(s); });
            }),
            expected);
  EXPECT_EQ(ReadBytes(file_), text);
}

TEST_F(SettingsFaults, EveryValueOfAKindItCannotTakeIsNamed) {
  const std::pair<const char*, const char*> wrong[] = {
      {"SaveType", "hex:01,00,00,00"},    {"SaveFolder", "dword:00000001"},
      {"DivIndex", "hex(2):31,00,00,00"}, {"DietIndex", "hex(b):01,00,00,00,00,00,00,00"},
      {"isDispSetupDlg", "hex:01"},       {"DietMethod", "hex:01"},
      {"KeepMaterials", "hex:01"},
  };
  for (const auto& [name, value] : wrong) {
    SCOPED_TRACE(name);
    WriteBytes(file_, kHead + "\"" + name + "\"=" + value + "\r\n");
    Settings s;
    EXPECT_EQ(ErrorText([&] { LoadSettings(s); }),
              std::string("Invalid data type for '") + name + "'");
  }
}

TEST_F(SettingsFaults, BrokenSyntaxIsReportedWithTheFileAndSetAsideOnSave) {
  for (const std::string& text : {kHead + "\"DivIndex\"=dword:0000000g\r\n", kHead + "\"Div\r\n",
                                  std::string("\xFF\xFE\x41")}) {
    WriteBytes(file_, text);
    Settings s;
    const std::string error = ErrorText([&] { LoadSettings(s); });
    EXPECT_NE(error.find(file_), std::string::npos) << error;
    SaveSettings(s);
    EXPECT_EQ(ReadBytes(file_ + ".broken"), text);
    Settings again;
    EXPECT_EQ(ErrorText([&] { LoadSettings(again); }), "no error");
  }
}

// Two programs saving at once while a third reads: each save replaces the
// whole file, so every read sees one complete file of one of the writers.
TEST_F(SettingsFaults, ConcurrentSavesNeverTearTheFile) {
  const Settings a{1, "/first/" + std::string(3000, 'a') + "/", 1, 3, false};
  const Settings b{2, "/second/", 3, 17, true};
  Settings initial;
  SaveSettings(initial);
  pid_t writers[2];
  for (int w = 0; w < 2; ++w) {
    writers[w] = fork();
    if (writers[w] == 0) {
      Settings mine = w == 0 ? a : b;
      for (int i = 0; i < 300; ++i) {
        try {
          SaveSettings(mine);
        } catch (...) {
          _exit(1);
        }
      }
      _exit(0);
    }
  }
  int torn = 0;
  const int reads = 600;
  for (int i = 0; i < reads; ++i) {
    Settings s;
    const std::string error = ErrorText([&] { LoadSettings(s); });
    if (error != "no error" ||
        (Values(s) != Values(a) && Values(s) != Values(b) && Values(s) != Values(initial))) {
      ++torn;
    }
  }
  for (const pid_t pid : writers) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a save failed";
  }
  EXPECT_EQ(torn, 0) << "of " << reads << " reads";
  EXPECT_FALSE(std::filesystem::exists(file_ + ".broken"));
  for (const auto& e : std::filesystem::directory_iterator(dir_.Path("MORVAIN"))) {
    EXPECT_EQ(e.path().filename(), "ZELFIN.reg");  // no temporary file left
  }
}

}  // namespace
}  // namespace zelfin
