#pragma once
// Long paths and names fitted to the width of a window: broken after their
// separators, cut short in the middle or at a separator, never mid-letter at
// a window's edge.
#include <QFontMetrics>
#include <QString>

namespace zelfin {

// text with every word (a run without spaces) wider than width made to fit:
// a chance to break the line after each "/" of it, and a piece between two
// of them that is still too wide cut short in its middle ("…"), so that its
// end (a file name's extension) stays in sight. Shorter words are left as
// they are.
QString FitLongWords(const QString& text, const QFontMetrics& metrics, int width);

// path cut short at its front to fit width, at a "/" where it can be
// ("…/guide/index.html"); only a last name that alone is too wide is cut
// within itself.
QString ElidePathFront(const QString& path, const QFontMetrics& metrics, int width);

}  // namespace zelfin
