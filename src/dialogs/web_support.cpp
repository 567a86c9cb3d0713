#include "dialogs/web_support.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "dialogs/message_box.h"

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

void OpenWebSupport(QWidget* parent, const UrlOpener& open) {
  const QUrl url = WebSupportUrl();
  if (open ? open(url) : QDesktopServices::openUrl(url)) return;
  const QString guide = url.toLocalFile();
  ShowMessageBox(parent, QMessageBox::Information,
                 QFileInfo(guide).isFile()
                     ? QStringLiteral("No web browser could be started to show the user guide. "
                                      "It is the file %1")
                           .arg(guide)
                     : QStringLiteral("The user guide was not found: it belongs at %1").arg(guide));
}

}  // namespace zelfin
