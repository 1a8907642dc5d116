// The pattern preview: sizes at 4x and 8x, the black edge lines along each
// square's top and left edges only, flat colours, and the equal strips the
// crop leaves out of a picture wider than the mosaic.
#include <gtest/gtest.h>

#include "project/PatternPreview.h"

namespace velmora {
namespace {

struct Rgb {
  int r, g, b;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};
Rgb At(const Bitmap24& b, int x, int y) {
  const uint8_t* p = b.PixelAddress(x, y);
  return Rgb{p[2], p[1], p[0]};
}

tmosaicproject Grid(int cols, int rows) {
  tmosaicproject p = DefaultProject();
  p.CellsAcross = cols;
  p.CellsDown = rows;
  p.CellWidth = p.CellHeight = 32;
  ComputeDerivedSizes(p);
  return p;
}

TBitmap32 Flat(int w, int h, TColor32 c) {
  TBitmap32 b(w, h);
  b.Fill(c);
  return b;
}

TEST(PatternPreview, SizesAndEdgeLines) {
  const tmosaicproject p = Grid(48, 48);
  const TBitmap32 main = Flat(300, 300, Color32(40, 120, 200));
  const Rgb colour{40, 120, 200}, black{0, 0, 0};
  Bitmap24 out;
  ASSERT_TRUE(RenderPatternPreview(p, main, 8, true, out).ok());
  EXPECT_EQ(out.Width(), 384);
  EXPECT_EQ(out.Height(), 384);
  ASSERT_TRUE(RenderPatternPreview(p, main, 4, true, out).ok());
  ASSERT_EQ(out.Width(), 192);
  ASSERT_EQ(out.Height(), 192);
  // Each 4 x 4 square: its top row and left column black, 3 x 3 of colour.
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(At(out, x, y), (x % 4 == 0 || y % 4 == 0) ? black : colour) << x << "," << y;
  // No closing line at the right and bottom edges.
  EXPECT_EQ(At(out, 191, 191), colour);
  ASSERT_TRUE(RenderPatternPreview(p, main, 4, false, out).ok());
  EXPECT_EQ(At(out, 0, 0), colour);
  EXPECT_EQ(At(out, 4, 4), colour);
}

TEST(PatternPreview, CropLeavesOutEqualStrips) {
  // 4 x 2 cells (aspect 2:1) from a 60 x 20 picture: red, green, blue thirds.
  // Cropped to about 40 x 20 the picture loses some 10 columns each side, so
  // the second cell shows (nearly) pure green; uncropped it mixes in a third
  // of red.
  tmosaicproject p = Grid(4, 2);
  TBitmap32 main = Flat(60, 20, Color32(0, 200, 0));
  main.FillRect(TRect{0, 0, 20, 20}, Color32(200, 0, 0));
  main.FillRect(TRect{40, 0, 60, 20}, Color32(0, 0, 200));
  Bitmap24 out;
  p.CropMainImage = true;
  ASSERT_TRUE(RenderPatternPreview(p, main, 8, false, out).ok());
  EXPECT_GE(At(out, 0, 0).r, 190);
  EXPECT_GE(At(out, 31, 15).b, 190);
  EXPECT_LE(At(out, 8, 0).r, 10);
  EXPECT_GE(At(out, 8, 0).g, 190);
  p.CropMainImage = false;
  ASSERT_TRUE(RenderPatternPreview(p, main, 8, false, out).ok());
  EXPECT_EQ(At(out, 0, 0), (Rgb{200, 0, 0}));
  EXPECT_GE(At(out, 8, 0).r, 60);
}

TEST(PatternPreview, RefusesWhatItCannotDraw) {
  Bitmap24 out(3, 3);
  EXPECT_FALSE(RenderPatternPreview(Grid(48, 48), TBitmap32{}, 8, true, out).ok());
  EXPECT_FALSE(RenderPatternPreview(Grid(0, 48), Flat(10, 10, 0), 8, true, out).ok());
  EXPECT_FALSE(RenderPatternPreview(Grid(48, 48), Flat(10, 10, 0), 5, true, out).ok());
  EXPECT_EQ(out.Width(), 3);
}

}  // namespace
}  // namespace velmora
