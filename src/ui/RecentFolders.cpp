#include "ui/RecentFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace velmora::ui {
namespace {

QString Key(FileKind kind) {
  switch (kind) {
    case FileKind::Project:
      return QStringLiteral("Folders/Projects");
    case FileKind::PictureOpen:
      return QStringLiteral("Folders/PicturesOpened");
    case FileKind::PictureSave:
      return QStringLiteral("Folders/PicturesSaved");
    case FileKind::WebExport:
      return QStringLiteral("Folders/WebExport");
    case FileKind::ImageList:
      return QStringLiteral("Folders/ImageLists");
    case FileKind::LibraryFolder:
      return QStringLiteral("Folders/LibraryFolders");
    case FileKind::Report:
      return QStringLiteral("Folders/Reports");
  }
  return QStringLiteral("Folders/Other");
}

}  // namespace

bool HasRecentFolder(FileKind kind) {
  const QString kept = QSettings().value(Key(kind)).toString();
  return !kept.isEmpty() && QFileInfo(kept).isDir();
}

QString RecentFolder(FileKind kind) {
  return HasRecentFolder(kind) ? QSettings().value(Key(kind)).toString() : QDir::homePath();
}

QString RecentPlace(FileKind kind, const QString& name) {
  const QString folder = RecentFolder(kind);
  return name.isEmpty() ? folder : QDir(folder).filePath(name);
}

void RememberFolder(FileKind kind, const QString& path) {
  if (path.isEmpty()) return;
  RememberFolderItself(kind, QFileInfo(QDir::cleanPath(path)).absolutePath());
}

void RememberFolderItself(FileKind kind, const QString& folder) {
  if (folder.isEmpty()) return;
  QSettings().setValue(Key(kind), QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
}

}  // namespace velmora::ui
