#include "ui/MainWindowDrop.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <string>
#include <vector>

#include "imaging/PictureReader.h"
#include "library/AppendPictures.h"
#include "library/PictureFileScan.h"
#include "ui/LibraryManagerWindow.h"
#include "ui/MainWindow.h"
#include "ui/NewProjectWizard.h"
#include "ui/Session.h"

namespace velmora::ui {

namespace {

QStringList LocalPaths(const QMimeData* data) {
  QStringList paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  return paths;
}

// Watches the main window's drag and drop events, so the window class itself
// needs no new handlers.
class DropFilter : public QObject {
public:
  DropFilter(Session& session, MainWindow& window) : QObject(&window), session_(session), window_(window) {}

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != &window_) return false;
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
      auto* drag = static_cast<QDropEvent*>(event);
      if (!session_.jobRunning && !LocalPaths(drag->mimeData()).isEmpty()) drag->acceptProposedAction();
      return true;
    }
    if (event->type() == QEvent::Drop) {
      auto* drop = static_cast<QDropEvent*>(event);
      const QStringList paths = LocalPaths(drop->mimeData());
      drop->acceptProposedAction();
      for (const QString& path : paths) {
        const Status opened = OpenHandedOver(session_, window_, path);
        if (!ShowIfFailed(session_, &window_, opened)) break;
      }
      return true;
    }
    return false;
  }

private:
  Session& session_;
  MainWindow& window_;
};

}  // namespace

Status OpenHandedOver(Session& session, MainWindow& window, const QString& path) {
  if (session.jobRunning) return Status::Error("A job is running; wait until it ends.");
  const QFileInfo info(path);
  if (!info.exists())
    return Status::Error(Format("Cannot open file \"%s\". No such file or directory", ToBytes(path).c_str()));
  if (info.isDir()) {
    std::vector<std::string> found;
    const size_t leftOut = ListPictureFiles(ToBytes(path), found, true, PictureNameFilter::kReadable);
    const AppendOutcome outcome = AppendPictures(session.engine.PicList, found);
    if (LibraryManagerWindow* manager = session.windows.library) manager->RefreshList();
    if (outcome.LimitReached)
      session.prompts.Message(&window, QStringLiteral("Caution"),
                              QStringLiteral("You can only load 65535 pictures in this version"));
    if (leftOut > 0)
      session.prompts.Message(&window, QStringLiteral("Load Image Files"),
                              ToQString(LineBreakNamesNote(leftOut)));
    return Status::Ok();
  }
  if (info.suffix().compare(QStringLiteral("vm6"), Qt::CaseInsensitive) == 0)
    return window.OpenProjectFrom(path);
  if (FindPictureFormat(ToBytes(path)) == nullptr)
    return Status::Error(Format("Unknown picture file extension (.%s)", ExtensionOf(ToBytes(path)).c_str()));
  NewProjectWizard* wizard = session.windows.wizard;
  if (wizard == nullptr) return Status::Ok();
  wizard->ShowFirstPage();
  wizard->LoadMainImageFrom(path);
  return Status::Ok();
}

void AcceptDrops(Session& session, MainWindow& window) {
  window.setAcceptDrops(true);
  window.installEventFilter(new DropFilter(session, window));
}

}  // namespace velmora::ui
