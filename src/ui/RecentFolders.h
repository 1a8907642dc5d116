// The folder each kind of file dialog opens in: the one the user last chose
// a file of that kind in, kept in the program's settings between runs. A
// kind never used yet (or whose folder has gone) starts in the home folder.
#pragma once

#include <QString>

namespace velmora::ui {

enum class FileKind {
  Project,       // projects saved and loaded
  PictureOpen,   // pictures opened (Open Picture, the wizard's main picture)
  PictureSave,   // pictures saved
  WebExport,     // web mosaic folders
  ImageList,     // library lists
  LibraryFolder, // folders pictures are added to the library from
  Report,        // text and PDF reports (stats, library check, brief, panels, bead chart)
};

// The folder a dialog for `kind` opens in.
QString RecentFolder(FileKind kind);
// Whether a folder of `kind` was used before (and is still there).
bool HasRecentFolder(FileKind kind);
// The folder and name to show in a dialog for `kind`: `name` (a file name
// without its folder, may be empty) inside RecentFolder(kind).
QString RecentPlace(FileKind kind, const QString& name);
// Remembers the folder `path` is in for `kind`: a file's folder, or the
// parent of a folder the user named to be made (a web mosaic's).
void RememberFolder(FileKind kind, const QString& path);
// Remembers `folder` itself for `kind`.
void RememberFolderItself(FileKind kind, const QString& folder);

}  // namespace velmora::ui
