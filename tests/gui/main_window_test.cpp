#include "window/main_window.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

#include "app/settings.h"
#include "dialogs/about_box.h"
#include "dialogs/dialog_test_util.h"
#include "dialogs/diet_dlg.h"
#include "dialogs/select_dlg.h"
#include "dialogs/setup_dlg.h"
#include "dialogs/window_hints.h"
#include "support/files.h"
#include "support/recording_sink.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

using test::FileExists;
using test::ListFolder;
using test::ReadBytes;
using test::RecordingSink;
using test::ScopedEnv;
using test::TempDir;
using test::WriteBytes;

constexpr const char* kModel =
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nusemtl red\nf 1 2 3\nusemtl blue\nf 1 3 4\n";

struct Fixture {
  TempDir dir;
  ScopedEnv config{"XDG_CONFIG_HOME", dir.Path("config").c_str()};
  std::vector<std::string> log;  // progress shown and hidden, setup dialogs and errors, in order
  RecordingSink progress;
  std::function<void()> during;  // runs at the first pump of a simplification
  MainWindowHooks hooks;
  std::unique_ptr<TForm1> form;

  Fixture() {
    mkdir(dir.Path("in").c_str(), 0777);
    for (const char* name : {"a.obj", "b.obj", "c.obj"}) WriteBytes(In(name), kModel);
    WriteBytes(In("notes.txt"), "not a model\n");
    hooks.ShowError = [this](const std::string& message) { log.push_back("error:" + message); };
    progress.on_call = [this](const std::string& call) {
      if (call == "show" || call == "hide") log.push_back(call);
      if (call != "msg") return;
      if (during) std::exchange(during, nullptr)();
      QCoreApplication::processEvents();
    };
    hooks.Process.Progress = &progress;
  }
  ~Fixture() { form.reset(); }  // saves the settings while the folder exists

  std::string In(const std::string& name) const { return dir.Path("in/" + name); }
  // A window with the setup dialog switched off unless a test sets it up.
  TForm1& Make(std::vector<std::string> arguments = {}) {
    form = std::make_unique<TForm1>(std::move(arguments), hooks);
    form->CurrentSettings().isDispSetupDlg = static_cast<bool>(hooks.Process.ExecuteSetupDialog);
    return *form;
  }
  // Sends a drag enter and a drop of paths to widget, then lets the posted
  // hand-over run. Returns whether the drag was accepted.
  bool DropUrls(QWidget* widget, const QList<QUrl>& urls) {
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &drop);
    QCoreApplication::processEvents();
    return enter.isAccepted();
  }
  bool Drop(QWidget* widget, const std::vector<std::string>& names) {
    QList<QUrl> urls;
    for (const std::string& name : names) urls.push_back(QUrl::fromLocalFile(In(name).c_str()));
    return DropUrls(widget, urls);
  }
  std::string Written() const { return ListFolder(dir.Path("in")); }
};

constexpr const char* kOnlyInputs = "a.obj b.obj c.obj notes.txt";

TEST(MainWindow, WindowMenusAndOpenDialogAreAsDesigned) {
  Fixture f;
  TForm1& form = f.Make();
  EXPECT_EQ(form.objectName(), "Form1");
  EXPECT_EQ(form.windowTitle(), "Zelfin");
  EXPECT_EQ(form.Panel1->text(), "Drop your \".OBJ\" file");
  EXPECT_EQ(form.Panel1->size(), QSize(176, 148));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(WindowManagerHintsOf(&form).functions, kMwmFuncMove | kMwmFuncMinimize | kMwmFuncClose);

  const auto caption = [&](const char* name) {
    const auto* action = form.findChild<QAction*>(name);
    return action ? test::Shown(action->text()) : QString("(missing)");
  };
  EXPECT_EQ(caption("LoadtoCut1"), "Load to Cut ...");
  EXPECT_EQ(caption("Setup1"), "Setup ...");
  EXPECT_EQ(caption("Exit1"), "Exit");
  EXPECT_EQ(caption("About1"), "About ...");
  EXPECT_EQ(caption("WebSupport1"), "Web Support ...");
  EXPECT_EQ(form.findChild<QAction*>("Exit1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
  EXPECT_TRUE(form.findChild<QAction*>("LoadtoCut1")->shortcut().isEmpty());

  QStringList file_items;
  for (const QAction* a : form.findChild<QMenu*>("File1")->actions()) {
    file_items << (a->isSeparator() ? "-" : test::Shown(a->text()));
  }
  EXPECT_EQ(file_items.join("|"), "Load to Cut ...|-|Setup ...|-|Exit");
  EXPECT_EQ(test::Shown(form.findChild<QMenu*>("File1")->title()), "File");
  EXPECT_EQ(test::Shown(form.findChild<QMenu*>("Help1")->title()), "Help");

  EXPECT_EQ(form.OpenDialog1->nameFilters(), QStringList{"*.obj"});
  EXPECT_EQ(form.OpenDialog1->fileMode(), QFileDialog::ExistingFile);
}

// The access key of a caption ("&File": Alt+F); empty when it has none.
QKeySequence AccessKey(const QString& caption) {
  return QKeySequence::mnemonic(caption);
}

TEST(MainWindow, EveryMenuAndItemHasItsOwnAccessKey) {
  Fixture f;
  TForm1& form = f.Make();
  EXPECT_EQ(AccessKey(form.File1->title()), QKeySequence(Qt::ALT | Qt::Key_F));
  EXPECT_EQ(AccessKey(form.Help1->title()), QKeySequence(Qt::ALT | Qt::Key_H));
  for (const QMenu* menu : {form.File1, form.Help1}) {
    QList<QKeySequence> keys;
    for (const QAction* item : menu->actions()) {
      if (item->isSeparator()) continue;
      const QKeySequence key = AccessKey(item->text());
      EXPECT_FALSE(key.isEmpty()) << item->text().toStdString();
      EXPECT_FALSE(keys.contains(key)) << item->text().toStdString();
      keys << key;
    }
  }
}

TEST(MainWindow, AltWithTheUnderlinedLetterAndF10OpenTheMenus) {
  Fixture f;
  TForm1& form = f.Make();
  form.show();
  form.activateWindow();
  QCoreApplication::processEvents();
  const auto opens = [&](QMenu* menu, int key, Qt::KeyboardModifiers modifiers) {
    test::PressKey(&form, key, modifiers);
    QCoreApplication::processEvents();
    const bool open = menu->isVisible();
    menu->close();
    QCoreApplication::processEvents();
    return open;
  };
  EXPECT_TRUE(opens(form.File1, Qt::Key_F, Qt::AltModifier));
  EXPECT_TRUE(opens(form.Help1, Qt::Key_H, Qt::AltModifier));
  EXPECT_TRUE(opens(form.File1, Qt::Key_F10, Qt::NoModifier));
}

TEST(MainWindow, DropKeepsOrderSkipsOthersAndAnErrorEndsOnlyThatDrop) {
  Fixture f;
  mkdir(f.dir.Path("out1").c_str(), 0777);
  mkdir(f.dir.Path("out2").c_str(), 0777);
  // Each confirmed setup dialog sends the file to the next folder, so where the
  // outputs land tells the order the files came in.
  int calls = 0;
  f.hooks.Process.ExecuteSetupDialog = [&](Settings& s) {
    s.SaveType = 2;
    s.SaveFolder = f.dir.Path(++calls == 1 ? "out1/" : "out2/");
    return true;
  };
  TForm1& form = f.Make();
  ASSERT_TRUE(f.Drop(form.Panel1, {"c.obj", "notes.txt", "a.obj"}));
  EXPECT_EQ(calls, 2);  // the text file is skipped before the dialog
  EXPECT_EQ(ListFolder(f.dir.Path("out1")), "c_blue.obj c_red.obj");
  EXPECT_EQ(ListFolder(f.dir.Path("out2")), "a_blue.obj a_red.obj");

  // Only web addresses: refused.
  EXPECT_FALSE(f.DropUrls(&form, QList<QUrl>{QUrl("https://example.org/x.obj")}));
  EXPECT_EQ(calls, 2);

  // A missing file ends its drop; the next drop works.
  std::filesystem::remove_all(f.dir.Path("out2"));
  mkdir(f.dir.Path("out2").c_str(), 0777);
  calls = 1;
  ASSERT_TRUE(f.Drop(&form, {"gone.obj", "b.obj"}));
  ASSERT_EQ(f.log.size(), 1u);
  EXPECT_EQ(f.log[0].rfind("error:Cannot open file \"" + f.In("gone.obj") + "\"", 0), 0u)
      << f.log[0];
  EXPECT_EQ(ListFolder(f.dir.Path("out2")), "");
  calls = 1;
  f.Drop(&form, {"b.obj"});
  EXPECT_EQ(ListFolder(f.dir.Path("out2")), "b_blue.obj b_red.obj");
}

TEST(MainWindow, SetupDialogBeforeEachDroppedFileAndCancelSkipsOnlyThatFile) {
  Fixture f;
  int calls = 0;
  f.hooks.Process.ExecuteSetupDialog = [&](Settings&) { return ++calls != 2; };
  TForm1& form = f.Make();
  f.Drop(&form, {"a.obj", "b.obj", "c.obj"});
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(f.Written(), "a.obj a_blue.obj a_red.obj b.obj c.obj c_blue.obj c_red.obj notes.txt");
}

TEST(MainWindow, CommandLineRunsAtFirstShowOnlyThenCloses) {
  Fixture f;
  TForm1& form = f.Make({f.In("b.obj"), f.In("notes.txt"), f.In("a.obj")});
  EXPECT_EQ(f.Written(), kOnlyInputs);  // nothing before the show
  form.show();
  EXPECT_EQ(f.Written(), "a.obj a_blue.obj a_red.obj b.obj b_blue.obj b_red.obj c.obj notes.txt");
  QCoreApplication::processEvents();
  EXPECT_FALSE(form.isVisible());

  // A later show does not run it again.
  std::filesystem::remove(f.In("a_red.obj"));
  form.show();
  QCoreApplication::processEvents();
  EXPECT_FALSE(FileExists(f.In("a_red.obj")));
  EXPECT_TRUE(form.isVisible());
}

TEST(MainWindow, CommandLineErrorStopsTheRestAndKeepsTheWindowOpen) {
  Fixture f;
  TForm1& form = f.Make({f.In("gone.obj"), f.In("a.obj")});
  form.show();
  QCoreApplication::processEvents();
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(f.Written(), kOnlyInputs);
  ASSERT_EQ(f.log.size(), 1u);
  EXPECT_NE(f.log[0].find("gone.obj"), std::string::npos);
}

TEST(MainWindow, DropAndLoadDuringASimplificationWaitForIt) {
  Fixture f;
  f.hooks.ChooseFileToLoad = [&] { return std::optional<std::string>(f.In("c.obj")); };
  TForm1& form = f.Make();
  form.CurrentSettings().DivIndex = 3;
  form.show();
  bool setup_enabled_during = true;
  f.during = [&] {
    f.Drop(&form, {"b.obj"});
    form.LoadtoCut1->trigger();
    setup_enabled_during = form.Setup1->isEnabled();
    f.log.push_back(form.Processing() ? "still a" : "a done");
  };
  f.Drop(&form, {"a.obj"});
  EXPECT_FALSE(setup_enabled_during);
  EXPECT_TRUE(form.Setup1->isEnabled());
  // One run after the other, never one inside another, each file once.
  EXPECT_EQ(f.log,
            (std::vector<std::string>{"show", "still a", "hide", "show", "hide", "show", "hide"}));
  EXPECT_EQ(f.Written(),
            "a.obj a_Simplified95%.obj b.obj b_Simplified95%.obj c.obj c_Simplified95%.obj "
            "notes.txt");
}

TEST(MainWindow, SetupIsNotOpenedDuringARun) {
  Fixture f;
  int setups = 0;
  f.hooks.Process.ExecuteSetupDialog = [&](Settings&) {
    ++setups;
    return true;
  };
  TForm1& form = f.Make();
  form.CurrentSettings().isDispSetupDlg = false;
  form.CurrentSettings().DivIndex = 3;
  f.during = [&] { form.Setup1Click(); };
  f.Drop(&form, {"a.obj"});
  EXPECT_EQ(setups, 0);
  form.Setup1->trigger();
  EXPECT_EQ(setups, 1);
}

TEST(MainWindow, FilesArrivingWhileAMenuDialogIsUpWaitForItToClose) {
  Fixture f;
  int depth = 0;
  bool from_menu = true;
  f.hooks.Process.ExecuteSetupDialog = [&](Settings&) {
    f.log.push_back("setup " + std::to_string(++depth));
    if (std::exchange(from_menu, false)) f.Drop(f.form.get(), {"a.obj"});
    --depth;
    return true;
  };
  f.hooks.ShowAbout = [&] {
    f.Drop(f.form.get(), {"b.obj"});
    f.log.push_back(FileExists(f.In("b_red.obj")) ? "b early" : "b waits");
  };
  TForm1& form = f.Make();
  form.Setup1->trigger();
  form.About1->trigger();
  // The file's own setup dialog comes after the menu's, not inside it.
  EXPECT_EQ(f.log, (std::vector<std::string>{"setup 1", "setup 1", "b waits", "setup 1"}));
  EXPECT_EQ(f.Written(), "a.obj a_blue.obj a_red.obj b.obj b_blue.obj b_red.obj c.obj notes.txt");
}

TEST(MainWindow, CloseDuringARunEndsAfterTheFileWithTheSettingsSaved) {
  Fixture f;
  TForm1& form = f.Make();
  form.CurrentSettings().DivIndex = 3;
  form.CurrentSettings().DietIndex = 4;
  form.show();
  QString panel_during;
  bool waiting_cursor = false, load_enabled = true;
  f.during = [&] {
    f.Drop(&form, {"b.obj"});  // queued, and then given up with the close
    form.Exit1->trigger();
    f.log.push_back(form.isVisible() ? "open" : "closed");
    // The window shows at once that it heard the close.
    panel_during = form.Panel1->text();
    waiting_cursor = form.testAttribute(Qt::WA_SetCursor) &&
                     form.cursor().shape() == Qt::WaitCursor &&
                     form.Panel1->cursor().shape() == Qt::WaitCursor;
    load_enabled = form.LoadtoCut1->isEnabled();
  };
  f.Drop(&form, {"a.obj", "c.obj"});
  QCoreApplication::processEvents();
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(f.log, (std::vector<std::string>{"show", "open", "hide"}));
  EXPECT_EQ(panel_during, "Closing after this file ...");
  EXPECT_LE(QFontMetrics(form.Panel1->font()).horizontalAdvance(panel_during),
            form.Panel1->contentsRect().width());
  EXPECT_TRUE(waiting_cursor);
  EXPECT_FALSE(load_enabled);
  EXPECT_EQ(f.Written(), "a.obj a_Simplified75%.obj b.obj c.obj notes.txt");

  f.form.reset();
  Settings saved;
  LoadSettings(saved);
  EXPECT_EQ(saved.DivIndex, 3);
  EXPECT_EQ(saved.DietIndex, 4);
}

TEST(MainWindow, SettingsAreSavedAtDestroyAndOnAConfirmedSetupOnly) {
  Fixture f;
  bool confirm = false;
  f.hooks.Process.ExecuteSetupDialog = [&](Settings& s) {
    s.DivIndex = 2;
    return confirm;
  };
  const std::string file = SettingsFilePath();
  TForm1& form = f.Make();
  form.Setup1->trigger();  // cancelled: nothing written
  EXPECT_FALSE(FileExists(file));
  confirm = true;
  form.Setup1->trigger();
  EXPECT_NE(ReadBytes(file).find("\"DivIndex\"=dword:00000002"), std::string::npos);

  form.CurrentSettings().SaveFolder = "/tmp/elsewhere/";
  f.form.reset();
  Settings saved;
  LoadSettings(saved);
  EXPECT_EQ(saved.SaveFolder, "/tmp/elsewhere/");
  EXPECT_EQ(saved.DivIndex, 2);
  EXPECT_TRUE(f.log.empty());
}

TEST(MainWindow, SettingsThatCannotBeReadAreReportedAndStartUpGoesOn) {
  Fixture f;
  mkdir(f.dir.Path("config").c_str(), 0777);
  mkdir(f.dir.Path("config/MORVAIN").c_str(), 0777);
  WriteBytes(SettingsFilePath(),
             "Windows Registry Editor Version 5.00\r\n\r\n"
             "[HKEY_CURRENT_USER\\Software\\MORVAIN\\ZELFIN\\Setup]\r\n"
             "\"SaveType\"=dword:00000001\r\n\"SaveFolder\"=dword:00000005\r\n");
  TForm1& form = f.Make();
  ASSERT_EQ(f.log.size(), 1u);
  EXPECT_EQ(f.log[0].rfind("error:", 0), 0u);
  EXPECT_EQ(form.CurrentSettings().SaveType, 1);  // read before the failing value
}

TEST(MainWindow, ProgressWindowIsHiddenBeforeAnErrorIsShown) {
  Fixture f;
  TForm1& form = f.Make();
  form.CurrentSettings().DivIndex = 3;
  f.Drop(&form, {"gone.obj"});
  ASSERT_GE(f.log.size(), 3u);
  EXPECT_EQ(f.log.front(), "show");
  EXPECT_EQ(f.log.back().rfind("error:", 0), 0u);
  EXPECT_EQ(f.log[f.log.size() - 2], "hide");
}

TEST(MainWindow, EveryKindOfErrorIsShownAndNoneEscapes) {
  Fixture f;
  int thrown = 0;
  f.hooks.Process.SelectGroups = [&](const std::vector<std::string>&, std::vector<bool>&) -> bool {
    if (thrown++ == 0) throw std::bad_alloc();
    throw 42;
  };
  f.hooks.ShowAbout = [] { throw std::runtime_error("no about box"); };
  TForm1& form = f.Make();
  form.CurrentSettings().DivIndex = 2;
  WriteBytes(f.In("g.obj"), "v 0 0 0\nv 1 0 0\nv 1 1 0\ng arm\nf 1 2 3\n");
  f.Drop(&form, {"g.obj"});
  f.Drop(&form, {"g.obj"});
  form.About1->trigger();
  ASSERT_EQ(f.log.size(), 3u);
  EXPECT_EQ(f.log[0].rfind("error:Out of memory", 0), 0u) << f.log[0];
  EXPECT_EQ(f.log[1], "error:An unexpected error ended the operation.");
  EXPECT_EQ(f.log[2], "error:no about box");
}

TEST(MainWindow, RealDialogsAreWiredIn) {
  Fixture f;
  f.hooks.Process.Progress = nullptr;
  TForm1& form = f.Make();
  TAboutBox about(&form);
  TSelectDlg select(&form);
  TSetupDlg setup(&form);
  TDietDlg diet(&form);
  form.UseDialogs(about, select, setup, diet);
  form.CurrentSettings().isDispSetupDlg = true;
  bool progress_shown = false;
  test::WhenModal(&setup, [&] {
    setup.RadioGroup1Items->button(3)->click();  // Surface Simplification
    setup.BitBtnOK->click();
  });
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] { progress_shown |= diet.isVisible(); });
  watch.start(0);
  f.Drop(&form, {"a.obj"});
  EXPECT_EQ(form.CurrentSettings().DivIndex, 3);
  EXPECT_TRUE(FileExists(f.In("a_Simplified95%.obj")));
  EXPECT_TRUE(progress_shown);
  EXPECT_FALSE(diet.isVisible());
}

}  // namespace
}  // namespace zelfin
