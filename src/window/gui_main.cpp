// zelfin: the window program. Files named on the command line are processed
// at the first show of the window, which then closes; without any, the window
// waits for drops and menu commands.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dialogs/about_box.h"
#include "dialogs/app_icon.h"
#include "dialogs/diet_dlg.h"
#include "dialogs/select_dlg.h"
#include "dialogs/setup_dlg.h"
#include "platform/huge_pages.h"
#include "window/main_window.h"
#include "zelfin_version.h"

namespace {

constexpr const char* kUsage =
    "Usage: zelfin [FILE.obj]...\n"
    "\n"
    "Opens the Zelfin window. Drop OBJ files on it, or choose one with\n"
    "File > Load to Cut ...; File > Setup ... sets where the outputs go and the\n"
    "mode (Material, Group, Group Option, Surface Simplification).\n"
    "\n"
    "Files named on the command line are processed in order with the saved\n"
    "settings (the setup dialog shows before each file while it is switched on);\n"
    "the program then ends. After an error the window stays open.\n"
    "Arguments that do not end in .obj (any letter case) are skipped.\n"
    "\n"
    "Settings: $XDG_CONFIG_HOME/MORVAIN/ZELFIN.reg (default ~/.config/MORVAIN/ZELFIN.reg)\n"
    "\n"
    "  --help      this text\n"
    "  --version   the program's version\n"
    "\n"
    "For scripts without a window, use zelfin-cli.\n";

}  // namespace

int main(int argc, char** argv) {
  zelfin::ReturnLargeBlocksToSystem();
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("zelfin %s\n", ZELFIN_VERSION);
    return 0;
  }
  // The arguments as the system gave them, taken before Qt reads its own options.
  const std::vector<std::string> arguments(argv + 1, argv + argc);

  QApplication app(argc, argv);
  QApplication::setApplicationName("Zelfin");
  QApplication::setOrganizationName("MORVAIN");
  QApplication::setApplicationVersion(ZELFIN_VERSION);
  QApplication::setWindowIcon(zelfin::ZelfinIcon());

  // Form1 first (its creation loads the settings), then the dialogs, one each
  // for the whole run. They are destroyed before Form1, whose destruction
  // saves the settings.
  zelfin::TForm1 form(arguments);
  zelfin::TAboutBox about(&form);
  zelfin::TSelectDlg select(&form);
  zelfin::TSetupDlg setup(&form);
  zelfin::TDietDlg diet(&form);
  form.UseDialogs(about, select, setup, diet);

  form.show();  // the first show runs the command line
  return QApplication::exec();
}
