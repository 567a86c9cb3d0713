#include "dialogs/setup_dlg.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QToolButton>
#include <filesystem>

#include "dialogs/dialog_test_util.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

using test::Dismissal;
using test::WhenModal;

Settings SampleSettings() {
  Settings s;
  s.SaveType = 2;
  s.SaveFolder = "/somewhere/out/";
  s.DivIndex = 1;
  s.DietIndex = 4;
  s.isDispSetupDlg = true;
  return s;
}

bool SameSettings(const Settings& a, const Settings& b) {
  return a.SaveType == b.SaveType && a.SaveFolder == b.SaveFolder && a.DivIndex == b.DivIndex &&
         a.DietIndex == b.DietIndex && a.isDispSetupDlg == b.isDispSetupDlg &&
         a.DietMethod == b.DietMethod && a.KeepMaterials == b.KeepMaterials;
}

// Chooses an item of the percentage list as the user would.
void ChoosePercentage(TSetupDlg& dlg, int index) {
  dlg.ComboBox1->setCurrentIndex(index);
  emit dlg.ComboBox1->activated(index);
}

QAbstractButton* ModeItem(TSetupDlg& dlg, int index) {
  return dlg.RadioGroup1Items->button(index);
}

// Everything the user can change, changed.
void ChangeEverything(TSetupDlg& dlg) {
  dlg.RadioButton0->click();
  dlg.CheckBox4->click();
  ModeItem(dlg, 3)->click();
  ChoosePercentage(dlg, 18);
  dlg.CheckBox3->click();
  dlg.CheckBox2->click();
}

TEST(SetupDlg, FormHasTheDesignedControlsAndList) {
  TSetupDlg dlg;
  EXPECT_EQ(dlg.objectName(), "SetupDlg");
  EXPECT_EQ(dlg.windowTitle(), "Zelfin Setup");
  EXPECT_EQ(dlg.size(), QSize(411, 299));
  for (const char* name : {"GroupBox1", "RadioButton0", "RadioButton1", "RadioButton2", "Edit1",
                           "BitBtn1", "RadioGroup1", "ComboBox1", "BitBtnOK", "BitBtnCancel",
                           "CheckBox2", "CheckBox3", "CheckBox4"}) {
    EXPECT_NE(dlg.findChild<QWidget*>(name), nullptr) << name;
  }
  EXPECT_EQ(dlg.GroupBox1->title(), "The folder which saves the divided file ");
  EXPECT_EQ(test::Shown(dlg.RadioButton0->text()), "Same folder ");
  EXPECT_EQ(test::Shown(dlg.RadioButton1->text()), "Desktop");
  EXPECT_EQ(test::Shown(dlg.RadioButton2->text()), "Selected folder");
  EXPECT_EQ(test::Shown(dlg.BitBtn1->text()), "Browse");
  EXPECT_EQ(test::Shown(dlg.CheckBox2->text()), "Display Setup Dialog before processing");

  ASSERT_EQ(dlg.ComboBox1->count(), 19);
  EXPECT_EQ(dlg.ComboBox1->itemText(0), "95%");
  EXPECT_EQ(dlg.ComboBox1->itemText(1), "90%");
  EXPECT_EQ(dlg.ComboBox1->itemText(17), "10%");
  EXPECT_EQ(dlg.ComboBox1->itemText(18), "5%");

  const QStringList modes = {"Material", "Group", "Group Option", "Surface Simplification"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(test::Shown(ModeItem(dlg, i)->text()), modes[i]);
}

TEST(SetupDlg, TabFollowsTheVisualOrder) {
  TSetupDlg dlg;
  QList<QWidget*> expected = {dlg.RadioButton0, dlg.RadioButton1, dlg.RadioButton2, dlg.Edit1,
                              dlg.BitBtn1};
  for (int i = 0; i < 4; ++i) expected.push_back(ModeItem(dlg, i));
  // The right column of the modes from the top (Keep materials, the percentage
  // list, the method); the bottom row runs left to right.
  expected +=
      {dlg.CheckBox4, dlg.ComboBox1, dlg.CheckBox3, dlg.CheckBox2, dlg.BitBtnCancel, dlg.BitBtnOK};
  QList<QWidget*> chain;
  QWidget* widget = dlg.RadioButton0;
  do {
    if (expected.contains(widget)) chain.push_back(widget);
    widget = widget->nextInFocusChain();
  } while (widget != dlg.RadioButton0);
  EXPECT_EQ(chain, expected);
}

TEST(SetupDlg, CaptionsFitTheirControlsInTheFontAtHand) {
  TSetupDlg dlg;
  // Push buttons are left out: their size hint holds the style's minimum width, not the text's.
  for (const QAbstractButton* button : dlg.findChildren<QAbstractButton*>()) {
    if (qobject_cast<const QPushButton*>(button)) continue;
    EXPECT_LE(button->sizeHint().width(), button->width()) << button->text().toStdString();
  }
}

TEST(SetupDlg, OkStoresEveryChangeAndReturnsTrue) {
  TSetupDlg dlg;
  Settings s = SampleSettings();
  WhenModal(&dlg, [&] {
    ChangeEverything(dlg);
    dlg.BitBtnOK->click();
  });
  EXPECT_TRUE(dlg.Execute(s));
  EXPECT_EQ(s.SaveType, 0);
  EXPECT_EQ(s.SaveFolder, "/somewhere/out/");
  EXPECT_EQ(s.DivIndex, 3);
  EXPECT_EQ(s.DietIndex, 18);
  EXPECT_FALSE(s.isDispSetupDlg);
  EXPECT_EQ(s.DietMethod, 1);
  EXPECT_EQ(s.KeepMaterials, 1);
}

TEST(SetupDlg, KeepMaterialsForTheThreeDivisionsOnly) {
  TSetupDlg dlg;
  Settings s = SampleSettings();
  s.KeepMaterials = 1;
  WhenModal(&dlg, [&] {
    EXPECT_EQ(test::Shown(dlg.CheckBox4->text()), "Keep materials");
    EXPECT_FALSE(dlg.CheckBox4->toolTip().isEmpty());
    EXPECT_TRUE(dlg.CheckBox4->isChecked());
    for (int mode : {3, 0, 2, 1}) {
      ModeItem(dlg, mode)->click();
      EXPECT_EQ(dlg.CheckBox4->isEnabled(), mode != 3) << mode;
    }
    dlg.CheckBox4->click();
    // Beside Material, in line with the percentage list.
    EXPECT_EQ(dlg.CheckBox4->x(), dlg.ComboBox1->x());
    EXPECT_LT(dlg.CheckBox4->geometry().bottom(), dlg.ComboBox1->y());
    dlg.BitBtnOK->click();
  });
  EXPECT_TRUE(dlg.Execute(s));
  EXPECT_EQ(s.KeepMaterials, 0);
}

TEST(SetupDlg, RefinedMethodOnlyForTheSimplification) {
  TSetupDlg dlg;
  Settings s = SampleSettings();
  s.DietMethod = 1;
  WhenModal(&dlg, [&] {
    EXPECT_EQ(test::Shown(dlg.CheckBox3->text()), "Refined method");
    EXPECT_FALSE(dlg.CheckBox3->toolTip().isEmpty());
    EXPECT_TRUE(dlg.CheckBox3->isChecked());
    EXPECT_FALSE(dlg.CheckBox3->isEnabled());  // mode Group
    ModeItem(dlg, 3)->click();
    EXPECT_TRUE(dlg.CheckBox3->isEnabled());
    dlg.CheckBox3->click();
    ModeItem(dlg, 0)->click();
    EXPECT_FALSE(dlg.CheckBox3->isEnabled());
    // Under the percentage list, clear of the buttons below.
    EXPECT_GE(dlg.CheckBox3->y(), dlg.ComboBox1->geometry().bottom());
    EXPECT_LT(dlg.CheckBox3->geometry().bottom(), dlg.BitBtnOK->y());
    dlg.BitBtnOK->click();
  });
  EXPECT_TRUE(dlg.Execute(s));
  EXPECT_EQ(s.DietMethod, 0);
}

TEST(SetupDlg, EveryChoiceHasItsOwnAccessKey) {
  TSetupDlg dlg;
  QList<QKeySequence> keys;
  for (const QAbstractButton* button : dlg.findChildren<QAbstractButton*>()) {
    if (button == dlg.BitBtnOK || button == dlg.BitBtnCancel) continue;  // Enter and Escape
    const QKeySequence key = QKeySequence::mnemonic(button->text());
    EXPECT_FALSE(key.isEmpty()) << button->text().toStdString();
    EXPECT_FALSE(keys.contains(key)) << button->text().toStdString();
    keys << key;
  }
  EXPECT_EQ(keys.size(), 11);
}

TEST(SetupDlg, AltWithTheUnderlinedLetterChooses) {
  TSetupDlg dlg;
  Settings s = SampleSettings();
  WhenModal(&dlg, [&] {
    dlg.activateWindow();
    QCoreApplication::processEvents();
    test::PressKey(&dlg, Qt::Key_D, Qt::AltModifier);  // Desktop
    test::PressKey(&dlg, Qt::Key_U, Qt::AltModifier);  // Surface Simplification
    // An access key clicks its button as a mouse would, over 100 ms; only then
    // is the refined method's box enabled.
    test::Wait(300);
    test::PressKey(&dlg, Qt::Key_R, Qt::AltModifier);  // Refined method
    test::PressKey(&dlg, Qt::Key_P, Qt::AltModifier);  // Display Setup Dialog ...
    test::Wait(300);
    dlg.BitBtnOK->click();
  });
  EXPECT_TRUE(dlg.Execute(s));
  EXPECT_EQ(s.SaveType, 1);
  EXPECT_EQ(s.DivIndex, 3);
  EXPECT_EQ(s.DietMethod, 1);
  EXPECT_FALSE(s.isDispSetupDlg);
}

TEST(SetupDlg, EnterConfirms) {
  TSetupDlg dlg;
  Settings s = SampleSettings();
  WhenModal(&dlg, [&] {
    dlg.RadioButton1->click();
    test::PressKey(&dlg, Qt::Key_Return);
  });
  EXPECT_TRUE(dlg.Execute(s));
  EXPECT_EQ(s.SaveType, 1);
}

class SetupDlgDismissal : public ::testing::TestWithParam<Dismissal> {};

TEST_P(SetupDlgDismissal, ChangesNothingAndTheNextRunStartsFromTheSettings) {
  TSetupDlg dlg;
  const Settings before = SampleSettings();
  Settings s = before;
  WhenModal(&dlg, [&] {
    ChangeEverything(dlg);
    test::Dismiss(&dlg, dlg.BitBtnCancel, GetParam());
  });
  EXPECT_FALSE(dlg.Execute(s));
  EXPECT_TRUE(SameSettings(s, before));
  EXPECT_TRUE(dlg.isHidden());

  // The discarded working copies do not reappear.
  WhenModal(&dlg, [&] {
    EXPECT_TRUE(dlg.RadioButton2->isChecked());
    EXPECT_TRUE(ModeItem(dlg, 1)->isChecked());
    EXPECT_EQ(dlg.ComboBox1->currentIndex(), 4);
    EXPECT_TRUE(dlg.CheckBox2->isChecked());
    dlg.BitBtnOK->click();
  });
  EXPECT_TRUE(dlg.Execute(s));
  EXPECT_TRUE(SameSettings(s, before));
}

INSTANTIATE_TEST_SUITE_P(AllWays, SetupDlgDismissal, test::AllDismissals(),
                         test::DismissalTestName);

TEST(SetupDlg, ShowSetsTheControlsForEachSaveType) {
  TSetupDlg dlg;
  for (int save_type = 0; save_type < 3; ++save_type) {
    Settings s = SampleSettings();
    s.SaveType = save_type;
    s.DivIndex = save_type;
    s.DietIndex = 18 - save_type;
    WhenModal(&dlg, [&] {
      EXPECT_EQ(dlg.RadioButton0->isChecked(), save_type == 0);
      EXPECT_EQ(dlg.RadioButton1->isChecked(), save_type == 1);
      EXPECT_EQ(dlg.RadioButton2->isChecked(), save_type == 2);
      EXPECT_EQ(dlg.BitBtn1->isEnabled(), save_type == 2);
      EXPECT_EQ(dlg.Edit1->text(), "/somewhere/out/");
      EXPECT_FALSE(dlg.Edit1->isEnabled());
      EXPECT_EQ(dlg.RadioGroup1Items->checkedId(), save_type);
      EXPECT_EQ(dlg.ComboBox1->currentIndex(), 18 - save_type);
      dlg.BitBtnCancel->click();
    });
    EXPECT_FALSE(dlg.Execute(s)) << save_type;
  }
}

TEST(SetupDlg, SaveTypeOutOfRangeChoosesNoButton) {
  TSetupDlg dlg;
  Settings s = SampleSettings();
  WhenModal(&dlg, [&] { dlg.BitBtnOK->click(); });
  dlg.Execute(s);  // RadioButton2 was checked on that showing
  s.SaveType = 7;
  WhenModal(&dlg, [&] {
    EXPECT_EQ(dlg.SaveTypeButtons->checkedButton(), nullptr);
    EXPECT_FALSE(dlg.BitBtn1->isEnabled());
    dlg.BitBtnOK->click();
  });
  EXPECT_TRUE(dlg.Execute(s));
  EXPECT_EQ(s.SaveType, 7);
}

TEST(SetupDlg, ArrowKeysChangeTheChoicesToo) {
  TSetupDlg dlg;
  Settings s = SampleSettings();
  WhenModal(&dlg, [&] {
    // Arrow keys act on the focused button, and focus lives in the active window.
    dlg.activateWindow();
    QCoreApplication::processEvents();
    ModeItem(dlg, 1)->setFocus();
    test::PressKey(ModeItem(dlg, 1), Qt::Key_Down);
    dlg.RadioButton2->setFocus();
    test::PressKey(dlg.RadioButton2, Qt::Key_Up);
    EXPECT_FALSE(dlg.BitBtn1->isEnabled());
    dlg.BitBtnOK->click();
  });
  EXPECT_TRUE(dlg.Execute(s));
  EXPECT_EQ(s.DivIndex, 2);
  EXPECT_EQ(s.SaveType, 1);
}

TEST(SetupDlg, DesktopAfterSelectedFolderKeepsTheFolder) {
  TSetupDlg dlg;
  Settings s = SampleSettings();
  WhenModal(&dlg, [&] {
    dlg.RadioButton1->click();
    EXPECT_FALSE(dlg.BitBtn1->isEnabled());
    EXPECT_EQ(dlg.Edit1->text(), "/somewhere/out/");
    dlg.BitBtnOK->click();
  });
  EXPECT_TRUE(dlg.Execute(s));
  EXPECT_EQ(s.SaveType, 1);
  EXPECT_EQ(s.SaveFolder, "/somewhere/out/");
}

TEST(SetupDlg, PercentageChosenInAnotherModeIsStored) {
  TSetupDlg dlg;
  Settings s = SampleSettings();
  s.DivIndex = 0;
  WhenModal(&dlg, [&] {
    EXPECT_TRUE(dlg.ComboBox1->isEnabled());
    ChoosePercentage(dlg, 9);
    dlg.BitBtnOK->click();
  });
  EXPECT_TRUE(dlg.Execute(s));
  EXPECT_EQ(s.DivIndex, 0);
  EXPECT_EQ(s.DietIndex, 9);
}

// Browse: what the chooser is started with, and what its answer does.
struct ChooserCall {
  int calls = 0;
  std::string start;   // the folder shown selected
  std::string inside;  // else the folder opened
};

FolderChooser Answering(ChooserCall& record, std::optional<std::string> answer) {
  return [&record, answer](QWidget*, const FolderStart& start) {
    ++record.calls;
    record.start = start.chosen;
    record.inside = start.inside;
    return answer;
  };
}

TEST(SetupDlgBrowse, ConfirmedFolderGetsATrailingSeparator) {
  test::TempDir dir;
  TSetupDlg dlg;
  ChooserCall call;
  dlg.SetFolderChooser(Answering(call, dir.Path("picked")));
  dlg.FSaveType = 2;
  dlg.FSaveFolder = dir.Folder();
  dlg.BitBtn1Click();
  EXPECT_EQ(call.calls, 1);
  EXPECT_EQ(call.start, dir.Folder());
  EXPECT_EQ(dlg.FSaveFolder, dir.Path("picked") + "/");
  EXPECT_EQ(dlg.Edit1->text().toStdString(), dir.Path("picked") + "/");

  // The separator is added whatever the path ends in.
  dlg.SetFolderChooser(Answering(call, "/"));
  dlg.BitBtn1Click();
  EXPECT_EQ(dlg.FSaveFolder, "//");
}

TEST(SetupDlgBrowse, CancelKeepsAnExistingFolderAndForgetsAVanishedOne) {
  test::TempDir dir;
  const std::string folder = dir.Path("out/deeper") + "/";
  std::filesystem::create_directories(dir.Path("out/deeper"));
  TSetupDlg dlg;
  ChooserCall call;
  dlg.SetFolderChooser(Answering(call, std::nullopt));
  dlg.FSaveType = 2;

  dlg.FSaveFolder = folder;
  dlg.BitBtn1Click();
  EXPECT_EQ(call.start, folder);
  EXPECT_EQ(dlg.FSaveFolder, folder);
  EXPECT_EQ(dlg.Edit1->text().toStdString(), folder);

  // Gone with the folder above it: the chooser opens in the nearest one left.
  std::filesystem::remove_all(dir.Path("out"));
  dlg.BitBtn1Click();
  EXPECT_EQ(call.calls, 2);
  EXPECT_EQ(call.start, "");
  EXPECT_EQ(call.inside + "/", dir.Folder());
  EXPECT_EQ(dlg.FSaveFolder, "");
  EXPECT_EQ(dlg.Edit1->text(), "");

  // Nothing chosen yet: the home folder.
  dlg.BitBtn1Click();
  EXPECT_EQ(call.inside, QDir::homePath().toStdString());
}

TEST(SetupDlgBrowse, ButtonRunsTheChooserAndOkStoresItsFolder) {
  TSetupDlg dlg;
  ChooserCall call;
  dlg.SetFolderChooser(Answering(call, "/media/disk"));
  Settings s = SampleSettings();
  s.SaveType = 0;
  WhenModal(&dlg, [&] {
    dlg.RadioButton2->click();
    ASSERT_TRUE(dlg.BitBtn1->isEnabled());
    dlg.BitBtn1->click();
    dlg.BitBtnOK->click();
  });
  EXPECT_TRUE(dlg.Execute(s));
  EXPECT_EQ(call.calls, 1);
  EXPECT_EQ(call.start, "");  // "/somewhere/out/" does not exist
  EXPECT_EQ(call.inside, "/");
  EXPECT_EQ(s.SaveType, 2);
  EXPECT_EQ(s.SaveFolder, "/media/disk/");
}

TEST(SetupDlg, CentredOnTheMainWindowFirstThenWhereItStood) {
  QWidget main_window;
  main_window.setGeometry(300, 200, 400, 300);
  main_window.show();
  TSetupDlg dlg(&main_window);
  Settings s = SampleSettings();
  QPoint first;
  WhenModal(&dlg, [&] {
    first = dlg.frameGeometry().center();
    dlg.move(dlg.pos() + QPoint(-120, 40));
    dlg.BitBtnCancel->click();
  });
  dlg.Execute(s);
  EXPECT_LE((first - main_window.frameGeometry().center()).manhattanLength(), 2);

  const QPoint moved_to = dlg.pos();
  QPoint second;
  WhenModal(&dlg, [&] {
    second = dlg.pos();
    dlg.BitBtnCancel->click();
  });
  main_window.move(100, 100);  // the dialog follows the user, not the main window
  dlg.Execute(s);
  EXPECT_EQ(second, moved_to);
}

}  // namespace
}  // namespace zelfin

namespace zelfin {
namespace {

TEST(FolderChooser, PicksExistingFoldersOnlyStartingBesideTheGivenOneWithItSelected) {
  test::TempDir dir;
  std::filesystem::create_directory(dir.Path("out"));
  const std::unique_ptr<QFileDialog> chooser =
      MakeFolderDialog(nullptr, {dir.Path("out") + "/", ""});
  EXPECT_EQ(chooser->windowTitle(), "Select Folder");
  EXPECT_EQ(chooser->fileMode(), QFileDialog::Directory);
  EXPECT_TRUE(chooser->testOption(QFileDialog::ShowDirsOnly));
  EXPECT_EQ(QFileInfo(chooser->directory().absolutePath()),
            QFileInfo(QString::fromStdString(dir.Path(""))));
  // Choose right away keeps the folder chosen before.
  ASSERT_EQ(chooser->selectedFiles().size(), 1);
  EXPECT_EQ(QFileInfo(chooser->selectedFiles().first()),
            QFileInfo(QString::fromStdString(dir.Path("out"))));
  chooser->show();
  QCoreApplication::processEvents();
  const auto* new_folder = chooser->findChild<QToolButton*>("newFolderButton");
  ASSERT_NE(new_folder, nullptr);
  EXPECT_FALSE(new_folder->isVisible());
  EXPECT_FALSE(new_folder->isEnabled());
  // Its row is selected once the folder's listing has been read in the background.
  const auto* list = chooser->findChild<QAbstractItemView*>("treeView");
  ASSERT_NE(list, nullptr);
  QDeadlineTimer deadline(5000);
  while (list->currentIndex().data().toString() != "out" && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  EXPECT_EQ(list->currentIndex().data().toString(), "out");
  EXPECT_TRUE(list->selectionModel()->isSelected(list->currentIndex()));
  chooser->reject();
}

TEST(FolderChooser, TheRootStartsAtItself) {
  const std::unique_ptr<QFileDialog> chooser = MakeFolderDialog(nullptr, {"/", ""});
  EXPECT_EQ(chooser->directory().absolutePath(), "/");
}

TEST(FolderChooser, WithoutAFolderChosenItOpensInTheOneGiven) {
  test::TempDir dir;
  const std::unique_ptr<QFileDialog> chooser = MakeFolderDialog(nullptr, {"", dir.Path("")});
  EXPECT_EQ(QFileInfo(chooser->directory().absolutePath()),
            QFileInfo(QString::fromStdString(dir.Path(""))));
}

TEST(FolderChooser, CentredOnTheMonitorOfTheSetupDialogWhereverThatStands) {
  test::TempDir dir;
  TSetupDlg setup;
  setup.show();
  setup.move(0, 0);  // moved by the user into the screen's corner
  QCoreApplication::processEvents();
  const std::unique_ptr<QFileDialog> chooser = MakeFolderDialog(&setup, {dir.Folder(), ""});
  chooser->show();
  QCoreApplication::processEvents();
  const QRect screen = setup.screen()->availableGeometry();
  ASSERT_LE(chooser->frameGeometry().width(), screen.width());
  ASSERT_LE(chooser->frameGeometry().height(), screen.height());
  EXPECT_LE((chooser->frameGeometry().center() - screen.center()).manhattanLength(), 2);
  chooser->reject();
  setup.hide();
}

}  // namespace
}  // namespace zelfin
