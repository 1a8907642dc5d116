// The zoom pyramid: level sizes and rectangles, the halving itself, and an
// update after an edit giving the same bytes as a rebuild.
#include <gtest/gtest.h>

#include "support/EngineTestSupport.h"
#include "imaging/Random.h"
#include "view/ZoomPyramid.h"

namespace velmora {
namespace {

TBitmap32 Noise(int w, int h, uint32_t seed) {
  TBitmap32 b(w, h);
  RandomGenerator rng;
  rng.SetSeed(seed);
  for (TColor32& p : b.Pixels())
    p = Color32(rng.Random(256), rng.Random(256), rng.Random(256), rng.Random(256));
  return b;
}

TEST(ZoomPyramid, LevelArithmetic) {
  EXPECT_EQ(ZoomPyramid::LevelSize(16384, 1), 8192);
  EXPECT_EQ(ZoomPyramid::LevelSize(101, 1), 51);
  EXPECT_EQ(ZoomPyramid::LevelSize(101, 3), 13);
  EXPECT_EQ(ZoomPyramid::LevelRect(TRect{5, 8, 9, 17}, 1), (TRect{2, 4, 5, 9}));
  EXPECT_EQ(ZoomPyramid::LevelRect(TRect{5, 8, 9, 17}, 2), (TRect{1, 2, 3, 5}));
  const struct {
    double scale;
    int level;
  } levels[] = {{8, 0},    {1, 0},    {0.99, 0},     {0.5, 1},      {0.49, 1},
                {0.26, 1}, {0.25, 2}, {1.0 / 16, 4}, {1.0 / 256, 6}};
  for (const auto& c : levels) EXPECT_EQ(ZoomPyramid::LevelFor(c.scale, 6), c.level) << c.scale;
}

TEST(ZoomPyramid, HalvesByTwoByTwoMeansAndUpdatesOnlyWhatChanged) {
  // Odd sizes: the last row and column stand in for the missing ones.
  TBitmap32 picture = Noise(301, 203, 7);
  ZoomPyramid pyramid;
  pyramid.Rebuild(picture, 2);
  ASSERT_EQ(pyramid.Levels(), 3);  // 151, 76, 38 across: the last fits 64
  EXPECT_EQ(pyramid.Level(1).Width(), 151);
  EXPECT_EQ(pyramid.Level(1).Height(), 102);
  auto mean = [](TColor32 a, TColor32 b, TColor32 c, TColor32 d, int shift) {
    return ((a >> shift & 255) + (b >> shift & 255) + (c >> shift & 255) + (d >> shift & 255) + 2) / 4;
  };
  for (const auto& [x, y] : {std::pair{0, 0}, std::pair{37, 50}, std::pair{150, 101}}) {
    const int x1 = std::min(2 * x + 1, 300), y1 = std::min(2 * y + 1, 202);
    const TColor32 a = picture.Pixel(2 * x, 2 * y), b = picture.Pixel(x1, 2 * y),
                   c = picture.Pixel(2 * x, y1), d = picture.Pixel(x1, y1);
    const TColor32 p = pyramid.Level(1).Pixel(x, y);
    for (int shift : {0, 8, 16})
      EXPECT_EQ(int(p >> shift & 255), int(mean(a, b, c, d, shift))) << x << "," << y;
    EXPECT_EQ(AlphaOf(p), 255);
  }

  // Edits at the edges and inside: an update gives a rebuild's bytes.
  const TRect edits[] = {{0, 0, 1, 1}, {299, 150, 301, 203}, {40, 41, 97, 88}, {17, 3, 18, 200}};
  uint32_t seed = 11;
  for (const TRect& r : edits) {
    const TBitmap32 patch = Noise(r.Width(), r.Height(), seed++);
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x) picture.Pixel(x, y) = patch.Pixel(x - r.Left, y - r.Top);
    pyramid.Update(picture, r);
    ZoomPyramid fresh;
    fresh.Rebuild(picture);
    for (int k = 1; k <= fresh.Levels(); ++k)
      EXPECT_TRUE(testing::SamePixels(pyramid.Level(k), fresh.Level(k)))
          << "level " << k << " after " << r.Left;
  }
  // A picture of another size rebuilds.
  const TBitmap32 other = Noise(64, 64, 3);
  EXPECT_FALSE(pyramid.Matches(other));
  pyramid.Update(other, TRect{0, 0, 1, 1});
  EXPECT_EQ(pyramid.Levels(), 0);  // fits 64 already: no reduced copy
}

}  // namespace
}  // namespace velmora
