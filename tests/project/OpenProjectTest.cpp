// Reopening a saved project rebuilds the very mosaic that was saved, from the
// stored map, without preparing the library or assigning cells again.
#include <gtest/gtest.h>

#include "imaging/formats/BmpCodec.h"
#include "support/ScratchFolder.h"
#include "project/ProjectFile.h"

namespace velmora {
namespace {

using testing::ScratchFolder;

void MakeMosaic(Engine& engine, const ScratchFolder& dir, int renderMode, int stitchMode) {
  engine.SetThreadCount(1);
  engine.Rng.SetSeed(7);
  engine.Project = DefaultProject();
  engine.Project.CellsAcross = 10;
  engine.Project.CellsDown = 8;
  engine.Project.CellWidth = 8;
  engine.Project.CellHeight = 6;
  engine.Project.RenderMode = renderMode;
  engine.Project.StitchMode = stitchMode;
  ComputeDerivedSizes(engine.Project);
  ASSERT_TRUE(engine.MainBitmap.SetSize(50, 40).ok());
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 50; ++x) engine.MainBitmap.Pixel(x, y) = Color32(uint8_t(x * 5), uint8_t(y * 6), 90);

  const TColor32 colours[] = {Color32(250, 10, 10), Color32(10, 250, 10), Color32(10, 10, 250),
                              Color32(128, 128, 0)};
  std::vector<std::string> names;
  for (int k = 0; k < 4; ++k) {
    TBitmap32 picture(12, 9);
    picture.Fill(colours[k]);
    picture.Pixel(0, 0) = Color32(255, 255, 255);  // so a mirrored cell differs
    names.push_back(dir / ("lib" + std::to_string(k) + ".bmp"));
    ASSERT_TRUE(WriteBmpFile(picture, names.back()).ok());
  }
  engine.PicList.Assign(names);
  const Status created = engine.CreateMosaic();
  ASSERT_TRUE(created.ok()) << created.message();
}

class OpenProjectLayouts : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(OpenProjectLayouts, ReopenedMosaicIsTheSavedOne) {
  ScratchFolder dir;
  Engine original;
  MakeMosaic(original, dir, GetParam().first, GetParam().second);
  ASSERT_FALSE(original.MosaicBitmap.Empty());
  ASSERT_TRUE(SaveProjectFile(original, dir / "p.vm6").ok());

  Engine reopened;
  reopened.SetThreadCount(1);
  const Status status = OpenProject(reopened, dir / "p.vm6");
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_EQ(reopened.Project.MainImageFile, "");
  ASSERT_EQ(reopened.MosaicBitmap.Width(), 80);
  ASSERT_EQ(reopened.MosaicBitmap.Height(), 48);
  EXPECT_TRUE(std::equal(reopened.MosaicBitmap.Pixels().begin(), reopened.MosaicBitmap.Pixels().end(),
                         original.MosaicBitmap.Pixels().begin()));
  EXPECT_EQ(reopened.MosaicState, original.MosaicState);
}

INSTANTIATE_TEST_SUITE_P(ProjectFile, OpenProjectLayouts,
                         ::testing::Values(std::pair{kRenderStandard, kStitchLoom},
                                           std::pair{kRenderStandard, kStitchPeyote},
                                           std::pair{kRenderStandard, kStitchBrick},
                                           std::pair{kRenderSelf, kStitchLoom}));

}  // namespace
}  // namespace velmora
