// The overview's fit and indicator: the sizes of the examples users know,
// truncation rather than rounding, and a frame drawn only where the
// indicator lies.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "engine/OverviewGeometry.h"

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

}  // namespace
}  // namespace velmora
