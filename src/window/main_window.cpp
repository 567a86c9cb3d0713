#include "window/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QShowEvent>
#include <QStandardPaths>
#include <cstdio>
#include <new>

#include "app/file_summary.h"
#include "dialogs/about_box.h"
#include "dialogs/app_icon.h"
#include "dialogs/dialog_look.h"
#include "dialogs/diet_dlg.h"
#include "dialogs/message_box.h"
#include "dialogs/select_dlg.h"
#include "dialogs/setup_dlg.h"
#include "dialogs/web_support.h"
#include "dialogs/window_hints.h"
#include "platform/errors.h"
#include "window/drop_target.h"

namespace zelfin {
namespace {

constexpr int kClientWidth = 176;
constexpr int kClientHeight = 148;

std::string DesktopLocation() {
  std::string folder =
      QStandardPaths::writableLocation(QStandardPaths::DesktopLocation).toStdString();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace

std::string ErrorMessage(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::bad_alloc&) {
    return kOutOfMemoryText;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "An unexpected error ended the operation.";
  }
}

TForm1::TForm1(std::vector<std::string> arguments, MainWindowHooks hooks)
    : FArguments(std::move(arguments)), FHooks(std::move(hooks)) {
  CreateControls();
  if (!FHooks.ShowError) {
    FHooks.ShowError = [this](const std::string& message) {
      ShowMessageBox(isVisible() ? this : nullptr, QMessageBox::Critical,
                     QString::fromStdString(message));
    };
  }
  if (!FHooks.ChooseFileToLoad) {
    FHooks.ChooseFileToLoad = [this]() -> std::optional<std::string> {
      if (OpenDialog1->exec() != QDialog::Accepted) return std::nullopt;
      const QStringList files = OpenDialog1->selectedFiles();
      if (files.isEmpty()) return std::nullopt;
      return files.front().toStdString();
    };
  }
  if (!FHooks.OpenWebSupport) FHooks.OpenWebSupport = [this] { OpenWebSupport(this); };
  if (!FHooks.Process.DesktopFolder) FHooks.Process.DesktopFolder = DesktopLocation;
  FormCreate();
}

TForm1::~TForm1() {
  FormDestroy();
}

void TForm1::CreateControls() {
  setObjectName("Form1");
  setWindowTitle("Zelfin");
  // Minimise and close only: the window has one size.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(ZelfinIcon());
  setFont(DesignFont("Tahoma", 8));

  Panel1 = new QLabel(QStringLiteral("Drop your \".OBJ\" file"), this);
  Panel1->setObjectName("Panel1");
  Panel1->setAlignment(Qt::AlignCenter);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(Panel1);

  CreateMenus();

  const int menu_height = MainMenu1->hasHeightForWidth() ? MainMenu1->heightForWidth(kClientWidth)
                                                         : MainMenu1->sizeHint().height();
  setFixedSize(kClientWidth, kClientHeight + menu_height);

  OpenDialog1 = new QFileDialog(this);
  OpenDialog1->setObjectName("OpenDialog1");
  OpenDialog1->setNameFilter("*.obj");
  OpenDialog1->setFileMode(QFileDialog::ExistingFile);
  OpenDialog1->setOption(QFileDialog::ReadOnly, false);

  // The whole window is the drop target.
  DropDst1 = new TDropDst(this);
  DropDst1->setObjectName("DropDst1");
  DropDst1->OnFileDrop = [this](const std::vector<std::string>& files) { DropDst1FileDrop(files); };
  DropDst1->Watch(this);
  DropDst1->Watch(Panel1);
}

void TForm1::CreateMenus() {
  // Every title and item has its access key (Alt+F opens File); F10 opens
  // the first menu, from which the arrow keys reach the others.
  MainMenu1 = menuBar();
  MainMenu1->setObjectName("MainMenu1");
  File1 = MainMenu1->addMenu("&File");
  File1->setObjectName("File1");
  LoadtoCut1 = File1->addAction("&Load to Cut ...", this, &TForm1::LoadtoCut1Click);
  LoadtoCut1->setObjectName("LoadtoCut1");
  File1->addSeparator();
  Setup1 = File1->addAction("&Setup ...", this, &TForm1::Setup1Click);
  Setup1->setObjectName("Setup1");
  File1->addSeparator();
  Exit1 = File1->addAction("E&xit", this, &TForm1::Exit1Click);
  Exit1->setObjectName("Exit1");
  Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
  addAction(Exit1);  // the shortcut works while the menu is closed
  Help1 = MainMenu1->addMenu("&Help");
  Help1->setObjectName("Help1");
  About1 = Help1->addAction("&About ...", this, &TForm1::About1Click);
  About1->setObjectName("About1");
  WebSupport1 = Help1->addAction("&Web Support ...", this, &TForm1::WebSupport1Click);
  WebSupport1->setObjectName("WebSupport1");
  auto* menu_key = new QAction(this);
  menu_key->setObjectName("MenuKey");
  menu_key->setShortcut(QKeySequence(Qt::Key_F10));
  connect(menu_key, &QAction::triggered, this,
          [this] { MainMenu1->setActiveAction(File1->menuAction()); });
  addAction(menu_key);
}

void TForm1::UseDialogs(TAboutBox& about, TSelectDlg& select, TSetupDlg& setup, TDietDlg& diet) {
  FHooks.Process.ExecuteSetupDialog = [&setup](Settings& settings) {
    return setup.Execute(settings);
  };
  FHooks.Process.SelectGroups = [&select](const std::vector<std::string>& names,
                                          std::vector<bool>& selection) {
    return select.SelectGroups(names, selection);
  };
  FHooks.Process.Progress = &diet;
  FHooks.ShowAbout = [&about] { about.exec(); };
}

void TForm1::FormCreate() {
  FFirstShow = true;
  try {
    LoadSettings(FSettings);
  } catch (...) {
    ReportError(std::current_exception());  // start-up goes on with what was read
  }
}

void TForm1::FormShow() {
  if (!FFirstShow) return;
  FFirstShow = false;
  CentreOnScreen(this);
  if (!FArguments.empty()) RunFiles(Batch{FArguments, true});
}

void TForm1::FormDestroy() {
  try {
    SaveSettings(FSettings);
  } catch (...) {
    ReportError(std::current_exception());  // shut-down goes on
  }
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  SetWindowManagerHints(this);
  Guarded([this] { FormShow(); });
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (FBusy) {
    // A file in processing is letting events through under us: end once it
    // is written, and show at once that the close was heard.
    if (!FCloseRequested) ShowClosing();
    FCloseRequested = true;
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

void TForm1::ShowClosing() {
  Panel1->setText(QStringLiteral("Closing after this file ..."));
  setCursor(Qt::WaitCursor);
  // A file chosen now would never be started.
  LoadtoCut1->setEnabled(false);
}

void TForm1::DropDst1FileDrop(const std::vector<std::string>& files) {
  Guarded([&] { RunFiles(Batch{files, false}); });
}

void TForm1::LoadtoCut1Click() {
  WithMenuDialog([this] {
    if (std::optional<std::string> path = FHooks.ChooseFileToLoad()) {
      FQueue.push_back(Batch{{*path}, false});
    }
  });
}

void TForm1::Setup1Click() {
  // The menu item is disabled while a file is in processing; the dialog would
  // change the settings under the running file.
  if (FBusy) return;
  WithMenuDialog([this] {
    if (FHooks.Process.ExecuteSetupDialog && FHooks.Process.ExecuteSetupDialog(FSettings)) {
      SaveSettings(FSettings);
    }
  });
}

void TForm1::Exit1Click() {
  close();
}

void TForm1::About1Click() {
  WithMenuDialog([this] {
    if (FHooks.ShowAbout) FHooks.ShowAbout();
  });
}

void TForm1::WebSupport1Click() {
  Guarded([this] { FHooks.OpenWebSupport(); });
}

void TForm1::WithMenuDialog(const std::function<void()>& body) {
  ++FMenuDialogs;
  Guarded(body);
  --FMenuDialogs;
  Guarded([this] { RunQueue(); });
}

void TForm1::RunFiles(Batch batch) {
  FQueue.push_back(std::move(batch));
  RunQueue();
}

void TForm1::RunQueue() {
  // A loop further up the stack takes the queue in turn: a run pumping
  // messages, or a menu's dialog that the setup dialog of a file must not
  // open inside of.
  if (FBusy || FMenuDialogs > 0 || FQueue.empty()) return;
  FBusy = true;
  Setup1->setEnabled(false);
  while (!FQueue.empty() && !FCloseRequested) {
    Batch next = std::move(FQueue.front());
    FQueue.pop_front();
    if (ProcessBatch(next) && next.from_command_line) FCloseWhenIdle = true;
  }
  FQueue.clear();  // a close was asked for: what is left is not started
  FBusy = false;
  Setup1->setEnabled(true);
  if (FCloseRequested || FCloseWhenIdle) {
    // Posted: this may run inside the first show, and the loop has to be there
    // to end the program.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  }
}

bool TForm1::ProcessBatch(const Batch& batch) {
  for (const std::string& path : batch.files) {
    if (FCloseRequested) break;
    try {
      if (const std::optional<FileResult> result = ProcessFile(path, FSettings, FHooks.Process)) {
        ReportResult(path, *result);
      }
    } catch (...) {
      // SimplifyFile has hidden the progress window already: the message box
      // does not stand in front of a stale bar.
      ReportError(std::current_exception());
      return false;
    }
  }
  return true;
}

void TForm1::Guarded(const std::function<void()>& body) {
  try {
    body();
  } catch (...) {
    ReportError(std::current_exception());
  }
}

void TForm1::ReportResult(const std::string& path, const FileResult& result) {
  // For a user who started the window from a terminal; the window itself
  // shows what it always showed.
  std::fprintf(stdout, "%s\n", SummaryLine(path, result).c_str());
  std::fflush(stdout);
  const std::string notice = ShortfallNotice(path, result);
  if (!notice.empty()) std::fprintf(stderr, "zelfin: %s\n", notice.c_str());
}

void TForm1::ReportError(const std::exception_ptr& error) {
  try {
    FHooks.ShowError(ErrorMessage(error));
  } catch (...) {
    // Nothing is left to tell the user with; the event loop must go on.
  }
}

}  // namespace zelfin
