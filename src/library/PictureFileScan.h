// Finding library pictures on disk: the folder scan of the picture-file loader
// (JPG and BMP files by extension, optionally depth first through subfolders)
// and the sorted listing of the program's images folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Which file names a folder scan takes. The loader starts with JPG and BMP
// files, as the program always did, and can be widened to every extension the
// picture reader reads; the command-line tool scans for all of them.
enum class PictureNameFilter { kJpgBmp, kReadable };

// kJpgBmp: true for a name whose extension, from its last dot, is ".jpg" or
// ".bmp" in any case (".jpeg" is not). kReadable: true for every extension the
// picture reader decodes.
bool IsLibraryPictureName(std::string_view name, PictureNameFilter filter = PictureNameFilter::kJpgBmp);

// Appends folder + "/" + name for every regular file of `folder` whose name
// IsLibraryPictureName(name, filter), in the order the file system returns the entries;
// hidden files are taken. With `recursive`, each subfolder is scanned where it
// is met, so its files stand in its place. Nothing is sorted or de-duplicated.
// A folder that cannot be read adds nothing; a folder reached a second time
// through a symbolic link is not scanned again, so a link loop ends. Names
// holding CR or LF are passed over: a list file could not store them.
void ListPictureFiles(const std::string& folder, std::vector<std::string>& out, bool recursive,
                      PictureNameFilter filter = PictureNameFilter::kJpgBmp);

// The full paths of the picture files of `folder` itself (no subfolders, no
// hidden files) the filter takes (*.bmp and *.jpg without regard to case by
// default), sorted by file name without regard to case. A missing or
// unreadable folder gives none.
std::vector<std::string> ListFolderPicturesSorted(const std::string& folder,
                                                  PictureNameFilter filter = PictureNameFilter::kJpgBmp);

}  // namespace velmora
