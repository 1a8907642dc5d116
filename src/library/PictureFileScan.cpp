// Folder scans for library pictures, in the byte order of the names or,
// for the images folder, by name without regard to case.
#include "library/PictureFileScan.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <utility>

#include "imaging/PictureReader.h"

namespace velmora {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

// The extension from the last dot, dot included, in lower case.
std::string LowerExtension(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : LowerAscii(name.substr(dot));
}

bool IsStorableName(std::string_view name) { return name.find_first_of("\r\n") == std::string_view::npos; }

std::string JoinPath(const std::string& folder, const char* name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

enum class EntryKind { Other, File, Folder };

// d_type saves a stat per entry on the file systems that fill it in; links
// and unknown types are resolved with stat, so a link to a picture counts as
// the picture and a dangling link as nothing. The stat starts from the open
// folder `dir`, not from the root.
EntryKind KindOf(DIR* dir, const dirent& entry) {
  if (entry.d_type == DT_REG) return EntryKind::File;
  if (entry.d_type == DT_DIR) return EntryKind::Folder;
  struct stat info {};
  if (::fstatat(::dirfd(dir), entry.d_name, &info, 0) != 0) return EntryKind::Other;
  if (S_ISREG(info.st_mode)) return EntryKind::File;
  if (S_ISDIR(info.st_mode)) return EntryKind::Folder;
  return EntryKind::Other;  // devices, pipes and sockets are never pictures
}

using FolderId = std::pair<dev_t, ino_t>;

struct ScanState {
  std::vector<std::string>& out;
  bool recursive;
  PictureNameFilter filter;
  std::set<FolderId> seen;
  size_t leftOut = 0;
};

// `storable`: the folder's path holds no line break, so its pictures can go
// into a list; in a folder whose path does, they are only counted.
void Scan(const std::string& folder, bool storable, ScanState& state) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  struct stat self {};
  if (state.recursive) {
    if (::fstat(::dirfd(dir), &self) != 0 || !state.seen.insert({self.st_dev, self.st_ino}).second) {
      ::closedir(dir);
      return;
    }
  }
  std::vector<std::string> files, folders;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    const EntryKind kind = KindOf(dir, *entry);
    if (kind == EntryKind::File && IsLibraryPictureName(name, state.filter)) files.emplace_back(name);
    if (kind == EntryKind::Folder && state.recursive) folders.emplace_back(name);
  }
  // Closed before going deeper, so a deep tree holds one folder open at a time.
  ::closedir(dir);

  std::sort(files.begin(), files.end());
  std::sort(folders.begin(), folders.end());
  for (const std::string& name : files) {
    if (storable && IsStorableName(name)) {
      state.out.push_back(JoinPath(folder, name.c_str()));
    } else {
      ++state.leftOut;
    }
  }
  for (const std::string& name : folders)
    Scan(JoinPath(folder, name.c_str()), storable && IsStorableName(name), state);
}

}  // namespace

bool IsLibraryPictureName(std::string_view name, PictureNameFilter filter) {
  if (filter == PictureNameFilter::kReadable) {
    const PictureFormat* format = FindPictureFormat(name);
    return format != nullptr && format->decode != nullptr;
  }
  const std::string ext = LowerExtension(name);
  return ext == ".jpg" || ext == ".bmp";
}

size_t ListPictureFiles(const std::string& folder, std::vector<std::string>& out, bool recursive,
                        PictureNameFilter filter) {
  // A folder with no path (a virtual node of a folder tree) lists nothing
  // rather than the root folder.
  if (folder.empty()) return 0;
  ScanState state{out, recursive, filter, {}};
  Scan(folder, IsStorableName(folder), state);
  return state.leftOut;
}

std::string LineBreakNamesNote(size_t leftOut) {
  if (leftOut == 0) return {};
  if (leftOut == 1) return "1 picture with line breaks in its name was left out";
  return std::to_string(leftOut) + " pictures with line breaks in their names were left out";
}

std::vector<std::string> ListFolderPicturesSorted(const std::string& folder, PictureNameFilter filter) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.empty() || name.front() == '.') continue;  // hidden files, "." and ".."
    if (!IsStorableName(name) || !IsLibraryPictureName(name, filter)) continue;
    if (KindOf(dir, *entry) != EntryKind::File) continue;
    names.emplace_back(name);
  }
  ::closedir(dir);

  // Names equal but for case are ordered by their bytes, so the list does not
  // depend on the order the file system returns them in.
  std::vector<std::pair<std::string, std::string>> keyed;
  keyed.reserve(names.size());
  for (std::string& name : names) keyed.emplace_back(LowerAscii(name), std::move(name));
  std::sort(keyed.begin(), keyed.end());

  std::vector<std::string> paths;
  paths.reserve(keyed.size());
  for (const auto& [key, name] : keyed) paths.push_back(JoinPath(folder, name.c_str()));
  return paths;
}

}  // namespace velmora
