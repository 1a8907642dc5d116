// velmora-cli create --crop-by and faces-kept, driven as a user runs them:
// the centre crop is the default byte for byte, the crop by faces keeps the
// faces of photos whose face is off the middle, and the project keeps the
// choice so that render draws the same mosaic.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>

#include "imaging/formats/BmpCodec.h"
#include "library/SubjectCrop.h"
#include "support/FacePhotos.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using velmora::testing::ReadWholeFile;

struct CliResult {
  int status = -1;
  std::string out, err;
};

class CropByCli : public ::testing::Test {
protected:
  void SetUp() override {
    if (FaceCascadePath().empty()) GTEST_SKIP() << "no face cascade (Debian package opencv-data)";
    fs::create_directories(dir_ / "lib");
    // The portrait near the left or the right edge, in three tints, and a
    // few photos without a face.
    const TBitmap32 left = testing::FaceAtLeft();
    for (int i = 0; i < 6; ++i) {
      TBitmap32 b = left;
      if (i % 2 == 1) FlipPicture(left, b, true, false);
      AdjustChannels(b, b, 30 * (i / 2) - 30, 0, 0);
      ASSERT_TRUE(WriteBmpFile(b, P("lib/f" + std::to_string(i) + ".bmp")).ok());
    }
    for (int i = 0; i < 4; ++i)
      ASSERT_TRUE(WriteBmpFile(testing::Uniform(90, 60, Color32(uint8_t(60 * i), 120, 90)),
                               P("lib/p" + std::to_string(i) + ".bmp"))
                      .ok());
    TBitmap32 main(96, 64);
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 96; ++x) main.Pixel(x, y) = Color32(uint8_t(100 + x), uint8_t(80 + y), 90);
    ASSERT_TRUE(WriteBmpFile(main, P("main.bmp")).ok());
  }
  CliResult Cmd(const std::string& args) {
    const fs::path out = dir_ / "stdout.txt", err = dir_ / "stderr.txt";
    const std::string line = "XDG_CACHE_HOME=" + (dir_ / "cache").string() + " " + std::string(VELMORA_CLI) +
                             " " + args + " >" + out.string() + " 2>" + err.string();
    const int raw = std::system(line.c_str());
    return CliResult{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadWholeFile(out), ReadWholeFile(err)};
  }
  std::string P(const std::string& name) const { return (dir_ / name).string(); }
  // create with `extra`, into NAME.bmp and NAME.vm6.
  CliResult Create(const std::string& name, const std::string& extra) {
    return Cmd("create --main " + P("main.bmp") + " --library " + P("lib") +
               " --cells 8x8 --cell-size 16x16 --seed 3 --quiet --no-advice --out " + P(name + ".bmp") +
               " --project " + P(name + ".vm6") + extra);
  }

  testing::ScratchFolder scratch_;
  fs::path dir_ = scratch_.path();
};

TEST_F(CropByCli, FacesAreKeptAndTheProjectRemembersTheCrop) {
  const CliResult plain = Create("plain", "");
  ASSERT_EQ(plain.status, 0) << plain.err;
  const CliResult centre = Create("centre", " --crop-by centre");
  ASSERT_EQ(centre.status, 0) << centre.err;
  EXPECT_EQ(ReadWholeFile(P("centre.bmp")), ReadWholeFile(P("plain.bmp")));
  EXPECT_EQ(ReadWholeFile(P("centre.vm6")), ReadWholeFile(P("plain.vm6")));

  const CliResult faces = Create("faces", " --crop-by faces");
  ASSERT_EQ(faces.status, 0) << faces.err;
  EXPECT_NE(ReadWholeFile(P("faces.bmp")), ReadWholeFile(P("plain.bmp")));
  const CliResult again = Create("again", " --crop-by faces");  // warm: from the cache
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(ReadWholeFile(P("again.bmp")), ReadWholeFile(P("faces.bmp")));
  const CliResult drawn = Cmd("render --quiet " + P("faces.vm6") + " --out " + P("r.bmp"));
  ASSERT_EQ(drawn.status, 0) << drawn.err;
  EXPECT_EQ(ReadWholeFile(P("r.bmp")), ReadWholeFile(P("faces.bmp")));

  const CliResult kept = Cmd("faces-kept " + P("faces.vm6"));
  ASSERT_EQ(kept.status, 0) << kept.err;
  EXPECT_NE(kept.out.find("crop-by faces"), std::string::npos) << kept.out;
  EXPECT_NE(kept.out.find("(100.0 %)"), std::string::npos) << kept.out;
  const CliResult cut = Cmd("faces-kept " + P("plain.vm6"));
  ASSERT_EQ(cut.status, 0) << cut.err;
  EXPECT_NE(cut.out.find("crop-by centre"), std::string::npos) << cut.out;
  EXPECT_EQ(cut.out.find("(100.0 %)"), std::string::npos) << cut.out;

  const CliResult refused = Create("bad", " --crop-by middle");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("--crop-by must be one of centre, attention, faces"), std::string::npos)
      << refused.err;
}

}  // namespace
}  // namespace velmora
