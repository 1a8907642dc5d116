// The print layout: page counts, tiles and the stretch of each page for fit
// to page and for printing at a resolution, including pages whose truncated
// sizes must neither add a blank page nor drop a pixel column, and the
// window's texts.
#include <gtest/gtest.h>

#include "output/PrintLayout.h"

namespace velmora {
namespace {

struct LayoutCase {
  const char* name;
  PrinterMetrics printer;
  int width, height;
  bool fit;
  int dpi;
  int64_t printedWidth, printedHeight;
  int tileWidth, tileHeight;
  int pagesAcross, pagesDown;
  std::vector<PrintTile> tiles;  // every page, in printing order
};

class PrintLayoutCases : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(PrintLayoutCases, GivesPagesAndTiles) {
  const LayoutCase& c = GetParam();
  const PrintLayout l = ComputePrintLayout(c.printer, c.width, c.height, c.fit, c.dpi);
  ASSERT_TRUE(l.Valid);
  EXPECT_EQ(l.PrintedWidth, c.printedWidth);
  EXPECT_EQ(l.PrintedHeight, c.printedHeight);
  EXPECT_EQ(l.TileWidth, c.tileWidth);
  EXPECT_EQ(l.TileHeight, c.tileHeight);
  EXPECT_EQ(l.PagesAcross, c.pagesAcross);
  EXPECT_EQ(l.PagesDown, c.pagesDown);
  const std::vector<PrintTile> tiles = PrintTiles(l, c.printer, c.width, c.height);
  ASSERT_EQ(tiles.size(), c.tiles.size());
  for (size_t i = 0; i < tiles.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(tiles[i].Source, c.tiles[i].Source);
    EXPECT_EQ(tiles[i].TargetWidth, c.tiles[i].TargetWidth);
    EXPECT_EQ(tiles[i].TargetHeight, c.tiles[i].TargetHeight);
  }
}

constexpr PrinterMetrics kLetter600{600, 600, 4800, 6600};
constexpr bool kFit = true, kAtDpi = false;

// clang-format off
const LayoutCase kCases[] = {
    // name, printer, picture, mode, dpi, printed size, tile size, pages, pages' tiles
    // 600 x 400 at 72 DPI on 4800 x 6600 dots: two pages across, the second
    // with columns 576..599 printed 200 dots wide.
    {"At72Dpi", kLetter600, 600, 400, kAtDpi, 72, 5000, 3333, 576, 792, 2, 1,
     {{{0, 0, 576, 400}, 4800, 3333}, {{576, 0, 600, 400}, 200, 3333}}},
    {"FitToPage", kLetter600, 600, 400, kFit, 72, 4800, 3200, 600, 400, 1, 1,
     {{{0, 0, 600, 400}, 4800, 3200}}},
    {"ExactlyOneTileWide", kLetter600, 576, 400, kAtDpi, 72, 4800, 3333, 576, 792, 1, 1,
     {{{0, 0, 576, 400}, 4800, 3333}}},
    // Tall: two rows of one page.
    {"TwoPagesDown", kLetter600, 500, 800, kAtDpi, 72, 4166, 6666, 576, 792, 1, 2,
     {{{0, 0, 500, 792}, 4166, 6600}, {{0, 792, 500, 800}, 4166, 66}}},
    // 4817 dots hold 578 pixels, printed 4816 dots wide; two tiles print 9633
    // dots, one more than two full tiles: still two pages, not a third one
    // without pixels.
    {"TruncationAddsNoBlankPage", {600, 600, 4817, 6600}, 1156, 400, kAtDpi, 72, 9633, 3333, 578, 792, 2, 1,
     {{{0, 0, 578, 400}, 4816, 3333}, {{578, 0, 1156, 400}, 4817, 3333}}},
    // Finer than the printer: 9601 pixels at 1200 DPI print 4800 dots, one
    // full page, yet the last pixel column gets its own page.
    {"TruncationDropsNoColumn", kLetter600, 9601, 100, kAtDpi, 1200, 4800, 50, 9600, 13200, 2, 1,
     {{{0, 0, 9600, 100}, 4800, 50}, {{9600, 0, 9601, 100}, 1, 50}}},
    // A page too small for one pixel at this resolution: one pixel a page,
    // nothing divided by zero.
    {"PageSmallerThanAPixel", {600, 600, 10, 10}, 2, 1, kAtDpi, 30, 40, 20, 1, 1, 2, 1,
     {{{0, 0, 1, 1}, 20, 20}, {{1, 0, 2, 1}, 20, 20}}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(PrintLayout, PrintLayoutCases, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PrintLayout, NothingToLayOutWithoutFiguresPictureOrResolution) {
  EXPECT_FALSE(ComputePrintLayout(PrinterMetrics{}, 600, 400, true, 72).Valid);
  EXPECT_FALSE(ComputePrintLayout(kLetter600, 0, 400, true, 72).Valid);
  EXPECT_FALSE(ComputePrintLayout(kLetter600, 600, 400, false, 0).Valid);
  EXPECT_TRUE(PrintTiles(PrintLayout{}, kLetter600, 600, 400).empty());
}

TEST(PrintLayout, ResolutionListEntries) {
  EXPECT_EQ(PrintDpiForEntry(0, 5), 30);
  EXPECT_EQ(PrintDpiForEntry(2, 5), 72);
  EXPECT_EQ(PrintDpiForEntry(8, 5), 1200);
  EXPECT_EQ(PrintDpiForEntry(kCustomDpiEntry, 300), 300);
  EXPECT_EQ(PrintDpiForEntry(kCustomDpiEntry, 5000), kMaxCustomDpi);
  EXPECT_EQ(PrintDpiForEntry(10, 300), 0);
  EXPECT_EQ(PrintDpiForEntry(-1, 300), 0);
}

TEST(PrintLayout, Texts) {
  EXPECT_EQ(PrinterResolutionText(kLetter600), "600 x 600");
  EXPECT_EQ(PrintableAreaText(kLetter600), "8.00 x 11.00 Inch  or 20.32 x 27.94 CM  ");
  EXPECT_EQ(PictureSizeText(3000, 2000), "3000 x 2000 pixels");
  const PrintLayout fit = ComputePrintLayout(kLetter600, 600, 400, true, 72);
  EXPECT_EQ(PrintedSizeText(fit, kLetter600), "8.00 x 5.33 Inch  or 20.32 x 13.55 CM");
  EXPECT_EQ(PrintedCellSizeText(fit, kLetter600, true, 8, 8), "1.00 x 0.67 Inch  or 2.54 x 1.69 CM");
  EXPECT_EQ(PrintedCellSizeText(fit, kLetter600, false, 8, 8), "No Cells");
  EXPECT_EQ(PageCountText(fit, true), "Page Count : 1");
  EXPECT_EQ(PageCountText(ComputePrintLayout(kLetter600, 600, 400, false, 72), false), "Page Count : 2 x 1");
}

}  // namespace
}  // namespace velmora
