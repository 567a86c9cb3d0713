#include "app/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform/errors.h"

namespace zelfin {
namespace {

namespace fs = std::filesystem;

const std::string kHead =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\MORVAIN\\ZELFIN\\Setup]\r\n";

// Points XDG_CONFIG_HOME at a fresh folder (not created yet) for each test.
class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) old_config_ = old;
    std::string pattern = (fs::temp_directory_path() / "zelfin-settings-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    config_ = root_ / "config";
    setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
  }
  void TearDown() override {
    if (old_config_) {
      setenv("XDG_CONFIG_HOME", old_config_->c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
    fs::remove_all(root_);
  }
  fs::path File() const { return config_ / "MORVAIN" / "ZELFIN.reg"; }
  void Put(const std::string& bytes) const {
    fs::create_directories(File().parent_path());
    std::ofstream(File(), std::ios::binary) << bytes;
  }
  std::string Get(const fs::path& path) const {
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
  }
  // Loads kHead + lines into settings that start as `start`.
  Settings LoadFrom(const std::string& lines, Settings start = {}) {
    Put(kHead + lines);
    LoadSettings(start);
    return start;
  }

  std::optional<std::string> old_config_;
  fs::path root_, config_;
};

TEST_F(SettingsStore, PathFollowsXdgConfigHomeOrFallsBackToHome) {
  EXPECT_EQ(SettingsFilePath(), config_.string() + "/MORVAIN/ZELFIN.reg");
  const std::string old_home = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", "/home/ann", 1);
  for (const char* value : {"", "relative/dir"}) {
    setenv("XDG_CONFIG_HOME", value, 1);
    EXPECT_EQ(SettingsFilePath(), "/home/ann/.config/MORVAIN/ZELFIN.reg") << value;
  }
  setenv("XDG_CONFIG_HOME", "/x/", 1);
  EXPECT_EQ(SettingsFilePath(), "/x/MORVAIN/ZELFIN.reg");
  setenv("HOME", old_home.c_str(), 1);
}

TEST_F(SettingsStore, ClampTestsEachBoundSeparately) {
  Settings low{-1, "", -5, -7, true}, high{3, "", 4, 19, true}, mid{1, "", 2, 9, true};
  ClampSettings(low);
  ClampSettings(high);
  ClampSettings(mid);
  EXPECT_EQ(std::tuple(low.SaveType, low.DivIndex, low.DietIndex), std::tuple(0, 0, 0));
  EXPECT_EQ(std::tuple(high.SaveType, high.DivIndex, high.DietIndex), std::tuple(2, 3, 18));
  EXPECT_EQ(std::tuple(mid.SaveType, mid.DivIndex, mid.DietIndex), std::tuple(1, 2, 9));
}

TEST_F(SettingsStore, FirstRunUsesInitialValuesAndSavesAllSeven) {
  Settings s;
  LoadSettings(s);
  EXPECT_FALSE(fs::exists(config_));  // loading writes nothing
  EXPECT_EQ(std::tuple(s.SaveType, s.SaveFolder, s.DivIndex, s.DietIndex, s.isDispSetupDlg),
            std::tuple(0, "", 0, 0, true));
  SaveSettings(s);
  EXPECT_EQ(Get(File()), kHead +
                             "\"SaveType\"=dword:00000000\r\n\"SaveFolder\"=\"\"\r\n"
                             "\"DivIndex\"=dword:00000000\r\n\"DietIndex\"=dword:00000000\r\n"
                             "\"isDispSetupDlg\"=\"1\"\r\n\"DietMethod\"=dword:00000000\r\n"
                             "\"KeepMaterials\"=dword:00000000\r\n");
  // Replaced atomically: nothing but the file itself is left in its folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(File().parent_path()), fs::directory_iterator()),
            1);
}

TEST_F(SettingsStore, RoundTripKeepsEveryValue) {
  // A line break cannot stand in a quoted string; it must survive all the same.
  for (const char* folder : {"/home/ann/a \\ \"q\"/caf\xc3\xa9/", "/line\nbreak\r/"}) {
    Settings s{2, folder, 3, 18, false}, back;
    SaveSettings(s);
    LoadSettings(back);
    EXPECT_EQ(std::tuple(back.SaveType, back.SaveFolder, back.DivIndex, back.DietIndex,
                         back.isDispSetupDlg),
              std::tuple(s.SaveType, s.SaveFolder, s.DivIndex, s.DietIndex, s.isDispSetupDlg));
  }
}

TEST_F(SettingsStore, NumberReadRules) {
  const Settings start{1, "/keep/", 2, 5, true};
  // dword by bit pattern, decimal text, missing values keep the current ones.
  Settings s = LoadFrom("\"DivIndex\"=dword:3\r\n\"DietIndex\"=\"-7\"\r\n", start);
  EXPECT_EQ(std::tuple(s.SaveType, s.SaveFolder, s.DivIndex, s.DietIndex),
            std::tuple(1, "/keep/", 3, 0));
  // Text that is no int32 keeps the current value.
  s = LoadFrom("\"DivIndex\"=\"x\"\r\n\"DietIndex\"=\"4294967299\"\r\n\"SaveType\"=\" 2\"\r\n",
               start);
  EXPECT_EQ(std::tuple(s.SaveType, s.DivIndex, s.DietIndex), std::tuple(1, 2, 5));
  s = LoadFrom("\"SaveType\"=dword:FFFFFFFF\r\n\"DietIndex\"=dword:00000063\r\n", start);
  EXPECT_EQ(std::tuple(s.SaveType, s.DietIndex), std::tuple(0, 18));
}

TEST_F(SettingsStore, BooleanReadsAsNumber) {
  const std::pair<const char*, bool> cases[] = {{"\"0\"", false},
                                                {"\"1\"", true},
                                                {"dword:00000002", true},
                                                {"dword:0", false},
                                                {"\"-3\"", true}};
  for (const auto& [stored, expected] : cases) {
    EXPECT_EQ(LoadFrom("\"isDispSetupDlg\"=" + std::string(stored) + "\r\n").isDispSetupDlg,
              expected)
        << stored;
  }
  for (bool current : {false, true}) {
    Settings start;
    start.isDispSetupDlg = current;
    EXPECT_EQ(LoadFrom("\"isDispSetupDlg\"=\"yes\"\r\n", start).isDispSetupDlg, current);
  }
}

TEST_F(SettingsStore, WrongKindStopsTheLoadThereWithoutClamping) {
  const Settings start{1, "/keep/", 2, 5, false};
  Settings s = start;
  Put(kHead + "\"SaveType\"=dword:00000009\r\n\"SaveFolder\"=dword:1\r\n\"DivIndex\"=dword:0\r\n");
  try {
    LoadSettings(s);
    ADD_FAILURE() << "no error";
  } catch (const ZelfinError& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'SaveFolder'");
  }
  EXPECT_EQ(std::tuple(s.SaveType, s.SaveFolder, s.DivIndex, s.DietIndex, s.isDispSetupDlg),
            std::tuple(9, "/keep/", 2, 5, false));

  s = start;
  Put(kHead +
      "\"DivIndex\"=dword:7\r\n\"DietIndex\"=hex:01,\\\r\n  02\r\n\"isDispSetupDlg\"=\"1\"\r\n");
  EXPECT_THROW(LoadSettings(s), ZelfinError);
  EXPECT_EQ(std::tuple(s.DivIndex, s.DietIndex, s.isDispSetupDlg), std::tuple(7, 5, false));
}

TEST_F(SettingsStore, SaveKeepsTextNumbersAndUnknownLines) {
  const std::string other =
      "; kept\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n\"X\"=hex(7):41,00,\\\r\n  00,00\r\n\r\n";
  Put("Windows Registry Editor Version 5.00\r\n\r\n" + other +
      "[HKEY_CURRENT_USER\\SOFTWARE\\morvain\\zelfin\\setup]\r\n"
      "\"divindex\"=\"1\"\n\"Unknown\"=dword:00000001\n\"DietIndex\"=hex:05,\\\n  00\n"
      "\"SaveType\"=-\n\n[HKEY_CURRENT_USER\\Software\\Last]\n");
  Settings s{1, "/o/", 2, 40, true};
  SaveSettings(s);
  EXPECT_EQ(Get(File()), "Windows Registry Editor Version 5.00\r\n\r\n" + other +
                             "[HKEY_CURRENT_USER\\SOFTWARE\\morvain\\zelfin\\setup]\r\n"
                             "\"divindex\"=\"2\"\r\n\"Unknown\"=dword:00000001\r\n"
                             "\"DietIndex\"=dword:00000012\r\n\"SaveType\"=-\r\n"
                             "\"SaveType\"=dword:00000001\r\n\"SaveFolder\"=\"/o/\"\r\n"
                             "\"isDispSetupDlg\"=\"1\"\r\n\"DietMethod\"=dword:00000000\r\n"
                             "\"KeepMaterials\"=dword:00000000\r\n"
                             "\r\n[HKEY_CURRENT_USER\\Software\\Last]\r\n");
}

TEST_F(SettingsStore, MissingSectionIsAppendedAfterABlankLine) {
  Put("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Other]\n\"A\"=\"b\"");
  Settings s;
  SaveSettings(s);
  EXPECT_EQ(Get(File()),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n\"A\"=\"b\"\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\MORVAIN\\ZELFIN\\Setup]\r\n"
            "\"SaveType\"=dword:00000000\r\n\"SaveFolder\"=\"\"\r\n"
            "\"DivIndex\"=dword:00000000\r\n\"DietIndex\"=dword:00000000\r\n"
            "\"isDispSetupDlg\"=\"1\"\r\n\"DietMethod\"=dword:00000000\r\n"
            "\"KeepMaterials\"=dword:00000000\r\n");
}

// The sixth and seventh values came later: files without them load the
// classic method and no materials kept, and they are read, clamped and
// written like the other numbers.
TEST_F(SettingsStore, LaterValuesMissingNumberOrWrongKind) {
  for (const auto& [name, member] : {std::pair{"DietMethod", &Settings::DietMethod},
                                     std::pair{"KeepMaterials", &Settings::KeepMaterials}}) {
    const std::string key = "\"" + std::string(name) + "\"=";
    EXPECT_EQ(LoadFrom("\"DivIndex\"=dword:3\r\n").*member, 0);
    for (const auto& [stored, read] :
         std::vector<std::pair<std::string, int>>{{"dword:00000000", 0},
                                                  {"dword:00000001", 1},
                                                  {"dword:00000007", 1},
                                                  {"dword:ffffffff", 0},
                                                  {"\"1\"", 1}}) {
      EXPECT_EQ(LoadFrom(key + stored + "\r\n").*member, read) << name << stored;
    }
    try {
      LoadFrom("\"DietIndex\"=dword:2\r\n" + key + "hex:01\r\n");
      ADD_FAILURE() << "no error";
    } catch (const ZelfinError& e) {
      EXPECT_EQ(std::string(e.what()), "Invalid data type for '" + std::string(name) + "'");
    }
    Settings s;
    s.*member = 1;
    SaveSettings(s);
    Settings back;
    LoadSettings(back);
    EXPECT_EQ(back.*member, 1);
    EXPECT_NE(Get(File()).find(key + "dword:00000001\r\n"), std::string::npos);
  }
}

TEST_F(SettingsStore, Utf16ExportWithBomAndCrLfLoads) {
  const std::string text =
      kHead + "\"SaveFolder\"=\"/m\xc3\xbcll/\"\r\n\"DivIndex\"=dword:00000002\r\n";
  std::string utf16 = "\xff\xfe";
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "\xc3\xbc") == 0) {  // the one non-ASCII letter, U+00FC
      utf16 += std::string("\xfc\0", 2);
      ++i;
    } else {
      utf16 += std::string{text[i], '\0'};
    }
  }
  Put(utf16);
  Settings s;
  LoadSettings(s);
  EXPECT_EQ(std::tuple(s.SaveFolder, s.DivIndex), std::tuple("/m\xc3\xbcll/", 2));
  SaveSettings(s);  // rewritten as UTF-8 without BOM
  EXPECT_EQ(Get(File()).substr(0, kHead.size()), kHead);
}

TEST_F(SettingsStore, BrokenFileIsReportedAndMovedAsideOnSave) {
  const std::string broken = kHead + "garbage\r\n";
  Put(broken);
  std::ofstream(File().string() + ".broken") << "older";
  Settings s{1, "/keep/", 2, 3, false};
  try {
    LoadSettings(s);
    ADD_FAILURE() << "no error";
  } catch (const ZelfinError& e) {
    EXPECT_EQ(std::string(e.what()), "The settings file \"" + File().string() +
                                         "\" is not a registry file: line 4 is not a value "
                                         "(\"garbage\")");
  }
  EXPECT_EQ(std::tuple(s.SaveType, s.SaveFolder, s.DivIndex, s.DietIndex, s.isDispSetupDlg),
            std::tuple(1, "/keep/", 2, 3, false));
  SaveSettings(s);
  EXPECT_EQ(Get(File().string() + ".broken"), broken);
  Settings back;
  LoadSettings(back);
  EXPECT_EQ(std::tuple(back.SaveType, back.SaveFolder, back.isDispSetupDlg),
            std::tuple(1, "/keep/", false));
}

}  // namespace
}  // namespace zelfin
