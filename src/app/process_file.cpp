#include "app/process_file.h"

#include <cstdlib>

#include "platform/paths.h"
#include "platform/text_file.h"

namespace zelfin {
namespace {

// XDG_DESKTOP_DIR="$HOME/Desktop" from user-dirs.dirs; empty when absent.
std::string DesktopFromUserDirs() {
  std::string text;
  try {
    text = ReadTextFile(UserConfigFolder() + "/user-dirs.dirs");
  } catch (const std::exception&) {
    return "";
  }
  std::string found;
  ForEachLine(text, [&](std::string_view line) {
    constexpr std::string_view kKey = "XDG_DESKTOP_DIR=";
    if (line.substr(0, kKey.size()) != kKey) return;
    std::string_view value = line.substr(kKey.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    std::string path;
    if (value.substr(0, 5) == "$HOME") {
      path = HomeFolder() + std::string(value.substr(5));
    } else if (!value.empty() && value.front() == '/') {
      path = std::string(value);
    }
    if (!path.empty()) found = path;
  });
  return found;
}

}  // namespace

std::string GetSpecialFolderPath(int folder_id) {
  if (folder_id != 0) return "";
  std::string desktop = DesktopFromUserDirs();
  if (desktop.empty()) desktop = HomeFolder() + "/Desktop";
  while (desktop.size() > 1 && desktop.back() == '/') desktop.pop_back();
  return desktop;
}

std::string OutputFolderFor(const std::string& path, const Settings& settings,
                            const std::function<std::string()>& desktop) {
  const std::string own(ExtractFilePath(path));
  switch (settings.SaveType) {
    case kSaveDesktop: {
      // A desktop folder that does not exist sends the output next to the input.
      const std::string folder = desktop ? desktop() : GetSpecialFolderPath(0);
      return DirectoryExists(folder) ? folder + "/" : own;
    }
    case kSaveSelectedFolder: {
      if (!DirectoryExists(settings.SaveFolder)) return own;
      // The setup dialog stores the folder with its "/"; a hand-edited store
      // may not, and the names must not then run into the folder's own name.
      std::string folder = settings.SaveFolder;
      if (folder.back() != '/') folder += '/';
      return folder;
    }
    default:
      return own;
  }
}

std::optional<FileResult> ProcessFile(const std::string& path, Settings& settings,
                                      const ProcessUi& ui) {
  if (!HasObjExtension(path)) return std::nullopt;
  if (settings.isDispSetupDlg && ui.ExecuteSetupDialog && !ui.ExecuteSetupDialog(settings)) {
    return std::nullopt;
  }
  const std::string folder = OutputFolderFor(path, settings, ui.DesktopFolder);
  SilentProgress silent;
  return DispatchFile(path, folder, OperationOf(settings, ui.SelectGroups),
                      ui.Progress ? *ui.Progress : silent);
}

}  // namespace zelfin
