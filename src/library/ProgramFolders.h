// Where the program keeps its defaults and finds its data. A copy run from
// its build folder keeps everything beside itself (DefaultImgList.IL2,
// Defaultopt.opt, the images folder, help.pdf). An installed copy (in
// PREFIX/bin, with its data in PREFIX/share/velmora) cannot write there: it
// keeps each user's defaults in $XDG_CONFIG_HOME/velmora (else
// ~/.config/velmora) and reads the sample library and help from its share
// folder. Every function that takes the program's folder goes through this.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "imaging/Status.h"

namespace velmora {

struct ProgramFolders {
  std::string settings;  // where the defaults are written
  std::string data;      // where images/ and help.pdf are read from
  bool installed = false;
};

// The environment as the program sees it; tests pass their own.
using EnvironmentLookup = std::function<const char*(const char*)>;

// Installed: the folder has no images folder beside it and PREFIX/share/velmora
// exists, or the folder is not writable. Then the settings folder is
// $XDG_CONFIG_HOME/velmora when that variable holds an absolute path, else
// $HOME/.config/velmora (the program's own folder when neither is set), and
// the data folder is PREFIX/share/velmora when it exists.
ProgramFolders LocateProgramFolders(const std::string& programFolder, const EnvironmentLookup& env = {});

// The file `name` to read: the user's copy in the settings folder when there
// is one, else the data folder's (which need not exist either).
std::string SettingsFileToRead(const ProgramFolders& folders, std::string_view name);

// Creates the settings folder (and its parents) if needed, before a write.
Status MakeSettingsFolder(const ProgramFolders& folders);

}  // namespace velmora
