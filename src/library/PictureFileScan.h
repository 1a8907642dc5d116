// Finding library pictures on disk: the folder scan of the picture-file loader
// (JPG and BMP files by extension, optionally depth first through subfolders)
// and the sorted listing of the program's images folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// True for a name whose extension, from its last dot, is ".jpg" or ".bmp" in
// any case (".jpeg" is not).
bool IsLibraryPictureName(std::string_view name);

// Appends folder + "/" + name for every regular file of `folder` whose name
// IsLibraryPictureName, in the order the file system returns the entries;
// hidden files are taken. With `recursive`, each subfolder is scanned where it
// is met, so its files stand in its place. Nothing is sorted or de-duplicated.
// A folder that cannot be read adds nothing; a folder reached a second time
// through a symbolic link is not scanned again, so a link loop ends. Names
// holding CR or LF are passed over: a list file could not store them.
void ListPictureFiles(const std::string& folder, std::vector<std::string>& out, bool recursive);

// The full paths of the picture files of `folder` itself (no subfolders, no
// hidden files) matching *.bmp or *.jpg without regard to case, sorted by file
// name without regard to case. A missing or unreadable folder gives none.
std::vector<std::string> ListFolderPicturesSorted(const std::string& folder);

}  // namespace velmora
