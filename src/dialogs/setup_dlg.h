#pragma once
// The setup dialog: where output goes, the mode, whether divided files keep
// their materials, the simplification strength and method, and whether the
// dialog is shown before each file. It works on copies of the
// settings and stores them back only on OK.
#include <QDialog>
#include <QPoint>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/settings.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zelfin {

// Where the folder chooser opens: with the folder chosen so far shown
// selected within the folder that holds it, or else inside another folder
// (neither: the home folder).
struct FolderStart {
  std::string chosen;
  std::string inside;
};

// Asks the user for a folder, starting at start. Returns the chosen folder's
// path without a trailing "/", or nothing on cancel.
using FolderChooser =
    std::function<std::optional<std::string>(QWidget* parent, const FolderStart& start)>;

// The QFileDialog folder chooser ("Select Folder", directories only).
std::optional<std::string> ChooseFolderWithDialog(QWidget* parent, const FolderStart& start);

// The dialog that ChooseFolderWithDialog runs, set up and placed on parent's
// monitor but not shown.
std::unique_ptr<QFileDialog> MakeFolderDialog(QWidget* parent, const FolderStart& start);

// The nearest folder that exists at path or above it; the home folder when
// none does or path is not absolute.
std::string NearestExistingFolder(const std::string& path);

class TSetupDlg : public QDialog {
  Q_OBJECT
 public:
  // main_window: the window the dialog is centred on the first time it shows.
  explicit TSetupDlg(QWidget* main_window = nullptr);

  // Loads the working copies from settings, runs the dialog modally, and on OK
  // stores them (and the check box) back into settings and returns true.
  bool Execute(Settings& settings);

  void SetFolderChooser(FolderChooser chooser);  // tests inject their own

  // Working copies.
  int32_t FSaveType = 0;
  std::string FSaveFolder;
  int32_t FDivIndex = 0;
  int32_t FDietIndex = 0;
  int32_t FDietMethod = 0;
  int32_t FKeepMaterials = 0;

  QGroupBox* GroupBox1 = nullptr;
  QRadioButton* RadioButton0 = nullptr;
  QRadioButton* RadioButton1 = nullptr;
  QRadioButton* RadioButton2 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QGroupBox* RadioGroup1 = nullptr;  // its items are exclusive radio buttons
  QComboBox* ComboBox1 = nullptr;
  QPushButton* BitBtnOK = nullptr;
  QPushButton* BitBtnCancel = nullptr;
  QCheckBox* CheckBox2 = nullptr;
  QCheckBox* CheckBox3 = nullptr;            // "Refined method", for Surface Simplification only
  QCheckBox* CheckBox4 = nullptr;            // "Keep materials", for the three divisions
  QButtonGroup* SaveTypeButtons = nullptr;   // RadioButton0..2, id = tag = SaveType
  QButtonGroup* RadioGroup1Items = nullptr;  // the four modes, id = DivIndex

  void UpdateFolderControls();
  void UpdateMethodControls();

 public slots:
  void RadioButton0Click();  // all three radio buttons; the sender's tag is its SaveType
  void RadioGroup1Click();
  void ComboBox1Change();
  void CheckBox3Click();
  void CheckBox4Click();
  void BitBtn1Click();

 protected:
  void showEvent(QShowEvent* event) override;  // runs FormShow
  void hideEvent(QHideEvent* event) override;  // remembers where the dialog stood

 private:
  void FormCreate();
  void FormShow();
  void SetTabOrder();

  QWidget* main_window_ = nullptr;
  FolderChooser chooser_;
  bool placed_ = false;  // shown before: reopen at last_pos_
  QPoint last_pos_;
};

}  // namespace zelfin
