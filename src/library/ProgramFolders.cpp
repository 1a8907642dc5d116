#include "library/ProgramFolders.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace velmora {

namespace fs = std::filesystem;

namespace {

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

}  // namespace

ProgramFolders LocateProgramFolders(const std::string& programFolder, const EnvironmentLookup& env) {
  const EnvironmentLookup lookup =
      env ? env : EnvironmentLookup([](const char* name) { return std::getenv(name); });
  ProgramFolders folders{programFolder, programFolder, false};
  const std::string share = (fs::path(programFolder).parent_path() / "share" / "velmora").string();
  const bool shareExists = IsFolder(share);
  const bool installedLayout = shareExists && !IsFolder(programFolder + "/images");
  if (!installedLayout && ::access(programFolder.c_str(), W_OK) == 0) return folders;

  folders.installed = true;
  if (shareExists) folders.data = share;
  const char* xdg = lookup("XDG_CONFIG_HOME");
  const char* home = lookup("HOME");
  // A relative XDG_CONFIG_HOME is not a usable place for settings: ignored.
  if (xdg != nullptr && xdg[0] == '/')
    folders.settings = std::string(xdg) + "/velmora";
  else if (home != nullptr && home[0] != '\0')
    folders.settings = std::string(home) + "/.config/velmora";
  return folders;
}

std::string SettingsFileToRead(const ProgramFolders& folders, std::string_view name) {
  const std::string user = folders.settings + "/" + std::string(name);
  if (Exists(user) || folders.data == folders.settings) return user;
  const std::string shipped = folders.data + "/" + std::string(name);
  return Exists(shipped) ? shipped : user;
}

Status MakeSettingsFolder(const ProgramFolders& folders) {
  std::error_code ec;
  fs::create_directories(folders.settings, ec);
  if (ec)
    return Status::Error(Format("Cannot create the settings folder \"%s\". %s", folders.settings.c_str(),
                                ec.message().c_str()));
  return Status::Ok();
}

}  // namespace velmora
