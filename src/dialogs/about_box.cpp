#include "dialogs/about_box.h"

#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QHideEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QShowEvent>
#include <algorithm>

#include "dialogs/app_icon.h"
#include "dialogs/dialog_look.h"
#include "dialogs/long_text.h"
#include "dialogs/web_support.h"
#include "dialogs/window_hints.h"
#include "zelfin_version.h"

namespace zelfin {

QString GetFileVersionString() {
  return QStringLiteral(ZELFIN_VERSION);
}

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QPoint at) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->move(at);
  label->adjustSize();
  return label;
}

// The guide's address is far longer than the link's 146 pixels: show its tail
// from a "/" on, which names the page, and keep the whole address in the tool tip.
QString ShortAddress(const QUrl& url, const QFont& font, int width) {
  const QString full = url.isLocalFile() ? url.toLocalFile() : url.toString();
  return ElidePathFront(full, QFontMetrics(font), width);
}

}  // namespace

TAboutBox::TAboutBox(QWidget* main_window)
    : QDialog(main_window, kFixedDialogFlags), main_window_(main_window) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("Version infomation"));
  setFont(DesignFont(QStringLiteral("Tahoma"), 9));
  setFixedSize(279, 184);

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setGeometry(109, 151, 55, 28);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  // A sunken box draws a lowered outer line with a raised one inside it.
  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry(4, 5, 269, 140);
  Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
  Panel1->setLineWidth(1);
  Panel1->setMidLineWidth(0);

  ProgramIcon = new QLabel(Panel1);
  ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
  ProgramIcon->setGeometry(7, 7, 64, 64);
  ProgramIcon->setScaledContents(true);
  ProgramIcon->setPixmap(ZelfinPicture(std::max(64, qRound(64 * devicePixelRatioF()))));

  ProductName = MakeLabel(Panel1, "ProductName", QStringLiteral("Zelfin"), {77, 7});
  ProductName2 = MakeLabel(Panel1, "ProductName2",
                           QStringLiteral("Splits and simplifies OBJ files"), {77, 25});
  Copyright = MakeLabel(Panel1, "Copyright", QStringLiteral("MORVAIN"), {23, 95});

  Comments = new QLabel(QStringLiteral("By the Zelfin team"), Panel1);
  Comments->setObjectName(QStringLiteral("Comments"));
  Comments->setWordWrap(true);
  Comments->setGeometry(121, 95, 118, Comments->heightForWidth(118));

  L1 = new QLabel(Panel1);
  L1->setObjectName(QStringLiteral("L1"));
  L1->setFont(DesignFont(QStringLiteral("MS PGothic"), 9));
  UpdateLinkColour();
  L1->setCursor(Qt::PointingHandCursor);
  // 12 pixels high by design; a fallback font with a taller line keeps its descenders.
  L1->setGeometry(53, 115, 146, std::max(12, QFontMetrics(L1->font()).height()));
  L1->setText(ShortAddress(WebSupportUrl(), L1->font(), L1->width()));
  L1->setToolTip(WebSupportUrl().toString());
  L1->installEventFilter(this);

  FormCreate();
}

void TAboutBox::FormCreate() {
  // Once: the product line does not change while the program runs.
  ProductName->setText(ProductName->text() + QStringLiteral(" Ver.") + GetFileVersionString());
  ProductName->adjustSize();
}

void TAboutBox::UpdateLinkColour() {
  QPalette link = L1->palette();
  link.setColor(QPalette::WindowText, ReadableLinkColour(palette()));
  L1->setPalette(link);
}

void TAboutBox::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  // A theme switched while the program runs: the link follows it.
  if (event->type() == QEvent::PaletteChange && L1) UpdateLinkColour();
}

void TAboutBox::L1Click() {
  OpenWebSupport(this, open_url_);
}

void TAboutBox::SetUrlOpener(UrlOpener open) {
  open_url_ = std::move(open);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == L1 && event->type() == QEvent::MouseButtonRelease) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton && L1->rect().contains(mouse->position().toPoint())) {
      L1Click();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TAboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  SetWindowManagerHints(this);
  if (event->spontaneous()) return;
  if (placed_) {
    move(last_pos_);
  } else {
    CentreOnWindow(this, main_window_);
    placed_ = true;
  }
  OKButton->setFocus(Qt::OtherFocusReason);
}

void TAboutBox::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (!event->spontaneous()) last_pos_ = pos();
}

}  // namespace zelfin
