#pragma once
// The one address that "Web Support ..." and the about box's link open: the
// user guide installed with the program.
#include <QUrl>
#include <functional>

class QWidget;

namespace zelfin {

// <program folder>/../share/doc/zelfin/guide/index.html, installed or in the
// build tree; else doc/zelfin/guide/index.html in the system's data folders.
QUrl WebSupportUrl();

// What opens an address in the user's browser (QDesktopServices::openUrl);
// false when none could be started.
using UrlOpener = std::function<bool(const QUrl&)>;

// Opens the guide in the user's browser. Where no browser can be started, a
// message box over parent says so and names the guide's path instead.
void OpenWebSupport(QWidget* parent, const UrlOpener& open = {});

}  // namespace zelfin
