// Resampled drawing: the filter paths, the kernel tables, the blend and the
// clipping rules of TBitmap32::DrawTo.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "imaging/Bitmap32.h"
#include "imaging/CellOverlay.h"
#include "imaging/PixelBlend.h"
#include "imaging/ResampleDrawing.h"
#include "imaging/ResampleKernels.h"

namespace velmora {
namespace {

using resample::BuildKernelTable;
using resample::TapTable;

constexpr TStretchFilter kAllFilters[] = {sfNearest, sfDraft,   sfLinear,  sfCosine,
                                          sfSpline,  sfLanczos, sfMitchell};
constexpr TStretchFilter kKernelFilters[] = {sfLinear, sfCosine, sfSpline, sfLanczos, sfMitchell};

std::string FilterName(const testing::TestParamInfo<TStretchFilter>& info) {
  static const char* const kNames[] = {"Nearest", "Draft",   "Linear",  "Cosine",
                                       "Spline",  "Lanczos", "Mitchell"};
  return kNames[info.param];
}

TBitmap32 MakeBitmap(int w, int h, const std::function<TColor32(int, int)>& at) {
  TBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.Pixel(x, y) = at(x, y);
  return b;
}

TBitmap32 RandomBitmap(int w, int h, uint32_t seed, bool opaque = true) {
  std::mt19937 rng(seed);
  return MakeBitmap(w, h, [&](int, int) { return rng() | (opaque ? 0xFF000000u : 0u); });
}

TBitmap32 Uniform(int w, int h, TColor32 c) {
  return MakeBitmap(w, h, [c](int, int) { return c; });
}

// Draws `sr` of `src` into `tr` of a dw x dh bitmap filled with `fill`.
TBitmap32 Drawn(TBitmap32 src, TStretchFilter filter, int dw, int dh, TRect tr, TRect sr,
                TDrawMode mode = dmOpaque, TColor32 fill = 0x12345678u, Status* status = nullptr) {
  TBitmap32 dst = Uniform(dw, dh, fill);
  src.StretchFilter = filter;
  src.DrawMode = mode;
  Status s = src.DrawTo(dst, tr, sr);
  if (status) *status = s;
  EXPECT_TRUE(status || s.ok()) << s.message();
  return dst;
}

TBitmap32 DrawnWhole(const TBitmap32& src, TStretchFilter filter, int dw, int dh, TDrawMode mode = dmOpaque) {
  return Drawn(src, filter, dw, dh, MakeRect(0, 0, dw, dh), src.BoundsRect(), mode);
}

bool SamePixels(const TBitmap32& a, const TBitmap32& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() &&
         std::equal(a.Pixels().begin(), a.Pixels().end(), b.Pixels().begin());
}

class ResampleFilter : public testing::TestWithParam<TStretchFilter> {};
class ResampleKernel : public testing::TestWithParam<TStretchFilter> {};
INSTANTIATE_TEST_SUITE_P(All, ResampleFilter, testing::ValuesIn(kAllFilters), FilterName);
INSTANTIATE_TEST_SUITE_P(All, ResampleKernel, testing::ValuesIn(kKernelFilters), FilterName);

TEST_P(ResampleFilter, EqualSizeCopiesExactly) {
  const TBitmap32 src = RandomBitmap(10, 10, 1);
  EXPECT_TRUE(SamePixels(DrawnWhole(src, GetParam(), 10, 10), src));
  EXPECT_TRUE(SamePixels(DrawnWhole(src, GetParam(), 10, 10, dmBlend), src));
}

TEST_P(ResampleFilter, EqualSizeWritesOnlyPixelsWithASource) {
  const TBitmap32 src = RandomBitmap(6, 5, 2);
  const TColor32 fill = 0x01020304;
  // The source rectangle hangs 2 columns off the left and 1 row off the bottom.
  const TBitmap32 dst =
      Drawn(src, GetParam(), 8, 8, MakeRect(1, 1, 7, 6), MakeRect(-2, 1, 4, 6), dmOpaque, fill);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool hasSource = x >= 3 && x < 7 && y >= 1 && y < 5;
      EXPECT_EQ(dst.Pixel(x, y), hasSource ? src.Pixel(x - 3, y) : fill) << x << "," << y;
    }
}

TEST_P(ResampleFilter, UniformStaysUniform) {
  const TStretchFilter filter = GetParam();
  const TColor32 colour = Color32(201, 7, 99, 255);
  struct Case {
    int sw, sh, tw, th;
  };
  // The block average of sfDraft is a little low for most block sizes; its
  // shrinking cases are covered on their own.
  std::vector<Case> cases = {{7, 5, 23, 17}, {2, 9, 13, 31}, {1, 1, 9, 4}, {3, 3, 64, 64}, {1, 7, 5, 19}};
  if (filter != sfDraft)
    cases.insert(cases.end(), {{23, 17, 7, 5}, {64, 64, 3, 5}, {640, 48, 32, 32}, {5, 9, 11, 2}});
  for (const Case& c : cases) {
    const TBitmap32 dst = DrawnWhole(Uniform(c.sw, c.sh, colour), filter, c.tw, c.th);
    for (TColor32 p : dst.Pixels())
      ASSERT_EQ(p, colour) << c.sw << "x" << c.sh << " -> " << c.tw << "x" << c.th;
  }
  // Also with the target partly outside the bitmap and the source reaching
  // outside its bitmap (not an error for these filters, the edges repeat).
  if (filter == sfNearest) return;
  const TBitmap32 dst =
      Drawn(Uniform(9, 7, colour), filter, 20, 20, MakeRect(-7, 3, 30, 41), MakeRect(-3, -2, 12, 9));
  for (int y = 3; y < 20; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(dst.Pixel(x, y), colour) << x << "," << y;
}

TEST_P(ResampleFilter, BlendAtAlphaZeroLeavesAndAt255Copies) {
  const TStretchFilter filter = GetParam();
  const TColor32 fill = 0x80406020;
  const TBitmap32 clear = Drawn(Uniform(7, 5, 0x00FFFFFF), filter, 13, 11, MakeRect(0, 0, 13, 11),
                                MakeRect(0, 0, 7, 5), dmBlend, fill);
  for (TColor32 p : clear.Pixels()) ASSERT_EQ(p, fill);
  const TBitmap32 src = RandomBitmap(7, 5, 3);
  EXPECT_TRUE(
      SamePixels(DrawnWhole(src, filter, 13, 11, dmBlend), DrawnWhole(src, filter, 13, 11, dmOpaque)));
}

// Drawing into a target rectangle partly outside the bitmap gives, in the
// visible part, the pixels of the same draw into a bitmap large enough.
TEST_P(ResampleFilter, ClippingNeverShiftsThePicture) {
  const TStretchFilter filter = GetParam();
  struct Case {
    int sw, sh, tw, th;
  };
  std::vector<Case> cases = {{13, 11, 29, 23}, {26, 22, 13, 11}, {2, 3, 17, 19}};
  // sfDraft anchors its shrinking blocks at the first visible column, so only
  // whole-number ratios shrink the same with and without clipping.
  if (filter != sfDraft) cases.insert(cases.end(), {{29, 23, 12, 9}, {40, 7, 13, 5}});
  for (const Case& c : cases) {
    // The source rectangle lies inside a larger bitmap, so a filter that
    // mis-steps at the rectangle's edges would pick up the frame.
    const TBitmap32 src = RandomBitmap(c.sw + 2, c.sh + 2, 4, false);
    const TRect sr = MakeRect(1, 1, c.sw + 1, c.sh + 1);
    const int off = 10;
    for (TDrawMode mode : {dmOpaque, dmBlend}) {
      const TBitmap32 whole = Drawn(src, filter, c.tw + 2 * off, c.th + 2 * off,
                                    MakeRect(off, off, off + c.tw, off + c.th), sr, mode);
      // Hanging off the top left, then off the bottom right, of a 9 x 7
      // bitmap, by many pixels and by 2, so the clip also ends among the
      // last target positions, whose sources sit on the rectangle's edge.
      for (auto [left, top] :
           {std::pair{-5, -3}, std::pair{13 - c.tw, 9 - c.th}, std::pair{11 - c.tw, 9 - c.th}}) {
        const TBitmap32 clipped =
            Drawn(src, filter, 9, 7, MakeRect(left, top, left + c.tw, top + c.th), sr, mode);
        for (int y = std::max(0, top); y < std::min(7, top + c.th); ++y)
          for (int x = std::max(0, left); x < std::min(9, left + c.tw); ++x)
            ASSERT_EQ(clipped.Pixel(x, y), whole.Pixel(x - left + off, y - top + off))
                << c.sw << "x" << c.sh << " -> " << c.tw << "x" << c.th << " at " << x << "," << y;
      }
    }
  }
}

TEST_P(ResampleFilter, OnePixelColumnStretchedRepeats) {
  const TStretchFilter filter = GetParam();
  const TBitmap32 column = RandomBitmap(1, 6, 5);
  // Kernels that vanish at whole-pixel distances leave rows of equal height as they are.
  const bool rowsExact = filter != sfSpline && filter != sfMitchell;
  for (int width : {2, 3, 17, 64}) {
    const TBitmap32 dst = DrawnWhole(column, filter, width, 6);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < width; ++x) {
        ASSERT_EQ(dst.Pixel(x, y), dst.Pixel(0, y)) << width << ": " << x << "," << y;
        if (rowsExact) {
          ASSERT_EQ(dst.Pixel(x, y), column.Pixel(0, y)) << width << ": " << x << "," << y;
        }
      }
  }
}

TEST_P(ResampleFilter, HostileRectanglesNeitherCrashNorWriteOutsideTheClip) {
  const TStretchFilter filter = GetParam();
  const TBitmap32 src = RandomBitmap(9, 7, 6);
  const TRect rects[] = {MakeRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX),
                         MakeRect(INT_MAX - 3, 0, INT_MAX, 5),
                         MakeRect(-1000000, -3, 1000000, 4),
                         MakeRect(5, 5, 2, 9),
                         MakeRect(2, 2, 3, 3),
                         MakeRect(-4, -4, 30, 30),
                         MakeRect(INT_MIN, 0, INT_MIN + 2, 7)};
  for (const TRect& tr : rects)
    for (const TRect& sr : rects) {
      Status status;
      const TBitmap32 dst = Drawn(src, filter, 6, 6, MakeRect(tr.Left, tr.Top, tr.Right, tr.Bottom), sr,
                                  dmBlend, 0x5A5A5A5A, &status);
      const TRect clip = Intersect(tr, dst.BoundsRect());
      for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
          const bool inside = x >= clip.Left && x < clip.Right && y >= clip.Top && y < clip.Bottom;
          if (!inside) {
            ASSERT_EQ(dst.Pixel(x, y), 0x5A5A5A5Au);
          }
        }
    }
}

TEST_P(ResampleFilter, DrawingIntoItselfReadsTheOriginalPixels) {
  TBitmap32 self = RandomBitmap(12, 10, 7);
  TBitmap32 copy;
  copy.Assign(self);
  self.StretchFilter = copy.StretchFilter = GetParam();
  TBitmap32 expected;
  expected.Assign(self);
  ASSERT_TRUE(copy.DrawTo(expected, MakeRect(2, 1, 12, 10), MakeRect(0, 0, 7, 6)).ok());
  ASSERT_TRUE(self.DrawTo(self, MakeRect(2, 1, 12, 10), MakeRect(0, 0, 7, 6)).ok());
  EXPECT_TRUE(SamePixels(self, expected));
}

TEST(ResampleNearest, ColumnMaps) {
  const TBitmap32 src = MakeBitmap(8, 1, [](int x, int) { return TColor32(0xFF000000u | x); });
  const TBitmap32 four = MakeBitmap(4, 1, [](int x, int) { return TColor32(0xFF000000u | x); });
  const TBitmap32 up = DrawnWhole(four, sfNearest, 8, 1);
  const TBitmap32 down = DrawnWhole(src, sfNearest, 4, 1);
  const int upCols[] = {0, 0, 1, 1, 2, 2, 3, 3};
  const int downCols[] = {0, 2, 4, 6};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(BlueOf(up.Pixel(i, 0)), upCols[i]) << i;
  for (int i = 0; i < 4; ++i) EXPECT_EQ(BlueOf(down.Pixel(i, 0)), downCols[i]) << i;
}

TEST(ResampleNearest, SourceOutsideTheBitmapIsRefused) {
  const TColor32 fill = 0x11223344;
  for (const TRect& sr : {MakeRect(-1, 0, 4, 4), MakeRect(0, 0, 5, 4), MakeRect(1, 2, 3, 5)}) {
    Status status;
    const TBitmap32 dst =
        Drawn(RandomBitmap(4, 4, 8), sfNearest, 8, 8, MakeRect(0, 0, 8, 8), sr, dmOpaque, fill, &status);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.message(), "Invalid SrcRect");
    for (TColor32 p : dst.Pixels()) ASSERT_EQ(p, fill);
  }
}

TEST(ResampleDraft, BlockAverageUsesTruncatedReciprocal) {
  struct Case {
    int bw, bh, expected;
  };
  // 2^24 / n truncated: exact for powers of two, one low for 9 and 6.
  for (const Case& c : {Case{3, 3, 254}, Case{2, 3, 254}, Case{2, 1, 255}, Case{2, 2, 255}, Case{4, 2, 255},
                        Case{1, 2, 255}}) {
    const TBitmap32 dst = DrawnWhole(Uniform(2 * c.bw, 2 * c.bh, 0xFFFFFFFF), sfDraft, 2, 2);
    for (TColor32 p : dst.Pixels()) {
      ASSERT_EQ(RedOf(p), c.expected) << c.bw << "x" << c.bh;
      ASSERT_EQ(AlphaOf(p), c.expected) << c.bw << "x" << c.bh;
    }
  }
}

TEST(ResampleDraft, ShrinkingAveragesBlocks) {
  const uint8_t values[] = {0, 0, 255, 255};
  const TBitmap32 src =
      MakeBitmap(4, 4, [&](int x, int) { return Color32(values[x], values[x], values[x]); });
  const TBitmap32 dst = DrawnWhole(src, sfDraft, 2, 2);
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(dst.Pixel(0, y), Color32(0, 0, 0));
    EXPECT_EQ(dst.Pixel(1, y), Color32(255, 255, 255));
  }
}

TEST(ResampleDraft, EnlargingMatchesLinear) {
  const TBitmap32 src = RandomBitmap(7, 5, 9, false);
  EXPECT_TRUE(SamePixels(DrawnWhole(src, sfDraft, 19, 13), DrawnWhole(src, sfLinear, 19, 13)));
}

// 2 -> 4: t = -0.25, 0.25, 0.75, 1.25; the last sits on the final column of
// the source rectangle and steps back to the pair (0, 1) with weight 0, so
// the column beyond the rectangle (99) never leaks in.
TEST(ResampleLinear, BilinearWeightsAndStepBack) {
  const uint8_t v[] = {0, 200, 99};
  const TBitmap32 src = MakeBitmap(3, 3, [&](int x, int y) { return Color32(v[y], v[x], 0); });
  const TBitmap32 dst = Drawn(src, sfLinear, 4, 4, MakeRect(0, 0, 4, 4), MakeRect(0, 0, 2, 2));
  const int expected[] = {0, 50, 150, 200};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(GreenOf(dst.Pixel(i, 0)), expected[i]) << i;
    EXPECT_EQ(RedOf(dst.Pixel(0, i)), expected[i]) << i;
  }
}

TEST_P(ResampleKernel, HardEdgeStaysInRange) {
  const TStretchFilter filter = GetParam();
  const TBitmap32 src =
      MakeBitmap(10, 3, [](int x, int) { return x < 5 ? Color32(0, 0, 0) : Color32(255, 255, 255); });
  for (int tw : {37, 7, 4}) {
    const TBitmap32 dst = DrawnWhole(src, filter, tw, 3);
    const TColor32* row = dst.ScanLine(1);
    EXPECT_EQ(RedOf(row[0]), 0) << tw;
    EXPECT_EQ(RedOf(row[tw - 1]), 255) << tw;
    for (int x = 0; x < tw; ++x) {
      // Wrapped sums would turn the dark side bright and the bright side dark.
      const double centre = (x + 0.5) * 10 / tw;
      if (centre < 5) {
        EXPECT_LT(RedOf(row[x]), 128) << tw << ": " << x;
      } else if (centre > 5) {
        EXPECT_GT(RedOf(row[x]), 128) << tw << ": " << x;
      }
      if (filter == sfSpline && x > 0) {
        EXPECT_GE(RedOf(row[x]), RedOf(row[x - 1])) << tw << ": " << x;
      }
      EXPECT_EQ(AlphaOf(row[x]), 255) << tw << ": " << x;
    }
  }
}

// Shrinking 137 pixels into one with the cosine kernel rounds so many small
// weights up that the middle tap is corrected to -2 and the others sum to
// 258. A white picture with a black cross through that middle tap then sums
// past 255 and must saturate rather than wrap around to nearly black.
TEST(ResampleKernelSums, SaturateInsteadOfWrapping) {
  TapTable table;
  BuildKernelTable(sfCosine, 0, 137, 1, 0, 1, 137, table);
  const auto taps = table.taps;
  const size_t middle = (taps.size() - 1) / 2;
  ASSERT_EQ(taps[middle].pos, 68);
  ASSERT_LT(taps[middle].weight, 0);
  const TBitmap32 src = MakeBitmap(
      137, 137, [](int x, int y) { return x == 68 || y == 68 ? Color32(0, 0, 0) : Color32(255, 255, 255); });
  EXPECT_EQ(DrawnWhole(src, sfCosine, 1, 1).Pixel(0, 0), Color32(255, 255, 255));
}

TEST_P(ResampleKernel, WeightsSumTo256) {
  const TStretchFilter filter = GetParam();
  TapTable table;
  for (int sw : {1, 2, 3, 7, 64, 640})
    for (int tw : {1, 2, 5, 32, 33, 256, 1000}) {
      BuildKernelTable(filter, 3, 3 + sw, tw, 0, tw, 3 + sw, table);
      ASSERT_EQ(table.count(), tw);
      for (int m = 0; m < tw; ++m) {
        int sum = 0;
        for (uint32_t t = table.first[m]; t < table.first[m + 1]; ++t) {
          ASSERT_GE(table.taps[t].pos, 3);
          ASSERT_LT(table.taps[t].pos, 3 + sw);
          sum += table.taps[t].weight;
        }
        ASSERT_EQ(sum, 256) << sw << " -> " << tw << " at " << m;
      }
    }
}

std::vector<std::pair<int, int>> TapsOf(const TapTable& t, int m) {
  std::vector<std::pair<int, int>> out;
  for (uint32_t k = t.first[m]; k < t.first[m + 1]; ++k) out.emplace_back(t.taps[k].pos, t.taps[k].weight);
  return out;
}

TEST(ResampleKernelTable, RoundsTiesToEven) {
  // 2 -> 512 linear: position 300 has weights 83.5 and 172.5, position 301
  // 82.5 and 173.5; rounding half away from zero would give sums of 257.
  TapTable table;
  BuildKernelTable(sfLinear, 0, 2, 512, 300, 2, 2, table);
  EXPECT_EQ(TapsOf(table, 0), (std::vector<std::pair<int, int>>{{0, 84}, {1, 172}}));
  EXPECT_EQ(TapsOf(table, 1), (std::vector<std::pair<int, int>>{{0, 82}, {1, 174}}));
}

TEST(ResampleKernelTable, CorrectsTheMiddleTap) {
  // Spline at scale 1: 1/6 and 2/3 round to 43, 171, 43 (257); the middle tap pays.
  TapTable table;
  BuildKernelTable(sfSpline, 0, 10, 10, 4, 1, 10, table);
  EXPECT_EQ(TapsOf(table, 0), (std::vector<std::pair<int, int>>{{3, 43}, {4, 170}, {5, 43}}));
}

TEST(ResampleKernelTable, SingleTapCases) {
  TapTable table;
  BuildKernelTable(sfLanczos, 5, 6, 9, 0, 9, 10, table);  // one source pixel
  for (int m = 0; m < 9; ++m) EXPECT_EQ(TapsOf(table, m), (std::vector<std::pair<int, int>>{{5, 256}}));
  // 2000 -> 1 with the linear kernel: every weight rounds to 0, the centre 999.5 stays.
  BuildKernelTable(sfLinear, 0, 2000, 1, 0, 1, 2000, table);
  EXPECT_EQ(TapsOf(table, 0), (std::vector<std::pair<int, int>>{{999, 256}}));
}

TEST(ResampleBlend, ExampleAndMasterAlpha) {
  const TBitmap32 src = Uniform(3, 3, Color32(100, 100, 100, 51));
  const TColor32 fill = Color32(200, 200, 200, 200);
  const TBitmap32 dst = Drawn(src, sfNearest, 3, 3, MakeRect(0, 0, 3, 3), src.BoundsRect(), dmBlend, fill);
  EXPECT_EQ(dst.Pixel(1, 1), Color32(179, 179, 179, ((51 * 51 + 128) >> 8) + ((200 * 204 + 128) >> 8)));

  TBitmap32 half = Uniform(3, 3, Color32(100, 100, 100, 255));
  half.DrawMode = dmBlend;
  half.MasterAlpha = 127;  // weight (128 * 255) >> 8 = 127
  TBitmap32 out = Uniform(3, 3, fill);
  ASSERT_TRUE(half.DrawTo(out, out.BoundsRect(), half.BoundsRect()).ok());
  const int v = ((100 * 127 + 128) >> 8) + ((200 * 128 + 128) >> 8);
  EXPECT_EQ(out.Pixel(2, 2), Color32(v, v, v, ((255 * 127 + 128) >> 8) + ((200 * 128 + 128) >> 8)));

  half.MasterAlpha = 0;  // nothing drawn when blending, ignored when copying
  TBitmap32 untouched = Uniform(3, 3, fill);
  ASSERT_TRUE(half.DrawTo(untouched, untouched.BoundsRect(), half.BoundsRect()).ok());
  EXPECT_EQ(untouched.Pixel(0, 0), fill);
  half.DrawMode = dmOpaque;
  ASSERT_TRUE(half.DrawTo(untouched, untouched.BoundsRect(), half.BoundsRect()).ok());
  EXPECT_EQ(untouched.Pixel(0, 0), Color32(100, 100, 100, 255));
}

// Rows are blended several pixels at a time; every pixel of a long row, with
// weights 0 and 255 among the others or one alpha throughout, must come out
// as the single-pixel formula says, for full and reduced master alpha.
TEST(ResampleBlend, WholeRowsMatchThePixelFormula) {
  std::mt19937 rng(11);
  TBitmap32 src = RandomBitmap(37, 5, 12, false);
  for (TColor32& p : src.Pixels()) {
    const uint32_t pick = rng() % 4;
    if (pick == 0) p &= 0x00FFFFFF;
    if (pick == 1) p |= 0xFF000000;
  }
  // Rows of one alpha (the main picture's overlay) go their own way.
  for (int x = 0; x < 37; ++x) {
    src.Pixel(x, 1) = (src.Pixel(x, 1) & 0x00FFFFFFu) | 0x33000000u;
    src.Pixel(x, 3) = (src.Pixel(x, 3) & 0x00FFFFFFu) | 0xC8000000u;
  }
  const TBitmap32 back = RandomBitmap(37, 5, 13, false);
  src.DrawMode = dmBlend;
  const bool wide = resample::WideVectors();
  for (const bool useWide : {false, true})
    for (int master : {255, 254, 128, 1}) {
      resample::SetWideVectors(useWide);
      src.MasterAlpha = static_cast<uint8_t>(master);
      TBitmap32 dst;
      dst.Assign(back);
      ASSERT_TRUE(src.DrawTo(dst, dst.BoundsRect(), src.BoundsRect()).ok());
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 37; ++x) {
          const TColor32 f = src.Pixel(x, y), b = back.Pixel(x, y);
          const uint32_t a = resample::BlendWeight(f, src.MasterAlpha);
          const TColor32 expected = a == 0 ? b : a == 255 ? f : resample::BlendPixel(f, b, a);
          ASSERT_EQ(dst.Pixel(x, y), expected) << master << (useWide ? " wide" : "") << ": " << x << "," << y;
        }
    }
  resample::SetWideVectors(wide);
}

TEST(ResampleBlend, TwoChannelsPerMultiplicationMatchTheFormula) {
  // Every F, B and weight, with the complementary value in the neighbouring
  // lane so that any carry between lanes shows.
  int64_t wrong = 0;
  for (uint32_t a = 1; a < 255; ++a)
    for (uint32_t f = 0; f < 256; ++f)
      for (uint32_t b = 0; b < 256; ++b) {
        const TColor32 fp = (f << 24) | ((255 - f) << 16) | (f << 8) | (255 - f);
        const TColor32 bp = (b << 24) | ((255 - b) << 16) | (b << 8) | (255 - b);
        const uint32_t x = ((f * a + 128) >> 8) + ((b * (255 - a) + 128) >> 8);
        const uint32_t y = (((255 - f) * a + 128) >> 8) + (((255 - b) * (255 - a) + 128) >> 8);
        wrong += resample::BlendPixel(fp, bp, a) != ((x << 24) | (y << 16) | (x << 8) | y);
      }
  EXPECT_EQ(wrong, 0);
}

// The plain definition of a kernel draw of `source` of `src` into `target`
// of `before`: per target pixel inside the bitmap, the sum over its row and
// column taps of row weight x column weight x channel, clamped and scaled,
// then copied or blended as `src` says.
TBitmap32 PlainTapSums(const TBitmap32& src, TStretchFilter filter, const TBitmap32& before, TRect target,
                       TRect source) {
  TBitmap32 want;
  want.Assign(before);
  const TRect clip = Intersect(target, before.BoundsRect());
  if (clip.IsEmpty()) return want;
  TapTable cols, rows;
  BuildKernelTable(filter, source.Left, source.Right, target.Right - target.Left, clip.Left - target.Left,
                   clip.Right - clip.Left, src.Width(), cols);
  BuildKernelTable(filter, source.Top, source.Bottom, target.Bottom - target.Top, clip.Top - target.Top,
                   clip.Bottom - clip.Top, src.Height(), rows);
  for (int m = 0; m < rows.count(); ++m)
    for (int k = 0; k < cols.count(); ++k) {
      TColor32 f = 0;
      for (int ch = 0; ch < 4; ++ch) {
        int64_t sum = 0;
        for (uint32_t i = rows.first[m]; i < rows.first[m + 1]; ++i)
          for (uint32_t j = cols.first[k]; j < cols.first[k + 1]; ++j)
            sum += int64_t(rows.taps[i].weight) * cols.taps[j].weight *
                   ((src.Pixel(cols.taps[j].pos, rows.taps[i].pos) >> (8 * ch)) & 0xFF);
        f |= TColor32(std::clamp<int64_t>(sum, 0, int64_t(255) << 16) >> 16) << (8 * ch);
      }
      TColor32& d = want.Pixel(clip.Left + k, clip.Top + m);
      if (src.DrawMode != dmBlend) {
        d = f;
        continue;
      }
      const uint32_t a = resample::BlendWeight(f, src.MasterAlpha);
      if (a != 0) d = a == 255 ? f : resample::BlendPixel(f, d, a);
    }
  return want;
}

int DifferentPixels(const TBitmap32& a, const TBitmap32& b) {
  int n = 0;
  for (size_t i = 0; i < a.Pixels().size(); ++i) n += a.Pixels()[i] != b.Pixels()[i];
  return n;
}

// Every kernel draw against the plain definition. Covers enlarging and
// shrinking (the resampler sums in either order), extreme shrinks (more taps
// than the dense tables take), clipping, source rectangles past the bitmap's
// edge and repeated draws with tables kept from earlier ones.
TEST_P(ResampleKernel, EveryDrawMatchesThePlainTapSums) {
  const TStretchFilter filter = GetParam();
  struct Case {
    int sw, sh;
    TRect target, source;
    int dw, dh;
  };
  const Case cases[] = {
      {16, 12, MakeRect(0, 0, 128, 128), MakeRect(0, 0, 16, 12), 128, 128},     // the cell overlay
      {128, 128, MakeRect(3, 5, 67, 69), MakeRect(0, 0, 128, 128), 70, 70},     // the cell draw
      {128, 128, MakeRect(-30, 0, 34, 64), MakeRect(64, 0, 128, 128), 40, 64},  // a split cell
      {300, 40, MakeRect(0, 0, 7, 9), MakeRect(0, 0, 300, 40), 7, 9},           // many taps
      {20, 30, MakeRect(-5, -7, 61, 53), MakeRect(-4, 3, 26, 40), 50, 40},      // past the edges
      {9, 7, MakeRect(0, 0, 13, 5), MakeRect(1, 1, 8, 6), 13, 5},               // up one way, down the other
  };
  for (int round = 0; round < 2; ++round) {
    for (const Case& c : cases) {
      // Linear enlarging both ways takes the bilinear path instead.
      if (filter == sfLinear && c.target.Right - c.target.Left > c.source.Right - c.source.Left &&
          c.target.Bottom - c.target.Top > c.source.Bottom - c.source.Top)
        continue;
      const TBitmap32 src = RandomBitmap(c.sw, c.sh, uint32_t(c.sw * 31 + c.dw), round == 1);
      const TBitmap32 got = Drawn(src, filter, c.dw, c.dh, c.target, c.source);
      const TBitmap32 want = PlainTapSums(src, filter, Uniform(c.dw, c.dh, 0x12345678u), c.target, c.source);
      EXPECT_EQ(DifferentPixels(got, want), 0)
          << c.sw << "x" << c.sh << " into " << c.dw << "x" << c.dh << " round " << round;
    }
  }
}

// The same over random sizes, ratios, placements and blends: picture sides
// from 1 to a few hundred (odd ones, one-pixel ones, ratios near 1 and far
// from it), source rectangles reaching past the bitmap, targets cut by the
// bitmap's edges, copied or blended at random alphas and master alphas.
TEST_P(ResampleKernel, RandomDrawsMatchThePlainTapSums) {
  const TStretchFilter filter = GetParam();
  std::mt19937 rng(2024 + static_cast<uint32_t>(filter));
  const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const auto side = [&] {
    switch (pick(0, 3)) {
      case 0:
        return pick(1, 4);
      case 1:
        return pick(5, 40);
      case 2:
        return pick(41, 140);
      default:
        return pick(141, 300);
    }
  };
  int drawn = 0;
  // Every other draw on the 128-bit passes, where the machine would take the
  // 256-bit ones.
  const bool wide = resample::WideVectors();
  for (int round = 0; round < 300; ++round) {
    resample::SetWideVectors(wide && round % 2 == 0);
    const int sw = side(), sh = side();
    TBitmap32 src = RandomBitmap(sw, sh, rng(), pick(0, 1) == 1);
    const int srcW = pick(1, sw + 4), srcH = pick(1, sh + 4);
    const TRect source = MakeRect(pick(-2, sw - 1), pick(-2, sh - 1), 0, 0);
    const TRect sr = MakeRect(source.Left, source.Top, source.Left + srcW, source.Top + srcH);
    const int tw = side(), th = side();
    if (tw == srcW && th == srcH) continue;  // copied, not resampled
    if (filter == sfLinear && tw > srcW && th > srcH && srcW >= 2 && srcH >= 2) continue;  // bilinear
    const int dw = pick(1, tw + 10), dh = pick(1, th + 10);
    const TRect tr = MakeRect(pick(-tw / 3 - 1, dw / 2), pick(-th / 3 - 1, dh / 2), 0, 0);
    const TRect target = MakeRect(tr.Left, tr.Top, tr.Left + tw, tr.Top + th);
    const TBitmap32 before = RandomBitmap(dw, dh, rng(), false);
    src.StretchFilter = filter;
    src.DrawMode = pick(0, 1) == 1 ? dmBlend : dmOpaque;
    src.MasterAlpha = static_cast<uint8_t>(pick(0, 2) == 0 ? pick(1, 254) : 255);
    if (src.DrawMode == dmBlend && pick(0, 2) == 0)
      for (TColor32& p : src.Pixels()) p = (p & 0x00FFFFFFu) | 0x33000000u;  // the overlay's one alpha
    TBitmap32 got;
    got.Assign(before);
    ASSERT_TRUE(src.DrawTo(got, target, sr).ok());
    const TBitmap32 want = PlainTapSums(src, filter, before, target, sr);
    ASSERT_EQ(DifferentPixels(got, want), 0)
        << sw << "x" << sh << " rect " << sr.Left << "," << sr.Top << " " << srcW << "x" << srcH << " into "
        << tw << "x" << th << " at " << target.Left << "," << target.Top << " of " << dw << "x" << dh
        << (src.DrawMode == dmBlend ? " blended" : "");
    ++drawn;
  }
  resample::SetWideVectors(wide);
  EXPECT_GT(drawn, 200);
}

// Halving draws, the renderer's cell buffer into its cell, take the strided
// run of the column table: whole, clipped on either side, from a rectangle
// reaching past the picture, copied and blended, odd and even sides.
TEST_P(ResampleKernel, HalvingDrawsMatchThePlainTapSums) {
  const TStretchFilter filter = GetParam();
  struct Case {
    int sw, sh;    // source picture
    TRect source;  // drawn rectangle of it
    int dw, dh;    // target picture
    TRect target;  // target rectangle
    bool blend;
  };
  const Case cases[] = {
      {128, 128, MakeRect(0, 0, 128, 128), 64, 64, MakeRect(0, 0, 64, 64), false},
      {128, 128, MakeRect(0, 0, 128, 128), 200, 90, MakeRect(70, 10, 134, 74), false},
      {128, 128, MakeRect(0, 0, 128, 128), 200, 90, MakeRect(-20, 40, 44, 104), true},
      {64, 64, MakeRect(0, 0, 64, 64), 50, 40, MakeRect(20, -5, 52, 27), false},
      {258, 100, MakeRect(0, 0, 258, 100), 129, 50, MakeRect(0, 0, 129, 50), false},
      {300, 90, MakeRect(-6, 3, 294, 83), 160, 60, MakeRect(5, 5, 155, 45), true},
      {97, 61, MakeRect(1, 0, 97, 60), 48, 30, MakeRect(0, 0, 48, 30), false},
  };
  const bool wide = resample::WideVectors();
  int seed = 40;
  for (const Case& c : cases)
    for (const bool useWide : {true, false}) {
      resample::SetWideVectors(useWide);
      TBitmap32 src = RandomBitmap(c.sw, c.sh, static_cast<uint32_t>(++seed), !c.blend);
      src.StretchFilter = filter;
      src.DrawMode = c.blend ? dmBlend : dmOpaque;
      const TBitmap32 before = RandomBitmap(c.dw, c.dh, static_cast<uint32_t>(++seed), false);
      TBitmap32 got;
      got.Assign(before);
      ASSERT_TRUE(src.DrawTo(got, c.target, c.source).ok());
      EXPECT_EQ(DifferentPixels(got, PlainTapSums(src, filter, before, c.target, c.source)), 0)
          << c.sw << "x" << c.sh << " into " << c.dw << "x" << c.dh << (useWide ? " wide" : "");
    }
  resample::SetWideVectors(wide);
}

// The renderer's overlay: drawn and made opaque in one pass, exactly as a
// draw followed by ResetAlpha(255), for every filter, rectangles inside and
// reaching past the picture, master alphas, one alpha over the source.
TEST_P(ResampleFilter, OverlayMadeOpaqueMatchesDrawThenResetAlpha) {
  const TStretchFilter filter = GetParam();
  std::mt19937 rng(77 + static_cast<uint32_t>(filter));
  const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const bool wide = resample::WideVectors();
  for (int round = 0; round < 100; ++round) {
    resample::SetWideVectors(wide && round % 2 == 0);
    const int sw = pick(1, 90), sh = pick(1, 90);
    const auto alpha = static_cast<uint8_t>(pick(0, 3) == 0 ? pick(0, 255) : 51);
    TBitmap32 src = RandomBitmap(sw, sh, rng(), false);
    src.ResetAlpha(alpha);
    src.StretchFilter = filter;
    src.DrawMode = pick(0, 5) == 0 ? dmOpaque : dmBlend;
    src.MasterAlpha = static_cast<uint8_t>(pick(0, 3) == 0 ? pick(0, 254) : 255);
    const int left = pick(-2, sw - 1), top = pick(-2, sh - 1);
    const TRect rect = MakeRect(left, top, left + pick(1, sw + 2), top + pick(1, sh + 2));
    // Widths of whole 8-pixel steps, as the cell buffers have, half the time.
    const int width = pick(0, 1) == 0 ? 8 * pick(1, 17) : pick(1, 140);
    const TBitmap32 before = RandomBitmap(width, pick(1, 140), rng(), false);
    TBitmap32 want;
    want.Assign(before);
    const Status drawn = src.DrawTo(want, want.BoundsRect(), rect);
    want.ResetAlpha(255);
    TBitmap32 got;
    got.Assign(before);
    EXPECT_EQ(DrawOverlayOpaque(src, rect, got, alpha).ok(), drawn.ok());
    ASSERT_EQ(DifferentPixels(got, want), 0)
        << sw << "x" << sh << " rect " << rect.Left << "," << rect.Top << " " << rect.Width() << "x"
        << rect.Height() << " into " << before.Width() << "x" << before.Height() << " alpha " << int(alpha)
        << " master " << int(src.MasterAlpha);
  }
  resample::SetWideVectors(wide);
}

}  // namespace
}  // namespace velmora
