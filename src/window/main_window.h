#pragma once
// TForm1: the small window that files are dropped on. It owns the settings
// (loaded at creation, saved at destruction), runs the command line at its
// first show, and sends every file of every way in through ProcessFile, one
// file at a time.
#include <QMainWindow>
#include <deque>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/process_file.h"
#include "app/settings.h"

class QAction;
class QFileDialog;
class QLabel;
class QMenu;
class QMenuBar;

namespace zelfin {

class TAboutBox;
class TDietDlg;
class TDropDst;
class TSelectDlg;
class TSetupDlg;

// What the window asks of the dialogs and of the desktop. An empty hook given
// to the constructor gets the window's own default where it has one (error
// box, open dialog, web support, desktop folder); UseDialogs fills the rest.
struct MainWindowHooks {
  ProcessUi Process;  // the setup dialog, the group chooser, the progress, the desktop folder
  std::function<void()> ShowAbout;
  // The file chosen with "Load to Cut ..."; nothing when cancelled.
  std::function<std::optional<std::string>()> ChooseFileToLoad;
  std::function<void(const std::string& message)> ShowError;
  std::function<void()> OpenWebSupport;
};

// The words shown for an error that ended a way in: the error's own text, a
// plain "Out of memory" for std::bad_alloc.
std::string ErrorMessage(const std::exception_ptr& error);

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  // arguments: the command line after the program's name, as the OS gave it.
  // Runs FormCreate (loads the settings; an error is shown and start-up goes on).
  explicit TForm1(std::vector<std::string> arguments, MainWindowHooks hooks = {});
  ~TForm1() override;  // runs FormDestroy (saves the settings)

  // The real dialogs, created after the window and kept for the run.
  void UseDialogs(TAboutBox& about, TSelectDlg& select, TSetupDlg& setup, TDietDlg& diet);

  Settings& CurrentSettings() { return FSettings; }
  // True while a file is in processing (a simplification may be pumping messages).
  bool Processing() const { return FBusy; }

  QLabel* Panel1 = nullptr;
  QMenuBar* MainMenu1 = nullptr;
  QMenu* File1 = nullptr;
  QAction* LoadtoCut1 = nullptr;
  QAction* Setup1 = nullptr;
  QAction* Exit1 = nullptr;
  QMenu* Help1 = nullptr;
  QAction* About1 = nullptr;
  QAction* WebSupport1 = nullptr;
  QFileDialog* OpenDialog1 = nullptr;
  TDropDst* DropDst1 = nullptr;

 public slots:
  void DropDst1FileDrop(const std::vector<std::string>& files);
  void LoadtoCut1Click();
  void Setup1Click();
  void Exit1Click();
  void About1Click();
  void WebSupport1Click();

 protected:
  void showEvent(QShowEvent* event) override;    // runs FormShow
  void closeEvent(QCloseEvent* event) override;  // waits for a running file

 private:
  // Files of one way in; an error ends the rest of them.
  struct Batch {
    std::vector<std::string> files;
    bool from_command_line = false;
  };

  void FormCreate();
  void FormShow();
  void FormDestroy();
  void CreateControls();
  void CreateMenus();

  // Queues the batch; unless a file is already in processing, works through
  // the queue. A batch queued during a run starts after the current one ends.
  void RunFiles(Batch batch);
  void RunQueue();
  // Runs a modal dialog of the menu; files arriving meanwhile wait until it is
  // closed, then the queue is worked through.
  void WithMenuDialog(const std::function<void()>& body);
  bool ProcessBatch(const Batch& batch);  // false when an error ended it
  // Runs a handler's body; an error of any kind is shown, never passed to Qt.
  void Guarded(const std::function<void()>& body);
  // The summary line of a file on standard output, a shortfall on standard error.
  void ReportResult(const std::string& path, const FileResult& result);
  void ReportError(const std::exception_ptr& error);
  // The close asked for during a run: the panel says so, a wait cursor.
  void ShowClosing();

  std::vector<std::string> FArguments;
  MainWindowHooks FHooks;
  Settings FSettings;
  bool FFirstShow = true;
  bool FBusy = false;
  int FMenuDialogs = 0;          // menu dialogs open (nested during a run)
  bool FCloseRequested = false;  // closing waits until no file is in processing
  bool FCloseWhenIdle = false;   // the command line ended without an error
  std::deque<Batch> FQueue;
};

}  // namespace zelfin
