// Tiles of several sizes: the block map's tiling rules, the sides a user may
// ask for, the merge of calm areas, the block's look the assignment matches,
// and mosaics with blocks made and drawn the same whatever the thread count,
// in bands or whole, and when reopened.
#include <gtest/gtest.h>

#include "engine/BlockMap.h"
#include "engine/CellLayout.h"
#include "support/HandEditSupport.h"

namespace velmora {
namespace {

using testing::Uniform;

TEST(BlockMap, TilingRules) {
  // Every case on a 10 x 8 grid already holding a 2 x 2 block at (4, 4).
  const struct {
    TileBlock block;
    bool accepted;
    const char* why;
  } cases[] = {
      {{0, 0, 2, 2}, true, "square"},
      {{0, 0, 4, 4}, true, "larger square"},
      {{8, 6, 2, 2}, true, "touching the far corner"},
      {{0, 0, 2, 1}, true, "two across"},
      {{0, 0, 1, 2}, true, "two down"},
      {{0, 0, 3, 3}, true, "three by three"},
      {{0, 0, 1, 1}, false, "a single cell is no block"},
      {{0, 0, 0, 2}, false, "empty"},
      {{0, 0, kMaxBlockSide + 1, 2}, false, "too wide"},
      {{9, 0, 2, 2}, false, "past the right edge"},
      {{0, 7, 2, 2}, false, "past the bottom"},
      {{-1, 0, 2, 2}, false, "left of the grid"},
      {{3, 3, 2, 2}, false, "overlapping a corner"},
      {{5, 5, 1, 2}, false, "inside another"},
      {{2, 4, 4, 2}, false, "crossing another"},
  };
  for (const auto& c : cases) {
    BlockMap map(10, 8);
    ASSERT_TRUE(map.Add({4, 4, 2, 2}).ok());
    const Status s = map.Add(c.block);
    EXPECT_EQ(s.ok(), c.accepted) << c.why << ": " << s.message();
    EXPECT_EQ(map.Blocks().size(), c.accepted ? 2u : 1u) << c.why;
  }
  BlockMap map(10, 8);
  ASSERT_TRUE(map.Add({4, 4, 2, 2}).ok());
  ASSERT_TRUE(map.Add({0, 0, 4, 4}).ok());
  EXPECT_EQ(map.BlockAt(5, 5), 0);
  EXPECT_EQ(map.BlockAt(3, 3), 1);
  EXPECT_EQ(map.BlockAt(6, 5), -1);
  EXPECT_EQ(map.BlockAt(-1, 0), -1);
  EXPECT_EQ(map.BlockAt(10, 0), -1);
  EXPECT_EQ(map.Tiles(), 80 - 3 - 15);
  EXPECT_EQ(BlockMap(10, 8).Tiles(), 80);
}

TEST(BlockMap, SidesAUserMayAskFor) {
  const struct {
    const char* text;
    bool ok, two, four;
  } cases[] = {
      {"1,2,4", true, true, true}, {"1,2", true, true, false}, {"1,4", true, false, true},
      {"4,1", true, false, true},  {"1", true, false, false},  {"2,4", false, false, false},
      {"1,3", false, false, false}, {"", false, false, false}, {"1,,2", false, false, false},
      {"1,2,8", false, false, false},
  };
  for (const auto& c : cases) {
    BlockSizing s;
    s.Calm = 3.5;
    EXPECT_EQ(ParseBlockSides(c.text, s).ok(), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(s.Allow2, c.two) << c.text;
    EXPECT_EQ(s.Allow4, c.four) << c.text;
    EXPECT_EQ(s.Calm, 3.5);
  }
}

// A grid of two by two samples per cell: flat grey, with a fine pattern in
// the cells from `busyFrom` on across.
Bitmap24 SampleGrid(int cols, int rows, int busyFrom) {
  Bitmap24 grid(2 * cols, 2 * rows);
  for (int y = 0; y < grid.Height(); ++y)
    for (int x = 0; x < grid.Width(); ++x) {
      const uint8_t v = x >= 2 * busyFrom && (x + y) % 2 == 0 ? 200 : 120;
      uint8_t* p = grid.PixelAddress(x, y);
      p[0] = p[1] = p[2] = v;
    }
  return grid;
}

TEST(MergeCalmBlocks, FlatAreasMergeLargestFirstAndDetailedOnesStaySingle) {
  BlockSizing sizing;
  ASSERT_TRUE(ParseBlockSides("1,2,4", sizing).ok());
  // 10 x 6 cells, busy from column 8: 4 x 4 blocks at (0, 0) and (4, 0),
  // then 2 x 2 ones in rows 4 and 5 (columns 0..7); the busy columns and
  // no block past the grid.
  const BlockMap all = MergeCalmBlocks(SampleGrid(10, 6, 8), 10, 6, sizing);
  const std::vector<TileBlock> expected = {{0, 0, 4, 4}, {4, 0, 4, 4}, {0, 4, 2, 2},
                                           {2, 4, 2, 2}, {4, 4, 2, 2}, {6, 4, 2, 2}};
  EXPECT_EQ(all.Blocks(), expected);
  EXPECT_EQ(all.Tiles(), 60 - 2 * 15 - 4 * 3);

  ASSERT_TRUE(ParseBlockSides("1,2", sizing).ok());
  EXPECT_EQ(MergeCalmBlocks(SampleGrid(10, 6, 8), 10, 6, sizing).Blocks().size(), 12u);
  ASSERT_TRUE(ParseBlockSides("1", sizing).ok());
  EXPECT_TRUE(MergeCalmBlocks(SampleGrid(10, 6, 8), 10, 6, sizing).Empty());

  // A threshold above the pattern's spread merges it too; a block that
  // takes one busy cell does not merge under the default.
  ASSERT_TRUE(ParseBlockSides("1,2,4", sizing).ok());
  sizing.Calm = 40;
  EXPECT_EQ(MergeCalmBlocks(SampleGrid(10, 6, 8), 10, 6, sizing).Tiles(), 60 - 2 * 15 - 7 * 3);
  sizing.Calm = kDefaultCalm;
  EXPECT_EQ(MergeCalmBlocks(SampleGrid(8, 4, 7), 8, 4, sizing).Blocks(), (std::vector<TileBlock>{
                                                                             {0, 0, 4, 4}, {4, 0, 2, 2}, {4, 2, 2, 2}}));
}

TEST(WriteBlockSamples, TheFirstCellCarriesTheMeansOfTheBlocksQuarters) {
  Bitmap24 grid(8, 4);  // 4 x 2 cells
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) {
      uint8_t* p = grid.PixelAddress(x, y);
      p[0] = uint8_t(10 * x);
      p[1] = uint8_t(20 * y);
      p[2] = uint8_t(x + y);
    }
  const Bitmap24 before = grid;
  BlockMap map(4, 2);
  ASSERT_TRUE(map.Add({0, 0, 2, 2}).ok());
  WriteBlockSamples(map, grid);
  // The top-left quarter is samples 0..1 x 0..1, the bottom-right 2..3 x 2..3.
  EXPECT_EQ(grid.PixelAddress(0, 0)[0], 5);
  EXPECT_EQ(grid.PixelAddress(0, 0)[1], 10);
  EXPECT_EQ(grid.PixelAddress(1, 1)[0], 25);
  EXPECT_EQ(grid.PixelAddress(1, 1)[1], 50);
  EXPECT_EQ(grid.PixelAddress(1, 1)[2], 5);
  // Samples of the block's other cells and of other cells stay.
  for (int y = 0; y < 4; ++y)
    for (int x = 2; x < 8; ++x) EXPECT_EQ(grid.PixelAddress(x, y)[0], before.PixelAddress(x, y)[0]);
}

using testing::SetUpBlockMosaic;

TEST(BlockMosaic, MadeAndDrawnTheSameWhateverTheThreadsBandsOrReopening) {
  testing::ScratchDir dir;
  for (const bool detail : {false, true}) {
    Engine one, two;
    SetUpBlockMosaic(one, dir, 1);
    SetUpBlockMosaic(two, dir, 2);
    one.Matching.Detail = two.Matching.Detail = detail;
    ASSERT_TRUE(one.CreateMosaic().ok());
    ASSERT_TRUE(two.CreateMosaic().ok());
    // The calm half merges, the busy one does not.
    ASSERT_FALSE(one.Blocks.Empty());
    for (const TileBlock& b : one.Blocks.Blocks()) EXPECT_LT(b.X + b.Width, 7);
    EXPECT_EQ(one.Blocks, two.Blocks);
    EXPECT_TRUE(testing::SamePixels(one.MosaicBitmap, two.MosaicBitmap)) << "detail " << detail;

    // Every cell of a block records the block's photo, used once.
    for (const TileBlock& b : one.Blocks.Blocks()) {
      const CellMapEntry& first = one.Map.At(b.X, b.Y);
      ASSERT_TRUE(first.Assigned);
      for (int y = b.Y; y < b.Y + b.Height; ++y)
        for (int x = b.X; x < b.X + b.Width; ++x) {
          EXPECT_EQ(int(one.Map.At(x, y).PicIndex), int(first.PicIndex));
          EXPECT_EQ(one.Map.At(x, y).HFlip, first.HFlip);
          EXPECT_EQ(one.Map.At(x, y).DeltaRed, first.DeltaRed);
        }
    }
    int64_t uses = 0;
    for (int k = 0; k < one.PicList.Count(); ++k) uses += one.Library[k].UseCount;
    EXPECT_EQ(uses, one.Blocks.Tiles());

    // No border inside a block: the pixel row between its first two cell
    // rows shows the photo, not the border colour (black by default).
    const TileBlock& b = one.Blocks.Blocks()[0];
    const int ch = one.Project.CellHeight;
    const int cw = one.Project.CellWidth;
    const TColor32 inside = one.MosaicBitmap.Pixel(b.X * cw + cw - 1, b.Y * ch + ch - 1);
    EXPECT_NE(inside & 0xFFFFFF, 0u);

    // Bands of several heights give the whole render's pixels.
    for (int bandRows : {5, 23, 1000}) {
      TBitmap32 joined(one.Project.FinalWidth, one.Project.FinalHeight);
      int next = 0;
      ASSERT_TRUE(one.RenderMosaicBands(bandRows, [&](const TBitmap32& band, int rows) {
                       for (int r = 0; r < rows; ++r)
                         std::copy_n(band.ScanLine(r), band.Width(), joined.ScanLine(next + r));
                       next += rows;
                       return Status::Ok();
                     }).ok());
      EXPECT_TRUE(testing::SamePixels(joined, one.MosaicBitmap)) << "bands of " << bandRows;
    }

    // A redrawn cell of a block redraws the block as the render drew it.
    const TBitmap32 whole = one.MosaicBitmap;
    one.MosaicBitmap.Fill(Color32FromBgrInt(one.Project.BorderColor));
    for (int y = 0; y < one.Project.CellsDown; ++y)
      for (int x = 0; x < one.Project.CellsAcross; ++x) ASSERT_TRUE(one.RenderCell(x, y).ok());
    EXPECT_TRUE(testing::SamePixels(one.MosaicBitmap, whole));

    // What a project keeps (the tables and the block map) draws the same.
    Engine reopened;
    reopened.Project = one.Project;
    reopened.MainBitmap = one.MainBitmap;
    reopened.PicList = one.PicList;
    reopened.Library = one.Library;
    reopened.Map = one.Map;
    reopened.Blocks = one.Blocks;
    reopened.SetThreadCount(2);
    ASSERT_TRUE(reopened.ReopenProject().ok());
    EXPECT_TRUE(testing::SamePixels(reopened.MosaicBitmap, whole));
  }
}

TEST(BlockMosaic, EveryPlacementKeepsTheBlocks) {
  testing::ScratchDir dir;
  // The every-photo passes and the capped solver, with and without detail.
  for (int variant = 0; variant < 4; ++variant) {
    Engine e;
    SetUpBlockMosaic(e, dir, 2);
    e.Project.UseAllPhotos = variant % 2 == 0;
    e.Matching.FairUseAll = true;
    e.Matching.UseCap = variant >= 2;
    e.Project.LimitRepeat = variant >= 2;
    e.Project.MaxRepeatTimes = 6;
    e.Matching.Detail = variant == 1;
    ASSERT_TRUE(e.CreateMosaic().ok());
    ASSERT_FALSE(e.Blocks.Empty());
    for (const TileBlock& b : e.Blocks.Blocks())
      for (int y = b.Y; y < b.Y + b.Height; ++y)
        for (int x = b.X; x < b.X + b.Width; ++x)
          EXPECT_EQ(int(e.Map.At(x, y).PicIndex), int(e.Map.At(b.X, b.Y).PicIndex)) << "variant " << variant;
    int64_t uses = 0;
    for (int k = 0; k < e.PicList.Count(); ++k) uses += e.Library[k].UseCount;
    EXPECT_EQ(uses, e.Blocks.Tiles()) << "variant " << variant;
    if (e.Project.UseAllPhotos)
      for (int k = 0; k < e.PicList.Count(); ++k) EXPECT_GE(e.Library[k].UseCount, 1) << "variant " << variant;
  }
}

}  // namespace
}  // namespace velmora
