// The area-averaging stretch against a plain reference that intersects every
// target pixel with every source pixel, plus the invariants the engine relies
// on: flat pictures stay flat, block means are exact, halves round upward.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "imaging/PictureOps.h"

namespace velmora {
namespace {

// Overlap of target cell i with source cell j along one axis, in units of
// 1 / t source pixels (the source has s pixels, the target t).
int64_t Overlap(int64_t i, int64_t j, int64_t s, int64_t t) {
  const int64_t lo = std::max(i * s, j * t);
  const int64_t hi = std::min((i + 1) * s, (j + 1) * t);
  return hi > lo ? hi - lo : 0;
}

// channel(x, y, c) of the source; returns the rounded exact mean for the
// target pixel (tx, ty) when `rect` is stretched into tw x th.
template <typename Channel>
int ReferenceMean(Channel channel, const TRect& rect, int tw, int th, int tx, int ty, int c) {
  const int64_t sw = rect.Width(), sh = rect.Height();
  int64_t sum = 0;
  for (int64_t y = 0; y < sh; ++y) {
    const int64_t wy = Overlap(ty, y, sh, th);
    if (wy == 0) continue;
    for (int64_t x = 0; x < sw; ++x) {
      const int64_t wx = Overlap(tx, x, sw, tw);
      if (wx) sum += wx * wy * channel(rect.Left + static_cast<int>(x), rect.Top + static_cast<int>(y), c);
    }
  }
  const int64_t d = sw * sh;
  return static_cast<int>((2 * sum + d) / (2 * d));  // nearest, halves up
}

TBitmap32 RandomPicture32(int w, int h, std::mt19937& rng) {
  TBitmap32 b(w, h);
  for (TColor32& p : b.Pixels()) p = static_cast<TColor32>(rng());
  return b;
}

Bitmap24 RandomPicture24(int w, int h, std::mt19937& rng) {
  Bitmap24 b(w, h);
  for (uint8_t& v : b.Bytes()) v = static_cast<uint8_t>(rng());
  return b;
}

int Channel32(const TBitmap32& b, int x, int y, int c) { return (b.Pixel(x, y) >> (8 * c)) & 0xFF; }
int Channel24(const Bitmap24& b, int x, int y, int c) { return b.PixelAddress(x, y)[c]; }

struct SizePair {
  int sw, sh, tw, th;
};

// Shrinking, enlarging, mixed, identity, primes and one-pixel sides.
const std::vector<SizePair> kSizePairs = {
    {3, 3, 2, 2},
    {7, 5, 3, 2},
    {32, 32, 32, 32},
    {13, 11, 5, 7},
    {2, 2, 5, 3},
    {5, 3, 11, 7},
    {17, 4, 3, 9},
    {1, 1, 4, 4},
    {9, 1, 2, 1},
    {1, 12, 1, 5},
    {40, 30, 7, 6},
    {6, 6, 1, 1},
    {23, 19, 24, 20},
    {31, 29, 32, 32},
    // More than 256 wholly covered rows per target row: the 16-bit row sums
    // are carried into 32 bits.
    {3, 600, 2, 2},
    {5, 1100, 3, 2},
    // What library preparation does to each photo: a crop of a scaled decode
    // to a rendition, a signature and a detail grid.
    {100, 100, 64, 64},
    {100, 133, 32, 32},
    {160, 160, 64, 64},
    {76, 77, 4, 4},
    {67, 100, 33, 50},
    // No target pixel covering more than two source pixels (the crop's
    // one-pixel enlargement, reductions to more than half), widths that are
    // and are not a multiple of four target pixels.
    {68, 68, 69, 69},
    {69, 69, 64, 64},
    {135, 102, 136, 103},
    {7, 3, 5, 2},
    {9, 4, 6, 4},
    {4, 4, 3, 3},
    {2, 2, 1, 1},
};

TEST(AreaStretch, MatchesExactAreaMeansInEveryLayout) {
  std::mt19937 rng(7);
  for (const SizePair& p : kSizePairs) {
    SCOPED_TRACE(testing::Message() << p.sw << "x" << p.sh << " -> " << p.tw << "x" << p.th);
    const TBitmap32 s32 = RandomPicture32(p.sw + 3, p.sh + 2, rng);
    const Bitmap24 s24 = RandomPicture24(p.sw + 1, p.sh + 4, rng);
    // A rectangle inside the picture, away from its top-left corner.
    const TRect r32{2, 1, 2 + p.sw, 1 + p.sh};
    const TRect r24{1, 3, 1 + p.sw, 3 + p.sh};

    TBitmap32 t32(p.tw, p.th);
    AreaStretch(s32, r32, t32);
    Bitmap24 t24(p.tw, p.th);
    AreaStretch(s24, r24, t24);
    Bitmap24 t32to24(p.tw, p.th);
    AreaStretch(s32, r32, t32to24);

    const auto c32 = [&](int x, int y, int c) { return Channel32(s32, x, y, c); };
    const auto c24 = [&](int x, int y, int c) { return Channel24(s24, x, y, c); };
    for (int y = 0; y < p.th; ++y)
      for (int x = 0; x < p.tw; ++x)
        for (int c = 0; c < 4; ++c) {
          const int want32 = ReferenceMean(c32, r32, p.tw, p.th, x, y, c);
          ASSERT_EQ(Channel32(t32, x, y, c), want32) << "pixel " << x << "," << y << " channel " << c;
          if (c == 3) continue;
          ASSERT_EQ(Channel24(t32to24, x, y, c), want32) << "pixel " << x << "," << y << " channel " << c;
          ASSERT_EQ(Channel24(t24, x, y, c), ReferenceMean(c24, r24, p.tw, p.th, x, y, c))
              << "pixel " << x << "," << y << " channel " << c;
        }
  }
}

// Stretches of one size follow each other in library preparation; one that
// repeats the last size from another row, or after a different size, must
// not use what the one before it worked out.
TEST(AreaStretch, RepeatedSizesFromOtherRowsKeepTheirOwnMeans) {
  std::mt19937 rng(11);
  const TBitmap32 source = RandomPicture32(80, 90, rng);
  const struct {
    TRect rect;
    int tw, th;
  } steps[] = {
      {{0, 0, 68, 68}, 69, 69}, {{0, 5, 68, 73}, 69, 69}, {{3, 5, 71, 73}, 69, 69},
      {{0, 5, 69, 74}, 64, 64}, {{0, 5, 68, 73}, 69, 69}, {{0, 20, 68, 88}, 69, 69},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(testing::Message() << "top " << step.rect.Top << " -> " << step.tw << "x" << step.th);
    TBitmap32 target(step.tw, step.th);
    AreaStretch(source, step.rect, target);
    const auto channel = [&](int x, int y, int c) { return Channel32(source, x, y, c); };
    for (int y = 0; y < step.th; ++y)
      for (int x = 0; x < step.tw; ++x)
        for (int c = 0; c < 4; ++c)
          ASSERT_EQ(Channel32(target, x, y, c), ReferenceMean(channel, step.rect, step.tw, step.th, x, y, c))
              << "pixel " << x << "," << y;
  }
}

TEST(AreaStretch, FlatPictureStaysFlatForManySizes) {
  const TColor32 colour = Color32(201, 13, 77, 140);
  for (int sw : {1, 2, 3, 5, 16, 33, 100, 361})
    for (int sh : {1, 4, 7, 64, 99})
      for (int tw : {1, 2, 3, 32, 47, 120})
        for (int th : {1, 5, 32, 96}) {
          TBitmap32 s(sw, sh);
          s.Fill(colour);
          TBitmap32 t(tw, th);
          AreaStretch(s, s.BoundsRect(), t);
          Bitmap24 t24(tw, th);
          AreaStretch(s, s.BoundsRect(), t24);
          for (TColor32 p : t.Pixels()) ASSERT_EQ(p, colour) << sw << "x" << sh << " -> " << tw << "x" << th;
          for (int i = 0; i < tw * th; ++i) {
            const uint8_t* q = t24.Bytes().data() + i * 3;
            ASSERT_TRUE(q[0] == 77 && q[1] == 13 && q[2] == 201)
                << sw << "x" << sh << " -> " << tw << "x" << th;
          }
        }
}

// One row of values (in the green byte) stretched to `width` pixels.
std::vector<int> StretchRow(const std::vector<int>& values, int width) {
  Bitmap24 s(static_cast<int>(values.size()), 1);
  for (size_t x = 0; x < values.size(); ++x)
    s.PixelAddress(static_cast<int>(x), 0)[1] = static_cast<uint8_t>(values[x]);
  Bitmap24 t(width, 1);
  AreaStretch(s, TRect{0, 0, s.Width(), 1}, t);
  std::vector<int> out;
  for (int x = 0; x < width; ++x) out.push_back(t.PixelAddress(x, 0)[1]);
  return out;
}

TEST(AreaStretch, HandWorkedMeans) {
  using V = std::vector<int>;
  EXPECT_EQ(StretchRow({0, 10, 20, 60, 70, 80}, 2), (V{10, 70}));  // whole blocks of three
  EXPECT_EQ(StretchRow({90, 30, 240}, 2), (V{70, 170}));           // (90 + 30 / 2) / 1.5
  EXPECT_EQ(StretchRow({0, 0, 255, 255}, 1), (V{128}));            // 127.5: halves round up
  EXPECT_EQ(StretchRow({0, 255, 0, 255, 0, 255}, 3), (V{128, 128, 128}));
  // Enlarging replicates, blending only a target pixel that straddles two.
  EXPECT_EQ(StretchRow({0, 200}, 4), (V{0, 0, 200, 200}));
  EXPECT_EQ(StretchRow({0, 200}, 3), (V{0, 100, 200}));
  // Two dimensions, alpha included: 2 x 2 blocks of a 4 x 4 picture.
  TBitmap32 s(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) s.Pixel(x, y) = (x + y) % 2 ? 0xFFFFFFFFu : 0u;
  TBitmap32 t(2, 2);
  AreaStretch(s, s.BoundsRect(), t);
  for (TColor32 p : t.Pixels()) EXPECT_EQ(p, 0x80808080u);
}

TEST(AreaStretch, RectanglesAreClippedAndEmptySourcesGiveBlack) {
  TBitmap32 s(4, 4);
  s.Fill(Color32(1, 2, 3));
  s.FillRect(TRect{2, 0, 4, 4}, Color32(9, 9, 9));
  TBitmap32 t(2, 2);
  // Only columns 2..3 of the requested -5..10 exist on the right side.
  AreaStretch(s, TRect{2, -5, 10, 10}, t);
  for (TColor32 p : t.Pixels()) EXPECT_EQ(p, Color32(9, 9, 9));
  // Nothing of the picture inside the rectangle: black, and no stray read.
  for (const TRect& r : {TRect{10, 10, 20, 20}, TRect{3, 3, 1, 1}}) {
    t.Fill(0x12345678u);
    AreaStretch(s, r, t);
    for (TColor32 p : t.Pixels()) EXPECT_EQ(p, 0u);
  }
  t.Fill(0x12345678u);
  AreaStretch(TBitmap32(), TRect{0, 0, 5, 5}, t);
  for (TColor32 p : t.Pixels()) EXPECT_EQ(p, 0u);
  TBitmap32 none;
  AreaStretch(s, s.BoundsRect(), none);
  EXPECT_TRUE(none.Empty());
}

TEST(AreaStretch, SourceThatIsTheTargetIsReadBeforeItIsWritten) {
  std::mt19937 rng(11);
  TBitmap32 b = RandomPicture32(9, 7, rng);
  TBitmap32 copy = b;
  TBitmap32 want(9, 7);
  const TRect quarter{4, 3, 9, 7};
  AreaStretch(copy, quarter, want);
  AreaStretch(b, quarter, b);
  EXPECT_TRUE(std::equal(want.Pixels().begin(), want.Pixels().end(), b.Pixels().begin()));
}

TEST(AreaStretch, LongSidesDoNotOverflowTheSums) {
  // 255 everywhere: the largest sums a side of this length can produce.
  TBitmap32 row(70000, 2);
  row.Fill(0xFFFFFFFFu);
  row.Pixel(0, 0) = 0;  // one black pixel of 140,000 still rounds to 255
  TBitmap32 one(1, 1);
  AreaStretch(row, row.BoundsRect(), one);
  EXPECT_EQ(one.Pixel(0, 0), 0xFFFFFFFFu);

  Bitmap24 column(1, 70000);
  column.Fill(255, 255, 255);
  Bitmap24 three(1, 3);
  AreaStretch(column, TRect{0, 0, 1, 70000}, three);
  for (uint8_t v : three.Bytes()) EXPECT_EQ(v, 255);
}

TEST(AreaStretch, ReductionOfALargePictureHasTheMeansOfItsBlocks) {
  // 62.5 source columns per target column: 16 of them cover the black half.
  TBitmap32 s(2000, 1500);
  s.Fill(Color32(0, 0, 0));
  s.FillRect(TRect{1000, 0, 2000, 1500}, Color32(255, 255, 255));
  TBitmap32 t(32, 32);
  AreaStretch(s, s.BoundsRect(), t);
  for (int y = 0; y < 32; ++y) {
    EXPECT_EQ(t.Pixel(15, y), Color32(0, 0, 0));
    EXPECT_EQ(t.Pixel(16, y), Color32(255, 255, 255));
  }
  // Onto 30 columns of 66.67 source columns each: column 15 covers source
  // 1000..1066.67, of which 10 columns are black: 255 x 56.67 / 66.67 = 216.75.
  s.Fill(Color32(0, 0, 0));
  s.FillRect(TRect{1010, 0, 2000, 1500}, Color32(255, 255, 255));
  TBitmap32 t30(30, 4);
  AreaStretch(s, s.BoundsRect(), t30);
  EXPECT_EQ(t30.Pixel(14, 2), Color32(0, 0, 0));
  EXPECT_EQ(t30.Pixel(15, 2), Color32(217, 217, 217));
  EXPECT_EQ(t30.Pixel(16, 2), Color32(255, 255, 255));
}

}  // namespace
}  // namespace velmora
