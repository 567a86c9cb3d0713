#include "dialogs/web_support.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace zelfin {

QUrl WebSupportUrl() {
  constexpr const char* kGuide = "doc/zelfin/guide/index.html";
  // Beside the program: installed, or in the build tree, which keeps the
  // same layout. Else wherever the system's data folders hold it.
  QString guide;
  if (QCoreApplication::instance()) {
    guide = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/") +
            QLatin1String(kGuide);
  }
  if (!QFileInfo(guide).isFile()) {
    const QString found =
        QStandardPaths::locate(QStandardPaths::GenericDataLocation, QLatin1String(kGuide));
    if (!found.isEmpty()) guide = found;
  }
  return QUrl::fromLocalFile(QDir::cleanPath(guide));
}

void OpenWebSupport() {
  QDesktopServices::openUrl(WebSupportUrl());
}

}  // namespace zelfin
