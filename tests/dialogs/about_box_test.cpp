#include "dialogs/about_box.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "dialogs/app_icon.h"
#include "dialogs/dialog_look.h"
#include "dialogs/dialog_test_util.h"
#include "dialogs/setup_dlg.h"
#include "dialogs/web_support.h"
#include "dialogs/window_hints.h"
#include "zelfin_version.h"

namespace zelfin {
namespace {

using test::WhenModal;

TEST(AboutBox, FormHasTheDesignedControls) {
  TAboutBox box;
  EXPECT_EQ(box.objectName(), "AboutBox");
  EXPECT_EQ(box.windowTitle(), "Version infomation");
  EXPECT_EQ(box.size(), QSize(279, 184));
  for (const char* name : {"OKButton", "Panel1", "ProgramIcon", "ProductName", "ProductName2",
                           "Copyright", "Comments", "L1"}) {
    EXPECT_NE(box.findChild<QWidget*>(name), nullptr) << name;
  }
  EXPECT_EQ(box.Copyright->text(), "MORVAIN");
  EXPECT_FALSE(box.ProgramIcon->pixmap().isNull());
}

TEST(AboutBox, ProductLineCarriesTheBuildsVersionOnce) {
  EXPECT_EQ(GetFileVersionString(), ZELFIN_VERSION);
  TAboutBox box;
  const QString line = QStringLiteral("Zelfin Ver.") + ZELFIN_VERSION;
  EXPECT_EQ(box.ProductName->text(), line);
  for (int run = 0; run < 2; ++run) {
    WhenModal(&box, [&] {
      EXPECT_EQ(box.ProductName->text(), line);
      EXPECT_EQ(box.focusWidget(), box.OKButton);
      box.OKButton->click();
    });
    EXPECT_EQ(box.exec(), QDialog::Accepted);
    EXPECT_TRUE(box.isHidden());
  }
  // The texts stay inside the panel, and the credit line does not run into the link.
  for (const QLabel* label : {box.ProductName, box.ProductName2, box.Copyright, box.Comments}) {
    EXPECT_LE(label->geometry().right(), box.Panel1->width()) << label->objectName().toStdString();
    EXPECT_FALSE(label->geometry().intersects(box.L1->geometry()))
        << label->objectName().toStdString();
  }
}

TEST(AboutBox, ReopensWhereItStood) {
  QWidget main_window;
  main_window.setGeometry(300, 200, 400, 300);
  main_window.show();
  TAboutBox box(&main_window);
  QPoint first;
  WhenModal(&box, [&] {
    first = box.frameGeometry().center();
    box.move(box.pos() + QPoint(50, -30));
    box.close();
  });
  box.exec();
  EXPECT_LE((first - main_window.frameGeometry().center()).manhattanLength(), 2);
  const QPoint stood = box.pos();
  QPoint second;
  WhenModal(&box, [&] {
    second = box.pos();
    test::PressKey(&box, Qt::Key_Return);
  });
  EXPECT_EQ(box.exec(), QDialog::Accepted);
  EXPECT_EQ(second, stood);
}

// Receives the addresses that QDesktopServices would hand to the browser.
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void Open(const QUrl& url) { urls.push_back(url); }
};

TEST(AboutBox, LinkShowsTheGuideAndOpensIt) {
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("file", &catcher, "Open");
  TAboutBox box;
  EXPECT_LE(QFontMetrics(box.L1->font()).horizontalAdvance(box.L1->text()), box.L1->width());
  EXPECT_TRUE(box.L1->text().endsWith("index.html"));
  // Cut short at a folder, never within a name.
  EXPECT_TRUE(box.L1->text().startsWith(QString(QChar(0x2026)) + "/"))
      << box.L1->text().toStdString();

  test::SendRelease(box.L1, {5, 5});
  test::SendRelease(box.L1, {500, 5});  // released outside the link: no click
  QDesktopServices::unsetUrlHandler("file");
  ASSERT_EQ(catcher.urls.size(), 1);
  EXPECT_EQ(catcher.urls[0], WebSupportUrl());
}

QColor LinkColour(const TAboutBox& box) {
  return box.L1->palette().color(box.L1->foregroundRole());
}

// A dark theme; link is its link colour.
QPalette DarkPalette(const QColor& link) {
  QPalette dark(QColor(0x35, 0x35, 0x35));  // a dark grey window, light text
  dark.setColor(QPalette::WindowText, Qt::white);
  dark.setColor(QPalette::Link, link);
  return dark;
}

TEST(AboutBox, LinkTakesTheThemesLinkColourReadableOnItsBackground) {
  TAboutBox box;
  const QColor light_link = box.palette().color(QPalette::Link);
  ASSERT_GE(ContrastRatio(light_link, box.palette().color(QPalette::Window)), 4.5);
  EXPECT_EQ(LinkColour(box), light_link);

  // A dark theme that chose a light link keeps it.
  box.setPalette(DarkPalette(QColor(0x3d, 0xae, 0xe9)));
  EXPECT_EQ(LinkColour(box), QColor(0x3d, 0xae, 0xe9));

  // One that left the default blue gets a lighter blue.
  box.setPalette(DarkPalette(Qt::blue));
  const QColor lifted = LinkColour(box);
  EXPECT_GE(ContrastRatio(lifted, QColor(0x35, 0x35, 0x35)), 4.5);
  EXPECT_GT(lifted.blue(), lifted.red());
  EXPECT_NE(lifted, QColor(Qt::white));

  // And a pale link on a light background is darkened.
  QPalette pale = box.palette();
  pale.setColor(QPalette::Window, Qt::white);
  pale.setColor(QPalette::Link, QColor(0xa0, 0xc0, 0xff));
  box.setPalette(pale);
  EXPECT_GE(ContrastRatio(LinkColour(box), Qt::white), 4.5);
}

TEST(FixedDialogs, OfferTheirMenuMovingAndClosingOnly) {
  TAboutBox about;
  TSetupDlg setup;
  for (const QDialog* dialog : {static_cast<QDialog*>(&about), static_cast<QDialog*>(&setup)}) {
    const std::string name = dialog->objectName().toStdString();
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMinMaxButtonsHint) << name;
    const MotifHints hints = WindowManagerHintsOf(dialog);
    EXPECT_EQ(hints.flags, kMwmHintsFunctions | kMwmHintsDecorations) << name;
    EXPECT_EQ(hints.functions, kMwmFuncMove | kMwmFuncClose) << name;
    EXPECT_EQ(hints.decorations, kMwmDecorBorder | kMwmDecorTitle | kMwmDecorMenu) << name;
  }
  // A window that can change size may be resized and maximised.
  const MotifHints resizable = MotifHintsFor(
      Qt::Window | Qt::WindowTitleHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint,
      true);
  EXPECT_EQ(resizable.functions, kMwmFuncMove | kMwmFuncResize | kMwmFuncMaximize | kMwmFuncClose);
  EXPECT_EQ(resizable.decorations,
            kMwmDecorBorder | kMwmDecorTitle | kMwmDecorResizeH | kMwmDecorMaximize);
}

TEST(WebSupport, TheGuideBesideTheProgramAsWhenInstalled) {
  const QUrl url = WebSupportUrl();
  ASSERT_TRUE(url.isLocalFile());
  const QFileInfo guide(url.toLocalFile());
  EXPECT_TRUE(guide.isFile()) << guide.absoluteFilePath().toStdString();
  EXPECT_TRUE(guide.absoluteFilePath().endsWith("/share/doc/zelfin/guide/index.html"));
  EXPECT_NE(guide.absoluteFilePath(),
            QFileInfo(ZELFIN_SOURCE_DIR "/docs/guide/index.html").absoluteFilePath());
}

TEST(AppIcon, PictureAtEverySizeOnATransparentGround) {
  for (int size : {16, 32, 48, 64, 128, 256}) {
    const QImage image = ZelfinImage(size);
    ASSERT_EQ(image.size(), QSize(size, size));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;  // rounded corner
    EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << size;
  }
  const QIcon icon = ZelfinIcon();
  EXPECT_EQ(icon.availableSizes().size(), 6);
  EXPECT_EQ(ZelfinPicture(64).size(), QSize(64, 64));
}

}  // namespace
}  // namespace zelfin

#include "about_box_test.moc"
