#pragma once
// "Select Output Group": a tick box per group of the file.
#include <QDialog>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace zelfin {

class TSelectDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TSelectDlg(QWidget* parent = nullptr);

  // Replaces the items with names, all unticked, runs the dialog modally, and
  // on OK sets selection[i] to whether item i is ticked and returns true.
  // Otherwise the selection is left as it was.
  bool SelectGroups(const std::vector<std::string>& names, std::vector<bool>& selection);

  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;
  QListWidget* CLB = nullptr;  // items carry check states

 protected:
  void showEvent(QShowEvent* event) override;      // centred on the screen
  void resizeEvent(QResizeEvent* event) override;  // the list grows, the buttons keep right
};

}  // namespace zelfin
