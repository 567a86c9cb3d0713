// Renders each window of the program to a PNG for the user guide and the
// README: render_screenshots OUTDIR. Runs on Qt's offscreen platform; since
// that platform draws no window frames, each picture gets a plain title bar
// painted here, so the captions show.
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/settings.h"
#include "dialogs/about_box.h"
#include "dialogs/diet_dlg.h"
#include "dialogs/select_dlg.h"
#include "dialogs/setup_dlg.h"
#include "window/main_window.h"

namespace {

QString g_out;
bool g_failed = false;

// The client picture under a title bar with the window's caption.
QImage Framed(const QPixmap& client, const QString& title) {
  constexpr int kBar = 24;
  constexpr int kBorder = 1;
  QImage image(client.width() + 2 * kBorder, client.height() + kBar + kBorder,
               QImage::Format_ARGB32);
  image.fill(QColor(0x5a, 0x5f, 0x66));
  QPainter painter(&image);
  painter.fillRect(kBorder, kBorder, client.width(), kBar - kBorder, QColor(0x3b, 0x4a, 0x5e));
  QFont font = QApplication::font();
  font.setPointSize(9);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QRect(8, 0, client.width() - 16, kBar), Qt::AlignVCenter | Qt::AlignLeft, title);
  painter.drawPixmap(kBorder, kBar, client);
  return image;
}

void Save(const QImage& image, const QString& name) {
  const QString path = g_out + "/" + name;
  if (!image.save(path, "PNG")) {
    std::fprintf(stderr, "render_screenshots: cannot write %s\n", path.toLocal8Bit().constData());
    g_failed = true;
  }
}

void Settle() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// Runs a modal dialog through run, grabs it once it is up, then cancels it.
void GrabModal(QDialog& dialog, const QString& name, const std::function<void()>& run,
               const std::function<void()>& before_grab = {}) {
  QTimer::singleShot(0, &dialog, [&] {
    Settle();
    if (before_grab) before_grab();
    Save(Framed(dialog.grab(), dialog.windowTitle()), name);
    dialog.reject();
  });
  run();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: render_screenshots OUTDIR\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The main window loads and saves the settings: keep the user's own away.
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QApplication app(argc, argv);
  QApplication::setApplicationName("Zelfin");
  QApplication::setOrganizationName("MORVAIN");
  g_out = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(g_out)) {
    std::fprintf(stderr, "render_screenshots: cannot make %s\n", argv[1]);
    return 1;
  }

  zelfin::MainWindowHooks hooks;
  hooks.ShowError = [](const std::string& message) {
    std::fprintf(stderr, "render_screenshots: %s\n", message.c_str());
    g_failed = true;
  };
  zelfin::TForm1 form({}, hooks);
  form.show();
  Settle();
  const QPixmap main_window = form.grab();
  Save(Framed(main_window, form.windowTitle()), "main-window.png");

  // The File menu open under its title.
  const QRect title = form.MainMenu1->actionGeometry(form.File1->menuAction());
  form.File1->popup(form.mapToGlobal(title.bottomLeft()));
  Settle();
  const QPixmap menu = form.File1->grab();
  const QPoint at = form.MainMenu1->mapTo(&form, title.bottomLeft());
  QPixmap combined(qMax(main_window.width(), at.x() + menu.width()),
                   qMax(main_window.height(), at.y() + menu.height()));
  combined.fill(Qt::transparent);
  {
    QPainter painter(&combined);
    painter.drawPixmap(0, 0, main_window);
    painter.drawPixmap(at, menu);
  }
  form.File1->close();
  Save(Framed(combined, form.windowTitle()), "main-window-menu.png");

  zelfin::TSetupDlg setup(&form);
  struct SetupShot {
    int save_type;
    const char* folder;
    int div_index;
    int diet_index;
    int keep_materials;
    const char* name;
  };
  for (const SetupShot& shot :
       {SetupShot{0, "", 0, 0, 0, "setup-same-folder.png"},
        SetupShot{1, "", 2, 0, 1, "setup-desktop.png"},
        SetupShot{2, "/home/ann/models/out/", 3, 9, 0, "setup-selected-folder.png"}}) {
    zelfin::Settings settings;
    settings.SaveType = shot.save_type;
    settings.SaveFolder = shot.folder;
    settings.DivIndex = shot.div_index;
    settings.DietIndex = shot.diet_index;
    settings.KeepMaterials = shot.keep_materials;
    GrabModal(setup, shot.name, [&] { setup.Execute(settings); });
  }

  zelfin::TSelectDlg select(&form);
  const std::vector<std::string> groups{"arm", "body", "lamp_shade", "leg", "table_top"};
  std::vector<bool> ticks(groups.size(), false);
  GrabModal(
      select, "select-groups.png", [&] { select.SelectGroups(groups, ticks); },
      [&] {
        select.CLB->item(1)->setCheckState(Qt::Checked);
        select.CLB->item(3)->setCheckState(Qt::Checked);
        select.CLB->setCurrentRow(3);
      });

  zelfin::TDietDlg diet(&form);
  diet.Show();
  diet.SetCaption("Analyzing Vertex Pair information...");
  diet.SetPosition(40);
  Settle();
  Save(Framed(diet.grab(), diet.windowTitle()), "progress.png");
  diet.Hide();

  zelfin::TAboutBox about(&form);
  about.show();
  Settle();
  Save(Framed(about.grab(), about.windowTitle()), "about.png");
  about.hide();

  return g_failed ? 1 : 0;
}
