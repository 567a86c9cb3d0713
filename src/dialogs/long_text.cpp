#include "dialogs/long_text.h"

namespace zelfin {
namespace {

// Where a line may break without a visible mark.
constexpr QChar kBreakHere(0x200B);

QString FitWord(const QString& word, const QFontMetrics& metrics, int width) {
  QString out;
  qsizetype start = 0;
  while (start < word.size()) {
    const qsizetype slash = word.indexOf(u'/', start);
    const qsizetype end = slash < 0 ? word.size() : slash + 1;
    QString piece = word.mid(start, end - start);
    if (metrics.horizontalAdvance(piece) > width) {
      piece = metrics.elidedText(piece, Qt::ElideMiddle, width);
    }
    if (!out.isEmpty()) out += kBreakHere;
    out += piece;
    start = end;
  }
  return out;
}

}  // namespace

QString FitLongWords(const QString& text, const QFontMetrics& metrics, int width) {
  QString out;
  qsizetype i = 0;
  while (i < text.size()) {
    if (text[i].isSpace()) {
      out += text[i++];
      continue;
    }
    qsizetype end = i;
    while (end < text.size() && !text[end].isSpace()) ++end;
    const QString word = text.mid(i, end - i);
    out += metrics.horizontalAdvance(word) <= width ? word : FitWord(word, metrics, width);
    i = end;
  }
  return out;
}

QString ElidePathFront(const QString& path, const QFontMetrics& metrics, int width) {
  if (metrics.horizontalAdvance(path) <= width) return path;
  const QString ellipsis(QChar(0x2026));
  // The longest tail that starts at a "/" and fits behind the ellipsis.
  QString best;
  for (qsizetype slash = path.lastIndexOf(u'/'); slash > 0;
       slash = path.lastIndexOf(u'/', slash - 1)) {
    const QString tail = ellipsis + path.mid(slash);
    if (metrics.horizontalAdvance(tail) > width) break;
    best = tail;
  }
  if (!best.isEmpty()) return best;
  return metrics.elidedText(path.mid(path.lastIndexOf(u'/') + 1), Qt::ElideLeft, width);
}

}  // namespace zelfin
