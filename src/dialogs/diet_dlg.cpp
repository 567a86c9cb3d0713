#include "dialogs/diet_dlg.h"

#include <QCoreApplication>
#include <QProgressBar>
#include <algorithm>

#include "dialogs/dialog_look.h"
#include "dialogs/window_hints.h"

namespace zelfin {

// A title and no system menu or buttons: the run cannot be broken off, and the
// whole title bar is left to the step's caption.
TDietDlg::TDietDlg(QWidget* main_window)
    : QDialog(main_window, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      main_window_(main_window) {
  setObjectName(QStringLiteral("DietDlg"));
  setWindowTitle(QStringLiteral("Surface Simplification"));
  setFont(DesignFont(QStringLiteral("Tahoma"), 8));
  setModal(false);
  setFixedSize(298, 16);

  // One pixel beyond the client area on every side, so the bar's own border
  // lies outside the window.
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setGeometry(-1, -1, 300, 17);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
}

void TDietDlg::Show() {
  ProgressBar1->setValue(0);
  CentreOnWindow(this, main_window_);
  show();
  raise();
}

void TDietDlg::Hide() {
  hide();
}

void TDietDlg::SetCaption(const std::string& caption) {
  setWindowTitle(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
}

void TDietDlg::SetPosition(int position) {
  // The last contraction may overshoot its band; a value past the end shows as a full bar.
  ProgressBar1->setValue(std::clamp(position, ProgressBar1->minimum(), ProgressBar1->maximum()));
}

void TDietDlg::ProcessMessages() {
  QCoreApplication::processEvents();
}

void TDietDlg::KeepResponsive() {
  // Nothing shown changes here: the bar and the caption move only at the marks.
  QCoreApplication::processEvents();
}

void TDietDlg::reject() {}

void TDietDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  SetWindowManagerHints(this);
}

}  // namespace zelfin
