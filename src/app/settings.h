#pragma once
// The seven settings that persist between runs, and their store.
#include <cstdint>
#include <string>

namespace zelfin {

// Where the outputs go (SaveType).
inline constexpr int32_t kSaveSameFolder = 0;      // beside the input file
inline constexpr int32_t kSaveDesktop = 1;         // on the desktop
inline constexpr int32_t kSaveSelectedFolder = 2;  // in SaveFolder
// The largest DivIndex (Surface Simplification), DietIndex (keep 5%),
// DietMethod (refined) and KeepMaterials (on).
inline constexpr int32_t kMaxDivIndex = 3;
inline constexpr int32_t kMaxDietIndex = 18;
inline constexpr int32_t kMaxDietMethod = 1;
inline constexpr int32_t kMaxKeepMaterials = 1;

struct Settings {
  int32_t SaveType = 0;        // 0 input's folder, 1 desktop, 2 SaveFolder
  std::string SaveFolder;      // ends in "/" when chosen in the setup dialog
  int32_t DivIndex = 0;        // 0 Material, 1 Group, 2 Group Option, 3 Surface Simplification
  int32_t DietIndex = 0;       // 0..18: keep 95% down to 5%
  bool isDispSetupDlg = true;  // show the setup dialog before each file
  int32_t DietMethod = 0;      // 0 classic, 1 refined simplification
  int32_t KeepMaterials = 0;   // 1: divided files keep mtllib and usemtl lines
};

// $XDG_CONFIG_HOME/MORVAIN/ZELFIN.reg, or ~/.config/MORVAIN/ZELFIN.reg.
std::string SettingsFilePath();

// Brings the five integer settings into range, each bound tested separately.
void ClampSettings(Settings& settings);

// Reads the seven settings from the store into settings (a missing value keeps
// the current one), then clamps them. Raises a ZelfinError with the store's
// message when a value has a kind the read cannot take (the load stops there:
// values read before it are kept, no clamping) or the file is not a settings
// file at all.
void LoadSettings(Settings& settings);

// Clamps settings, then writes the seven values into the store, keeping every
// other line and value of the file, replacing the file atomically.
void SaveSettings(Settings& settings);

}  // namespace zelfin
