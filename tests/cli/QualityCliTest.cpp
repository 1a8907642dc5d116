// velmora-cli quality, advise and create --advice, driven as a user runs them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "imaging/Bitmap32.h"
#include "imaging/formats/BmpCodec.h"
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

  // `n` flat pictures of colours spread over the main picture's range, and a
  // 4:3 main picture of soft stripes.
  void MakePictures(int n) {
    fs::create_directories(dir_ / "lib");
    for (int i = 0; i < n; ++i) {
      TBitmap32 b(24, 18);
      b.Fill(Color32(uint8_t(i * 255 / n), uint8_t(60 + i * 37 % 120), 128));
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
  // 2 % of 108 cells, rounded up: three lines of column, row and errors.
  const auto listed = std::count(q.out.begin(), q.out.end(), '\n');
  EXPECT_EQ(listed, 3 + 1 + 3) << q.out;

  EXPECT_NE(Cmd("quality").status, 0);
  const CliRun missing = Cmd("quality " + P("none.vm6"));
  EXPECT_NE(missing.status, 0);
  EXPECT_NE(missing.err.find("none.vm6"), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace velmora
