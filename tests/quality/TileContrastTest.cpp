// The tile contrast kept: the spread of each cell of the mosaic against the
// same cell of the untinted drawing, clamped, flat cells left out, and the
// same figure however the pictures are cut into bands.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "quality/TileContrast.h"

namespace velmora {
namespace {

constexpr int kWidth = 9, kHeight = 7, kCols = 2, kRows = 2;

// The cell c of `cells` across `extent` pixels that covers pixel p:
// c * extent / cells <= p < (c + 1) * extent / cells.
int CellOf(int p, int extent, int cells) {
  int c = 0;
  while ((c + 1) * extent / cells <= p) ++c;
  return c;
}

// Grey checkers around 100, light and dark by `amplitude[cell]` in each cell
// of the grid.
TBitmap32 Checkers(const std::vector<int>& amplitude) {
  TBitmap32 b(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const int cell = CellOf(y, kHeight, kRows) * kCols + CellOf(x, kWidth, kCols);
      const int a = amplitude[static_cast<size_t>(cell)];
      const auto v = static_cast<uint8_t>(100 + ((x + y) % 2 ? a : -a));
      b.Pixel(x, y) = Color32(v, v, v);
    }
  return b;
}

// `picture` in bands of `bandRows` rows (the last one shorter).
template <typename Add>
void InBands(const TBitmap32& picture, int bandRows, Add add) {
  for (int top = 0; top < picture.Height(); top += bandRows) {
    const int rows = std::min(bandRows, picture.Height() - top);
    TBitmap32 band(picture.Width(), rows);
    for (int y = 0; y < rows; ++y) std::copy_n(picture.ScanLine(top + y), picture.Width(), band.ScanLine(y));
    add(band, top, rows);
  }
}

TEST(TileContrast, KeptShareOfEachCellsSpread) {
  struct Case {
    const char* name;
    std::vector<int> untinted, mosaic;  // checker amplitude per cell
    double percent;
    int cells;
  };
  const Case cases[] = {
      {"the same picture", {40, 30, 20, 10}, {40, 30, 20, 10}, 100, 4},
      {"half the spread", {40, 30, 20, 10}, {20, 15, 10, 5}, 50, 4},
      {"more spread clamped", {40, 40, 40, 40}, {80, 20, 40, 40}, 87.5, 4},
      {"flat cells left out", {0, 1, 40, 40}, {30, 1, 10, 40}, 62.5, 2},
      {"all flat", {0, 1, 0, 1}, {30, 30, 30, 30}, 0, 0},
  };
  for (const Case& c : cases) {
    const TBitmap32 untinted = Checkers(c.untinted), mosaic = Checkers(c.mosaic);
    // Whole, in odd bands, and with the two pictures cut differently.
    for (const auto& [mosaicRows, untintedRows] : {std::pair{kHeight, kHeight}, {3, 3}, {1, 5}}) {
      SCOPED_TRACE(::testing::Message() << c.name << ", bands of " << mosaicRows << " and " << untintedRows);
      TileContrastMeter meter;
      ASSERT_TRUE(meter.Start(kWidth, kHeight, kCols, kRows).ok());
      InBands(untinted, untintedRows,
              [&](const TBitmap32& b, int top, int rows) { meter.AddUntintedRows(b, top, rows); });
      InBands(mosaic, mosaicRows,
              [&](const TBitmap32& b, int top, int rows) { meter.AddMosaicRows(b, top, rows); });
      const TileContrast r = meter.Result();
      EXPECT_EQ(r.Cells, c.cells);
      EXPECT_NEAR(r.Percent, c.percent, 1e-9);
    }
  }
}

}  // namespace
}  // namespace velmora
