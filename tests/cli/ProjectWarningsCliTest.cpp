// Every command that reads a project tells on stderr what of its extension
// blocks was left out, naming the project, and goes on with the rest; a
// project followed by a flood of damaged blocks costs a few lines.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/Bitmap32.h"
#include "imaging/formats/BmpCodec.h"
#include "support/ExtensionAreaBytes.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using testing::BlockHeader;
using testing::DamagedBlocks;
using testing::ExtensionMagic;
using testing::GoodBlock;
using testing::ReadWholeFile;
using testing::WriteWholeFile;

class ProjectWarningsCli : public ::testing::Test {
protected:
  struct Run {
    int status = -1;
    std::string err;
  };
  Run Cmd(const std::string& args) {
    const std::string err = dir_ / "stderr.txt";
    const std::string line = "XDG_CACHE_HOME=" + (dir_ / "cache") + " " + std::string(VELMORA_CLI) + " " +
                             args + " >/dev/null 2>" + err;
    const int raw = std::system(line.c_str());
    return Run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadWholeFile(err)};
  }
  std::string P(const std::string& name) const { return dir_ / name; }

  // The commands that read a project, with what follows the project's name.
  struct ProjectCommand {
    const char* name;
    std::string args;
  };
  std::vector<ProjectCommand> ProjectCommands() const {
    return {{"render", " --quiet --out " + P("r.bmp")}, {"quality", " --quiet"},
            {"beads", " --quiet --csv " + P("b.csv")},  {"panels", " --quiet --out " + P("p.pdf")},
            {"web", " --quiet --out " + P("web")}};
  }

  // An 8 x 8 self mosaic, so no library is read.
  void MakeProject() {
    TBitmap32 main(60, 50);
    for (int y = 0; y < 50; ++y)
      for (int x = 0; x < 60; ++x) main.Pixel(x, y) = Color32(uint8_t(x * 4), uint8_t(y * 5), 90);
    ASSERT_TRUE(WriteBmpFile(main, P("main.bmp")).ok());
    std::filesystem::create_directories(P("none"));
    const Run r = Cmd("create --quiet --mode self --main " + P("main.bmp") + " --library " + P("none") +
                      " --cells 8x8 --cell-size 8x8 --out " + P("m.bmp") + " --project " + P("m.vm6"));
    ASSERT_EQ(r.status, 0) << r.err;
  }

  testing::ScratchFolder dir_;
};

TEST_F(ProjectWarningsCli, EveryProjectCommandTellsWhatWasLeftOutNamingTheProject) {
  ASSERT_NO_FATAL_FAILURE(MakeProject());
  const std::string project = ReadWholeFile(P("m.vm6"));
  std::string flipped = GoodBlock("MTCH", std::string("\x01\0\0\0", 4));
  flipped.back() ^= 0x40;
  const struct {
    const char* name;
    std::string area;  // after the magic
    size_t lines;      // warnings
    const char* last;
  } damages[] = {
      {"crc", flipped, 1, "the extension block \"MTCH\" is damaged (checksum mismatch)"},
      {"cut", GoodBlock("XTRA", "abc") + BlockHeader("CUTS", 0, 0).substr(0, 7), 1, "damaged at byte 27"},
      {"ones", BlockHeader("HUGE", 0xFFFFFFFF, 0) + "xy", 1, "\"HUGE\" is cut off (4294967295 bytes"},
      {"flood", DamagedBlocks(300000), kMaxExtensionBlockWarnings + 2, "more than 256 blocks"},
  };
  const std::vector<ProjectCommand> commands = ProjectCommands();
  for (const auto& d : damages) {
    const std::string path = P(std::string(d.name) + ".vm6");
    WriteWholeFile(path, project + ExtensionMagic() + d.area);
    for (const auto& c : commands) {
      SCOPED_TRACE(std::string(c.name) + " " + d.name);
      const Run r = Cmd(c.name + (" " + path) + c.args);
      ASSERT_EQ(r.status, 0) << r.err;
      const std::string prefix = "Warning: " + path + ": ";
      EXPECT_EQ(r.err.rfind(prefix, 0), 0u) << r.err;
      size_t lines = 0;
      for (size_t at = r.err.find(prefix); at != std::string::npos; at = r.err.find(prefix, at + 1)) ++lines;
      EXPECT_EQ(lines, d.lines) << r.err;
      EXPECT_NE(r.err.find(d.last), std::string::npos) << r.err;
    }
  }
}

// A file that is no project at all is refused by every project command in
// the desktop's words, the technical reason after them; a
// damaged project says what is wrong with it.
TEST_F(ProjectWarningsCli, EveryProjectCommandSaysAFileIsNotAProject) {
  ASSERT_NO_FATAL_FAILURE(MakeProject());
  const std::string project = ReadWholeFile(P("m.vm6"));
  const struct {
    const char* name;
    std::string bytes;
    const char* reason;  // after the words
  } files[] = {
      {"notes.txt", "shopping list\n", "the file ends inside the project record"},
      {"photo.vm6", ReadWholeFile(P("main.bmp")), "its record length is"},
      {"empty.vm6", "", "the file ends inside the project record"},
  };
  for (const auto& f : files) {
    WriteWholeFile(P(f.name), f.bytes);
    for (const auto& c : ProjectCommands()) {
      SCOPED_TRACE(std::string(c.name) + " " + f.name);
      const Run r = Cmd(c.name + (" " + P(f.name)) + c.args);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.err.rfind("velmora-cli: " + std::string(f.name) + " is not a Velmora project. Cannot open project file", 0), 0u)
          << r.err;
      EXPECT_NE(r.err.find(f.reason), std::string::npos) << r.err;
    }
  }
  // A project cut inside its cell map is a damaged project, and said so.
  WriteWholeFile(P("cut.vm6"), project.substr(0, project.size() / 2));
  const Run r = Cmd("render --quiet " + P("cut.vm6") + " --out " + P("out.bmp"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.find("is not a Velmora project"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("cut.vm6"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace velmora
