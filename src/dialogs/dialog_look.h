#pragma once
// Looks and places the dialogs share: the designed fonts with their fallback,
// and centring a window on another window or on a screen.
#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <Qt>

class QPalette;
class QWidget;

namespace zelfin {

// The family at the given point size where it is installed, else the desktop's
// default font at that size.
QFont DesignFont(const QString& family, int point_size);

// The contrast of two colours as the web's accessibility guidelines measure
// it: (L1 + 0.05) / (L2 + 0.05) of their relative luminances, 1 to 21.
double ContrastRatio(const QColor& a, const QColor& b);

// The palette's link colour, lightened on a dark window background or
// darkened on a light one, in its own hue, until it stands out from that
// background by at least 4.5 : 1. Dark themes that keep the default blue link
// (about 1.4 : 1 on dark grey) get a readable one; themes that chose their
// link colour well keep it as it is.
QColor ReadableLinkColour(const QPalette& palette);

// Moves window so that its centre lies on the centre of area, kept inside the
// available part of the screen that holds area's centre.
void CentreOn(QWidget* window, const QRect& area);

// Centres window on owner's frame, or on the screen when there is no owner.
void CentreOnWindow(QWidget* window, const QWidget* owner);

// Centres window on the available part of its screen.
void CentreOnScreen(QWidget* window);

// The flags of a dialog of one size: a title with the window menu and a close
// button, no minimise or maximise button.
inline constexpr Qt::WindowFlags kFixedDialogFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowCloseButtonHint;

}  // namespace zelfin
