#include "output/WebExportFolder.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string_view>

#include "imaging/FileIO.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kManifestHeader =
    "# Velmora web mosaic: the files it wrote, which the next export replaces";
// What an export writes at the top of its folder (mosaic_files/ and
// openseadragon/ are folders): a file of the user's at one of these names
// would be overwritten or mixed with the export's.
constexpr std::string_view kExportNames[] = {"mosaic.dzi", "mosaic_files",  "mosaic-cells.js",
                                             "index.html", "openseadragon", kWebManifestName};
// What an export from before the manifest is known by.
constexpr const char* kUnlistedMarks[] = {"mosaic.dzi", "mosaic-cells.js"};

fs::file_type TypeOf(const fs::path& p) {
  std::error_code ec;
  return fs::symlink_status(p, ec).type();
}
bool IsRealFolder(const fs::path& p) { return TypeOf(p) == fs::file_type::directory; }
bool IsRealFile(const fs::path& p) { return TypeOf(p) == fs::file_type::regular; }

std::vector<std::string> Components(std::string_view rel) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= rel.size()) {
    const size_t slash = std::min(rel.find('/', start), rel.size());
    parts.emplace_back(rel.substr(start, slash - start));
    start = slash + 1;
  }
  return parts;
}

// The folders `rel` lies in, outermost first ("a/b/c" gives "a", "a/b").
std::vector<std::string> Ancestors(const std::string& rel) {
  std::vector<std::string> out;
  for (size_t slash = rel.find('/'); slash != std::string::npos; slash = rel.find('/', slash + 1))
    out.push_back(rel.substr(0, slash));
  return out;
}

// A file reached from `folder` through real folders only: a link anywhere
// on the way would lead the export to write or remove outside the folder.
bool IsFileWithin(const fs::path& folder, const std::string& rel) {
  for (const std::string& a : Ancestors(rel))
    if (!IsRealFolder(folder / a)) return false;
  return IsRealFile(folder / rel);
}

// Every file under `rel`, through real folders only.
void AddFilesUnder(const fs::path& folder, const std::string& rel, std::set<std::string>& out) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder / rel, ec)) {
    const std::string name = rel + "/" + entry.path().filename().string();
    if (IsRealFolder(entry.path()))
      AddFilesUnder(folder, name, out);
    else if (IsRealFile(entry.path()))
      out.insert(name);
  }
}

struct FolderContents {
  bool unlisted = false;            // an export from before the manifest
  std::set<std::string> owned;      // the earlier export's files
  std::vector<std::string> others;  // everything else; a folder ends in '/'
};

void CollectOthers(const fs::path& folder, const std::string& rel, const std::set<std::string>& ownedFolders,
                   FolderContents& c) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(rel.empty() ? folder : folder / rel, ec)) {
    const std::string name = (rel.empty() ? "" : rel + "/") + entry.path().filename().string();
    if (c.owned.count(name)) continue;
    if (!IsRealFolder(entry.path()))
      c.others.push_back(name);
    else if (ownedFolders.count(name))
      CollectOthers(folder, name, ownedFolders, c);
    else
      c.others.push_back(name + "/");
  }
}

FolderContents ReadContents(const fs::path& folder) {
  FolderContents c;
  const fs::path manifest = folder / kWebManifestName;
  if (IsRealFile(manifest)) {
    Result<FileBytes> bytes = ReadFileBytes(manifest.string(), kMaxWebManifestBytes);
    const std::vector<std::string> listed =
        bytes
            ? ParseWebManifest(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()))
            : std::vector<std::string>{};
    if (!listed.empty()) {
      c.owned.insert(kWebManifestName);
      for (const std::string& rel : listed)
        if (IsFileWithin(folder, rel)) c.owned.insert(rel);
    }
  }
  if (c.owned.empty() && std::all_of(std::begin(kUnlistedMarks), std::end(kUnlistedMarks),
                                     [&](const char* name) { return IsRealFile(folder / name); })) {
    c.unlisted = true;
    for (const char* name : {"mosaic.dzi", "mosaic-cells.js", "index.html"})
      if (IsRealFile(folder / name)) c.owned.insert(name);
    for (const char* name : {"mosaic_files", "openseadragon"})
      if (IsRealFolder(folder / name)) AddFilesUnder(folder, name, c.owned);
  }
  std::set<std::string> ownedFolders;
  for (const std::string& rel : c.owned)
    for (const std::string& a : Ancestors(rel)) ownedFolders.insert(a);
  CollectOthers(folder, "", ownedFolders, c);
  std::sort(c.others.begin(), c.others.end());
  return c;
}

// Whether a file of the user's is at a place the export writes to.
bool Clashes(const std::string& other) {
  const std::string top = Components(other).front();
  return std::find(std::begin(kExportNames), std::end(kExportNames), top) != std::end(kExportNames);
}

std::string NameList(const std::vector<std::string>& names) {
  std::string text;
  const size_t shown = std::min<size_t>(names.size(), 3);
  for (size_t i = 0; i < shown; ++i) text += (i ? ", " : "") + names[i];
  if (names.size() > shown) text += Format(" and %zu more", names.size() - shown);
  return text;
}

// Files of `staging`, the manifest last so that it is the last to arrive.
std::vector<std::string> FilesOf(const fs::path& staging) {
  std::set<std::string> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(staging, ec)) {
    const std::string name = entry.path().filename().string();
    if (IsRealFolder(entry.path()))
      AddFilesUnder(staging, name, found);
    else if (IsRealFile(entry.path()) && name != kWebManifestName)
      found.insert(name);
  }
  std::vector<std::string> files(found.begin(), found.end());
  if (IsRealFile(staging / kWebManifestName)) files.push_back(kWebManifestName);
  return files;
}

// Whether putting `rel` into `folder` needs a place the user's files take.
bool Blocked(const fs::path& folder, const std::string& rel, const std::set<std::string>& owned) {
  for (const std::string& a : Ancestors(rel)) {
    const fs::file_type type = TypeOf(folder / a);
    if (type == fs::file_type::not_found || owned.count(a)) return false;
    if (type != fs::file_type::directory) return true;
  }
  return TypeOf(folder / rel) != fs::file_type::not_found && !owned.count(rel);
}

// Renames done so far, undone in reverse on a failure.
class Moves {
public:
  ~Moves() {
    std::error_code ec;
    for (auto it = done_.rbegin(); it != done_.rend(); ++it) fs::rename(it->second, it->first, ec);
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) fs::remove(*it, ec);
  }
  // Makes the folders of `to` that are missing, then moves `from` there.
  bool Move(const fs::path& from, const fs::path& to, std::error_code& ec) {
    std::vector<fs::path> missing;
    for (fs::path p = to.parent_path(); !p.empty() && TypeOf(p) == fs::file_type::not_found;
         p = p.parent_path())
      missing.push_back(p);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
      if (!fs::create_directory(*it, ec) || ec) return false;
      made_.push_back(*it);
    }
    fs::rename(from, to, ec);
    if (ec) return false;
    done_.emplace_back(from, to);
    return true;
  }
  void Keep() { done_.clear(), made_.clear(); }

private:
  std::vector<std::pair<fs::path, fs::path>> done_;
  std::vector<fs::path> made_;
};

}  // namespace

WebFolderCheck CheckWebFolder(const std::string& folder, bool replace) {
  if (folder.empty()) return {Status::Error("No folder was given for the web mosaic."), false};
  std::error_code ec;
  const fs::path f(folder);
  const fs::file_status st = fs::status(f, ec);
  if (!fs::exists(st)) return {};
  if (!fs::is_directory(st))
    return {Status::Error(
                Format("\"%s\" is not a folder; the web mosaic needs a folder of its own.", folder.c_str())),
            false};
  const FolderContents c = ReadContents(f);
  if (c.others.empty() && !c.unlisted) return {};
  std::vector<std::string> clashes;
  std::copy_if(c.others.begin(), c.others.end(), std::back_inserter(clashes), Clashes);
  if (!clashes.empty())
    return {Status::Error(Format("The folder \"%s\" holds %s, which the web mosaic did not write but would "
                                 "need; move it away or choose another folder.",
                                 folder.c_str(), NameList(clashes).c_str())),
            false};
  if (replace) return {};
  std::string text = Format("The folder \"%s\" holds ", folder.c_str());
  if (!c.others.empty()) text += "files other than the web mosaic's own (" + NameList(c.others) + ")";
  if (!c.others.empty() && c.unlisted) text += " and ";
  if (c.unlisted) text += "a web mosaic that does not list its files";
  return {Status::Error(text + "."), true};
}

std::string WebManifestText(const std::vector<std::string>& files) {
  std::string text(kManifestHeader);
  text += "\r\n";
  for (const std::string& f : files) text += f + "\r\n";
  return text;
}

std::vector<std::string> ParseWebManifest(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  if (lines.empty() || lines.front() != kManifestHeader) return {};
  std::vector<std::string> paths;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty() || line.find('\0') != std::string::npos) continue;
    const std::vector<std::string> parts = Components(line);
    if (std::any_of(parts.begin(), parts.end(),
                    [](const std::string& p) { return p.empty() || p == "." || p == ".."; }))
      continue;
    paths.push_back(line);
  }
  return paths;
}

Status PlaceWebExport(const std::string& staging, const std::string& folder, bool replace) {
  const fs::path from(staging), target(folder);
  std::error_code ec;
  if (!fs::exists(fs::status(target, ec))) {
    fs::rename(from, target, ec);
    if (ec)
      return Status::Error(
          Format("Cannot create the folder \"%s\": %s", folder.c_str(), ec.message().c_str()));
    return Status::Ok();
  }
  // The folder may have changed while the tiles were cut.
  VELMORA_TRY(CheckWebFolder(folder, replace).status);
  const FolderContents old = ReadContents(target);
  const std::vector<std::string> files = FilesOf(from);
  for (const std::string& rel : files)
    if (Blocked(target, rel, old.owned))
      return Status::Error(
          Format("The folder \"%s\" holds \"%s\" (or a folder on its way), which the web mosaic "
                 "did not write; move it away or choose another folder.",
                 folder.c_str(), rel.c_str()));

  // The earlier export's files step aside beside the folder, where a failure
  // finds them to put back and a crash leaves them for the next export to
  // clear away.
  const fs::path aside = target.string() + ".old-" + std::to_string(::getpid());
  fs::remove_all(aside, ec);
  struct RemoveAside {
    fs::path path;
    ~RemoveAside() {
      std::error_code e;
      fs::remove_all(path, e);
    }
  } removeAside{aside};
  {
    Moves moves;
    for (const std::string& rel : old.owned)
      if (!moves.Move(target / rel, aside / rel, ec))
        return Status::Error(Format("Cannot replace \"%s\" in the folder \"%s\": %s", rel.c_str(),
                                    folder.c_str(), ec.message().c_str()));
    {
      Moves in;
      for (const std::string& rel : files)
        if (!in.Move(from / rel, target / rel, ec))
          return Status::Error(Format("Cannot put \"%s\" into the folder \"%s\": %s", rel.c_str(),
                                      folder.c_str(), ec.message().c_str()));
      in.Keep();
    }
    moves.Keep();
  }
  // Folders the earlier export needed and the new one does not, when nothing
  // else lives in them (removing a folder that is not empty fails).
  std::set<std::string, std::greater<>> emptied;
  for (const std::string& rel : old.owned)
    for (const std::string& a : Ancestors(rel)) emptied.insert(a);
  for (const std::string& a : emptied) fs::remove(target / a, ec);
  return Status::Ok();
}

}  // namespace velmora
