// velmora-cli panels: a saved project cut into a PDF of the map and its
// sheets, the refusals of settings that cannot be printed, and an interrupt
// while the pages are written.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/CliChild.h"
#include "support/CliProjectTest.h"
#include "support/PdfPages.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using testing::ReadWholeFile;

class PanelsCli : public testing::CliProjectTest {};

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
    if (status == 0) continue;
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

// Ctrl+C or SIGTERM while the sheets are written into the PDF stops there,
// with the shell's code for the signal; the earlier PDF stays.
TEST_F(PanelsCli, InterruptDuringThePagesStopsAndKeepsTheEarlierFile) {
  // 3200 x 3200 pixels on 25 small sheets sharing wide strips: seconds of pages.
  MakeProject("--cells 400x400 --cell-size 8x8");
  for (const auto& [signal, code] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    SCOPED_TRACE(signal);
    testing::WriteWholeFile(P("p.pdf"), "earlier panels");
    // A file of its own: the last run's lines must not be taken for this one's.
    const std::string err = P("stderr-" + std::to_string(signal) + ".txt");
    const pid_t child = testing::StartCli({"panels", P("m.vm6"), "--paper", "100x100mm", "--margin", "5",
                                           "--dpi", "300", "--overlap", "40", "--out", P("p.pdf")},
                                          err, P("cache"));
    ASSERT_GT(child, 0);
    // The render's last line is written when the pages begin.
    const bool paging = testing::WaitUntil(
        child, [&] { return ReadWholeFile(err).find("Mosaic Created") != std::string::npos; });
    ::kill(child, signal);
    EXPECT_EQ(testing::ExitStatus(child), code) << ReadWholeFile(err);
    ASSERT_TRUE(paging) << ReadWholeFile(err);
    EXPECT_NE(ReadWholeFile(err).find("Cancelled; nothing was saved"), std::string::npos)
        << ReadWholeFile(err);
    EXPECT_TRUE(ReadWholeFile(P("p.pdf")) == "earlier panels");
    EXPECT_EQ(testing::TemporariesIn(scratch_.path()), std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace velmora
