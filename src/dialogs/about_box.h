#pragma once
// "Version infomation": picture, product line with the version, maker, credit
// and the link to the user guide.
#include <QDialog>

class QLabel;
class QPushButton;
class QFrame;

namespace zelfin {

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* main_window = nullptr);

  QPushButton* OKButton = nullptr;
  QFrame* Panel1 = nullptr;
  QLabel* ProgramIcon = nullptr;
  QLabel* ProductName = nullptr;
  QLabel* ProductName2 = nullptr;
  QLabel* Comments = nullptr;
  QLabel* L1 = nullptr;

 public slots:
  void L1Click();
};

// The program's version as the build sets it ("0.1.0").
QString GetFileVersionString();

}  // namespace zelfin
