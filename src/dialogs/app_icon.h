#pragma once
// The program's own picture: window icon, desktop icon, about box.
#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace zelfin {

QIcon ZelfinIcon();
QPixmap ZelfinPicture(int size);  // the picture at size x size pixels
QImage ZelfinImage(int size);     // the same, drawn without a window system

}  // namespace zelfin
