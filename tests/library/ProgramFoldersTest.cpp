// Where defaults are kept and data found, in both layouts: a build folder
// (everything beside the program) and an installed tree (PREFIX/bin with
// PREFIX/share/velmora), where each user's defaults go to the XDG config
// folder and the user's copy of a file wins over the shipped one.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "library/CellPicList.h"
#include "library/ImageListFile.h"
#include "library/ProgramFolders.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

struct Layout {
  testing::ScratchFolder scratch;
  std::map<std::string, std::string> env;
  EnvironmentLookup Lookup() const {
    return [this](const char* name) -> const char* {
      auto it = env.find(name);
      return it == env.end() ? nullptr : it->second.c_str();
    };
  }
  std::string Path(const std::string& rel) const { return scratch / rel; }
  void Touch(const std::string& rel) const {
    fs::create_directories(fs::path(Path(rel)).parent_path());
    testing::WriteWholeFile(Path(rel), "x");
  }
};

TEST(ProgramFolders, BothLayoutsAndTheConfigFolderChoice) {
  struct Case {
    const char* what;
    const char* images;  // where the images folder is made
    const char* xdg;     // XDG_CONFIG_HOME, or nullptr
    const char* home;    // HOME, or nullptr
    bool installed;
    const char* settings;  // relative to the scratch folder
    const char* data;
  };
  const Case cases[] = {
      {"build folder", "build/bin/images", "/x", "/h", false, "build/bin", "build/bin"},
      {"installed, XDG set", "usr/share/velmora/images", "@cfg", "@home", true, "cfg/velmora",
       "usr/share/velmora"},
      {"installed, XDG relative", "usr/share/velmora/images", "rel", "@home", true, "home/.config/velmora",
       "usr/share/velmora"},
      {"installed, HOME only", "usr/share/velmora/images", nullptr, "@home", true, "home/.config/velmora",
       "usr/share/velmora"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Layout l;
    fs::create_directories(l.Path(c.images));
    fs::create_directories(l.Path("build/bin"));
    fs::create_directories(l.Path("usr/bin"));
    const auto expand = [&](const char* v) { return v[0] == '@' ? l.Path(v + 1) : std::string(v); };
    if (c.xdg) l.env["XDG_CONFIG_HOME"] = expand(c.xdg);
    if (c.home) l.env["HOME"] = expand(c.home);
    const std::string program = l.Path(c.installed ? "usr/bin" : "build/bin");
    const ProgramFolders f = LocateProgramFolders(program, l.Lookup());
    EXPECT_EQ(f.installed, c.installed);
    EXPECT_EQ(f.settings, l.Path(c.settings));
    EXPECT_EQ(f.data, l.Path(c.data));
  }
}

TEST(ProgramFolders, TheUsersFileWinsOverTheShippedOne) {
  Layout l;
  fs::create_directories(l.Path("usr/share/velmora/images"));
  fs::create_directories(l.Path("usr/bin"));
  l.env["HOME"] = l.Path("home");
  const ProgramFolders f = LocateProgramFolders(l.Path("usr/bin"), l.Lookup());
  // Neither: the user's path (where a write will go).
  EXPECT_EQ(SettingsFileToRead(f, "Defaultopt.opt"), l.Path("home/.config/velmora/Defaultopt.opt"));
  l.Touch("usr/share/velmora/Defaultopt.opt");
  EXPECT_EQ(SettingsFileToRead(f, "Defaultopt.opt"), l.Path("usr/share/velmora/Defaultopt.opt"));
  l.Touch("home/.config/velmora/Defaultopt.opt");
  EXPECT_EQ(SettingsFileToRead(f, "Defaultopt.opt"), l.Path("home/.config/velmora/Defaultopt.opt"));
}

// The start-up path of an installed copy: the default list is built from the
// shipped images and written to the user's folder, which is created.
TEST(ProgramFolders, InstalledDefaultListGoesToTheUsersFolder) {
  Layout l;
  l.Touch("usr/share/velmora/images/b.jpg");
  l.Touch("usr/share/velmora/images/a.JPG");
  fs::create_directories(l.Path("usr/bin"));
  const std::string home = l.Path("home");
  ::setenv("XDG_CONFIG_HOME", (home + "/cfg").c_str(), 1);
  CellPicList list;
  const Status s = LoadDefaultImageList(list, l.Path("usr/bin"));
  ::unsetenv("XDG_CONFIG_HOME");
  ASSERT_TRUE(s.ok()) << s.message();
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list[0], l.Path("usr/share/velmora/images/a.JPG"));
  EXPECT_TRUE(fs::exists(home + "/cfg/velmora/DefaultImgList.IL2"));
  EXPECT_FALSE(fs::exists(l.Path("usr/bin/DefaultImgList.IL2")));
}

}  // namespace
}  // namespace velmora
