#pragma once
// The one road of every file: extension check, optional setup dialog, output
// folder, dispatch to the operation of the current mode.
#include <functional>
#include <optional>
#include <string>

#include "app/operations.h"
#include "app/settings.h"
#include "platform/progress_sink.h"

namespace zelfin {

// What ProcessFile needs from the user interface.
struct ProcessUi {
  // The setup dialog: shows settings, stores them back and returns true on OK.
  std::function<bool(Settings&)> ExecuteSetupDialog;
  GroupChooser SelectGroups;
  ProgressSink* Progress = nullptr;  // null: no progress shown
  // The desktop folder without a trailing "/"; empty: GetSpecialFolderPath(0).
  std::function<std::string()> DesktopFolder;
};

// The folder of the shell's special folder id without a trailing "/". Only 0,
// the desktop, is known: XDG_DESKTOP_DIR of user-dirs.dirs, else ~/Desktop.
std::string GetSpecialFolderPath(int folder_id);

// The prefix that the outputs of path are written under, for settings'
// SaveType; desktop is the desktop folder without a trailing "/".
std::string OutputFolderFor(const std::string& path, const Settings& settings,
                            const std::function<std::string()>& desktop);

// Processes one file and tells what the operation wrote; a path that does not
// end in ".obj" (any case) is skipped silently, and so is a file whose setup
// dialog is cancelled (no result for either). Errors of the operation pass
// through unchanged.
std::optional<FileResult> ProcessFile(const std::string& path, Settings& settings,
                                      const ProcessUi& ui);

}  // namespace zelfin
