#pragma once
// Driving modal dialogs from a test: an action that runs once the dialog is
// the active modal window, and the keys and clicks a user would give it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

namespace zelfin::test {

// Runs action as soon as dialog is shown and modal. The timer belongs to the
// dialog's event loop, so the action runs inside exec(); a dialog that never
// comes up leaves the action unrun, and the test's own expectations fail.
inline void WhenModal(QDialog* dialog, std::function<void()> action) {
  auto* timer = new QTimer(dialog);
  timer->setInterval(0);
  QObject::connect(timer, &QTimer::timeout, dialog, [dialog, timer, action] {
    if (!dialog->isVisible() || QApplication::activeModalWidget() != dialog) return;
    timer->stop();
    timer->deleteLater();
    action();
  });
  timer->start();
}

inline void PressKey(QWidget* widget, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &release);
}

// The three ways of leaving a dialog without confirming.
enum class Dismissal { kCancelButton, kEscape, kCloseBox };

inline const char* DismissalName(Dismissal d) {
  switch (d) {
    case Dismissal::kCancelButton:
      return "CancelButton";
    case Dismissal::kEscape:
      return "Escape";
    case Dismissal::kCloseBox:
      return "CloseBox";
  }
  return "?";
}

// All three as the parameters of a test suite, each test named by its way.
inline auto AllDismissals() {
  return ::testing::Values(Dismissal::kCancelButton, Dismissal::kEscape, Dismissal::kCloseBox);
}
inline std::string DismissalTestName(const ::testing::TestParamInfo<Dismissal>& info) {
  return DismissalName(info.param);
}

// Leaves dialog the given way; cancel is its Cancel button.
template <class Button>
void Dismiss(QDialog* dialog, Button* cancel, Dismissal how) {
  switch (how) {
    case Dismissal::kCancelButton:
      cancel->click();
      break;
    case Dismissal::kEscape:
      PressKey(dialog, Qt::Key_Escape);
      break;
    case Dismissal::kCloseBox:
      dialog->close();
      break;
  }
}

inline void SendRelease(QWidget* widget, QPoint at) {
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), widget->mapToGlobal(QPointF(at)),
                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &release);
}

}  // namespace zelfin::test
