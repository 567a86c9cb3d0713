#include "dialogs/select_dlg.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <QScreen>

#include "dialogs/dialog_test_util.h"

namespace zelfin {
namespace {

using test::Dismissal;
using test::WhenModal;

void Tick(TSelectDlg& dlg, int row) {
  dlg.CLB->item(row)->setCheckState(Qt::Checked);
}

TEST(SelectDlg, FormHasTheDesignedControls) {
  TSelectDlg dlg;
  EXPECT_EQ(dlg.objectName(), "SelectDlg");
  EXPECT_EQ(dlg.windowTitle(), "Select Output Group");
  EXPECT_EQ(dlg.size(), QSize(404, 184));
  for (const char* name : {"CLB", "OKBtn", "CancelBtn"}) {
    EXPECT_NE(dlg.findChild<QWidget*>(name), nullptr) << name;
  }
}

TEST(SelectDlg, OkCopiesTheTicksByPositionAndTheNextRunStartsUnticked) {
  TSelectDlg dlg;
  std::vector<bool> selection(4, false);
  WhenModal(&dlg, [&] {
    ASSERT_EQ(dlg.CLB->count(), 4);
    EXPECT_EQ(dlg.CLB->item(2)->text(), "wheel");
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(dlg.CLB->item(i)->checkState(), Qt::Unchecked);
      EXPECT_TRUE(dlg.CLB->item(i)->flags() & Qt::ItemIsUserCheckable);
    }
    Tick(dlg, 1);
    Tick(dlg, 3);
    dlg.OKBtn->click();
  });
  EXPECT_TRUE(dlg.SelectGroups({"body", "door", "wheel", "\xc3\xa9tage"}, selection));
  EXPECT_EQ(selection, (std::vector<bool>{false, true, false, true}));
  EXPECT_EQ(dlg.CLB->item(3)->text(), QString::fromUtf8("\xc3\xa9tage"));

  // A second file: its own names only, none ticked, whatever the first run ticked.
  std::vector<bool> second(2, false);
  WhenModal(&dlg, [&] {
    ASSERT_EQ(dlg.CLB->count(), 2);
    EXPECT_EQ(dlg.CLB->item(0)->text(), "a");
    EXPECT_EQ(dlg.CLB->item(1)->checkState(), Qt::Unchecked);
    Tick(dlg, 0);
    test::PressKey(&dlg, Qt::Key_Return);
  });
  EXPECT_TRUE(dlg.SelectGroups({"a", "door"}, second));
  EXPECT_EQ(second, (std::vector<bool>{true, false}));
}

class SelectDlgDismissal : public ::testing::TestWithParam<Dismissal> {};

TEST_P(SelectDlgDismissal, LeavesTheSelectionAsItWas) {
  TSelectDlg dlg;
  std::vector<bool> selection = {true, false, true};
  WhenModal(&dlg, [&] {
    Tick(dlg, 1);
    dlg.CLB->item(0)->setCheckState(Qt::Unchecked);
    test::Dismiss(&dlg, dlg.CancelBtn, GetParam());
  });
  EXPECT_FALSE(dlg.SelectGroups({"a", "b", "c"}, selection));
  EXPECT_EQ(selection, (std::vector<bool>{true, false, true}));
  EXPECT_TRUE(dlg.isHidden());
}

INSTANTIATE_TEST_SUITE_P(AllWays, SelectDlgDismissal, test::AllDismissals(),
                         test::DismissalTestName);

TEST(SelectDlg, NamesThatAreNotUtf8StayApartAndAreAnsweredByPosition) {
  TSelectDlg dlg;
  // Two Latin-1 names that differ only in bytes that are not UTF-8, and a cut sequence.
  const std::vector<std::string> names = {"caf\xe9", "caf\xe8", "x\xe2\x82",
                                          std::string("n\0ul", 4)};
  std::vector<bool> selection(names.size(), false);
  WhenModal(&dlg, [&] {
    ASSERT_EQ(dlg.CLB->count(), 4);
    EXPECT_TRUE(dlg.CLB->item(0)->text().contains(QChar::ReplacementCharacter));
    EXPECT_TRUE(dlg.CLB->item(0)->text().startsWith("caf"));
    Tick(dlg, 1);
    dlg.OKBtn->click();
  });
  EXPECT_TRUE(dlg.SelectGroups(names, selection));
  EXPECT_EQ(selection, (std::vector<bool>{false, true, false, false}));
}

TEST(SelectDlg, NoNamesStillAsksAndAnswers) {
  TSelectDlg dlg;
  std::vector<bool> selection;
  WhenModal(&dlg, [&] { dlg.OKBtn->click(); });
  EXPECT_TRUE(dlg.SelectGroups({}, selection));
  EXPECT_TRUE(selection.empty());
}

TEST(SelectDlg, ListGrowsWithTheWindowAndButtonsKeepToTheTopRight) {
  TSelectDlg dlg;
  dlg.show();
  EXPECT_EQ(dlg.minimumSize(), QSize(404, 184));
  dlg.resize(604, 384);
  QCoreApplication::processEvents();
  EXPECT_EQ(dlg.CLB->geometry(), QRect(8, 8, 501, 368));
  EXPECT_EQ(dlg.OKBtn->geometry(), QRect(517, 8, 81, 27));
  EXPECT_EQ(dlg.CancelBtn->geometry(), QRect(517, 41, 81, 27));
  dlg.hide();
}

TEST(SelectDlg, OpensCentredOnTheScreen) {
  TSelectDlg dlg;
  QPoint centre;
  std::vector<bool> selection;
  WhenModal(&dlg, [&] {
    centre = dlg.frameGeometry().center();
    dlg.OKBtn->click();
  });
  dlg.SelectGroups({}, selection);
  const QPoint screen_centre = dlg.screen()->availableGeometry().center();
  EXPECT_LE((centre - screen_centre).manhattanLength(), 2);
}

}  // namespace
}  // namespace zelfin
