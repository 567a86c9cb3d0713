#include "dialogs/dialog_look.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace zelfin {

QFont DesignFont(const QString& family, int point_size) {
  QFont font = QFontDatabase::families().contains(family)
                   ? QFont(family)
                   : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(point_size);
  return font;
}

void CentreOn(QWidget* window, const QRect& area) {
  const QSize size = window->frameGeometry().size();
  QPoint top_left = area.center() - QPoint(size.width() / 2, size.height() / 2);
  const QScreen* screen = QGuiApplication::screenAt(area.center());
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (screen) {
    // A window larger than the screen keeps its top left corner visible.
    const QRect avail = screen->availableGeometry();
    top_left.setX(std::max(avail.left(), std::min(top_left.x(), avail.right() - size.width() + 1)));
    top_left.setY(
        std::max(avail.top(), std::min(top_left.y(), avail.bottom() - size.height() + 1)));
  }
  window->move(top_left);
}

void CentreOnWindow(QWidget* window, const QWidget* owner) {
  if (owner && owner->isVisible()) {
    CentreOn(window, owner->frameGeometry());
  } else {
    CentreOnScreen(window);
  }
}

void CentreOnScreen(QWidget* window) {
  const QScreen* screen = window->screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (screen) CentreOn(window, screen->availableGeometry());
}

}  // namespace zelfin
