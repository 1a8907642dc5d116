// Render mosaic and Render cell: layout rectangles, tint, border, one decode
// per picture, failures part-way, and pixels that depend neither on the
// thread count nor on which of the two renders drew a cell.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/EngineTestSupport.h"
#include "engine/CellLayout.h"

namespace velmora {
namespace {

using testing::Uniform;

struct Fixture {
  testing::ScratchDir dir;
  Engine e;
  Fixture(int cols, int rows, int cw, int ch) {
    testing::SetGrid(e, cols, rows, cw, ch);
    e.MainBitmap = Uniform(cols * 4, rows * 4, Color32(100, 100, 100));
    e.Project.AlphaMain = 0;
  }
  void Show(int x, int y, int k, int dRed = 0) {
    e.Map.At(x, y) = CellMapEntry{k, dRed, 0, 0, true, false, false};
  }
};

bool AllPixels(const TBitmap32& b, const TRect& r, TColor32 c) {
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x)
      if (((b.Pixel(x, y) ^ c) & 0xFFFFFFu) != 0) return false;
  return true;
}

TEST(CellLayout, LoomPeyoteAndBrickRectangles) {
  tmosaicproject p = DefaultProject();
  p.BorderSize = 2;
  CellPlacement c = PlaceCellPicture(2, 1, 50, 40, p);
  EXPECT_EQ(c.Count, 1);
  EXPECT_EQ(c.Pieces[0].Target, (TRect{64, 32, 94, 62}));
  p.StitchMode = kStitchPeyote;  // cw 32, 10 columns
  p.CellsAcross = 10;
  p.BorderSize = 0;
  EXPECT_EQ(PlaceCellPicture(3, 1, 50, 40, p).Pieces[0].Target, (TRect{80, 32, 112, 64}));
  EXPECT_EQ(PlaceCellPicture(3, 2, 50, 40, p).Pieces[0].Target, (TRect{96, 64, 128, 96}));
  c = PlaceCellPicture(0, 1, 51, 40, p);
  ASSERT_EQ(c.Count, 2);
  EXPECT_EQ(c.Pieces[0].Target, (TRect{0, 32, 16, 64}));  // the right half opens the row
  EXPECT_EQ(c.Pieces[0].Source, (TRect{25, 0, 51, 40}));
  EXPECT_EQ(c.Pieces[1].Target, (TRect{304, 32, 320, 64}));
  EXPECT_EQ(c.Pieces[1].Source, (TRect{0, 0, 26, 40}));
  p.BorderSize = 3;  // b div 2 left at the right edge
  EXPECT_EQ(PlaceCellPicture(0, 1, 51, 40, p).Pieces[1].Target, (TRect{304, 32, 319, 61}));
  p.StitchMode = kStitchBrick;  // ch 31, 4 rows
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
  // The overlay takes the unshifted cell area of the main picture.
  EXPECT_EQ(MainCellRect(3, 1, 1000, 300, 10, 4), (TRect{300, 75, 400, 150}));
  EXPECT_EQ(TintOffset(40, 50), -20);
  EXPECT_EQ(TintOffset(-7, 50), 3);
}

TEST(RenderMosaic, TintBorderSplitCellAndJobReport) {
  Fixture f(3, 2, 32, 32);
  f.e.Project.BorderSize = 2;
  f.e.Project.BorderColor = 0x00FF0000;  // blue, as 0x00BBGGRR
  testing::AddPicture(f.e, f.dir, Uniform(40, 40, Color32(100, 100, 100)));
  for (int c = 0; c < 6; ++c) f.Show(c % 3, c / 3, 0);
  f.Show(0, 0, 0, 40);
  f.Show(1, 0, 0, -7);
  testing::JobRecorder job;
  f.e.SetListener(&job);
  ASSERT_TRUE(f.e.RenderMosaic().ok());
  ASSERT_EQ(f.e.MosaicBitmap.Width(), 96);
  EXPECT_TRUE(AllPixels(f.e.MosaicBitmap, TRect{0, 0, 30, 30}, Color32(80, 100, 100)));
  EXPECT_TRUE(AllPixels(f.e.MosaicBitmap, TRect{32, 0, 62, 30}, Color32(103, 100, 100)));
  EXPECT_TRUE(AllPixels(f.e.MosaicBitmap, TRect{64, 32, 94, 62}, Color32(100, 100, 100)));
  for (int gap : {30, 62, 94}) {
    EXPECT_TRUE(AllPixels(f.e.MosaicBitmap, TRect{gap, 0, gap + 2, 64}, Color32(0, 0, 255))) << gap;
    if (gap < 64) {
      EXPECT_TRUE(AllPixels(f.e.MosaicBitmap, TRect{0, gap, 96, gap + 2}, Color32(0, 0, 255)));
    }
  }
  EXPECT_EQ(f.e.MosaicState, 2);
  EXPECT_EQ(job.texts, (std::vector<std::string>{"Current Job : OutPut Final Mosaic Picture",
                                                 "Current Job : Mosaic Created"}));
  EXPECT_EQ(job.progress, (std::vector<int>{0, 16, 33, 50, 66, 83, 100, 0}));
  EXPECT_EQ(job.events, 6);

  // Peyote: the split cell's halves land at both edges of its row.
  Fixture s(4, 2, 16, 8);
  s.e.Project.StitchMode = kStitchPeyote;
  s.e.Project.CropCell = false;
  TBitmap32 halves = Uniform(32, 16, Color32(0, 255, 0));
  halves.FillRect(TRect{0, 0, 16, 16}, Color32(255, 0, 0));
  testing::AddPicture(s.e, s.dir, halves);
  s.Show(0, 1, 0);
  ASSERT_TRUE(s.e.RenderMosaic().ok());
  EXPECT_TRUE(AllPixels(s.e.MosaicBitmap, TRect{0, 8, 8, 16}, Color32(0, 255, 0)));
  EXPECT_TRUE(AllPixels(s.e.MosaicBitmap, TRect{56, 8, 64, 16}, Color32(255, 0, 0)));
  EXPECT_TRUE(AllPixels(s.e.MosaicBitmap, TRect{8, 0, 56, 16}, Color32(0, 0, 0)));
}

TEST(RenderMosaic, EachPictureDecodedOnceAndFailuresKeepWhatWasDrawn) {
  for (int threads : {1, 2}) {
    Fixture f(40, 25, 8, 8);  // 1,000 cells from 10 pictures
    f.e.SetThreadCount(threads);
    for (int k = 0; k < 10; ++k)
      testing::AddPicture(f.e, f.dir, Uniform(20, 20, Color32(uint8_t(k * 20), 50, 90)));
    for (int c = 0; c < 1000; ++c) f.Show(c % 40, c / 40, c % 7 % 10);
    for (int c = 0; c < 10; ++c) f.Show(c, 24, c);
    testing::ReadCounter counter;
    f.e.SetPictureLoader(counter.Loader());
    ASSERT_TRUE(f.e.RenderMosaic().ok());
    ASSERT_EQ(counter.reads.size(), 10u);
    for (const auto& [path, n] : counter.reads) EXPECT_EQ(n, 1) << path;

    // Picture 1 is unreadable: picture 0's cells (first used before it) stay drawn.
    std::filesystem::remove(f.e.PicList[1]);
    for (int c = 0; c < 18; ++c) f.Show(c % 6, c / 6, (c % 6 + c / 6) % 3);
    testing::SetGrid(f.e, 6, 3, 8, 8);
    f.e.MosaicState = 1;
    TBitmap32 probe;
    EXPECT_EQ(f.e.RenderMosaic().message(), LoadPictureFile(probe, f.e.PicList[1]).message());
    EXPECT_EQ(f.e.MosaicState, 1);
    for (int c = 0; c < 18; ++c) EXPECT_EQ(f.e.Drawn.Get(c % 6, c / 6), (c % 6 + c / 6) % 3 == 0) << c;
    EXPECT_TRUE(AllPixels(f.e.MosaicBitmap, TRect{0, 0, 8, 8}, Color32(0, 50, 90)));
    EXPECT_TRUE(AllPixels(f.e.MosaicBitmap, TRect{16, 0, 24, 8}, Color32(0, 0, 0)));  // picture 2 not drawn
    f.Show(0, 0, 40);  // a map entry beyond the list
    EXPECT_NE(f.e.RenderMosaic().message().find("image list holds 10 pictures"), std::string::npos);
  }
}

// Real photos and every cell option at once: the same pixels from 1, 2 or 3
// threads, and from Render cell over something else drawn in the cell.
TEST(RenderMosaic, SamePixelsWhateverTheThreadCountOrTheRender) {
  const std::vector<std::string> photos = testing::SamplePhotos(12);
  // The draft filter's cells blend (block means of 254): a redrawn cell
  // must blend over the border colour as in the render, not over what the
  // cell showed before.
  for (auto [mode, filter] : {std::pair{kRenderStandard, sfSpline}, std::pair{kRenderSelf, sfSpline},
                              std::pair{kRenderStandard, sfDraft}}) {
    TBitmap32 first;
    for (int threads : {1, 2, 3}) {
      Engine e;
      testing::SetGrid(e, 9, 7, 20, 14);
      e.SetThreadCount(threads);
      e.Project.RenderMode = mode;
      e.Project.ResampleKernel = filter;
      e.Project.CropCell = false;  // pictures of another shape: blocks of 2 x 3
      e.Project.StitchMode = kStitchPeyote;
      e.Project.BorderSize = 1;
      ASSERT_TRUE(LoadPictureFile(e.MainBitmap, photos[0]).ok());
      e.PicList.Assign(photos);
      for (int x = 0; x < 9; ++x)
        for (int y = 0; y < 7; ++y)
          e.Map.At(x, y) =
              CellMapEntry{(x * 5 + y) % 12, x * 9 - 40, y * 7 - 20, 15, true, x % 2 == 1, y % 3 == 0};
      ASSERT_TRUE(e.RenderMosaic().ok());
      if (threads == 1) first = e.MosaicBitmap;
      EXPECT_TRUE(testing::SamePixels(e.MosaicBitmap, first)) << mode << " " << int(filter) << " " << threads;
      for (const CellPos c : {CellPos{0, 1}, CellPos{4, 3}, CellPos{8, 6}}) {
        const CellPlacement place = PlaceCellPicture(c.X, c.Y, 1, 1, e.Project);
        for (int i = 0; i < place.Count; ++i)
          e.MosaicBitmap.FillRect(place.Pieces[i].Target, Color32(250, 20, 200));
        ASSERT_TRUE(e.RenderCell(c.X, c.Y).ok());
      }
      EXPECT_TRUE(testing::SamePixels(e.MosaicBitmap, first)) << mode << " " << int(filter) << " " << threads;
    }
  }
}

// The renderer's pixels pinned on real photos for the three layouts, with a
// border, split cells, the main-picture overlay and several filters: the
// fingerprints are those of the renderer before its kernel tables were kept
// and its sums reordered, which must not change a single pixel.
TEST(RenderMosaic, PixelsPinnedAcrossLayoutsAndFilters) {
  struct Case {
    int stitch;
    int filter;
    uint64_t fingerprint;
  };
  const Case cases[] = {
      {kStitchLoom, sfSpline, 1465671562337961516ull},
      {kStitchPeyote, sfLanczos, 12811945553039821855ull},
      {kStitchBrick, sfLinear, 11749899704831455425ull},
      {kStitchPeyote, sfMitchell, 3207059025195965450ull},
  };
  const std::vector<std::string> photos = testing::SamplePhotos(12);
  for (const Case& c : cases) {
    Engine e;
    testing::SetGrid(e, 11, 9, 24, 18);
    e.Project.StitchMode = c.stitch;
    e.Project.ResampleKernel = static_cast<uint8_t>(c.filter);
    e.Project.BorderSize = 2;
    e.Project.AlphaMain = 60;
    ComputeDerivedSizes(e.Project);
    ASSERT_TRUE(LoadPictureFile(e.MainBitmap, photos[1]).ok());
    e.PicList.Assign(photos);
    for (int x = 0; x < 11; ++x)
      for (int y = 0; y < 9; ++y)
        e.Map.At(x, y) =
            CellMapEntry{(x * 7 + y * 3) % 12, x * 5 - 25, 20 - y * 4, y - 4, true, x % 3 == 0, y % 2 == 1};
    ASSERT_TRUE(e.RenderMosaic().ok());
    uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a over the pixel words
    for (TColor32 p : e.MosaicBitmap.Pixels()) h = (h ^ p) * 0x100000001B3ull;
    EXPECT_EQ(h, c.fingerprint) << "stitch " << c.stitch << " filter " << c.filter;
  }
}

// Rendered in bands (of heights that cut through cells, borders and the
// shifted rows and columns), the mosaic has the pixels of the in-memory
// render, in all three layouts, with borders and split cells, for library
// pictures and for the main picture itself.
TEST(RenderMosaic, BandsGiveThePixelsOfTheWholeRender) {
  const std::vector<std::string> photos = testing::SamplePhotos(8);
  for (int filter = 0; filter < 7; ++filter)
    for (int stitch : {kStitchLoom, kStitchPeyote, kStitchBrick})
      for (int mode : {kRenderStandard, kRenderSelf}) {
        Engine e;
        testing::SetGrid(e, 7, 6, 22, 17);
        e.Project.ResampleKernel = static_cast<uint8_t>(filter);
        e.Project.StitchMode = stitch;
        e.Project.RenderMode = mode;
        e.Project.BorderSize = 3;
        e.Project.BorderColor = 0x3060C0;
        e.Project.AlphaMain = 70;
        ComputeDerivedSizes(e.Project);
        ASSERT_TRUE(LoadPictureFile(e.MainBitmap, photos[0]).ok());
        e.PicList.Assign(photos);
        for (int x = 0; x < 7; ++x)
          for (int y = 0; y < 6; ++y)
            if ((x + y) % 9 != 4)  // a few cells stay empty
              e.Map.At(x, y) =
                  CellMapEntry{(x * 3 + y) % 8, x * 6 - 20, y * 5 - 12, 3, true, x % 2 == 0, y % 3 == 1};
        ASSERT_TRUE(e.RenderMosaic().ok());
        for (int bandRows : {7, 40, 1000}) {
          TBitmap32 joined(e.Project.FinalWidth, e.Project.FinalHeight);
          int next = 0;
          const Status s = e.RenderMosaicBands(bandRows, [&](const TBitmap32& band, int rows) {
            EXPECT_EQ(band.Width(), e.Project.FinalWidth);
            EXPECT_LE(rows, bandRows);
            for (int r = 0; r < rows; ++r)
              std::copy_n(band.ScanLine(r), band.Width(), joined.ScanLine(next + r));
            next += rows;
            return Status::Ok();
          });
          ASSERT_TRUE(s.ok()) << s.message();
          EXPECT_EQ(next, e.Project.FinalHeight);
          EXPECT_TRUE(testing::SamePixels(joined, e.MosaicBitmap))
              << "filter " << filter << " stitch " << stitch << " mode " << mode << " bands of " << bandRows;
        }
      }
}

}  // namespace
}  // namespace velmora
