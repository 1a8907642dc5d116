// Recolouring a cell's picture: the tint draws what it always drew, the
// colour transfer moves a picture's mean to its cell's and keeps its light
// and dark, the strength blends from the untouched picture to the full
// transfer, and the choice is saved and reopened with a project.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "engine/CellLayout.h"
#include "imaging/ColorTransfer.h"
#include "project/MatchingBlock.h"
#include "support/EngineTestSupport.h"

namespace velmora {
namespace {

using testing::SetGrid;

constexpr int kSide = 16;
// Hashes of the tint renders in TintIsTheRenderOfBefore as the program drew
// them before the colour transfer was added.
constexpr uint64_t kTintHash50 = 9789588497489164726ull;
constexpr uint64_t kTintHash100 = 5869323465834607355ull;

// A photo with light and dark and colour of its own: a diagonal ramp.
TBitmap32 RampPicture() {
  TBitmap32 b(kSide, kSide);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x)
      b.Pixel(x, y) = Color32(uint8_t(40 + 8 * x), uint8_t(60 + 6 * y), uint8_t(90 + 3 * (x + y)));
  return b;
}

// A main picture of one colour with a light/dark check of `amplitude`
// around it (0: flat).
TBitmap32 CellPicture(uint8_t r, uint8_t g, uint8_t b, int amplitude) {
  TBitmap32 m(kSide, kSide);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      const int d = ((x / 4 + y / 4) % 2 == 0) ? amplitude : -amplitude;
      m.Pixel(x, y) = Color32(uint8_t(r + d), uint8_t(g + d), uint8_t(b + d));
    }
  return m;
}

// A one-cell mosaic of the ramp over `main`, rendered as a new project is.
void MakeOneCell(Engine& e, const testing::ScratchDir& dir, const TBitmap32& main, bool transfer, int strength,
                 int alphaMain) {
  SetGrid(e, 1, 1, kSide, kSide);
  e.MainBitmap = main;
  testing::AddPicture(e, dir, RampPicture());
  e.Project.AllowHFlip = false;
  e.Project.AllowVFlip = false;
  e.Project.ColorEnhance = strength;
  e.Project.AlphaMain = alphaMain;
  e.Matching.Transfer = transfer;
  e.MakeGrid();
  ASSERT_TRUE(e.PrepareLibrary().ok());
  e.AssignCells();
  ASSERT_TRUE(e.RenderMosaic().ok());
}

// The picture as its cell shows it untouched: no recolouring, no overlay.
TBitmap32 UntouchedCell(const TBitmap32& main) {
  testing::ScratchDir dir;
  Engine e;
  MakeOneCell(e, dir, main, false, 0, 0);
  return e.MosaicBitmap;
}

uint64_t PixelHash(const TBitmap32& b) {
  uint64_t h = 1469598103934665603ull;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      h ^= b.Pixel(x, y);
      h *= 1099511628211ull;
    }
  return h;
}

TEST(Recolor, TintTransferAndStrength) {
  const TBitmap32 main = CellPicture(150, 120, 110, 0);
  const TBitmap32 untouched = UntouchedCell(main);
  ASSERT_FALSE(HasFatalFailure());
  const ColorStats tile = StatsOf(untouched);
  struct Case {
    const char* what;
    bool transfer;
    int strength;
    int amplitude;        // of the cell's check
    int alphaMain;        // the overlay
    float meanShare;      // of the way from the tile's mean to the cell's
    float spreadAtLeast;  // share of the tile's luminance spread kept
    float spreadAtMost;
  };
  const Case cases[] = {
      {"transfer, full", true, 100, 0, 0, 1.0f, 0.95f, 1.05f},
      {"transfer, half", true, 50, 0, 0, 0.5f, 0.95f, 1.05f},
      // A busy cell sharpens the picture, no more than 1.6 times.
      {"transfer, busy cell", true, 100, 60, 0, 1.0f, 1.2f, 1.62f},
      // Raised against the overlay: the cell shows about the whole spread.
      {"transfer, overlay", true, 50, 0, 51, 0.6f, 0.9f, 1.05f},
      {"transfer, off", true, 0, 0, 0, 0.0f, 1.0f, 1.0f},
      // The tint only shifts; the overlay takes a fifth of the spread. With
      // it a fifth of the way left goes too: 0.5 + 0.2 x 0.5.
      {"tint, half", false, 50, 0, 0, 0.5f, 0.95f, 1.05f},
      {"tint, overlay", false, 50, 0, 51, 0.6f, 0.75f, 0.84f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::ScratchDir dir;
    Engine e;
    const TBitmap32 cellMain = CellPicture(150, 120, 110, c.amplitude);
    MakeOneCell(e, dir, cellMain, c.transfer, c.strength, c.alphaMain);
    if (HasFatalFailure()) return;
    const ColorStats cell = StatsOf(cellMain);
    const ColorStats shown = StatsOf(e.MosaicBitmap);
    EXPECT_NEAR(shown.Red, tile.Red + c.meanShare * (cell.Red - tile.Red), 2.0f);
    EXPECT_NEAR(shown.Green, tile.Green + c.meanShare * (cell.Green - tile.Green), 2.0f);
    EXPECT_NEAR(shown.Blue, tile.Blue + c.meanShare * (cell.Blue - tile.Blue), 2.0f);
    EXPECT_GE(shown.Spread, c.spreadAtLeast * tile.Spread - 0.5f);
    EXPECT_LE(shown.Spread, c.spreadAtMost * tile.Spread + 0.5f);
    if (c.strength == 0) {
      EXPECT_TRUE(testing::SamePixels(e.MosaicBitmap, untouched));
    }
  }
}

// The tint draws the pixels it drew before the transfer was added: the
// hashes of renders made then.
TEST(Recolor, TintIsTheRenderOfBefore) {
  struct Case {
    int strength;
    int alphaMain;
    uint64_t hash;
  };
  const Case cases[] = {
      {50, 51, kTintHash50},
      {100, 0, kTintHash100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.strength);
    testing::ScratchDir dir;
    Engine e;
    MakeOneCell(e, dir, CellPicture(90, 160, 210, 20), false, c.strength, c.alphaMain);
    if (HasFatalFailure()) return;
    EXPECT_EQ(PixelHash(e.MosaicBitmap), c.hash);
  }
}

TEST(Recolor, SpreadFactor) {
  struct Case {
    float tile, cell, keep, expected;
  };
  const Case cases[] = {
      {0.0f, 30.0f, 1.0f, 1.0f},   // a flat picture only moves
      {20.0f, 5.0f, 1.0f, 1.0f},   // a flat cell keeps the picture's spread
      {20.0f, 26.0f, 1.0f, 1.3f},  // toward a busier cell
      {20.0f, 90.0f, 1.0f, 1.6f},  // no more than 1.6 times
      {20.0f, 5.0f, 0.8f, 1.25f},  // raised against the overlay
      {20.0f, 90.0f, 0.8f, 1.6f},
  };
  for (const Case& c : cases)
    EXPECT_FLOAT_EQ(TransferSpreadFactor(c.tile, c.cell, c.keep), c.expected) << c.tile << " " << c.cell;
}

// The choice goes into the matching block: a project saved with the transfer
// reopens to the same picture, an old project without the block draws the
// tint.
// The transfer's tables round as lround does, also next to every half.
TEST(Recolor, RoundToByteIsClampedLround) {
  auto check = [](float x) {
    ASSERT_EQ(int(RoundToByte(x)), int(std::clamp(std::lround(x), 0L, 255L))) << x;
  };
  for (int n = -2; n <= 258; ++n)
    for (float base : {float(n), float(n) + 0.5f}) {
      float x = base;
      for (int i = 0; i < 64; ++i) x = std::nextafter(x, -1000.0f);
      for (int i = 0; i < 128; ++i, x = std::nextafter(x, 1000.0f)) check(x);
    }
  for (float x = -3.0f; x < 259.0f; x += 0.013f) check(x);
  check(std::nanf(""));
}

TEST(Recolor, SavedChoiceReopensToTheSamePicture) {
  for (const bool transfer : {false, true}) {
    SCOPED_TRACE(transfer ? "transfer" : "tint");
    testing::ScratchDir dir;
    Engine made;
    const TBitmap32 main = CellPicture(90, 160, 210, 20);
    MakeOneCell(made, dir, main, transfer, 70, 51);
    if (HasFatalFailure()) return;
    std::vector<ExtensionBlock> blocks;
    AppendMatchingBlock(made.Matching, blocks);
    EXPECT_EQ(blocks.empty(), !transfer) << "the tint alone writes no block";
    ExtensionArea area;
    ASSERT_TRUE(DecodeExtensionArea(EncodeExtensionArea(blocks), "p.vm6", area).ok());

    Engine reopened;
    SetGrid(reopened, 1, 1, kSide, kSide);
    reopened.MainBitmap = main;
    reopened.Project = made.Project;
    reopened.PicList = made.PicList;
    reopened.Map = made.Map;
    reopened.Matching = MatchingFromExtensions(area, "p.vm6", nullptr);
    EXPECT_EQ(reopened.Matching.Transfer, transfer);
    ASSERT_TRUE(reopened.ReopenProject().ok());
    EXPECT_TRUE(testing::SamePixels(reopened.MosaicBitmap, made.MosaicBitmap));
  }
}

}  // namespace
}  // namespace velmora
