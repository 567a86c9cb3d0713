#pragma once
// TDropDst: makes the widgets it watches accept files dragged from the desktop
// or a file manager, and hands over the local paths of each drop.
#include <QObject>
#include <functional>
#include <string>
#include <vector>

class QMimeData;
class QWidget;

namespace zelfin {

// The local files of a drop, in the order the drop lists them; URLs that are
// not local files are left out.
std::vector<std::string> LocalFilesOf(const QMimeData* mime);

class TDropDst : public QObject {
  Q_OBJECT
 public:
  using FileDropHandler = std::function<void(const std::vector<std::string>& files)>;

  explicit TDropDst(QObject* owner = nullptr);

  // Accepts drops on widget (its children inherit the acceptance).
  void Watch(QWidget* widget);

  // Called from the event loop just after the drop, not inside the drop event,
  // so the drag source is released before a long run starts. Unset: drops are
  // refused.
  FileDropHandler OnFileDrop;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace zelfin
