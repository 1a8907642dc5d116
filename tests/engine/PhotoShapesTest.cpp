// Tiles that keep the photo: the shape for a photo's aspect, the tiling pass
// on given costs, and mosaics whose landscape photo lands on the 2x1 block it
// fits, the same whatever the thread count.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/PhotoShapes.h"
#include "support/EngineTestSupport.h"

namespace velmora {
namespace {

using testing::Uniform;

TEST(PhotoShapes, ShapeForAspect) {
  const struct {
    double photo, cell;
    TileShape shape;
  } cases[] = {
      {16.0 / 9, 1, TileShape::kWide},  {9.0 / 16, 1, TileShape::kTall}, {1, 1, TileShape::kSquare},
      {4.0 / 3, 1, TileShape::kWide3x2}, {3.0 / 4, 1, TileShape::kTall2x3}, {1.5, 1, TileShape::kWide3x2},
      {1.2, 1, TileShape::kSquare},
      {3, 1, TileShape::kWide},         {0.2, 1, TileShape::kTall},      {0, 1, TileShape::kSquare},
      {-2, 1, TileShape::kSquare},      {NAN, 1, TileShape::kSquare},     {INFINITY, 1, TileShape::kSquare},
      // Cells of 2:1: a square photo is best on two cells down.
      {1, 2, TileShape::kTall},         {2, 2, TileShape::kSquare},       {4, 2, TileShape::kWide},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ShapeForAspect(c.photo, c.cell), c.shape) << c.photo << " on cells of " << c.cell;

  const struct {
    double photo, tile, share;
  } shares[] = {{16.0 / 9, 1, 0.5625}, {16.0 / 9, 2, 0.888889}, {9.0 / 16, 0.5, 0.888889}, {1, 1, 1}, {0, 2, 1}};
  for (const auto& s : shares) EXPECT_NEAR(ShareShown(s.photo, s.tile), s.share, 1e-6) << s.photo;
  EXPECT_EQ(ShapeOfBlock(2, 1), TileShape::kWide);
  EXPECT_EQ(ShapeOfBlock(1, 2), TileShape::kTall);
  EXPECT_EQ(ShapeOfBlock(4, 4), TileShape::kSquare);
  EXPECT_EQ(ShapeOfBlock(3, 2), TileShape::kWide3x2);
  EXPECT_EQ(ShapeOfBlock(2, 3), TileShape::kTall2x3);
  EXPECT_EQ(ShapeOfBlock(4, 2), TileShape::kWide);
}

TEST(PhotoShapes, TilingPassTakesTheLargerGainInReadingOrder) {
  // 4 x 2 cells, single cells cost 10 unless said otherwise.
  auto costs = [] {
    ShapeCosts c;
    c.Cols = 4;
    c.Rows = 2;
    for (auto& v : c.Cost) v.assign(8, kNoShapeCost);
    c[TileShape::kSquare].assign(8, 10);
    return c;
  };
  {  // A wide block cheaper than its cells; a tall one at (3, 0).
    ShapeCosts c = costs();
    c[TileShape::kWide][0] = 4;
    c[TileShape::kTall][3] = 6;
    BlockMap b(4, 2);
    AddShapeBlocks(c, b);
    EXPECT_EQ(b.Blocks(), (std::vector<TileBlock>{{0, 0, 2, 1}, {3, 0, 1, 2}}));
  }
  {  // Both possible at (0, 0): the larger gain wins, the wide one on a tie.
    ShapeCosts c = costs();
    c[TileShape::kWide][0] = 8;
    c[TileShape::kTall][0] = 5;
    BlockMap b(4, 2);
    AddShapeBlocks(c, b);
    EXPECT_EQ(b.Blocks(), (std::vector<TileBlock>{{0, 0, 1, 2}}));
    c[TileShape::kTall][0] = 8;
    BlockMap tie(4, 2);
    AddShapeBlocks(c, tie);
    EXPECT_EQ(tie.Blocks(), (std::vector<TileBlock>{{0, 0, 2, 1}}));
  }
  {  // No gain, no block; a block already there is kept clear of.
    ShapeCosts c = costs();
    c[TileShape::kWide][1] = 10;
    c[TileShape::kWide][4] = 2;
    BlockMap b(4, 2);
    ASSERT_TRUE(b.Add(TileBlock{1, 1, 2, 1}).ok());
    AddShapeBlocks(c, b);
    EXPECT_EQ(b.Blocks(), (std::vector<TileBlock>{{1, 1, 2, 1}}));
  }
  {  // A 3x2 block gains 4 per cell against the wide block's 3.
    ShapeCosts c = costs();
    c[TileShape::kWide][0] = 7;
    c[TileShape::kWide3x2][0] = 6;
    BlockMap b(4, 2);
    AddShapeBlocks(c, b);
    EXPECT_EQ(b.Blocks(), (std::vector<TileBlock>{{0, 0, 3, 2}}));
  }
  {  // No square photos: blocks cover what they can, the best fitting first.
    ShapeCosts c = costs();
    c[TileShape::kSquare].assign(8, kNoShapeCost);
    c[TileShape::kWide].assign(8, 30);
    c[TileShape::kWide3x2][0] = 20;
    BlockMap b(4, 2);
    AddShapeBlocks(c, b);
    EXPECT_EQ(b.Blocks(), (std::vector<TileBlock>{{0, 0, 3, 2}}));
  }
  {  // Costs for another grid change nothing.
    ShapeCosts c = costs();
    c[TileShape::kWide][0] = 1;
    BlockMap b(5, 2);
    AddShapeBlocks(c, b);
    EXPECT_TRUE(b.Empty());
  }
}

// Rows of red | blue pairs two cells wide on a grey main picture; one
// landscape photo red | blue, the other photos flat and of every shape.
void SetUpShapedMosaic(Engine& e, const testing::ScratchDir& dir, int threads) {
  testing::SetGrid(e, 8, 6, 12, 12);
  ComputeDerivedSizes(e.Project);
  e.SetThreadCount(threads);
  e.MainBitmap = Uniform(96, 72, Color32(128, 128, 128));
  e.MainBitmap.FillRect(TRect{0, 0, 12, 12}, Color32(220, 20, 20));
  e.MainBitmap.FillRect(TRect{12, 0, 24, 12}, Color32(20, 20, 220));
  TBitmap32 wide = Uniform(64, 36, Color32(220, 20, 20));
  wide.FillRect(TRect{32, 0, 64, 36}, Color32(20, 20, 220));
  testing::AddPicture(e, dir, wide);
  std::vector<float> aspects = {64.0f / 36};
  for (int k = 1; k < 12; ++k) {
    const int w = k % 3 == 0 ? 40 : 24, h = k % 3 == 1 ? 40 : 24;
    testing::AddPicture(e, dir, Uniform(w, h, Color32(uint8_t(100 + k * 5), uint8_t(110 + k * 3), uint8_t(90 + k))));
    aspects.push_back(float(w) / float(h));
  }
  e.Aspects.Aspect = aspects;
  e.Aspects.Classify(1.0);
  e.Aspects.On = true;
  e.Project.UseAllPhotos = false;
  e.Project.LimitRepeat = true;
  e.Project.MaxRepeatTimes = 12;
  e.Rng.SetSeed(31);
}

TEST(PhotoShapes, LandscapePhotoTakesTheWideBlockItFitsTheSameOnAnyThreads) {
  testing::ScratchDir dir;
  Engine one, two;
  SetUpShapedMosaic(one, dir, 1);
  SetUpShapedMosaic(two, dir, 2);
  ASSERT_TRUE(one.CreateMosaic().ok());
  ASSERT_TRUE(two.CreateMosaic().ok());
  EXPECT_EQ(one.Blocks, two.Blocks);
  EXPECT_TRUE(testing::SamePixels(one.MosaicBitmap, two.MosaicBitmap));

  const int at = one.Blocks.BlockAt(0, 0);
  ASSERT_GE(at, 0);
  EXPECT_EQ(one.Blocks.Blocks()[size_t(at)], (TileBlock{0, 0, 2, 1}));
  EXPECT_EQ(int(one.Map.At(0, 0).PicIndex), 0);
  EXPECT_EQ(int(one.Map.At(1, 0).PicIndex), 0);

  // Every tile shows a photo of its own shape, none more often than the cap.
  std::vector<int> uses(size_t(one.PicList.Count()), 0);
  auto check = [&](int x, int y, TileShape shape) {
    const int k = one.Map.At(x, y).PicIndex;
    ASSERT_GE(k, 0);
    EXPECT_EQ(one.Aspects.Shape[size_t(k)], shape) << x << ", " << y;
    ++uses[size_t(k)];
  };
  for (const TileBlock& b : one.Blocks.Blocks()) check(b.X, b.Y, ShapeOfBlock(b.Width, b.Height));
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x)
      if (one.Blocks.BlockAt(x, y) < 0) check(x, y, TileShape::kSquare);
  for (int u : uses) EXPECT_LE(u, 12);
  // Landscape photos on their blocks show 83 to 89 % of themselves, the
  // square ones whole.
  const double shown = MeanAreaShown(one.Blocks, 8, 6, 1.0, one.Aspects,
                                     [&](int x, int y) { return int(one.Map.At(x, y).PicIndex); });
  EXPECT_GT(shown, 0.8);
}

}  // namespace
}  // namespace velmora
