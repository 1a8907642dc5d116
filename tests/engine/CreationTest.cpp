// The creation sequences end to end: the empty-library refusal, a small
// mosaic checked cell by cell against its map, seeded reproducibility
// whatever the thread count, and the rebuild of a stored project.
#include <gtest/gtest.h>

#include <filesystem>

#include "EngineTestSupport.h"
#include "engine/CellLayout.h"

namespace velmora {
namespace {

using testing::SetGrid;
using testing::Uniform;

TEST(CreateMosaic, EmptyLibraryInStandardRenderIsRefusedAndChangesNothing) {
  Engine e;
  SetGrid(e, 8, 8, 8, 8);
  e.MainBitmap = Uniform(16, 16, Color32(9, 9, 9));
  e.Map.At(0, 0).Assigned = true;
  testing::JobRecorder job;
  e.SetListener(&job);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const Status st = attempt == 0 ? e.CreateMosaic() : e.StartPenMode();
    EXPECT_EQ(st.message(), "You do not have enough images in your Image Lib, please load more");
  }
  EXPECT_TRUE(job.texts.empty());
  EXPECT_TRUE(e.GridBitmap.Empty());
  EXPECT_TRUE(e.Map.At(0, 0).Assigned);
  EXPECT_EQ(e.MosaicState, 0);

  e.Project.RenderMode = kRenderSelf;  // a self mosaic needs no library
  ASSERT_TRUE(e.CreateMosaic().ok());
  EXPECT_EQ(e.MosaicState, 2);
  EXPECT_EQ(e.MosaicBitmap.Width(), 64);
}

TEST(CreateMosaic, SmallMosaicFromFixturePicturesMatchesItsMap) {
  testing::ScratchDir dir;
  Engine e;
  SetGrid(e, 8, 6, 12, 10);
  // A main picture of four flat quadrants, each covering whole cells.
  const TColor32 quads[4] = {Color32(200, 30, 30), Color32(30, 200, 30), Color32(30, 30, 200),
                             Color32(220, 220, 40)};
  e.MainBitmap = Uniform(64, 48, quads[0]);
  e.MainBitmap.FillRect(TRect{32, 0, 64, 24}, quads[1]);
  e.MainBitmap.FillRect(TRect{0, 24, 32, 48}, quads[2]);
  e.MainBitmap.FillRect(TRect{32, 24, 64, 48}, quads[3]);
  const TColor32 pictures[6] = {Color32(180, 40, 50),  Color32(50, 170, 40), Color32(40, 60, 190),
                                Color32(210, 200, 60), Color32(0, 0, 0),     Color32(255, 255, 255)};
  for (int k = 0; k < 6; ++k) {
    testing::WriteBmp24(dir.File(std::to_string(k) + ".bmp"), Uniform(24, 30, pictures[k]));
    e.PicList.Append(dir.File(std::to_string(k) + ".bmp"));
  }
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
  for (int k = 0; k < 6; ++k) EXPECT_GE(e.Library[k].UseCount, 1);  // every picture shown
  for (const CellPos c : {CellPos{0, 0}, CellPos{7, 0}, CellPos{2, 4}, CellPos{6, 5}, CellPos{3, 2}}) {
    const CellMapEntry& m = e.Map.At(c.X, c.Y);
    ASSERT_TRUE(m.Assigned);
    const TColor32 pic = pictures[m.PicIndex];
    const TColor32 main = quads[(c.X >= 4) + 2 * (c.Y >= 3)];
    const TColor32 got = e.MosaicBitmap.Pixel(c.X * 12 + 6, c.Y * 10 + 5);
    auto expect = [&](int picture, int delta, int mainValue) {
      const int tinted = ClampByte(picture + TintOffset(delta, 50));
      return ((mainValue * 51 + 128) >> 8) + ((tinted * 204 + 128) >> 8);  // the overlay at AlphaMain 51
    };
    EXPECT_EQ(RedOf(got), expect(RedOf(pic), m.DeltaRed, RedOf(main))) << c.X << "," << c.Y;
    EXPECT_EQ(GreenOf(got), expect(GreenOf(pic), m.DeltaGreen, GreenOf(main)));
    EXPECT_EQ(BlueOf(got), expect(BlueOf(pic), m.DeltaBlue, BlueOf(main)));
  }
}

TEST(CreateMosaic, SameSeedSamePictureAndAStoredProjectRendersTheSame) {
  std::vector<std::string> photos;
  for (const auto& entry : std::filesystem::directory_iterator(VELMORA_SAMPLE_IMAGES))
    if (entry.path().extension() == ".jpg") photos.push_back(entry.path().string());
  std::sort(photos.begin(), photos.end());
  photos.resize(20);
  auto create = [&](Engine& e, int threads, uint32_t seed) {
    SetGrid(e, 12, 9, 16, 16);
    e.Project.StitchMode = kStitchBrick;
    e.SetThreadCount(threads);
    ASSERT_TRUE(LoadPictureFile(e.MainBitmap, photos[3]).ok());
    e.PicList.Assign(photos);
    e.Rng.SetSeed(seed);
    ASSERT_TRUE(e.CreateMosaic().ok());
  };
  auto same = [](const Engine& a, const Engine& b) {
    return std::equal(a.MosaicBitmap.Pixels().begin(), a.MosaicBitmap.Pixels().end(),
                      b.MosaicBitmap.Pixels().begin());
  };
  Engine a;
  Engine b;
  Engine other;
  create(a, 1, 99);
  create(b, 2, 99);
  create(other, 2, 100);
  EXPECT_TRUE(same(a, b));
  EXPECT_FALSE(same(a, other));

  // What a project file keeps: the record, the main picture, the list, the tables.
  Engine reopened;
  reopened.Project = a.Project;
  reopened.MainBitmap = a.MainBitmap;
  reopened.PicList = a.PicList;
  reopened.Library = a.Library;
  reopened.Map = a.Map;
  ASSERT_TRUE(reopened.ReopenProject().ok());
  EXPECT_TRUE(same(a, reopened));
  EXPECT_EQ(reopened.MosaicState, 2);
}

TEST(StartPenMode, AssignsTheMapAndShowsTheMainPicture) {
  Engine e;
  SetGrid(e, 4, 4, 8, 8);
  e.Project.RenderMode = kRenderSelf;
  e.MainBitmap = Uniform(16, 16, Color32(40, 80, 120));
  ASSERT_TRUE(e.StartPenMode().ok());
  EXPECT_EQ(e.MosaicState, 2);
  EXPECT_TRUE(e.Map.At(3, 3).Assigned);
  EXPECT_EQ(e.MosaicBitmap.Pixel(31, 31) & 0xFFFFFFu, Color32(40, 80, 120) & 0xFFFFFFu);
}

}  // namespace
}  // namespace velmora
