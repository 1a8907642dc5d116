// Finding library pictures on disk: the folder scan of the picture-file loader
// and the command line (JPG and BMP files by extension, or every readable
// format, optionally depth first through subfolders) and the sorted listing
// of the program's images folder.
#pragma once

#include <cstddef>
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
// IsLibraryPictureName(name, filter); hidden files are taken. The order is
// the names' byte order, never the order the file system returns them in, so
// the same pictures make the same library (and a seed the same mosaic) on any
// file system. With `recursive`, a folder's own pictures come first, then
// each subfolder's, depth first, the subfolders in the byte order of their
// names too; a flat folder therefore lists the same with or without it.
// Nothing is de-duplicated. A folder that cannot be read adds nothing; a
// folder reached a second time through a symbolic link is not scanned again,
// so a link loop ends.
// A picture whose path holds CR or LF is left out, since an image list could
// not store it; the number left out is returned, for the user to be told.
size_t ListPictureFiles(const std::string& folder, std::vector<std::string>& out, bool recursive,
                        PictureNameFilter filter = PictureNameFilter::kJpgBmp);

// What the user is told about the pictures ListPictureFiles left out for
// line breaks in their names; empty for none.
std::string LineBreakNamesNote(size_t leftOut);

// The full paths of the picture files of `folder` itself (no subfolders, no
// hidden files) the filter takes (*.bmp and *.jpg without regard to case by
// default), sorted by file name without regard to case. A missing or
// unreadable folder gives none.
std::vector<std::string> ListFolderPicturesSorted(const std::string& folder,
                                                  PictureNameFilter filter = PictureNameFilter::kJpgBmp);

}  // namespace velmora
