#include "dialogs/select_dlg.h"

#include <QListWidget>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>

#include "dialogs/dialog_look.h"

namespace zelfin {

namespace {

// Design size of the client area; the window never gets smaller.
constexpr int kDesignWidth = 404;
constexpr int kDesignHeight = 184;
// The list keeps these distances to the right and bottom edges, the buttons
// theirs to the right edge.
constexpr int kListRightGap = kDesignWidth - (8 + 301);
constexpr int kListBottomGap = kDesignHeight - (8 + 168);
constexpr int kButtonRightGap = kDesignWidth - (317 + 81);

}  // namespace

TSelectDlg::TSelectDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("SelectDlg"));
  setWindowTitle(QStringLiteral("Select Output Group"));
  setFont(DesignFont(QStringLiteral("Tahoma"), 8));
  setMinimumSize(kDesignWidth, kDesignHeight);
  resize(kDesignWidth, kDesignHeight);

  CLB = new QListWidget(this);
  CLB->setObjectName(QStringLiteral("CLB"));
  CLB->setGeometry(8, 8, 301, 168);

  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setObjectName(QStringLiteral("OKBtn"));
  OKBtn->setGeometry(317, 8, 81, 27);
  OKBtn->setDefault(true);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);

  CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  CancelBtn->setGeometry(317, 41, 81, 27);
  CancelBtn->setAutoDefault(false);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

bool TSelectDlg::SelectGroups(const std::vector<std::string>& names, std::vector<bool>& selection) {
  CLB->clear();
  for (const std::string& name : names) {
    // Bytes that are not UTF-8 show as replacement characters; the answer is
    // by position, so it stays right whatever the text shows.
    auto* item = new QListWidgetItem(
        QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())), CLB);
    item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setCheckState(Qt::Unchecked);
  }
  if (CLB->count() > 0) CLB->setCurrentRow(0);
  if (exec() != QDialog::Accepted) return false;
  selection.resize(static_cast<size_t>(CLB->count()));
  for (int i = 0; i < CLB->count(); ++i) {
    selection[static_cast<size_t>(i)] = CLB->item(i)->checkState() == Qt::Checked;
  }
  return true;
}

void TSelectDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) CentreOnScreen(this);
}

void TSelectDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const int w = width();
  const int h = height();
  CLB->setGeometry(8, 8, w - 8 - kListRightGap, h - 8 - kListBottomGap);
  OKBtn->move(w - kButtonRightGap - 81, 8);
  CancelBtn->move(w - kButtonRightGap - 81, 41);
}

}  // namespace zelfin
