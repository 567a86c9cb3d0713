// Writes the program's picture as OUTDIR/<size>x<size>/zelfin.png for the icon theme.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>

#include "dialogs/app_icon.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: render_icon OUTDIR\n");
    return 2;
  }
  // Drawing needs no screen; build machines have none.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString out = QString::fromLocal8Bit(argv[1]);
  for (int size : {16, 32, 48, 64, 128, 256}) {
    const QString folder = QStringLiteral("%1/%2x%2").arg(out).arg(size);
    const QString file = folder + QStringLiteral("/zelfin.png");
    if (!QDir().mkpath(folder) || !zelfin::ZelfinImage(size).save(file, "PNG")) {
      std::fprintf(stderr, "render_icon: cannot write %s\n", file.toLocal8Bit().constData());
      return 1;
    }
  }
  return 0;
}
