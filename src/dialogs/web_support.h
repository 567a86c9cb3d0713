#pragma once
// The one address that "Web Support ..." and the about box's link open: the
// user guide installed with the program.
#include <QUrl>

namespace zelfin {

// <program folder>/../share/doc/zelfin/guide/index.html, installed or in the
// build tree; else doc/zelfin/guide/index.html in the system's data folders.
QUrl WebSupportUrl();

// Opens the address in the user's browser; a failure is not reported.
void OpenWebSupport();

}  // namespace zelfin
