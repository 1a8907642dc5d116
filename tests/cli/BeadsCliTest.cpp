// velmora-cli beads on projects of each layout: every output written and in
// step with the others, the refusals (bad palette, size, flags), and a save
// that fails or is interrupted keeping every earlier file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "imaging/Bitmap32.h"
#include "imaging/formats/BmpCodec.h"
#include "output/BeadChart.h"
#include "support/CliChild.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using velmora::testing::ReadWholeFile;

class BeadsCli : public ::testing::Test {
protected:
  int Cmd(const std::string& args) {
    const std::string line = "XDG_CACHE_HOME=" + P("cache") + " " + std::string(VELMORA_CLI) + " " + args +
                             " >" + P("stdout.txt") + " 2>" + P("stderr.txt");
    const int raw = std::system(line.c_str());
    err = ReadWholeFile(P("stderr.txt"));
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  std::string P(const std::string& name) const { return dir / name; }

  // A self mosaic (no library needed) of a colour ramp in `stitch`, 11 x 9
  // cells unless told otherwise.
  void MakeProject(const std::string& stitch, const std::string& cells = "11x9") {
    TBitmap32 main(100, 70);
    for (int y = 0; y < 70; ++y)
      for (int x = 0; x < 100; ++x)
        main.Pixel(x, y) = Color32(uint8_t(x * 2), uint8_t(y * 3), uint8_t(200 - x));
    ASSERT_TRUE(WriteBmpFile(main, P("main.bmp")).ok());
    fs::create_directories(dir.path() / "none");
    ASSERT_EQ(Cmd("create --quiet --mode self --main " + P("main.bmp") + " --library " + P("none") +
                  " --cells " + cells + " --cell-size 8x8 --stitch " + stitch + " --out " + P("m.bmp") +
                  " --project " + P(stitch + ".vm6")),
              0)
        << err;
  }

  // Earlier files at every output's name, to be kept by a save that fails.
  void WriteEarlierFiles() {
    for (const char* name : {"c.pdf", "w.txt", "g.csv", "p.png"})
      velmora::testing::WriteWholeFile(P(name), std::string("earlier ") + name);
  }
  void ExpectEarlierFiles() {
    for (const char* name : {"c.pdf", "w.txt", "g.csv", "p.png"})
      EXPECT_TRUE(ReadWholeFile(P(name)) == std::string("earlier ") + name) << name;
    EXPECT_EQ(velmora::testing::TemporariesIn(dir.path()), std::vector<std::string>{});
  }
  std::string AllOutputs() const {
    return " --out " + P("c.pdf") + " --words " + P("w.txt") + " --csv " + P("g.csv") + " --png " +
           P("p.png");
  }

  velmora::testing::ScratchFolder dir;
  std::string err;
};

TEST_F(BeadsCli, WritesChartWordsGridAndPreviewForEveryLayout) {
  const std::string palettes = std::string(VELMORA_TEST_DATA) + "/../../data/palettes";
  for (const char* stitch : {"loom", "peyote", "brick"}) {
    SCOPED_TRACE(stitch);
    MakeProject(stitch);
    ASSERT_EQ(Cmd(std::string("beads ") + P(std::string(stitch) + ".vm6") +
                  " --palette perler --colors 6 --dither" + " --bead 2.6mm --out " + P("c.pdf") +
                  " --words " + P("w.txt") + " --csv " + P("g.csv") + " --png " + P("p.png")),
              0)
        << err;
    EXPECT_NE(err.find("chart of 11 x 9 beads"), std::string::npos) << err;
    EXPECT_EQ(ReadWholeFile(P("c.pdf")).substr(0, 5), "%PDF-");
    EXPECT_EQ(ReadWholeFile(P("p.png")).substr(0, 4), "\x89PNG");
    auto perler = ReadBeadPaletteFile(palettes + "/perler.csv");
    ASSERT_TRUE(perler.ok());
    auto grid = ParseBeadGridCsv(ReadWholeFile(P("g.csv")), *perler, 11, 9, "g.csv");
    ASSERT_TRUE(grid.ok()) << grid.message();
    const BeadLayout layout = BeadLayoutOfStitch(std::string(stitch) == "peyote"  ? 2
                                                 : std::string(stitch) == "brick" ? 3
                                                                                  : 1);
    auto words = ParseBeadWordChart(ReadWholeFile(P("w.txt")), *perler, layout, 11, 9);
    ASSERT_TRUE(words.ok()) << words.message();
    EXPECT_EQ(*words, *grid) << "the word chart and the grid describe the same beads";
    std::set<int> used(grid->begin(), grid->end());
    EXPECT_LE(used.size(), 6u);
  }
}

TEST_F(BeadsCli, RefusesBadPalettesSizesAndFlagsWithoutWriting) {
  MakeProject("loom");
  std::ofstream(P("bad.csv")) << "X,broken,300,0,0\n";
  struct Case {
    std::string args;
    std::string message;
  };
  const Case cases[] = {
      {"--palette " + P("bad.csv"), "bad.csv, line 1: red, green and blue"},
      {"--palette " + P("missing.csv"), "missing.csv"},
      {"--palette hama --bead 99mm", "a bead size is"},
      {"--colors -1", "--colors"},
      {"--colors many", "--colors"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Cmd("beads " + P("loom.vm6") + " " + c.args + " --out " + P("x.pdf")), 1) << c.args;
    EXPECT_NE(err.find(c.message), std::string::npos) << c.args << ": " << err;
    EXPECT_FALSE(fs::exists(P("x.pdf"))) << c.args;
  }
  EXPECT_EQ(Cmd("beads " + P("loom.vm6")), 1);
  EXPECT_NE(err.find("--out chart.pdf"), std::string::npos) << err;
  std::ofstream(P("junk.vm6")) << "not a project";
  EXPECT_EQ(Cmd("beads " + P("junk.vm6") + " --out " + P("x.pdf")), 1);
  EXPECT_FALSE(fs::exists(P("x.pdf")));
}

// The files of one save change together: when one of them cannot be
// written, none replaces its earlier file and no temporary stays.
TEST_F(BeadsCli, AFailedOutputKeepsEveryEarlierFile) {
  MakeProject("loom");
  fs::create_directories(P("folder.csv"));
  struct Case {
    const char* name;
    std::string prefix;  // shell commands before the program's
    std::string args;
    std::string message;
  };
  const Case cases[] = {
      {"GridNamesAFolder", "", AllOutputs() + " --csv " + P("folder.csv"), "folder.csv"},
      // Files may grow to a few kB only: the chart fails after the word
      // chart and the grid were written whole.
      {"DiskFillsUp", "trap '' XFSZ; ulimit -f 8;", AllOutputs(), "c.pdf"},
      {"OneFileForTwoForms", "", AllOutputs() + " --png " + P("c.pdf"), "named for two"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteEarlierFiles();
    const std::string line = c.prefix + " XDG_CACHE_HOME=" + P("cache") + " " + VELMORA_CLI + " beads " +
                             P("loom.vm6") + " --quiet" + c.args + " 2>" + P("stderr.txt");
    const int raw = std::system(line.c_str());
    err = ReadWholeFile(P("stderr.txt"));
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1) << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    ExpectEarlierFiles();
  }
  EXPECT_TRUE(fs::is_directory(P("folder.csv")));
}

// Ctrl+C or SIGTERM while the chart is drawn stops it there, with the
// shell's code for the signal; every earlier file stays.
TEST_F(BeadsCli, InterruptStopsTheDrawingAndKeepsEveryEarlierFile) {
  // Big enough that the chart's pages take seconds to draw.
  MakeProject("loom", "400x400");
  for (const auto& [signal, code] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    SCOPED_TRACE(signal);
    WriteEarlierFiles();
    const pid_t child = velmora::testing::StartCli({"beads", P("loom.vm6"), "--out", P("c.pdf"), "--words",
                                                    P("w.txt"), "--csv", P("g.csv"), "--png", P("p.png")},
                                                   P("stderr.txt"), P("cache"));
    ASSERT_GT(child, 0);
    // The chart's temporary is made just before its pages are drawn.
    const std::string chartTemporary = P("c.pdf.tmp-" + std::to_string(child));
    const bool drawing = velmora::testing::WaitUntil(child, [&] { return fs::exists(chartTemporary); });
    ::kill(child, signal);
    EXPECT_EQ(velmora::testing::ExitStatus(child), code) << ReadWholeFile(P("stderr.txt"));
    ASSERT_TRUE(drawing) << ReadWholeFile(P("stderr.txt"));
    EXPECT_NE(ReadWholeFile(P("stderr.txt")).find("Cancelled; nothing was saved"), std::string::npos);
    ExpectEarlierFiles();
  }
}

}  // namespace
}  // namespace velmora
