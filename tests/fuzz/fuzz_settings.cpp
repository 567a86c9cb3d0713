// The settings file on arbitrary bytes: a load either raises a ZelfinError or
// gives values that a save followed by another load gives back unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/settings.h"
#include "fuzz/fuzz_util.h"
#include "platform/errors.h"

namespace {

using zelfin::fuzz::Check;

std::string g_file;

std::string Describe(const zelfin::Settings& s) {
  return std::to_string(s.SaveType) + " [" + s.SaveFolder + "] " + std::to_string(s.DivIndex) +
         " " + std::to_string(s.DietIndex) + " " + (s.isDispSetupDlg ? "1" : "0") + " " +
         std::to_string(s.DietMethod) + " " + std::to_string(s.KeepMaterials);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::string root = zelfin::fuzz::MakeScratchFolder("fuzz-settings");
  setenv("XDG_CONFIG_HOME", root.c_str(), 1);
  zelfin::fuzz::MakeFolder(root + "/MORVAIN");
  g_file = zelfin::SettingsFilePath();
  Check(g_file == root + "/MORVAIN/ZELFIN.reg", "settings file not in the scratch folder");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zelfin::fuzz::WriteFile(g_file, data, size);
  zelfin::Settings first;
  try {
    zelfin::LoadSettings(first);
  } catch (const zelfin::ZelfinError&) {
    return 0;
  }
  zelfin::Settings saved = first;
  try {
    zelfin::SaveSettings(saved);
  } catch (const zelfin::ZelfinError& e) {
    zelfin::fuzz::Fail(std::string("saving loaded settings failed: ") + e.what());
  }
  Check(Describe(saved) == Describe(first),
        "saving changed the values: " + Describe(first) + " became " + Describe(saved));
  zelfin::Settings second;
  second.SaveType = 2;  // none of the defaults, so a value the file lost shows
  second.SaveFolder = "lost";
  second.DivIndex = 2;
  second.DietIndex = 7;
  second.isDispSetupDlg = !first.isDispSetupDlg;
  second.DietMethod = 1 - first.DietMethod;
  second.KeepMaterials = 1 - first.KeepMaterials;
  try {
    zelfin::LoadSettings(second);
  } catch (const zelfin::ZelfinError& e) {
    zelfin::fuzz::Fail(std::string("the saved file does not load: ") + e.what());
  }
  Check(Describe(second) == Describe(first),
        "reloaded " + Describe(second) + ", saved " + Describe(first));
  return 0;
}
