#pragma once
// "Version infomation": picture, product line with the version, maker, credit
// and the link to the user guide.
#include <QDialog>
#include <QPoint>

#include "dialogs/web_support.h"

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
  QLabel* Copyright = nullptr;  // the maker's name
  QLabel* Comments = nullptr;
  QLabel* L1 = nullptr;  // a short form of WebSupportUrl(), which it opens

  void SetUrlOpener(UrlOpener open);  // tests give their own; none: the desktop's

 public slots:
  void L1Click();

 protected:
  void showEvent(QShowEvent* event) override;                  // placement, focus on OK
  void hideEvent(QHideEvent* event) override;                  // remembers where the box stood
  bool eventFilter(QObject* watched, QEvent* event) override;  // L1's clicks
  void changeEvent(QEvent* event) override;                    // the link's colour

 private:
  void FormCreate();
  // The theme's link colour, readable on the box's background.
  void UpdateLinkColour();

  QWidget* main_window_ = nullptr;
  UrlOpener open_url_;
  bool placed_ = false;
  QPoint last_pos_;
};

// The program's version as the build sets it ("0.1.0").
QString GetFileVersionString();

}  // namespace zelfin
