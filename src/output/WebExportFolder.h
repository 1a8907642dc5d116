// The folder a web mosaic is exported into, and what in it belongs to the
// export. Every export leaves a list of the files it wrote (the manifest,
// written last); a new export replaces exactly those and nothing else, so
// whatever the user keeps in the folder (notes, photos, a page of their own)
// stays. A folder that holds other files, or an export from before the list
// existed, is used only when the user says so, and even then a file of the
// user's is never overwritten or removed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/Status.h"

namespace velmora {

// The list of the export's own files, one path a line from the folder.
inline constexpr const char* kWebManifestName = "velmora-web-files.txt";
// A manifest is small beside the tiles it lists; anything larger is not one.
inline constexpr uint64_t kMaxWebManifestBytes = uint64_t(64) << 20;

// What an export would make of a folder, read without following links.
struct WebFolderCheck {
  // Ok when the export may go ahead as asked; else why not.
  Status status;
  // Refused only because the folder holds files the export did not write
  // (or an export that does not list its files): the user may say to go
  // ahead, keeping them (--replace, or yes to the desktop's question).
  bool mayReplace = false;
};

// `replace`: the user said to export into a folder holding other files.
WebFolderCheck CheckWebFolder(const std::string& folder, bool replace);

// The manifest of an export whose files are `files` (paths from its folder).
std::string WebManifestText(const std::vector<std::string>& files);
// The valid paths of a manifest; lines that could lead out of the folder or
// name nothing are dropped. Empty when `text` is not a manifest.
std::vector<std::string> ParseWebManifest(std::string_view text);

// Puts the finished export in `staging` (its manifest included) into
// `folder`: renamed into place when the folder is new; otherwise the earlier
// export's files are set aside, the new ones moved in and the old ones
// removed only once all are in place. A failure puts the earlier files back.
// `replace` as for CheckWebFolder, which is asked again here.
Status PlaceWebExport(const std::string& staging, const std::string& folder, bool replace);

}  // namespace velmora
