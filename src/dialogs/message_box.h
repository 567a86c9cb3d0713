#pragma once
// The program's message boxes: titled "Zelfin", their text plain (a name with
// "<" in it is shown as it is) and selectable, long paths and names fitted to
// a box of reasonable width (long_text.h); the words as given stay one click
// away, under "Show Details...", whenever the text shown differs from them.
#include <QMessageBox>
#include <QString>
#include <memory>

namespace zelfin {

// The box, set up and not shown.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                            const QString& message);

// Shows the box modally until the user closes it.
void ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& message);

}  // namespace zelfin
