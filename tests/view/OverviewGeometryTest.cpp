// The overview's fit and indicator: the sizes of the examples users know,
// truncation rather than rounding, and a frame drawn only where the
// indicator lies.
#include <gtest/gtest.h>

#include "support/EngineTestSupport.h"
#include "view/OverviewGeometry.h"

namespace velmora {
namespace {

using testing::Uniform;

TEST(Overview, FitsTheMosaicAndScalesTheIndicator) {
  struct Case {
    int aw, ah, w, h;
    TRect view;
    int fw, fh;
    TRect indicator;
  } cases[] = {
      {246, 186, 372, 372, {0, 0, 372, 372}, 186, 186, {0, 0, 186, 186}},  // whole picture in view
      {246, 186, 492, 246, {100, 50, 301, 151}, 246, 123, {50, 25, 150, 75}},
      {246, 186, 1000, 300, {333, 7, 999, 300}, 246, 73, {81, 1, 245, 73}},  // truncated, not rounded
      {200, 200, 100, 50, {0, 0, 100, 50}, 200, 100, {0, 0, 200, 100}},      // a small picture grows
  };
  for (const Case& c : cases) {
    const auto fit = FitOverview(c.aw, c.ah, c.w, c.h, c.view);
    ASSERT_TRUE(fit);
    EXPECT_EQ(fit->Width, c.fw);
    EXPECT_EQ(fit->Height, c.fh);
    EXPECT_EQ(fit->Indicator, c.indicator) << c.w << "x" << c.h;
  }
  EXPECT_FALSE(FitOverview(246, 186, 0, 372, TRect{}));
  EXPECT_FALSE(FitOverview(0, 0, 372, 372, TRect{}));
}

TEST(Overview, DrawsTheFrameInsideTheIndicatorOnly) {
  const TBitmap32 mosaic = Uniform(400, 200, Color32(10, 200, 10));
  Bitmap24 out;
  ASSERT_TRUE(DrawOverview(mosaic, 200, 200, TRect{100, 40, 300, 120}, true, Color32(255, 0, 0), out));
  ASSERT_EQ(out.Width(), 200);
  ASSERT_EQ(out.Height(), 100);
  const auto red = [&](int x, int y) {
    return out.PixelAddress(x, y)[2] == 255 && out.PixelAddress(x, y)[1] == 0;
  };
  EXPECT_TRUE(red(50, 20));    // top-left corner
  EXPECT_TRUE(red(149, 59));   // bottom-right, exclusive edges
  EXPECT_TRUE(red(100, 20));   // top edge
  EXPECT_FALSE(red(150, 60));  // just outside
  EXPECT_FALSE(red(100, 40));  // inside
  ASSERT_TRUE(DrawOverview(mosaic, 200, 200, TRect{100, 40, 300, 120}, false, Color32(255, 0, 0), out));
  EXPECT_FALSE(red(50, 20));
  Bitmap24 kept = out;
  EXPECT_FALSE(DrawOverview(TBitmap32{}, 200, 200, TRect{}, true, 0, kept));
  EXPECT_EQ(kept.Width(), 200);
}

TEST(Overview, FromReducedCopiesKeepsTheSizesAndTheColours) {
  // A gradient of 1000 x 600: the copies' picture matches the direct one
  // within rounding, and the sizes and frame are the same.
  TBitmap32 mosaic(1000, 600);
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 1000; ++x) mosaic.Pixel(x, y) = Color32(x / 4, y / 3, (x + y) / 7);
  ZoomPyramid pyramid;
  pyramid.Rebuild(mosaic);
  ASSERT_GE(pyramid.Levels(), 3);
  const TRect view{100, 50, 600, 350};
  Bitmap24 direct, reduced;
  ASSERT_TRUE(DrawOverview(mosaic, 246, 186, view, true, Color32(255, 0, 0), direct));
  ASSERT_TRUE(DrawOverview(mosaic, &pyramid, 246, 186, view, true, Color32(255, 0, 0), reduced));
  ASSERT_EQ(reduced.Width(), direct.Width());
  ASSERT_EQ(reduced.Height(), direct.Height());
  int worst = 0;
  for (int y = 0; y < direct.Height(); ++y)
    for (int x = 0; x < direct.Width(); ++x)
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(direct.PixelAddress(x, y)[c] - reduced.PixelAddress(x, y)[c]));
  EXPECT_LE(worst, 3);
  // A pyramid of another picture is not used.
  ZoomPyramid other;
  other.Rebuild(Uniform(500, 500, 0));
  ASSERT_TRUE(DrawOverview(mosaic, &other, 246, 186, view, true, Color32(255, 0, 0), reduced));
  EXPECT_TRUE(std::equal(direct.Bytes().begin(), direct.Bytes().end(), reduced.Bytes().begin()));
}

}  // namespace
}  // namespace velmora
