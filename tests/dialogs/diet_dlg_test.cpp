#include "dialogs/diet_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressBar>
#include <chrono>

#include "dialogs/dialog_test_util.h"
#include "dialogs/window_hints.h"
#include "simplify/diet_loader.h"
#include "support/mesh_gen.h"

namespace zelfin {
namespace {

TEST(DietDlg, FormIsOneBarUnderACaptionWithoutButtons) {
  TDietDlg dlg;
  EXPECT_EQ(dlg.objectName(), "DietDlg");
  EXPECT_EQ(dlg.windowTitle(), "Surface Simplification");
  EXPECT_EQ(dlg.size(), QSize(298, 16));
  EXPECT_EQ(dlg.findChild<QProgressBar*>("ProgressBar1"), dlg.ProgressBar1);
  const Qt::WindowFlags flags = dlg.windowFlags();
  EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
  EXPECT_TRUE(flags & Qt::WindowTitleHint);
  EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);
  EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMinMaxButtonsHint);
  // The window manager is told both halves: a title bar and border, and moving only.
  const MotifHints hints = WindowManagerHintsOf(&dlg);
  EXPECT_EQ(hints.flags, kMwmHintsFunctions | kMwmHintsDecorations);
  EXPECT_EQ(hints.functions, kMwmFuncMove);
  EXPECT_EQ(hints.decorations, kMwmDecorBorder | kMwmDecorTitle);
}

TEST(DietDlg, DrivenThroughTheProgressInterfaceOfARun) {
  QWidget main_window;
  main_window.setGeometry(200, 150, 500, 300);
  main_window.show();
  TDietDlg dlg(&main_window);
  ProgressSink& sink = dlg;

  dlg.ProgressBar1->setValue(73);  // where an earlier run left it
  sink.Show();
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_FALSE(dlg.isModal());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(dlg.ProgressBar1->value(), 0);
  EXPECT_LE((dlg.frameGeometry().center() - main_window.frameGeometry().center()).manhattanLength(),
            2);

  sink.SetCaption("Analyzing Vertex information...");
  sink.SetPosition(25);
  sink.ProcessMessages();
  EXPECT_EQ(dlg.windowTitle(), "Analyzing Vertex information...");
  EXPECT_EQ(dlg.ProgressBar1->value(), 25);

  // The last contraction may overshoot; the bar shows full rather than refusing the value.
  sink.SetPosition(104);
  EXPECT_EQ(dlg.ProgressBar1->value(), 100);
  sink.SetPosition(-3);
  EXPECT_EQ(dlg.ProgressBar1->value(), 0);

  sink.Hide();
  EXPECT_FALSE(dlg.isVisible());
}

TEST(DietDlg, EscapeAndCloseDoNotEndItsShowing) {
  TDietDlg dlg;
  dlg.Show();
  test::PressKey(&dlg, Qt::Key_Escape);
  EXPECT_TRUE(dlg.isVisible());
  dlg.close();
  EXPECT_TRUE(dlg.isVisible());
  dlg.Hide();
  EXPECT_FALSE(dlg.isVisible());
}

TEST(DietDlg, ProcessMessagesRunsPendingEvents) {
  TDietDlg dlg;
  bool ran = false;
  QMetaObject::invokeMethod(
      &dlg, [&] { ran = true; }, Qt::QueuedConnection);
  dlg.ProcessMessages();
  EXPECT_TRUE(ran);
}

// The progress window as the loader sees it, counting its turns.
class CountingDietDlg : public TDietDlg {
 public:
  void KeepResponsive() override {
    ++turns;
    TDietDlg::KeepResponsive();
  }
  int turns = 0;
};

TEST(DietDlg, LoadingALargeFileLetsTheWindowRunItsEventsMoreThanOnce) {
  // Large enough that its load takes several of the heartbeat's 15 ms.
  const std::string text = gen::PlainObj(gen::LargeClosedMesh(7, 800000));
  CountingDietDlg dlg;
  dlg.Show();
  bool ran = false;
  QMetaObject::invokeMethod(
      &dlg, [&] { ran = true; }, Qt::QueuedConnection);
  DietRun run;
  LoadedMesh loaded;
  const auto start = std::chrono::steady_clock::now();
  LoadDietRun(text, "large.obj", dlg, LoadWants{}, run, loaded);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  dlg.Hide();
  EXPECT_GT(dlg.turns, 1) << "load took " << ms << " ms";
  EXPECT_TRUE(ran);  // the events waiting when it began ran inside the load
  // Between the marks nothing shown changes.
  EXPECT_EQ(dlg.windowTitle(), "Surface Simplification");
  EXPECT_EQ(dlg.ProgressBar1->value(), 0);
}

}  // namespace
}  // namespace zelfin
