// Render mosaic and Render cell: the layout rectangles, tint, border, split
// cells, one decode per picture, failures part-way, and pictures that do not
// depend on the thread count or on which of the two renders drew a cell.
#include <gtest/gtest.h>

#include <filesystem>

#include "EngineTestSupport.h"
#include "engine/CellLayout.h"

namespace velmora {
namespace {

using testing::ScratchDir;
using testing::SetGrid;
using testing::Uniform;

struct Fixture {
  ScratchDir dir;
  Engine e;

  Fixture(int cols, int rows, int cw, int ch) {
    SetGrid(e, cols, rows, cw, ch);
    e.MainBitmap = Uniform(cols * 4, rows * 4, Color32(100, 100, 100));
  }
  void AddPicture(const TBitmap32& picture) {
    const std::string path = dir.File(std::to_string(e.PicList.Count()) + ".bmp");
    testing::WriteBmp24(path, picture);
    e.PicList.Append(path);
  }
  void Show(int x, int y, int k, int dRed = 0) {
    e.Map.At(x, y) = CellMapEntry{k, dRed, 0, 0, true, false, false};
  }
};

bool AllPixels(const TBitmap32& b, const TRect& r, TColor32 c) {
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x)
      if ((b.Pixel(x, y) & 0xFFFFFFu) != (c & 0xFFFFFFu)) return false;
  return true;
}

TEST(CellLayout, LoomPeyoteAndBrickRectangles) {
  tmosaicproject p = DefaultProject();
  p.CellWidth = 32;
  p.CellHeight = 32;
  p.BorderSize = 2;
  CellPlacement c = PlaceCellPicture(2, 1, 50, 40, p);
  ASSERT_EQ(c.Count, 1);
  EXPECT_EQ(c.Pieces[0].Target, (TRect{64, 32, 94, 62}));
  EXPECT_EQ(c.Pieces[0].Source, (TRect{0, 0, 50, 40}));

  p.StitchMode = kStitchPeyote;
  p.CellsAcross = 10;
  p.BorderSize = 0;
  EXPECT_EQ(PlaceCellPicture(3, 1, 50, 40, p).Pieces[0].Target, (TRect{80, 32, 112, 64}));
  EXPECT_EQ(PlaceCellPicture(3, 2, 50, 40, p).Pieces[0].Target, (TRect{96, 64, 128, 96}));  // even rows stay
  c = PlaceCellPicture(0, 1, 51, 40, p);
  ASSERT_EQ(c.Count, 2);
  EXPECT_EQ(c.Pieces[0].Target, (TRect{0, 32, 16, 64}));  // the picture's right half first
  EXPECT_EQ(c.Pieces[0].Source, (TRect{25, 0, 51, 40}));
  EXPECT_EQ(c.Pieces[1].Target, (TRect{304, 32, 320, 64}));
  EXPECT_EQ(c.Pieces[1].Source, (TRect{0, 0, 26, 40}));
  p.BorderSize = 3;  // the right-hand piece leaves b div 2
  EXPECT_EQ(PlaceCellPicture(0, 1, 51, 40, p).Pieces[1].Target, (TRect{304, 32, 319, 61}));

  p.StitchMode = kStitchBrick;
  p.BorderSize = 0;
  p.CellHeight = 31;
  p.CellsDown = 4;
  EXPECT_EQ(PlaceCellPicture(1, 2, 50, 40, p).Pieces[0].Target, (TRect{32, 47, 64, 78}));
  c = PlaceCellPicture(1, 0, 50, 41, p);
  ASSERT_EQ(c.Count, 2);
  EXPECT_EQ(c.Pieces[0].Target, (TRect{32, 0, 64, 16}));
  EXPECT_EQ(c.Pieces[0].Source, (TRect{0, 20, 50, 41}));
  EXPECT_EQ(c.Pieces[1].Target, (TRect{32, 109, 64, 124}));
  EXPECT_EQ(c.Pieces[1].Source, (TRect{0, 0, 50, 21}));

  // The overlay always takes the unshifted cell area of the main picture.
  EXPECT_EQ(MainCellRect(3, 1, 1000, 300, 10, 4), (TRect{300, 75, 400, 150}));
  EXPECT_EQ(TintOffset(40, 50), -20);
  EXPECT_EQ(TintOffset(-7, 50), 3);
}

TEST(RenderMosaic, TintBorderAndJobReport) {
  Fixture f(3, 2, 32, 32);
  f.e.Project.AlphaMain = 0;
  f.e.Project.BorderSize = 2;
  f.e.Project.BorderColor = 0x00FF0000;  // blue, as 0x00BBGGRR
  f.AddPicture(Uniform(40, 40, Color32(100, 100, 100)));
  for (int x = 0; x < 3; ++x)
    for (int y = 0; y < 2; ++y) f.Show(x, y, 0);
  f.Show(0, 0, 0, 40);
  f.Show(1, 0, 0, -7);
  testing::JobRecorder job;
  f.e.SetListener(&job);
  ASSERT_TRUE(f.e.RenderMosaic().ok());
  ASSERT_EQ(f.e.MosaicBitmap.Width(), 96);
  ASSERT_EQ(f.e.MosaicBitmap.Height(), 64);
  EXPECT_TRUE(AllPixels(f.e.MosaicBitmap, TRect{0, 0, 30, 30}, Color32(80, 100, 100)));
  EXPECT_TRUE(AllPixels(f.e.MosaicBitmap, TRect{32, 0, 62, 30}, Color32(103, 100, 100)));
  EXPECT_TRUE(AllPixels(f.e.MosaicBitmap, TRect{64, 32, 94, 62}, Color32(100, 100, 100)));
  for (int i = 0; i < 96; ++i)
    for (int j : {30, 31, 62, 63}) {
      ASSERT_EQ(f.e.MosaicBitmap.Pixel(i, j) & 0xFFFFFFu, 0x0000FFu) << i << "," << j;
      if (i < 64) {
        ASSERT_EQ(f.e.MosaicBitmap.Pixel(j, i) & 0xFFFFFFu, 0x0000FFu) << j << "," << i;
      }
    }
  EXPECT_EQ(f.e.MosaicState, 2);
  EXPECT_EQ(job.texts, (std::vector<std::string>{"Current Job : OutPut Final Mosaic Picture",
                                                 "Current Job : Mosaic Created"}));
  EXPECT_EQ(job.progress, (std::vector<int>{0, 16, 33, 50, 66, 83, 100, 0}));
  EXPECT_EQ(job.events, 6);
}

TEST(RenderMosaic, PeyoteSplitCellShowsBothHalvesAtTheEdges) {
  Fixture f(4, 2, 16, 8);
  f.e.Project.StitchMode = kStitchPeyote;
  f.e.Project.CropCell = false;
  f.e.Project.AlphaMain = 0;
  TBitmap32 halves = Uniform(32, 16, Color32(0, 255, 0));
  halves.FillRect(TRect{0, 0, 16, 16}, Color32(255, 0, 0));
  f.AddPicture(halves);
  for (int x = 0; x < 4; ++x) f.Show(x, 1, 0);
  ASSERT_TRUE(f.e.RenderMosaic().ok());
  EXPECT_TRUE(AllPixels(f.e.MosaicBitmap, TRect{0, 8, 8, 16}, Color32(0, 255, 0)));
  EXPECT_TRUE(AllPixels(f.e.MosaicBitmap, TRect{56, 8, 64, 16}, Color32(255, 0, 0)));
  EXPECT_TRUE(AllPixels(f.e.MosaicBitmap, TRect{0, 0, 64, 8}, Color32(0, 0, 0)));  // row 0 unassigned
}

TEST(RenderMosaic, DecodesEachPictureOnce) {
  for (int threads : {1, 2}) {
    Fixture f(40, 25, 8, 8);
    f.e.SetThreadCount(threads);
    for (int k = 0; k < 10; ++k) f.AddPicture(Uniform(20, 20, Color32(static_cast<uint8_t>(k * 20), 50, 90)));
    for (int x = 0; x < 40; ++x)
      for (int y = 0; y < 25; ++y) f.Show(x, y, (x * 7 + y * 3) % 10);
    testing::ReadCounter counter;
    f.e.SetPictureLoader(counter.Loader());
    ASSERT_TRUE(f.e.RenderMosaic().ok());
    ASSERT_EQ(counter.reads.size(), 10u);
    for (const auto& [path, n] : counter.reads) EXPECT_EQ(n, 1) << path;
  }
}

TEST(RenderMosaic, FailingPictureKeepsTheCellsDrawnBeforeIt) {
  std::vector<uint32_t> first;
  for (int threads : {1, 2}) {
    Fixture f(6, 3, 8, 8);
    f.e.SetThreadCount(threads);
    f.e.Project.AlphaMain = 0;
    for (int k = 0; k < 3; ++k)
      f.AddPicture(Uniform(16, 16, Color32(static_cast<uint8_t>(60 * k + 50), 0, 0)));
    std::filesystem::remove(f.e.PicList[1]);
    for (int x = 0; x < 6; ++x)
      for (int y = 0; y < 3; ++y) f.Show(x, y, (x + y) % 3);  // first used in the order 0, 1, 2
    f.e.MosaicState = 1;
    const Status st = f.e.RenderMosaic();
    TBitmap32 probe;
    EXPECT_EQ(st.message(), LoadPictureFile(probe, f.e.PicList[1]).message());
    EXPECT_EQ(f.e.MosaicState, 1);
    for (int x = 0; x < 6; ++x)
      for (int y = 0; y < 3; ++y) EXPECT_EQ(f.e.Drawn.Get(x, y), (x + y) % 3 == 0);
    EXPECT_TRUE(AllPixels(f.e.MosaicBitmap, TRect{0, 0, 8, 8}, Color32(50, 0, 0)));
    EXPECT_TRUE(AllPixels(f.e.MosaicBitmap, TRect{16, 0, 24, 8}, Color32(0, 0, 0)));  // picture 2 not drawn
    const auto px = f.e.MosaicBitmap.Pixels();
    if (first.empty()) first.assign(px.begin(), px.end());
    EXPECT_TRUE(std::equal(px.begin(), px.end(), first.begin()));
  }
  Fixture f(2, 2, 8, 8);
  f.AddPicture(Uniform(8, 8, Color32(1, 2, 3)));
  f.Show(1, 1, 4);
  EXPECT_FALSE(f.e.RenderMosaic().ok());  // a map entry no list position holds
}

// Real photos, every layout option at once: the same pixels from 1, 2 or 3
// threads, and from Render cell after a cell has been wiped.
TEST(RenderMosaic, SamePictureWhateverTheThreadCountOrTheRender) {
  std::vector<std::string> photos;
  for (const auto& entry : std::filesystem::directory_iterator(VELMORA_SAMPLE_IMAGES))
    if (entry.path().extension() == ".jpg") photos.push_back(entry.path().string());
  std::sort(photos.begin(), photos.end());
  photos.resize(12);
  std::vector<uint32_t> first;
  for (int mode : {kRenderStandard, kRenderSelf})
    for (int threads : {1, 2, 3}) {
      Engine e;
      SetGrid(e, 9, 7, 20, 14);
      e.SetThreadCount(threads);
      e.Project.RenderMode = mode;
      e.Project.StitchMode = kStitchPeyote;
      e.Project.BorderSize = 1;
      e.Project.MonoCell = threads == 3;
      ASSERT_TRUE(LoadPictureFile(e.MainBitmap, photos[0]).ok());
      e.PicList.Assign(photos);
      for (int x = 0; x < 9; ++x)
        for (int y = 0; y < 7; ++y)
          e.Map.At(x, y) =
              CellMapEntry{(x * 5 + y) % 12, x * 9 - 40, y * 7 - 20, 15, true, x % 2 == 1, y % 3 == 0};
      ASSERT_TRUE(e.RenderMosaic().ok());
      const auto px = e.MosaicBitmap.Pixels();
      if (threads == 1) first.assign(px.begin(), px.end());
      if (threads == 2) {
        EXPECT_TRUE(std::equal(px.begin(), px.end(), first.begin())) << mode;
      }
      const std::vector<uint32_t> rendered(px.begin(), px.end());
      for (const CellPos c : {CellPos{0, 1}, CellPos{4, 3}, CellPos{8, 6}}) {
        const CellPlacement place = PlaceCellPicture(c.X, c.Y, 1, 1, e.Project);
        for (int i = 0; i < place.Count; ++i)
          e.MosaicBitmap.FillRect(place.Pieces[i].Target, Color32(0, 0, 0));
        ASSERT_TRUE(e.RenderCell(c.X, c.Y).ok());
      }
      EXPECT_TRUE(std::equal(px.begin(), px.end(), rendered.begin())) << mode << " " << threads;
    }
}

TEST(RenderMosaic, SelfMosaicShowsTheWholeMainPictureInEveryCell) {
  Fixture f(8, 4, 16, 16);
  f.e.Project.RenderMode = kRenderSelf;
  f.e.Project.CropCell = false;
  f.e.Project.ColorEnhance = 0;
  f.e.Project.AlphaMain = 0;
  f.e.Project.AllowHFlip = false;
  f.e.MainBitmap = Uniform(64, 32, Color32(255, 255, 255));
  f.e.MainBitmap.FillRect(TRect{0, 0, 32, 32}, Color32(0, 0, 0));
  f.e.MakeGrid();
  f.e.AssignCells();
  ASSERT_TRUE(f.e.RenderMosaic().ok());
  for (int x = 0; x < 8; ++x) {
    EXPECT_LT(RedOf(f.e.MosaicBitmap.Pixel(x * 16 + 2, 40)), 30) << x;
    EXPECT_GT(RedOf(f.e.MosaicBitmap.Pixel(x * 16 + 13, 40)), 225) << x;
  }
}

}  // namespace
}  // namespace velmora
