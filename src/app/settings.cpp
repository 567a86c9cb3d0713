#include "app/settings.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "app/reg_file.h"
#include "platform/errors.h"
#include "platform/numbers.h"
#include "platform/paths.h"
#include "platform/text_file.h"

namespace zelfin {
namespace {

constexpr std::string_view kSetupKey = "HKEY_CURRENT_USER\\Software\\MORVAIN\\ZELFIN\\Setup";

[[noreturn]] void RaiseInvalidType(std::string_view name) {
  throw ZelfinError("Invalid data type for '" + std::string(name) + "'");
}

// A 32-bit number value is taken by its bit pattern; a text must be a decimal
// integer within int32 range, else the current value stays.
int32_t ReadNumber(const RegFile& file, std::string_view name, int32_t current) {
  const RegValue value = FindRegValue(file, kSetupKey, name);
  switch (value.kind) {
    case RegKind::Missing:
      return current;
    case RegKind::Dword:
      return static_cast<int32_t>(value.dword);
    case RegKind::Text: {
      int64_t n = 0;
      if (!ParseInteger(value.text, n) || n < std::numeric_limits<int32_t>::min() ||
          n > std::numeric_limits<int32_t>::max()) {
        return current;
      }
      return static_cast<int32_t>(n);
    }
    case RegKind::Other:
      break;
  }
  RaiseInvalidType(name);
}

std::string ReadText(const RegFile& file, std::string_view name, const std::string& current) {
  const RegValue value = FindRegValue(file, kSetupKey, name);
  if (value.kind == RegKind::Missing) return current;
  if (value.kind == RegKind::Text) return value.text;
  RaiseInvalidType(name);
}

bool ReadBool(const RegFile& file, std::string_view name, bool current) {
  return ReadNumber(file, name, current ? 1 : 0) != 0;
}

// A number goes into an existing text value as decimal text, so that a value
// the user keeps as text stays text; otherwise it is a 32-bit number value.
void WriteNumber(RegFile& file, std::string_view name, int32_t number) {
  RegValue value;
  if (FindRegValue(file, kSetupKey, name).kind == RegKind::Text) {
    value.kind = RegKind::Text;
    value.text = std::to_string(number);
  } else {
    value.kind = RegKind::Dword;
    value.dword = static_cast<uint32_t>(number);
  }
  SetRegValue(file, kSetupKey, name, value);
}

void WriteText(RegFile& file, std::string_view name, const std::string& text) {
  RegValue value;
  value.kind = RegKind::Text;
  value.text = text;
  SetRegValue(file, kSetupKey, name, value);
}

bool FileMissing(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) != 0 && errno == ENOENT;
}

// The file as it stands, to be edited. A file that is not a registry export is
// moved aside to ZELFIN.reg.broken (replacing an older one) rather than
// overwritten, so that whatever it held can still be recovered by hand; the
// settings then go into a fresh file.
RegFile FileToEdit(const std::string& path) {
  if (FileMissing(path)) return NewRegFile();
  const std::string text = ReadTextFile(path);
  try {
    return ParseRegFile(text, path);
  } catch (const ZelfinError&) {
    const std::string aside = path + ".broken";
    if (std::rename(path.c_str(), aside.c_str()) != 0) {
      RaiseCreateError(aside, SystemReason(errno));
    }
    return NewRegFile();
  }
}

}  // namespace

std::string SettingsFilePath() {
  const std::string base = UserConfigFolder();
  if (base.empty()) {
    throw ZelfinError("Cannot find the home folder, where the settings file lives.");
  }
  return base + "/MORVAIN/ZELFIN.reg";
}

void ClampSettings(Settings& settings) {
  settings.SaveType = std::clamp(settings.SaveType, kSaveSameFolder, kSaveSelectedFolder);
  settings.DivIndex = std::clamp(settings.DivIndex, 0, kMaxDivIndex);
  settings.DietIndex = std::clamp(settings.DietIndex, 0, kMaxDietIndex);
  settings.DietMethod = std::clamp(settings.DietMethod, 0, kMaxDietMethod);
  settings.KeepMaterials = std::clamp(settings.KeepMaterials, 0, kMaxKeepMaterials);
}

void LoadSettings(Settings& settings) {
  const std::optional<RegFile> file = LoadRegFile(SettingsFilePath());
  if (file) {
    // Each value is stored as soon as it is read: a value of the wrong kind
    // stops the load with the ones before it already taken.
    settings.SaveType = ReadNumber(*file, "SaveType", settings.SaveType);
    settings.SaveFolder = ReadText(*file, "SaveFolder", settings.SaveFolder);
    settings.DivIndex = ReadNumber(*file, "DivIndex", settings.DivIndex);
    settings.DietIndex = ReadNumber(*file, "DietIndex", settings.DietIndex);
    settings.isDispSetupDlg = ReadBool(*file, "isDispSetupDlg", settings.isDispSetupDlg);
    // Added later than the others: files without them load as the classic
    // method and without materials kept.
    settings.DietMethod = ReadNumber(*file, "DietMethod", settings.DietMethod);
    settings.KeepMaterials = ReadNumber(*file, "KeepMaterials", settings.KeepMaterials);
  }
  ClampSettings(settings);
}

void SaveSettings(Settings& settings) {
  ClampSettings(settings);
  const std::string path = SettingsFilePath();
  RegFile file = FileToEdit(path);
  WriteNumber(file, "SaveType", settings.SaveType);
  WriteText(file, "SaveFolder", settings.SaveFolder);
  WriteNumber(file, "DivIndex", settings.DivIndex);
  WriteNumber(file, "DietIndex", settings.DietIndex);
  WriteText(file, "isDispSetupDlg", settings.isDispSetupDlg ? "1" : "0");
  WriteNumber(file, "DietMethod", settings.DietMethod);
  WriteNumber(file, "KeepMaterials", settings.KeepMaterials);
  SaveRegFile(path, file);
}

}  // namespace zelfin
