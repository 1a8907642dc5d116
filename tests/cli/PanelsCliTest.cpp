// velmora-cli panels: a saved project cut into a PDF of the map and its
// sheets, and the refusals of settings that cannot be printed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "imaging/Bitmap32.h"
#include "imaging/formats/BmpCodec.h"
#include "support/PdfPages.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using testing::ReadWholeFile;

class PanelsCli : public ::testing::Test {
protected:
  struct Run {
    int status = -1;
    std::string err;
  };
  Run Cmd(const std::string& args) {
    const std::string err = scratch_ / "stderr.txt";
    const std::string line = "XDG_CACHE_HOME=" + (scratch_ / "cache") + " " + std::string(VELMORA_CLI) + " " +
                             args + " >/dev/null 2>" + err;
    const int raw = std::system(line.c_str());
    return Run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadWholeFile(err)};
  }
  std::string P(const std::string& name) const { return scratch_ / name; }

  // A 120 x 80 mosaic of flat-coloured library pictures, saved as a project.
  void MakeProject() {
    std::filesystem::create_directories(P("lib"));
    for (int i = 0; i < 6; ++i) {
      TBitmap32 b(20, 16);
      b.Fill(Color32(uint8_t(i * 40), uint8_t(255 - i * 40), 90));
      ASSERT_TRUE(WriteBmpFile(b, P("lib/p" + std::to_string(i) + ".bmp")).ok());
    }
    TBitmap32 main(90, 60);
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 90; ++x) main.Pixel(x, y) = Color32(uint8_t(x * 2), uint8_t(y * 4), 128);
    ASSERT_TRUE(WriteBmpFile(main, P("main.bmp")).ok());
    const Run r =
        Cmd("create --quiet --main " + P("main.bmp") + " --library " + P("lib") +
            " --cells 10x8 --cell-size 12x10 --seed 3 --out " + P("m.bmp") + " --project " + P("m.vm6"));
    ASSERT_EQ(r.status, 0) << r.err;
  }

  testing::ScratchFolder scratch_;
};

TEST_F(PanelsCli, WritesTheMapAndOnePagePerSheet) {
  MakeProject();
  // At 10 dpi an A4 sheet holds 74 x 109 pixels: two sheets across.
  const Run r = Cmd("panels --quiet " + P("m.vm6") + " --paper A4 --dpi 10 --overlap 10 --out " + P("p.pdf"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("30.5 x 20.3 cm (12.00 x 8.00 in): 2 x 1 = 2 sheets of A4 portrait"),
            std::string::npos)
      << r.err;
  const int pages = testing::CountPdfPages(P("p.pdf"));
  if (pages < 0) GTEST_SKIP() << "the PDF's pages cannot be counted here";
  EXPECT_EQ(pages, 3);

  const Run small = Cmd("panels --quiet " + P("m.vm6") +
                        " --paper 60x80mm --margin 5 --dpi 40 --overlap 2 --out " + P("p.pdf"));
  ASSERT_EQ(small.status, 0) << small.err;
  EXPECT_NE(small.err.find("2 x 1 = 2 sheets of 60x80mm portrait"), std::string::npos) << small.err;
  EXPECT_EQ(testing::CountPdfPages(P("p.pdf")), 3);
}

TEST_F(PanelsCli, RefusesSettingsWithAClearMessageAndKeepsTheFile) {
  MakeProject();
  testing::WriteWholeFile(P("p.pdf"), "earlier panels");
  const std::string base = "panels --quiet " + P("m.vm6") + " --out " + P("p.pdf");
  const std::pair<std::string, std::string> cases[] = {
      {" --dpi 0", "--dpi must be a whole number from 1 to 2400, not '0'"},
      {" --dpi -300", "not '-300'"},
      {" --dpi many", "not 'many'"},
      {" --overlap -2", "--overlap must be a length in millimetres"},
      {" --paper A7", "Unknown paper \"A7\""},
      {" --paper 60x60mm --margin 30",
       "60x60mm sheet (60.0 x 60.0 mm) is no larger than its margins (2 x 30.0 mm)"},
      {" --dpi 100 --overlap 150", "overlap of 150.0 mm must be less than half"},
  };
  for (const auto& [flags, message] : cases) {
    SCOPED_TRACE(flags);
    const Run r = Cmd(base + flags);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
  }
  EXPECT_EQ(ReadWholeFile(P("p.pdf")), "earlier panels");
  const Run noOut = Cmd("panels " + P("m.vm6"));
  EXPECT_NE(noOut.err.find("--out PANELS.pdf is needed"), std::string::npos) << noOut.err;
  const Run damaged = Cmd("panels " + P("main.bmp") + " --out " + P("q.pdf"));
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.err.find("main.bmp"), std::string::npos) << damaged.err;
  EXPECT_FALSE(std::filesystem::exists(P("q.pdf")));
}

// A margin is refused in the same words on either side of its range, and
// its ends are accepted.
TEST_F(PanelsCli, MarginOutOfRangeGetsOneMessageOnEitherSide) {
  MakeProject();
  const std::string base =
      "panels --quiet " + P("m.vm6") + " --dpi 10 --overlap 0 --out " + P("p.pdf") + " --margin ";
  const std::pair<const char*, int> cases[] = {
      {"4.99", 1}, {"104.9", 1}, {"2", 1}, {"-1", 1},  {"100.01", 1},
      {"nan", 1},  {"wide", 1},  {"5", 0}, {"100", 0},
  };
  for (const auto& [margin, status] : cases) {
    SCOPED_TRACE(margin);
    const Run r = Cmd(base + margin);
    EXPECT_EQ(r.status, status) << r.err;
    if (status != 0)
      EXPECT_NE(r.err.find("--margin must be a length in millimetres from 5 to 100, not '" +
                           std::string(margin) + "'"),
                std::string::npos)
          << r.err;
  }
}

// Too many sheets come from too few pixels per inch: the message names the
// lowest resolution that would do, and that one does.
TEST_F(PanelsCli, TooManySheetsAsksForAHigherResolution) {
  MakeProject();
  const std::string base = "panels --quiet " + P("m.vm6") + " --paper 60x60mm --margin 5 --out " + P("p.pdf");
  const Run r = Cmd(base + " --dpi 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Choose a higher resolution (at least 3 dpi)"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("lower"), std::string::npos) << r.err;
  EXPECT_EQ(Cmd(base + " --dpi 2").status, 1);
  const Run enough = Cmd(base + " --dpi 3");
  EXPECT_EQ(enough.status, 0) << enough.err;
}

}  // namespace
}  // namespace velmora
