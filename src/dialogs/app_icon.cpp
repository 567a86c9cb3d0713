#include "dialogs/app_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>

namespace zelfin {

namespace {

// The picture is drawn on a 256 x 256 canvas and scaled: a triangle mesh of
// four faces on a rounded tile, its right-hand face split off and pulled away.
constexpr double kCanvas = 256.0;

QPolygonF Triangle(QPointF a, QPointF b, QPointF c, QPointF shift = {}) {
  return QPolygonF({a + shift, b + shift, c + shift});
}

void DrawPicture(QPainter& p, int size) {
  p.setRenderHint(QPainter::Antialiasing, true);
  p.scale(size / kCanvas, size / kCanvas);
  // Lines at least about one device pixel wide, so the small sizes still read.
  const double line = std::max(10.0, 1.3 * kCanvas / size);

  QLinearGradient tile_fill(QPointF(0, 0), QPointF(kCanvas, kCanvas));
  tile_fill.setColorAt(0.0, QColor(0x1d, 0x3b, 0x53));
  tile_fill.setColorAt(1.0, QColor(0x2f, 0x7f, 0x86));
  QPainterPath tile;
  tile.addRoundedRect(QRectF(8, 8, 240, 240), 46, 46);
  p.fillPath(tile, tile_fill);

  const QPointF a(124, 40), b(32, 200), c(216, 200);
  const QPointF ab = (a + b) / 2, ac = (a + c) / 2, bc = (b + c) / 2;

  QPen edge(QColor(0xf4, 0xf7, 0xf8), line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(edge);
  p.setBrush(QColor(255, 255, 255, 48));
  for (const QPolygonF& face : {Triangle(a, ab, ac), Triangle(ab, b, bc), Triangle(ab, bc, ac)}) {
    p.drawPolygon(face);
  }

  const QPointF away(18, 12);
  p.setPen(QPen(QColor(0xb8, 0x4a, 0x1f), line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(QColor(0xf2, 0x9e, 0x4c));
  p.drawPolygon(Triangle(ac, bc, c, away));

  if (size >= 32) {
    // Vertex dots: the mesh reads as a mesh only where there is room for them.
    const double r = line * 0.9;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf4, 0xf7, 0xf8));
    for (QPointF v : {a, b, ab, ac, bc}) p.drawEllipse(v, r, r);
    p.setBrush(QColor(0xff, 0xe0, 0xb8));
    for (QPointF v : {ac, bc, c}) p.drawEllipse(v + away, r, r);
  }
}

}  // namespace

QImage ZelfinImage(int size) {
  size = std::max(size, 1);
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  DrawPicture(painter, size);
  painter.end();
  return image;
}

QPixmap ZelfinPicture(int size) {
  return QPixmap::fromImage(ZelfinImage(size));
}

QIcon ZelfinIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128, 256}) icon.addPixmap(ZelfinPicture(size));
  return icon;
}

}  // namespace zelfin
