#pragma once
// Looks and places the dialogs share: the designed fonts with their fallback,
// and centring a window on another window or on a screen.
#include <QFont>
#include <QRect>
#include <QString>
#include <Qt>

class QWidget;

namespace zelfin {

// The family at the given point size where it is installed, else the desktop's
// default font at that size.
QFont DesignFont(const QString& family, int point_size);

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
