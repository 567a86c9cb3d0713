#pragma once
// The simplification's progress window: one bar, the step as its caption.
// Not modal, so the main window stays usable while a run pumps messages.
#include <QDialog>

#include "platform/progress_sink.h"

class QProgressBar;

namespace zelfin {

class TDietDlg : public QDialog, public ProgressSink {
  Q_OBJECT
 public:
  // main_window: the window the progress window is centred on.
  explicit TDietDlg(QWidget* main_window = nullptr);

  QProgressBar* ProgressBar1 = nullptr;  // range 0..100

  // ProgressSink
  void Show() override;  // bar to 0, show (not modal)
  void Hide() override;
  void SetCaption(const std::string& caption) override;
  void SetPosition(int position) override;
  void ProcessMessages() override;  // QCoreApplication::processEvents once
  // The same round of events between the marks of a long step, so that the
  // windows are painted and take clicks while a large file loads or is
  // written. Also called while the window is hidden, during a division.
  void KeepResponsive() override;

 public slots:
  // Only Hide() ends the window's showing: Escape and the close box do nothing
  // while a run is under way.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;  // the window manager's hints

 private:
  QWidget* main_window_ = nullptr;
};

}  // namespace zelfin
