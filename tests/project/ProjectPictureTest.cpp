// The picture of a reopened project handed out in bands, as the commands take
// it, is the whole one the desktop shows; a log that does not fit the mosaic
// is left out with a warning, and so is one on a poster too large to hold;
// the pen's canvas with nothing on it yet reopens as that canvas.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "project/ProjectExtras.h"
#include "project/ProjectFile.h"
#include "project/ProjectPicture.h"
#include "support/HandEditSupport.h"
#include "support/OverLimitProject.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

// The rows `sink` is handed, one after another.
Engine::BandSink Collect(std::vector<TColor32>& pixels) {
  return [&](const TBitmap32& band, int rows) {
    pixels.insert(pixels.end(), band.ScanLine(0), band.ScanLine(0) + size_t(band.Width()) * rows);
    return Status::Ok();
  };
}

TEST(ProjectPicture, BandsAreTheRowsOfTheWholePictureAndALogThatDoesNotFitIsLeftOut) {
  testing::ScratchFolder scratch;
  testing::ScratchDir pictures;
  Engine e;
  testing::SetUpSmallMosaic(e, pictures, kStitchBrick);
  ASSERT_TRUE(e.CreateMosaic().ok());
  EditHistory history;
  PenLog log;
  RandomGenerator rng;
  rng.SetSeed(4);
  for (int kind : {testing::kPenStroke, testing::kEditOne, testing::kPenStroke, testing::kRepick})
    testing::RandomHandEdit(e, history, &log, rng, kind);
  ASSERT_EQ(log.Strokes.size(), 2u);
  ASSERT_TRUE(log.AnyRedrawn());

  PenLog misfit = log;
  misfit.Strokes[1].Right = e.Project.FinalWidth;
  for (const bool fits : {true, false}) {
    SCOPED_TRACE(fits);
    const std::string path = scratch / "p.vm6";
    ASSERT_TRUE(SaveProjectFile(e, path, ProjectExtrasBlocks(e.Matching, fits ? log : misfit)).ok());
    Engine whole, banded, plain;
    ProjectExtras wholeExtras, bandedExtras;
    for (auto [engine, extras] : {std::pair{&whole, &wholeExtras}, std::pair{&banded, &bandedExtras}}) {
      ExtensionArea area;
      ASSERT_TRUE(LoadProjectFile(*engine, path, &area).ok());
      *extras = ReadProjectExtras(area, path);
    }
    ASSERT_TRUE(ReopenProjectPicture(whole, wholeExtras.Strokes, path, wholeExtras.Warnings).ok());
    std::vector<TColor32> bands;
    ASSERT_TRUE(ReopenProjectPictureInBands(banded, bandedExtras.Strokes, path, bandedExtras.Warnings, 7,
                                            Collect(bands))
                    .ok());
    EXPECT_TRUE(std::equal(bands.begin(), bands.end(), whole.MosaicBitmap.Pixels().begin(),
                           whole.MosaicBitmap.Pixels().end()));
    EXPECT_EQ(wholeExtras.Warnings, bandedExtras.Warnings);
    if (fits) {
      EXPECT_TRUE(testing::SamePixels(whole.MosaicBitmap, e.MosaicBitmap));
      EXPECT_TRUE(wholeExtras.Warnings.empty());
      EXPECT_EQ(wholeExtras.Strokes, log);
    } else {
      // The mosaic as its cell map renders it, and nothing left to save again.
      ASSERT_TRUE(LoadProjectFile(plain, path).ok() && plain.ReopenProject().ok());
      EXPECT_TRUE(testing::SamePixels(whole.MosaicBitmap, plain.MosaicBitmap));
      EXPECT_EQ(wholeExtras.Warnings,
                std::vector<std::string>{
                    path + ": pen stroke 2 does not fit this mosaic; the pen strokes were left out."});
      EXPECT_EQ(wholeExtras.Strokes, PenLog{});
    }
  }
}

TEST(ProjectPicture, TheCanvasOfMosaicPenModeReopensAsTheCanvas) {
  testing::ScratchFolder scratch;
  testing::ScratchDir pictures;
  Engine e;
  testing::SetUpSmallMosaic(e, pictures, kStitchLoom);
  ASSERT_TRUE(e.StartPenMode().ok());
  const std::string path = scratch / "canvas.vm6";
  ASSERT_TRUE(SaveProjectFile(e, path, ProjectExtrasBlocks(e.Matching, PenLog{true, {}})).ok());
  Engine reopened;
  ExtensionArea area;
  ASSERT_TRUE(LoadProjectFile(reopened, path, &area).ok());
  ProjectExtras extras = ReadProjectExtras(area, path);
  ASSERT_TRUE(ReopenProjectPicture(reopened, extras.Strokes, path, extras.Warnings).ok());
  EXPECT_TRUE(testing::SamePixels(reopened.MosaicBitmap, e.MosaicBitmap));
}

TEST(ProjectPicture, APosterTooLargeToHoldIsRenderedInBandsWithoutItsLog) {
  testing::ScratchFolder scratch;
  const std::string path = scratch / "poster.vm6";
  testing::WriteOverLimitProject(path);
  Engine engine;
  ASSERT_TRUE(LoadProjectFile(engine, path).ok());
  PenLog log{false, {{0, 0, 100, 100, -1, 0, 255, 0}}};
  std::vector<std::string> warnings;
  int rows = 0;
  const Status drawn =
      ReopenProjectPictureInBands(engine, log, path, warnings, 4096, [&](const TBitmap32&, int n) {
        rows += n;
        return Status::Ok();
      });
  ASSERT_TRUE(drawn.ok()) << drawn.message();
  EXPECT_EQ(rows, testing::kOverLimitHeight);
  EXPECT_TRUE(engine.MosaicBitmap.Empty());  // never held whole
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].rfind(path + ": the mosaic is too large to be held whole", 0), 0u) << warnings[0];
  EXPECT_FALSE(log.Replays());
}

}  // namespace
}  // namespace velmora
