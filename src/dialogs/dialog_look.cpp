#include "dialogs/dialog_look.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace zelfin {

QFont DesignFont(const QString& family, int point_size) {
  QFont font = QFontDatabase::families().contains(family)
                   ? QFont(family)
                   : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(point_size);
  return font;
}

namespace {

double RelativeLuminance(const QColor& colour) {
  const auto linear = [](double c) {
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  const QColor rgb = colour.toRgb();
  return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

// colour moved share (0..1) of the way towards target.
QColor Mixed(const QColor& colour, const QColor& target, double share) {
  const auto mix = [share](float from, float to) { return from + share * (to - from); };
  const QColor a = colour.toRgb(), b = target.toRgb();
  return QColor::fromRgbF(mix(a.redF(), b.redF()), mix(a.greenF(), b.greenF()),
                          mix(a.blueF(), b.blueF()));
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = RelativeLuminance(a), lb = RelativeLuminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableLinkColour(const QPalette& palette) {
  constexpr double kLeast = 4.5;
  const QColor link = palette.color(QPalette::Active, QPalette::Link);
  const QColor ground = palette.color(QPalette::Active, QPalette::Window);
  if (ContrastRatio(link, ground) >= kLeast) return link;
  const QColor target = RelativeLuminance(ground) < 0.18 ? QColor(Qt::white) : QColor(Qt::black);
  for (int step = 1; step <= 20; ++step) {
    const QColor moved = Mixed(link, target, step / 20.0);
    if (ContrastRatio(moved, ground) >= kLeast) return moved;
  }
  return target;
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
