#include "dialogs/setup_dlg.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHideEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QToolButton>
#include <QVariant>
#include <algorithm>
#include <memory>

#include "app/operations.h"
#include "dialogs/dialog_look.h"
#include "dialogs/window_hints.h"
#include "platform/paths.h"

namespace zelfin {

namespace {

// Brings the view's current row into sight.
void ScrollToCurrent(QAbstractItemView* view) {
  view->scrollTo(view->currentIndex(), QAbstractItemView::PositionAtCenter);
}

// Selects row in the dialog's list and detail views and scrolls to it, and
// again once the listing has been sorted (the model sorts on a timer).
void SelectRow(QFileDialog& dialog, QFileSystemModel* model, const QModelIndex& row) {
  for (QAbstractItemView* view : dialog.findChildren<QAbstractItemView*>()) {
    if (view->model() != model) continue;
    view->setCurrentIndex(row);
    ScrollToCurrent(view);
    QObject::connect(
        model, &QAbstractItemModel::layoutChanged, view, [view] { ScrollToCurrent(view); },
        Qt::SingleShotConnection);
  }
}

// The dialog reads a folder's listing in the background, the folders above
// it first; once the listing of parent is in, the row of folder is selected.
void SelectRowWhenListed(QFileDialog& dialog, const QString& parent, const QString& folder) {
  auto* model = dialog.findChild<QFileSystemModel*>();
  if (!model) return;
  auto waiting = std::make_shared<QMetaObject::Connection>();
  const auto listed = [&dialog, model, parent, folder, waiting](const QString& loaded) {
    const QModelIndex row = model->index(folder);
    if (QDir(loaded) != QDir(parent) || !row.isValid()) return;
    QObject::disconnect(*waiting);
    SelectRow(dialog, model, row);
  };
  *waiting = QObject::connect(model, &QFileSystemModel::directoryLoaded, &dialog, listed);
}

// Opens in the folder that holds start, with start itself selected: Choose
// keeps it, and the folders beside it are one click away.
void StartBeside(QFileDialog& dialog, const std::string& start) {
  const QFileInfo folder(QDir::cleanPath(QString::fromStdString(start)));  // no trailing "/"
  if (folder.isRoot()) {
    dialog.setDirectory(folder.absoluteFilePath());
    return;
  }
  dialog.setDirectory(folder.absolutePath());
  dialog.selectFile(folder.absoluteFilePath());  // the name, ready for Choose
  SelectRowWhenListed(dialog, folder.absolutePath(), folder.absoluteFilePath());
}

// Centred on the monitor that holds owner (the setup dialog, wherever the user
// moved it), not on owner itself or the screen's corner.
void CentreOnOwnersScreen(QFileDialog& dialog, const QWidget* owner) {
  const QScreen* screen =
      owner ? QGuiApplication::screenAt(owner->frameGeometry().center()) : nullptr;
  if (!screen && owner) screen = owner->screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  if (!dialog.testAttribute(Qt::WA_Resized)) dialog.resize(dialog.sizeHint());
  CentreOn(&dialog, screen->availableGeometry());
}

}  // namespace

std::unique_ptr<QFileDialog> MakeFolderDialog(QWidget* parent, const FolderStart& start) {
  auto dialog = std::make_unique<QFileDialog>(parent, QStringLiteral("Select Folder"));
  dialog->setFileMode(QFileDialog::Directory);
  // The folder is only ever picked here, never made: ReadOnly disables the
  // dialog's "new folder" button and menu item, and the button is hidden too.
  // Qt's own dialog is used so that this holds on every desktop.
  dialog->setOptions(QFileDialog::ShowDirsOnly | QFileDialog::ReadOnly |
                     QFileDialog::DontUseNativeDialog);
  if (auto* new_folder = dialog->findChild<QToolButton*>(QStringLiteral("newFolderButton"))) {
    new_folder->hide();
  }
  if (!start.chosen.empty()) {
    StartBeside(*dialog, start.chosen);
  } else {
    dialog->setDirectory(start.inside.empty() ? QDir::homePath()
                                              : QString::fromStdString(start.inside));
  }
  CentreOnOwnersScreen(*dialog, parent);
  return dialog;
}

std::optional<std::string> ChooseFolderWithDialog(QWidget* parent, const FolderStart& start) {
  const std::unique_ptr<QFileDialog> dialog = MakeFolderDialog(parent, start);
  if (dialog->exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog->selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  std::string path = chosen.first().toStdString();
  // The caller appends the separator itself, so hand back the path without one.
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string NearestExistingFolder(const std::string& path) {
  QString folder = QDir::cleanPath(QString::fromStdString(path));
  if (QDir::isAbsolutePath(folder)) {
    for (;;) {
      if (QFileInfo(folder).isDir()) return folder.toStdString();
      const QString above = QFileInfo(folder).path();
      if (above == folder) break;
      folder = above;
    }
  }
  return QDir::homePath().toStdString();
}

namespace {

QRadioButton* MakeRadio(QWidget* parent, const char* name, const QString& caption, QRect place) {
  auto* button = new QRadioButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(place);
  return button;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, QRect place) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(place);
  return button;
}

}  // namespace

TSetupDlg::TSetupDlg(QWidget* main_window)
    : QDialog(main_window, kFixedDialogFlags),
      main_window_(main_window),
      chooser_(ChooseFolderWithDialog) {
  setObjectName(QStringLiteral("SetupDlg"));
  setWindowTitle(QStringLiteral("Zelfin Setup"));
  setFont(DesignFont(QStringLiteral("Tahoma"), 8));
  // The "Divided by" group is taller than its four modes by the refined check
  // box under the percentage list; the row of buttons sits below it.
  setFixedSize(411, 299);
  setSizeGripEnabled(false);

  GroupBox1 = new QGroupBox(QStringLiteral("The folder which saves the divided file "), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(2, 0, 407, 125);
  RadioButton0 =
      MakeRadio(GroupBox1, "RadioButton0", QStringLiteral("&Same folder "), {12, 20, 189, 17});
  RadioButton1 =
      MakeRadio(GroupBox1, "RadioButton1", QStringLiteral("&Desktop"), {12, 43, 113, 17});
  RadioButton2 =
      MakeRadio(GroupBox1, "RadioButton2", QStringLiteral("Se&lected folder"), {12, 67, 113, 17});
  SaveTypeButtons = new QButtonGroup(this);
  SaveTypeButtons->setObjectName(QStringLiteral("SaveTypeButtons"));
  int tag = 0;
  for (QRadioButton* button : {RadioButton0, RadioButton1, RadioButton2}) {
    button->setProperty("tag", tag);
    SaveTypeButtons->addButton(button, tag);
    connect(button, &QRadioButton::clicked, this, &TSetupDlg::RadioButton0Click);
    ++tag;
  }

  Edit1 = new QLineEdit(GroupBox1);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setGeometry(12, 90, 311, 21);
  Edit1->setReadOnly(true);
  Edit1->setEnabled(false);  // shows FSaveFolder; only Browse changes it

  BitBtn1 = MakeButton(GroupBox1, "BitBtn1", QStringLiteral("&Browse"), {326, 88, 75, 25});
  BitBtn1->setAutoDefault(false);
  connect(BitBtn1, &QPushButton::clicked, this, &TSetupDlg::BitBtn1Click);

  RadioGroup1 = new QGroupBox(QStringLiteral("Divided by"), this);
  RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
  RadioGroup1->setGeometry(2, 125, 407, 137);
  RadioGroup1Items = new QButtonGroup(this);
  RadioGroup1Items->setObjectName(QStringLiteral("RadioGroup1Items"));
  // Each choice has its access key (Alt and the underlined letter).
  const QString modes[] = {QStringLiteral("&Material"), QStringLiteral("&Group"),
                           QStringLiteral("Group &Option"),
                           QStringLiteral("S&urface Simplification")};
  for (int i = 0; i < 4; ++i) {
    // Items share the group's height evenly below its caption; they stop short
    // of the percentage list, which lies over the group to their right.
    auto* item = new QRadioButton(modes[i], RadioGroup1);
    item->setObjectName(QStringLiteral("RadioGroup1Item%1").arg(i));
    item->setGeometry(8, 14 + 25 * i, 168, 25);
    RadioGroup1Items->addButton(item, i);
  }
  connect(RadioGroup1Items, &QButtonGroup::idClicked, this, &TSetupDlg::RadioGroup1Click);

  // Beside the first of the three modes that divide, at the left edge of the
  // percentage list and the refined method below it.
  CheckBox4 = new QCheckBox(QStringLiteral("&Keep materials"), this);
  CheckBox4->setObjectName(QStringLiteral("CheckBox4"));
  CheckBox4->setGeometry(180, 143, 145, 17);
  CheckBox4->setToolTip(
      QStringLiteral("Each divided file also gets the model's mtllib lines, pointing from "
                     "its folder to the material libraries, and its usemtl lines, so that "
                     "the pieces keep their look in other programs"));
  connect(CheckBox4, &QCheckBox::clicked, this, &TSetupDlg::CheckBox4Click);

  CheckBox3 = new QCheckBox(QStringLiteral("&Refined method"), this);
  CheckBox3->setObjectName(QStringLiteral("CheckBox3"));
  CheckBox3->setGeometry(180, 241, 145, 17);
  CheckBox3->setToolTip(
      QStringLiteral("Closer to the input: prices the edges around every merged vertex again, "
                     "and writes the model in its own coordinates"));
  connect(CheckBox3, &QCheckBox::clicked, this, &TSetupDlg::CheckBox3Click);

  ComboBox1 = new QComboBox(this);
  ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
  ComboBox1->setEditable(false);
  ComboBox1->setGeometry(180, 216, 145, 21);
  ComboBox1->raise();
  connect(ComboBox1, &QComboBox::activated, this, &TSetupDlg::ComboBox1Change);

  BitBtnOK = MakeButton(this, "BitBtnOK", QStringLiteral("OK"), {332, 268, 75, 25});
  BitBtnOK->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  BitBtnOK->setDefault(true);
  connect(BitBtnOK, &QPushButton::clicked, this, &QDialog::accept);

  BitBtnCancel = MakeButton(this, "BitBtnCancel", QStringLiteral("Cancel"), {254, 268, 75, 25});
  BitBtnCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
  BitBtnCancel->setAutoDefault(false);
  connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);

  CheckBox2 = new QCheckBox(QStringLiteral("Dis&play Setup Dialog before processing"), this);
  CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
  // A fallback font wider than the designed one takes the room up to Cancel
  // rather than cutting the caption short.
  CheckBox2->setGeometry(8, 272, std::clamp(CheckBox2->sizeHint().width(), 216, 254 - 4 - 8), 17);

  SetTabOrder();
  FormCreate();
}

void TSetupDlg::SetTabOrder() {
  // Tab follows the eye: down the dialog, within the mode group down its left
  // column and then its right one, and left to right along the bottom row.
  const QList<QAbstractButton*> modes = RadioGroup1Items->buttons();
  QList<QWidget*> order = {RadioButton0, RadioButton1, RadioButton2, Edit1, BitBtn1};
  for (QAbstractButton* mode : modes) order.push_back(mode);
  order += {CheckBox4, ComboBox1, CheckBox3, CheckBox2, BitBtnCancel, BitBtnOK};
  for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void TSetupDlg::FormCreate() {
  ComboBox1->clear();
  for (int k = 0; k <= kMaxDietIndex; ++k)
    ComboBox1->addItem(QStringLiteral("%1%").arg(95 - 5 * k));
}

bool TSetupDlg::Execute(Settings& settings) {
  FSaveType = settings.SaveType;
  FSaveFolder = settings.SaveFolder;
  FDivIndex = settings.DivIndex;
  FDietIndex = settings.DietIndex;
  FDietMethod = settings.DietMethod;
  FKeepMaterials = settings.KeepMaterials;
  CheckBox2->setChecked(settings.isDispSetupDlg);
  if (exec() != QDialog::Accepted) return false;
  settings.SaveType = FSaveType;
  settings.SaveFolder = FSaveFolder;
  settings.DivIndex = FDivIndex;
  settings.DietIndex = FDietIndex;
  settings.DietMethod = FDietMethod;
  settings.KeepMaterials = FKeepMaterials;
  settings.isDispSetupDlg = CheckBox2->isChecked();
  return true;
}

void TSetupDlg::SetFolderChooser(FolderChooser chooser) {
  chooser_ = chooser ? std::move(chooser) : FolderChooser(ChooseFolderWithDialog);
}

void TSetupDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  SetWindowManagerHints(this);
  if (event->spontaneous()) return;  // a restore from the task bar is no new showing
  if (placed_) {
    move(last_pos_);
  } else {
    CentreOnWindow(this, main_window_);
    placed_ = true;
  }
  FormShow();
}

void TSetupDlg::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (!event->spontaneous()) last_pos_ = pos();
}

void TSetupDlg::FormShow() {
  // Each button is set to whether its own condition holds, so a value out of
  // range leaves none chosen; an exclusive group would refuse to clear the last one.
  SaveTypeButtons->setExclusive(false);
  RadioButton0->setChecked(FSaveType == kSaveSameFolder);
  RadioButton1->setChecked(FSaveType == kSaveDesktop);
  RadioButton2->setChecked(FSaveType == kSaveSelectedFolder);
  SaveTypeButtons->setExclusive(true);

  RadioGroup1Items->setExclusive(false);
  for (QAbstractButton* item : RadioGroup1Items->buttons()) {
    item->setChecked(RadioGroup1Items->id(item) == FDivIndex);
  }
  RadioGroup1Items->setExclusive(true);

  ComboBox1->setCurrentIndex(FDietIndex >= 0 && FDietIndex < ComboBox1->count() ? FDietIndex : -1);
  CheckBox3->setChecked(FDietMethod == 1);
  CheckBox4->setChecked(FKeepMaterials == 1);
  UpdateFolderControls();
  UpdateMethodControls();
}

void TSetupDlg::RadioButton0Click() {
  const QObject* button = sender();
  if (!button) return;
  const QVariant tag = button->property("tag");
  if (!tag.isValid()) return;
  FSaveType = tag.toInt();
  UpdateFolderControls();
}

void TSetupDlg::RadioGroup1Click() {
  FDivIndex = RadioGroup1Items->checkedId();
  UpdateMethodControls();
}

void TSetupDlg::CheckBox3Click() {
  FDietMethod = CheckBox3->isChecked() ? 1 : 0;
}

void TSetupDlg::CheckBox4Click() {
  FKeepMaterials = CheckBox4->isChecked() ? 1 : 0;
}

void TSetupDlg::UpdateMethodControls() {
  // The method is a choice of the simplification only, keeping materials one
  // of the three divisions.
  CheckBox3->setEnabled(FDivIndex == static_cast<int32_t>(DivMode::kSimplify));
  CheckBox4->setEnabled(FDivIndex >= static_cast<int32_t>(DivMode::kMaterial) &&
                        FDivIndex <= static_cast<int32_t>(DivMode::kGroupOption));
}

void TSetupDlg::ComboBox1Change() {
  FDietIndex = ComboBox1->currentIndex();
}

void TSetupDlg::UpdateFolderControls() {
  BitBtn1->setEnabled(FSaveType == kSaveSelectedFolder);
  Edit1->setText(QString::fromStdString(FSaveFolder));
}

void TSetupDlg::BitBtn1Click() {
  // A folder that no longer exists is forgotten before the chooser opens,
  // which then opens in the nearest folder above it that still does.
  FolderStart start;
  if (!FSaveFolder.empty() && DirectoryExists(FSaveFolder)) {
    start.chosen = FSaveFolder;
  } else {
    start.inside = NearestExistingFolder(FSaveFolder);
    FSaveFolder.clear();
  }
  if (std::optional<std::string> chosen = chooser_(this, start)) FSaveFolder = *chosen + "/";
  UpdateFolderControls();
}

}  // namespace zelfin
