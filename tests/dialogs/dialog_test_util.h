#pragma once
// Driving modal dialogs from a test: an action that runs once the dialog is
// the active modal window, and the keys and clicks a user would give it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
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

// A key pressed and released as a user would; a press sent this way is
// offered to the shortcuts first (access keys, menu keys), as a typed one is.
inline void PressKey(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers);
  QCoreApplication::sendEvent(widget, &press);
  QKeyEvent release(QEvent::KeyRelease, key, modifiers);
  QCoreApplication::sendEvent(widget, &release);
}

// Lets the event loop run for ms milliseconds.
inline void Wait(int ms) {
  QDeadlineTimer deadline(ms);
  while (!deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// A caption as it reads on the screen: the "&" that marks the access key
// (underlined, not shown) is left out, and "&&" reads as one "&".
inline QString Shown(const QString& caption) {
  QString shown;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == u'&' && i + 1 < caption.size()) ++i;
    shown += caption[i];
  }
  return shown;
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
