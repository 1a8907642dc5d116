// The creation sequences end to end: the empty-library refusal, a small
// mosaic checked cell by cell against its map, seeded reproducibility
// whatever the thread count, and the rebuild of a stored project.
#include <gtest/gtest.h>

#include "support/EngineTestSupport.h"
#include "engine/CellLayout.h"

namespace velmora {
namespace {

using testing::Uniform;

TEST(CreateMosaic, EmptyLibraryIsRefusedInStandardRenderOnly) {
  Engine e;
  testing::SetGrid(e, 8, 8, 8, 8);
  e.MainBitmap = Uniform(16, 16, Color32(9, 9, 9));
  e.Map.At(0, 0).Assigned = true;
  testing::JobRecorder job;
  e.SetListener(&job);
  const char* refusal = "You do not have enough images in your Image Lib, please load more";
  EXPECT_EQ(e.CreateMosaic().message(), refusal);
  EXPECT_EQ(e.StartPenMode().message(), refusal);
  EXPECT_TRUE(job.texts.empty() && e.GridBitmap.Empty() && e.Map.At(0, 0).Assigned && e.MosaicState == 0);

  e.Project.RenderMode = kRenderSelf;
  ASSERT_TRUE(e.StartPenMode().ok());
  EXPECT_EQ(job.texts.back(), "Current Job : Free Pen Mosaic Ready");
  ASSERT_TRUE(e.CreateMosaic().ok());
  EXPECT_EQ(e.MosaicState, 2);
  EXPECT_EQ(e.MosaicBitmap.Width(), 64);
}

TEST(CreateMosaic, SmallMosaicFromFixturePicturesMatchesItsMap) {
  testing::ScratchDir dir;
  Engine e;
  testing::SetGrid(e, 8, 6, 12, 10);
  // Four flat quadrants, each covering whole cells.
  const TColor32 quads[4] = {Color32(200, 30, 30), Color32(30, 200, 30), Color32(30, 30, 200),
                             Color32(220, 220, 40)};
  e.MainBitmap = Uniform(64, 48, quads[0]);
  e.MainBitmap.FillRect(TRect{32, 0, 64, 24}, quads[1]);
  e.MainBitmap.FillRect(TRect{0, 24, 32, 48}, quads[2]);
  e.MainBitmap.FillRect(TRect{32, 24, 64, 48}, quads[3]);
  const TColor32 pictures[6] = {Color32(180, 40, 50),  Color32(50, 170, 40), Color32(40, 60, 190),
                                Color32(210, 200, 60), Color32(0, 0, 0),     Color32(255, 255, 255)};
  for (TColor32 c : pictures) testing::AddPicture(e, dir, Uniform(24, 30, c));
  e.Rng.SetSeed(2024);
  e.ViewOriginX = 5;
  testing::JobRecorder job;
  e.SetListener(&job);
  ASSERT_TRUE(e.CreateMosaic().ok());
  EXPECT_EQ(job.texts, (std::vector<std::string>{"Current Job : Mosaic Grid", "Current Job : Cell Pic Lib",
                                                 "Current Job : Mosaic Mapping Table",
                                                 "Current Job : OutPut Final Mosaic Picture",
                                                 "Current Job : Mosaic Created"}));
  EXPECT_EQ(e.ViewOriginX, 0);
  ASSERT_EQ(e.MosaicBitmap.Width(), 96);
  ASSERT_EQ(e.MosaicBitmap.Height(), 60);
  for (int c = 0; c < 48; c += 5) {
    const int x = c % 8, y = c / 8;
    const CellMapEntry& m = e.Map.At(x, y);
    ASSERT_TRUE(m.Assigned);
    const TColor32 pic = pictures[m.PicIndex];
    const TColor32 main = quads[(x >= 4) + 2 * (y >= 3)];
    const TColor32 got = e.MosaicBitmap.Pixel(x * 12 + 6, y * 10 + 5);
    // The tinted picture under the main picture at AlphaMain 51.
    auto expect = [](int picture, int delta, int main) {
      return ((main * 51 + 128) >> 8) + ((ClampByte(picture + TintOffset(delta, 50)) * 204 + 128) >> 8);
    };
    EXPECT_EQ(RedOf(got), expect(RedOf(pic), m.DeltaRed, RedOf(main))) << x << "," << y;
    EXPECT_EQ(GreenOf(got), expect(GreenOf(pic), m.DeltaGreen, GreenOf(main)));
    EXPECT_EQ(BlueOf(got), expect(BlueOf(pic), m.DeltaBlue, BlueOf(main)));
  }
}

TEST(CreateMosaic, SameSeedSamePictureAndAStoredProjectRendersTheSame) {
  auto create = [](Engine& e, int threads, uint32_t seed) {
    testing::SetGrid(e, 12, 9, 16, 16);
    e.Project.StitchMode = kStitchBrick;
    e.SetThreadCount(threads);
    const std::vector<std::string> photos = testing::SamplePhotos(20);
    ASSERT_TRUE(LoadPictureFile(e.MainBitmap, photos[3]).ok());
    e.PicList.Assign(photos);
    e.Rng.SetSeed(seed);
    ASSERT_TRUE(e.CreateMosaic().ok());
  };
  Engine a, b, other;
  create(a, 1, 99);
  create(b, 2, 99);
  create(other, 2, 100);
  EXPECT_TRUE(testing::SamePixels(a.MosaicBitmap, b.MosaicBitmap));
  EXPECT_FALSE(testing::SamePixels(a.MosaicBitmap, other.MosaicBitmap));

  // What a project file keeps: the record, the main picture, the list, the tables.
  Engine reopened;
  reopened.Project = a.Project;
  reopened.MainBitmap = a.MainBitmap;
  reopened.PicList = a.PicList;
  reopened.Library = a.Library;
  reopened.Map = a.Map;
  ASSERT_TRUE(reopened.ReopenProject().ok());
  EXPECT_TRUE(testing::SamePixels(a.MosaicBitmap, reopened.MosaicBitmap));
  EXPECT_EQ(reopened.MosaicState, 2);
}

}  // namespace
}  // namespace velmora
