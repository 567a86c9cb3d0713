#include "dialogs/message_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include "dialogs/about_box.h"
#include "dialogs/long_text.h"
#include "dialogs/web_support.h"

namespace zelfin {
namespace {

const QChar kEllipsis(0x2026);

QString WithoutBreaks(QString text) {
  return text.remove(QChar(0x200B));
}

TEST(LongText, LongWordsBreakAfterTheirFoldersAndAPieceTooWideLosesItsMiddle) {
  const QFontMetrics metrics(QApplication::font());
  const int width = metrics.horizontalAdvance(QString(20, u'n'));
  EXPECT_EQ(FitLongWords("short words stay", metrics, width), "short words stay");
  const QString folders = "/home/ann/models/chairs/kitchen/oak.obj";
  const QString broken = FitLongWords(folders, metrics, width);
  EXPECT_NE(broken, folders);
  EXPECT_EQ(WithoutBreaks(broken), folders);  // only chances to break were added

  const QString name = QString(200, u'x') + ".obj\".";
  const QString fitted = WithoutBreaks(FitLongWords("file \"/tmp/" + name, metrics, width));
  EXPECT_TRUE(fitted.startsWith("file \"/tmp/x"));
  EXPECT_TRUE(fitted.contains(kEllipsis));
  EXPECT_TRUE(fitted.endsWith(".obj\"."));
  EXPECT_LE(metrics.horizontalAdvance(fitted.mid(fitted.lastIndexOf(u'/') + 1)), width);
}

TEST(LongText, APathIsCutShortAtAFolderSeparator) {
  const QFontMetrics metrics(QApplication::font());
  const QString path = "/usr/local/share/doc/zelfin/guide/index.html";
  EXPECT_EQ(ElidePathFront(path, metrics, 10000), path);
  const QString tail = kEllipsis + QString("/guide/index.html");
  const QString shown = ElidePathFront(path, metrics, metrics.horizontalAdvance(tail) + 2);
  EXPECT_EQ(shown, tail);
  // A last name too wide by itself loses its front.
  const QString alone = ElidePathFront(path, metrics, metrics.horizontalAdvance("index.h"));
  EXPECT_TRUE(alone.startsWith(kEllipsis));
  EXPECT_TRUE(alone.endsWith("html"));
}

TEST(MessageBox, ALongFileNameKeepsTheBoxNarrowAndItsExtensionInSight) {
  const QString message =
      "Cannot open file \"/home/ann/" + QString(300, u'x') + ".obj\". No such file or directory.";
  const std::unique_ptr<QMessageBox> box = MakeMessageBox(nullptr, QMessageBox::Critical, message);
  box->show();
  QCoreApplication::processEvents();
  const auto* label = box->findChild<QLabel*>("qt_msgbox_label");
  ASSERT_NE(label, nullptr);
  EXPECT_LT(box->width(), 600);
  EXPECT_EQ(label->textFormat(), Qt::PlainText);
  EXPECT_TRUE(label->text().contains(".obj\". No such file"));
  EXPECT_TRUE(label->text().contains(kEllipsis));
  EXPECT_EQ(box->detailedText(), message);  // the whole name, one click away
  EXPECT_EQ(box->windowTitle(), "Zelfin");
  box->close();

  const QString plain = "Cannot open file \"<b>.obj\". Permission denied.";
  const std::unique_ptr<QMessageBox> short_box =
      MakeMessageBox(nullptr, QMessageBox::Critical, plain);
  EXPECT_EQ(short_box->text(), plain);
  EXPECT_EQ(short_box->detailedText(), "");
}

TEST(WebSupport, WithoutABrowserAMessageNamesTheGuidesPath) {
  TAboutBox about;
  about.SetUrlOpener([](const QUrl&) { return false; });
  QString shown;
  QTimer catcher;
  catcher.setInterval(5);
  QObject::connect(&catcher, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shown = box->detailedText().isEmpty() ? box->text() : box->detailedText();
      box->accept();
    }
  });
  catcher.start();
  about.L1Click();
  catcher.stop();
  EXPECT_TRUE(shown.contains(WebSupportUrl().toLocalFile())) << shown.toStdString();
  EXPECT_TRUE(shown.contains("No web browser")) << shown.toStdString();
}

}  // namespace
}  // namespace zelfin
