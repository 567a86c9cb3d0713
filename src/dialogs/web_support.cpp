#include "dialogs/web_support.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace zelfin {

QUrl WebSupportUrl() {
  if (QCoreApplication::instance()) {
    const QFileInfo installed(QCoreApplication::applicationDirPath() +
                              QStringLiteral("/../share/doc/zelfin/guide/index.html"));
    if (installed.isFile()) return QUrl::fromLocalFile(installed.canonicalFilePath());
  }
  // Run from the build tree: the guide as it stands in the sources.
  return QUrl::fromLocalFile(
      QDir::cleanPath(QStringLiteral(ZELFIN_SOURCE_DIR "/docs/guide/index.html")));
}

void OpenWebSupport() {
  QDesktopServices::openUrl(WebSupportUrl());
}

}  // namespace zelfin
