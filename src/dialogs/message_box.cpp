#include "dialogs/message_box.h"

#include "dialogs/long_text.h"

namespace zelfin {
namespace {

// The widest piece of a path or name the box shows unbroken: below the width
// at which the box starts to wrap its text.
constexpr int kWidestPiece = 340;

}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                            const QString& message) {
  auto box = std::make_unique<QMessageBox>(icon, QStringLiteral("Zelfin"), QString(),
                                           QMessageBox::Ok, parent);
  box->setTextFormat(Qt::PlainText);
  box->setTextInteractionFlags(Qt::TextSelectableByMouse);
  const QString shown = FitLongWords(message, box->fontMetrics(), kWidestPiece);
  box->setText(shown);
  if (shown != message) box->setDetailedText(message);
  return box;
}

void ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& message) {
  MakeMessageBox(parent, icon, message)->exec();
}

}  // namespace zelfin
