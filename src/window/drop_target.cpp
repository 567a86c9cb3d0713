#include "window/drop_target.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace zelfin {

std::vector<std::string> LocalFilesOf(const QMimeData* mime) {
  std::vector<std::string> files;
  if (mime == nullptr || !mime->hasUrls()) return files;
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
  }
  return files;
}

TDropDst::TDropDst(QObject* owner) : QObject(owner) {}

void TDropDst::Watch(QWidget* widget) {
  widget->setAcceptDrops(true);
  widget->installEventFilter(this);
}

bool TDropDst::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (OnFileDrop && !LocalFilesOf(drag->mimeData()).empty()) {
        drag->acceptProposedAction();
      } else {
        drag->ignore();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      std::vector<std::string> files = LocalFilesOf(drop->mimeData());
      if (!OnFileDrop || files.empty()) {
        drop->ignore();
        return true;
      }
      drop->acceptProposedAction();
      // The call is dropped if this filter is gone by then.
      QMetaObject::invokeMethod(
          this,
          [this, files = std::move(files)] {
            if (OnFileDrop) OnFileDrop(files);
          },
          Qt::QueuedConnection);
      return true;
    }
    default:
      return QObject::eventFilter(watched, event);
  }
}

}  // namespace zelfin
