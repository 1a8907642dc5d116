// velmora-cli quality, advise and create --advice, driven as a user runs them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "imaging/Bitmap32.h"
#include "imaging/formats/BmpCodec.h"
#include "project/MatchingBlock.h"
#include "project/ProjectFile.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using velmora::testing::ReadWholeFile;

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

class QualityCli : public ::testing::Test {
protected:
  CliRun Cmd(const std::string& args) {
    const fs::path out = dir_ / "stdout.txt", err = dir_ / "stderr.txt";
    const std::string line = "XDG_CACHE_HOME=" + (dir_ / "cache").string() + " " + std::string(VELMORA_CLI) +
                             " " + args + " >" + out.string() + " 2>" + err.string();
    const int raw = std::system(line.c_str());
    return CliRun{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadWholeFile(out), ReadWholeFile(err)};
  }
  std::string P(const std::string& name) const { return (dir_ / name).string(); }

  // `n` pictures of colours spread over the main picture's range, flat or
  // `striped` light and dark, and a 4:3 main picture of soft stripes.
  void MakePictures(int n, bool striped = false) {
    fs::create_directories(dir_ / "lib");
    for (int i = 0; i < n; ++i) {
      TBitmap32 b(24, 18);
      for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 24; ++x) {
          const int light = striped ? (x % 6 < 3 ? 40 : -40) : 0;
          const auto channel = [&](int v) { return uint8_t(std::clamp(v + light, 0, 255)); };
          b.Pixel(x, y) = Color32(channel(i * 255 / n), channel(60 + i * 37 % 120), channel(128));
        }
      ASSERT_TRUE(WriteBmpFile(b, P("lib/p" + std::to_string(100 + i) + ".bmp")).ok());
    }
    TBitmap32 main(120, 90);
    for (int y = 0; y < 90; ++y)
      for (int x = 0; x < 120; ++x) main.Pixel(x, y) = Color32(uint8_t(x * 2), uint8_t(60 + y), 128);
    ASSERT_TRUE(WriteBmpFile(main, P("main.bmp")).ok());
  }

  // The number after `label` in `text`, or -1.
  static double Figure(const std::string& text, const std::string& label) {
    std::smatch m;
    if (!std::regex_search(text, m, std::regex(label + " ([0-9]+\\.[0-9]+)"))) return -1;
    return std::stod(m[1]);
  }

  velmora::testing::ScratchFolder scratch_;
  const fs::path& dir_ = scratch_.path();
};

TEST_F(QualityCli, CreatePrintsTheMeanAndQualityMeasuresTheSavedProjectAlike) {
  MakePictures(12);
  const CliRun made = Cmd("create --main " + P("main.bmp") + " --library " + P("lib") +
                          " --cells 12x9 --cell-size 16x16 --stitch peyote --seed 3 --quiet --out " +
                          P("m.bmp") + " --project " + P("m.vm6"));
  ASSERT_EQ(made.status, 0) << made.err;
  const double mean = Figure(made.err, "Mean colour error per cell:");
  EXPECT_GT(mean, 0);

  const CliRun q = Cmd("quality " + P("m.vm6") + " --quiet --worst 2");
  ASSERT_EQ(q.status, 0) << q.err;
  EXPECT_DOUBLE_EQ(Figure(q.out, "one sample per cell: +mean"), mean);
  EXPECT_GE(Figure(q.out, "worst 5 % of cells"), mean);
  EXPECT_GT(Figure(q.out, "4 x 4 samples per cell: mean"), 0);
  // 2 % of 108 cells, rounded up: three lines of column, row and errors,
  // then CIEDE2000, SSIM, the photos used and the tile contrast.
  const auto listed = std::count(q.out.begin(), q.out.end(), '\n');
  EXPECT_EQ(listed, 3 + 1 + 3 + 4) << q.out;
  const double e00 = Figure(q.out, "Mean colour error per cell, CIEDE2000:");
  EXPECT_GT(e00, 0);
  EXPECT_GT(Figure(q.out, "CIEDE2000: [0-9.]+ \\(one sample per cell;"), 0) << q.out;  // 4 x 4 samples
  EXPECT_NE(q.out.find("Structural similarity (SSIM, grey, 8 x 8 window) at 512 x 384 px: "), std::string::npos)
      << q.out;
  const double ssim = Figure(q.out, "at 512 x 384 px:");
  EXPECT_GT(ssim, 0);
  EXPECT_LT(ssim, 1);
  std::smatch used;
  ASSERT_TRUE(std::regex_search(q.out, used, std::regex("Photos used: ([0-9]+) different, at most ([0-9]+) times one\n")))
      << q.out;
  EXPECT_TRUE(std::regex_search(q.out, std::regex("\nTile contrast kept: [0-9.]+ % \\(.*\\)\n$"))) << q.out;
  const int distinct = std::stoi(used[1]), most = std::stoi(used[2]);
  EXPECT_GE(distinct, 1);
  EXPECT_LE(distinct, 12);
  EXPECT_GE(distinct * most, 108);

  EXPECT_NE(Cmd("quality").status, 0);
  const CliRun missing = Cmd("quality " + P("none.vm6"));
  EXPECT_NE(missing.status, 0);
  EXPECT_NE(missing.err.find("none.vm6"), std::string::npos) << missing.err;
}

// The tile contrast: a mosaic drawn without tint or overlay keeps all of its
// photos' light and dark, a strong tint over the overlay flattens them; a
// self mosaic is not measured.
TEST_F(QualityCli, TileContrastKeptFallsWithTheTint) {
  MakePictures(12, true);
  struct Case {
    const char* flags;
    double least, most;
  };
  for (const Case& c : {Case{"--enhance 0 --alpha-main 0", 100, 100}, Case{"--enhance 100", 0, 90},
                        Case{"--enhance 100 --stitch brick --border 1", 0, 90}}) {
    SCOPED_TRACE(c.flags);
    const CliRun made = Cmd("create --main " + P("main.bmp") + " --library " + P("lib") +
                            " --cells 12x9 --cell-size 16x16 --seed 3 --recolor tint --quiet --out " +
                            P("t.bmp") + " --project " + P("t.vm6") + " " + c.flags);
    ASSERT_EQ(made.status, 0) << made.err;
    const CliRun q = Cmd("quality --quiet " + P("t.vm6"));
    ASSERT_EQ(q.status, 0) << q.err;
    const double kept = Figure(q.out, "Tile contrast kept:");
    EXPECT_GE(kept, c.least) << q.out;
    EXPECT_LE(kept, c.most) << q.out;
  }
  const CliRun self = Cmd("create --main " + P("main.bmp") + " --library " + P("lib") +
                          " --cells 12x9 --cell-size 16x16 --mode self --quiet --out " + P("s.bmp") +
                          " --project " + P("s.vm6"));
  ASSERT_EQ(self.status, 0) << self.err;
  const CliRun q = Cmd("quality --quiet " + P("s.vm6"));
  ASSERT_EQ(q.status, 0) << q.err;
  EXPECT_EQ(q.out.find("Tile contrast"), std::string::npos) << q.out;
}

// A finished picture measured with --picture gives the figures its project
// gives (a loom mosaic saved losslessly), without the photo counts.
TEST_F(QualityCli, PictureFormMeasuresAFinishedPictureAsItsProject) {
  MakePictures(12);
  const CliRun made = Cmd("create --main " + P("main.bmp") + " --library " + P("lib") +
                          " --cells 12x9 --cell-size 16x16 --seed 3 --quiet --out " + P("m.bmp") + " --project " +
                          P("m.vm6"));
  ASSERT_EQ(made.status, 0) << made.err;
  const CliRun project = Cmd("quality --quiet " + P("m.vm6"));
  ASSERT_EQ(project.status, 0) << project.err;
  const CliRun picture = Cmd("quality --picture " + P("m.bmp") + " --main " + P("main.bmp") + " --cells 12x9");
  ASSERT_EQ(picture.status, 0) << picture.err;
  const size_t photos = project.out.find("Photos used:");
  ASSERT_NE(photos, std::string::npos) << project.out;
  EXPECT_EQ(picture.out, project.out.substr(0, photos));

  struct Refused {
    const char* args;
    const char* says;
  };
  for (const Refused& r : {Refused{"--cells 12x9", "needs --main"}, Refused{"--main MAIN", "needs --main"},
                           Refused{"--main MAIN --cells 400x9", "smaller than its grid"}}) {
    std::string args = r.args;
    if (const size_t at = args.find("MAIN"); at != std::string::npos) args.replace(at, 4, P("main.bmp"));
    const CliRun refused = Cmd("quality --picture " + P("m.bmp") + " " + args);
    EXPECT_NE(refused.status, 0) << r.args;
    EXPECT_NE(refused.err.find(r.says), std::string::npos) << r.args << ": " << refused.err;
  }
}

// create applies the advice to every setting no flag gives (--advice: to
// all of them, --no-advice: to none), prints what the project keeps, and
// the mosaic keeps to the cap.
TEST_F(QualityCli, CreateAppliesTheAdviceWhereNoFlagSaysOtherwise) {
  MakePictures(30);
  struct Case {
    const char* flags;
    int down;         // cells down kept (16 given; the 4:3 picture wants 12)
    int cap;          // 0: no repeat limit
    bool solver, transfer;
    int enhance, alpha;
    const char* printed;  // the settings line, "" for none
  };
  const Case cases[] = {
      {"", 16, 22, true, true, 100, 115,
       "Settings: radius 1, use all photos off, 16 x 16 cells, repeat cap 22 kept by the solver, detail "
       "matching, colour transfer at 100 % with overlay 115 (the advice where no flag says otherwise"},
      {"--advice --max-repeat 10", 12, 16, true, true, 100, 115,
       "Settings: radius 1, use all photos off, 16 x 12 cells, repeat cap 16 kept by the solver, detail "
       "matching, colour transfer at 100 % with overlay 115 (the advice)"},
      {"--max-repeat 10", 16, 10, false, true, 100, 115, ", repeat cap 10, detail matching,"},
      {"--max-uses 12 --enhance 70", 16, 12, true, true, 70, 115, ", repeat cap 12 kept by the solver,"},
      // The strength and overlay go with the transfer.
      {"--recolor tint", 16, 22, true, false, 50, 51, ", repeat cap 22 kept by the solver, detail matching ("},
      {"--no-advice", 16, 0, false, false, 50, 51, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    fs::remove(P("a.bmp"));
    fs::remove(P("a.vm6"));
    const CliRun made = Cmd("create --main " + P("main.bmp") + " --library " + P("lib") +
                            " --cells 16x16 --seed 5 --out " + P("a.bmp") + " --project " + P("a.vm6") + " " +
                            c.flags);
    ASSERT_EQ(made.status, 0) << made.err;
    if (*c.printed) {
      EXPECT_NE(made.err.find(c.printed), std::string::npos) << made.err;
    } else {
      EXPECT_EQ(made.err.find("Settings:"), std::string::npos) << made.err;
    }
    ProjectFileContent content;
    ASSERT_TRUE(ReadProjectFile(P("a.vm6"), content).ok());
    const tmosaicproject& p = content.Project;
    EXPECT_EQ(p.CellsDown, c.down);
    EXPECT_EQ(p.LimitRepeat, c.cap > 0);
    if (c.cap > 0) EXPECT_EQ(p.MaxRepeatTimes, c.cap);
    EXPECT_EQ(p.ColorEnhance, c.enhance);
    EXPECT_EQ(p.AlphaMain, c.alpha);
    const MatchOptions m = MatchingFromExtensions(content.Extensions, P("a.vm6"), nullptr);
    EXPECT_EQ(m.UseCap, c.solver);
    EXPECT_EQ(m.Transfer, c.transfer);
    EXPECT_EQ(m.Detail, c.cap > 0);
    if (c.cap == 0) continue;
    const CliRun q = Cmd("quality --quiet " + P("a.vm6"));
    std::smatch most;
    ASSERT_TRUE(std::regex_search(q.out, most, std::regex("at most ([0-9]+) times one"))) << q.out;
    EXPECT_LE(std::stoi(most[1]), c.cap);
  }
}

TEST_F(QualityCli, AdvisePrintsTheAdviceAndCreateAppliesIt) {
  MakePictures(30);
  const std::string inputs = "--main " + P("main.bmp") + " --library " + P("lib") + " --cells 16x16";
  const CliRun advice = Cmd("advise " + inputs);
  ASSERT_EQ(advice.status, 0) << advice.err;
  EXPECT_NE(
      advice.out.find("Advice for 30 library photos, 16 x 16 cells of 32 x 32 pixels and a 120 x 90 main"),
      std::string::npos)
      << advice.out;
  // Radius 4 would forbid 80 photos where there are 30; the 4:3 picture wants
  // 12 rows; 30 photos are too many against 192 cells to place them all first.
  EXPECT_NE(advice.out.find("! Repeat radius 1 leaves at least 22 of the 30 photos for every cell;"),
            std::string::npos)
      << advice.out;
  EXPECT_NE(advice.out.find("! 12 cells down keep the main picture's shape"), std::string::npos);
  EXPECT_NE(advice.out.find("Suggested settings: radius 1, use all photos off, 16 x 12 cells, repeat cap 16 "
                            "kept by the solver, detail matching, colour transfer at 100 % with overlay 115\n"),
            std::string::npos)
      << advice.out;
  EXPECT_EQ(advice.err, "");

  const CliRun followed = Cmd("advise " + inputs +
                              " --radius 1 --cells 16x12 --no-use-all --max-uses 16 --detail --recolor transfer "
                              "--enhance 100 --alpha-main 115");
  EXPECT_NE(followed.out.find("The settings given follow it."), std::string::npos) << followed.out;

  const CliRun made =
      Cmd("create " + inputs + " --advice --seed 5 --quiet --out " + P("a.bmp") + " --project " + P("a.vm6"));
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_NE(made.err.find("Mosaic of 512 x 384 pixels"), std::string::npos) << made.err;
  const CliRun plain = Cmd("create " + inputs + " --no-advice --seed 5 --quiet --out " + P("b.bmp"));
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_LT(Figure(made.err, "Mean colour error per cell:"),
            Figure(plain.err, "Mean colour error per cell:"));
  EXPECT_NE(Cmd("advise --library " + P("lib")).status, 0);  // no main picture
}

TEST_F(QualityCli, TilesOfSeveralSizesAreSavedReopenedAndMeasured) {
  MakePictures(12);
  // A main picture with a flat left half, where tiles merge.
  TBitmap32 main(120, 90);
  for (int y = 0; y < 90; ++y)
    for (int x = 0; x < 120; ++x)
      main.Pixel(x, y) = x < 60 ? Color32(70, 110, 160) : Color32(uint8_t(x * 2), uint8_t((x * y) % 200), 128);
  ASSERT_TRUE(WriteBmpFile(main, P("calm.bmp")).ok());
  const std::string common = "create --main " + P("calm.bmp") + " --library " + P("lib") +
                             " --cells 12x8 --cell-size 16x16 --seed 5 --quiet --sizes 1,2,4";
  const CliRun made = Cmd(common + " --out " + P("t.bmp") + " --project " + P("t.vm6"));
  ASSERT_EQ(made.status, 0) << made.err;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(made.err, m, std::regex("([0-9]+) tiles on 96 cells"))) << made.err;
  EXPECT_LT(std::stoi(m[1]), 96);
  const CliRun single = Cmd(common + " --sizes 1 --out " + P("s.bmp"));
  EXPECT_NE(single.err.find("96 tiles on 96 cells"), std::string::npos) << single.err;

  const CliRun r = Cmd("render --quiet " + P("t.vm6") + " --out " + P("r.bmp"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.err.find("Warning") == std::string::npos) << r.err;
  EXPECT_EQ(ReadWholeFile(P("r.bmp")), ReadWholeFile(P("t.bmp")));
  const CliRun q = Cmd("quality " + P("t.vm6") + " --quiet");
  ASSERT_EQ(q.status, 0) << q.err;
  EXPECT_GT(Figure(q.out, "4 x 4 samples per cell: mean"), 0);

  // Refused: the bead layouts, sides the program does not make, a calm out of range.
  for (const char* bad : {" --stitch brick", " --sizes 2,4", " --sizes 1,3", " --calm 0", " --calm x"}) {
    const CliRun refused = Cmd(common + bad + " --out " + P("x.bmp"));
    EXPECT_EQ(refused.status, 1) << bad;
    EXPECT_NE(refused.err.find("--"), std::string::npos) << bad << ": " << refused.err;
    EXPECT_FALSE(fs::exists(P("x.bmp"))) << bad;
  }
}

TEST_F(QualityCli, TilesThatKeepThePhotoAreSavedReopenedAndRefusedWhereTheyCannotWork) {
  MakePictures(4);  // the main picture
  fs::create_directories(P("mixed"));
  for (int i = 0; i < 18; ++i) {
    const int w = i % 3 == 0 ? 64 : 36, h = i % 3 == 1 ? 64 : 36;
    TBitmap32 b(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)  // square photos far from the main picture's colours
        b.Pixel(x, y) = i % 3 == 2 ? Color32(0, 255, 0) : Color32(uint8_t(i * 14), uint8_t(x * 3), uint8_t(200 - y * 2));
    ASSERT_TRUE(WriteBmpFile(b, P("mixed/m" + std::to_string(100 + i) + ".bmp")).ok());
  }
  const std::string common = "create --main " + P("main.bmp") + " --library " + P("mixed") +
                             " --cells 12x9 --cell-size 16x16 --seed 5 --quiet --no-advice";
  const CliRun made = Cmd(common + " --keep-aspect --threads 1 --out " + P("k.bmp") + " --project " + P("k.vm6"));
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_GT(Figure(made.err, "photo area shown:"), 85) << made.err;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(made.err, m, std::regex("([0-9]+) tiles on 108 cells"))) << made.err;
  EXPECT_LT(std::stoi(m[1]), 108) << made.err;
  const CliRun two = Cmd(common + " --keep-aspect --threads 2 --out " + P("k2.bmp"));
  ASSERT_EQ(two.status, 0) << two.err;
  EXPECT_EQ(ReadWholeFile(P("k2.bmp")), ReadWholeFile(P("k.bmp")));
  const CliRun r = Cmd("render --quiet " + P("k.vm6") + " --out " + P("r.bmp"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadWholeFile(P("r.bmp")), ReadWholeFile(P("k.bmp")));

  // --no-keep-aspect measures the usual crop and leaves the picture as it was.
  const CliRun plain = Cmd(common + " --out " + P("p.bmp"));
  const CliRun measured = Cmd(common + " --no-keep-aspect --out " + P("n.bmp"));
  ASSERT_EQ(plain.status, 0) << plain.err;
  ASSERT_EQ(measured.status, 0) << measured.err;
  EXPECT_EQ(ReadWholeFile(P("p.bmp")), ReadWholeFile(P("n.bmp")));
  EXPECT_LT(Figure(measured.err, "photo area shown:"), Figure(made.err, "photo area shown:"));

  for (const char* bad : {" --stitch brick", " --mode self", " --use-all", " --max-uses 3"}) {
    const CliRun refused = Cmd(common + " --keep-aspect" + bad + " --out " + P("x.bmp"));
    EXPECT_EQ(refused.status, 1) << bad;
    EXPECT_NE(refused.err.find("--keep-aspect"), std::string::npos) << bad << ": " << refused.err;
    EXPECT_FALSE(fs::exists(P("x.bmp"))) << bad;
  }
}

}  // namespace
}  // namespace velmora
