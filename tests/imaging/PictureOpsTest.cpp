// The picture operations: signature, cell effects, crops and fits, preview
// drawings and loading, in both pixel layouts and with the source as target.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "imaging/PictureOps.h"

namespace velmora {
namespace {

Bitmap24 Flat24(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  Bitmap24 p(w, h);
  p.Fill(r, g, b);
  return p;
}

TBitmap32 Flat32(int w, int h, TColor32 c) {
  TBitmap32 p(w, h);
  p.Fill(c);
  return p;
}

TBitmap32 Random32(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  TBitmap32 b(w, h);
  for (TColor32& p : b.Pixels()) p = static_cast<TColor32>(rng());
  return b;
}

Bitmap24 Random24(int w, int h, unsigned seed) {
  Bitmap24 b;
  b.AssignFrom(Random32(w, h, seed));
  return b;
}

SigColor Sig(uint8_t b, uint8_t g, uint8_t r, uint8_t grey) { return SigColor{b, g, r, grey}; }

TColor32 At24(const Bitmap24& b, int x, int y) {
  const uint8_t* p = b.PixelAddress(x, y);
  return Color32(p[2], p[1], p[0]);
}

bool SamePixels(const TBitmap32& a, const TBitmap32& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() &&
         std::equal(a.Pixels().begin(), a.Pixels().end(), b.Pixels().begin());
}

bool SamePixels(const Bitmap24& a, const Bitmap24& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() &&
         std::equal(a.Bytes().begin(), a.Bytes().end(), b.Bytes().begin());
}

bool IsBlack(const Bitmap24& b, int x, int y) { return At24(b, x, y) == Color32(0, 0, 0); }
bool IsWhite(const Bitmap24& b, int x, int y) { return At24(b, x, y) == Color32(255, 255, 255); }

// ---- ComputeColorSignature ----

TEST(ColorSignature, FlatGreyKeepsItsValueExceptTheFiveTruncations) {
  for (int v = 0; v < 256; ++v) {
    const uint8_t u = static_cast<uint8_t>(v);
    const bool lower = v == 63 || v == 126 || v == 215 || v == 229 || v == 252;
    const SigColor want = Sig(u, u, u, static_cast<uint8_t>(lower ? v - 1 : v));
    const ColorSignature s24 = ComputeColorSignature(Flat24(40, 30, u, u, u));
    const ColorSignature s32 = ComputeColorSignature(Flat32(17, 50, Color32(u, u, u)));
    for (int slot = 0; slot < 5; ++slot) {
      ASSERT_EQ(s24.Slot[slot], want) << v << " slot " << slot;
      ASSERT_EQ(s32.Slot[slot], want) << v << " slot " << slot;
    }
  }
  for (const SigColor& c : ComputeColorSignature(Flat24(120, 90, 200, 20, 10)).Slot)
    EXPECT_EQ(c, Sig(10, 20, 200, 72));
}

void ExpectSlots(const ColorSignature& s, const std::array<SigColor, 5>& want) {
  for (int i = 0; i < 5; ++i) EXPECT_EQ(s.Slot[i], want[i]) << "slot " << i;
}

TEST(ColorSignature, BlackAndWhiteHalvesMeanTo127) {
  Bitmap24 p = Flat24(100, 60, 0, 0, 0);
  p.FillRect(TRect{50, 0, 100, 60}, 255, 255, 255);
  const SigColor black = Sig(0, 0, 0, 0), white = Sig(255, 255, 255, 255);
  ExpectSlots(ComputeColorSignature(p), {black, white, black, white, Sig(127, 127, 127, 127)});
}

TEST(ColorSignature, MeanGreyAveragesTheQuadrantGreys) {
  // The mean grey is (76 + 76) >> 2 = 38, not the 37 of the mean colour.
  TBitmap32 p = Flat32(64, 64, Color32(0, 0, 0));
  p.FillRect(TRect{0, 0, 64, 32}, Color32(255, 0, 0));
  const SigColor red = Sig(0, 0, 255, 76), black = Sig(0, 0, 0, 0);
  ExpectSlots(ComputeColorSignature(p), {red, red, black, black, Sig(0, 0, 127, 38)});
}

TEST(ColorSignature, PictureIsSqueezedToASquare) {
  // 96 x 32 with its left third green: the edge falls at work column 10.67,
  // so the left quadrants are (10 x 255 + 170) x 16 / 256 = 170 green.
  Bitmap24 p = Flat24(96, 32, 0, 0, 0);
  p.FillRect(TRect{0, 0, 32, 32}, 0, 255, 0);
  const ColorSignature s = ComputeColorSignature(p);
  EXPECT_EQ(s.Slot[sigTopLeft].Green, 170);
  EXPECT_EQ(s.Slot[sigBottomLeft].Green, 170);
  EXPECT_EQ(s.Slot[sigTopRight].Green, 0);
  EXPECT_EQ(s.Mean().Green, 85);
}

// ---- AdjustChannels, ToGrey ----

TEST(AdjustChannels, OffsetsClampEachChannelAndAlphaBecomesOpaque) {
  const TBitmap32 src = Random32(16, 8, 1);
  TBitmap32 out;
  AdjustChannels(src, out, -300, 0, 300);
  ASSERT_EQ(out.Width(), 16);
  ASSERT_EQ(out.Height(), 8);
  Bitmap24 o24;
  AdjustChannels(Random24(16, 8, 1), o24, -300, 0, 300);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) {
      EXPECT_EQ(out.Pixel(x, y), Color32(0, GreenOf(src.Pixel(x, y)), 255, 255));
      EXPECT_EQ(At24(o24, x, y), Color32(0, GreenOf(src.Pixel(x, y)), 255));
    }
  TBitmap32 p = Flat32(3, 3, Color32(100, 250, 3, 17));
  AdjustChannels(p, p, 20, 10, -5);
  for (TColor32 c : p.Pixels()) EXPECT_EQ(c, Color32(120, 255, 0, 255));
  // Offsets far outside a byte must not overflow.
  AdjustChannels(p, p, INT32_MIN, INT32_MAX, INT32_MIN);
  for (TColor32 c : p.Pixels()) EXPECT_EQ(c, Color32(0, 255, 0, 255));
}

TEST(AdjustChannels, EveryByteAndOffsetGivesTheClampedSum) {
  // Every byte value in every channel, 259 pixels so the rows end off the
  // four-pixel steps; offsets at and around the clamps.
  TBitmap32 src(259, 1);
  for (int x = 0; x < 259; ++x)
    src.Pixel(x, 0) = Color32(x % 256, (x * 7 + 3) % 256, 255 - x % 256, (x * 5) % 256);
  for (const int d : {-256, -255, -254, -128, -1, 0, 1, 100, 254, 255, 256}) {
    TBitmap32 out;
    AdjustChannels(src, out, d, -d / 2, d);
    for (int x = 0; x < 259; ++x) {
      const TColor32 p = src.Pixel(x, 0);
      ASSERT_EQ(out.Pixel(x, 0), Color32(ClampByte(RedOf(p) + d), ClampByte(GreenOf(p) - d / 2),
                                         ClampByte(BlueOf(p) + d), 255))
          << "offset " << d << " pixel " << x;
    }
  }
}

TEST(ToGrey, SumOfTruncatedWeightsDarkensSlightly) {
  TBitmap32 p(5, 1);
  const TColor32 in[5] = {Color32(255, 255, 255, 3), Color32(0, 0, 0, 3), Color32(100, 100, 100, 3),
                          Color32(255, 0, 0, 3), Color32(0, 255, 0, 3)};
  const uint8_t want[5] = {254, 0, 98, 76, 149};
  for (int x = 0; x < 5; ++x) p.Pixel(x, 0) = in[x];
  Bitmap24 p24;
  p24.AssignFrom(p);
  ToGrey(p, p);
  ToGrey(p24, p24);
  for (int x = 0; x < 5; ++x) {
    EXPECT_EQ(p.Pixel(x, 0), Color32(want[x], want[x], want[x])) << x;
    EXPECT_EQ(At24(p24, x, 0), Color32(want[x], want[x], want[x])) << x;
  }
}

// ---- FlipPicture ----

TBitmap32 Numbered(int w, int h) {
  TBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.Pixel(x, y) = static_cast<TColor32>(10 * y + x);
  return b;
}

// Both flags on 3 x 3 make a half turn, the middle row reversed too.
TEST(FlipPicture, AllFourCasesOnOddAndEvenHeights) {
  for (int h : {3, 4}) {
    const TBitmap32 src = Numbered(3, h);
    for (int mode = 0; mode < 4; ++mode) {
      const bool hor = mode & 1, ver = mode & 2;
      TBitmap32 out;
      FlipPicture(src, out, hor, ver);
      ASSERT_EQ(out.Height(), h);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < 3; ++x)
          EXPECT_EQ(out.Pixel(x, y), src.Pixel(hor ? 2 - x : x, ver ? h - 1 - y : y))
              << "h " << h << " mode " << mode << " at " << x << "," << y;
    }
  }
}

// The renderer's one-pass tint and mirror against the two steps it
// replaces, for every mirror, odd and even sides, and a target that held a
// picture of another size.
TEST(AdjustAndFlip, GivesTheTintThenTheMirror) {
  for (const auto [w, h] : {std::array{1, 1}, std::array{7, 3}, std::array{128, 129}, std::array{33, 64}}) {
    const TBitmap32 src = Random32(w, h, static_cast<unsigned>(w * 1000 + h));
    for (int mode = 0; mode < 4; ++mode) {
      const bool hor = mode & 1, ver = mode & 2;
      TBitmap32 want;
      AdjustChannels(src, want, 40, -300, 7);
      FlipPicture(want, want, hor, ver);
      TBitmap32 got(5, 9);
      AdjustAndFlip(src, got, 40, -300, 7, hor, ver);
      EXPECT_TRUE(SamePixels(got, want)) << w << "x" << h << " mode " << mode;
      TBitmap32 self = src;
      AdjustAndFlip(self, self, 40, -300, 7, hor, ver);
      EXPECT_TRUE(SamePixels(self, want)) << w << "x" << h << " mode " << mode << " in place";
    }
  }
}

// ---- every operation with the source as its target ----

template <typename Bmp, typename Op>
void ExpectSameInPlace(const Bmp& original, const char* what, Op op) {
  Bmp separate;
  op(original, separate);
  Bmp self = original;
  op(self, self);
  EXPECT_TRUE(SamePixels(self, separate)) << what;
}

TEST(PictureOps, SourceAsTargetGivesWhatASeparateTargetGets) {
  const Bitmap24 p24 = Random24(45, 31, 21);
  const TBitmap32 p32 = Random32(45, 31, 22);
  const auto both = [&](const char* what, auto op) {
    ExpectSameInPlace(p24, what, op);
    ExpectSameInPlace(p32, what, op);
  };
  both("AdjustChannels", [](const auto& s, auto& t) { AdjustChannels(s, t, 9, -9, 99); });
  both("ToGrey", [](const auto& s, auto& t) { ToGrey(s, t); });
  for (int mode = 0; mode < 4; ++mode)
    both("FlipPicture", [mode](const auto& s, auto& t) { FlipPicture(s, t, mode & 1, mode & 2); });
  both("StretchToSize", [](const auto& s, auto& t) { StretchToSize(s, t, 20, 50); });
  both("CropToAspect", [](const auto& s, auto& t) { CropToAspect(s, t, 3, 4); });
  ExpectSameInPlace(p24, "FitToRect", [](const Bitmap24& s, Bitmap24& t) {
    FitToRect(s, t, TRect{0, 0, 129, 129});
  });
  ExpectSameInPlace(p24, "DrawLevelChart", [](const Bitmap24& s, Bitmap24& t) {
    if (&s != &t) (void)t.SetSize(s.Width(), s.Height());
    DrawLevelChart(s, t, 0);
  });
  ExpectSameInPlace(p24, "DrawLevelChart rect", [](const Bitmap24& s, Bitmap24& t) {
    DrawLevelChart(s, t, 2, TRect{0, 0, 96, 48});
  });
}

// SetSize keeps the pixels the old array held and clears the rest, also
// when a picture grows again within the memory it already has;
// SetSizeForOverwrite only sizes.
TEST(Bitmap32, SetSizeClearsExactlyThePixelsBeyondTheOldArray) {
  struct Step {
    int w, h;
    bool overwrite;
  };
  const std::vector<std::vector<Step>> runs = {
      {{4, 3, false}, {6, 5, false}},                  // grows into new memory
      {{4, 3, false}, {1, 1, false}, {3, 3, false}},  // shrinks, then grows in place
      {{4, 3, false}, {3, 4, false}},                  // another shape, as many pixels
      {{4, 3, false}, {2, 2, true}, {2, 2, false}},    // the same size twice: untouched
  };
  for (size_t r = 0; r < runs.size(); ++r) {
    TBitmap32 b;
    size_t marked = 0;
    for (const Step& step : runs[r]) {
      const size_t before = b.Pixels().size();
      ASSERT_TRUE((step.overwrite ? b.SetSizeForOverwrite(step.w, step.h) : b.SetSize(step.w, step.h)).ok());
      ASSERT_EQ(b.Width(), step.w);
      ASSERT_EQ(b.Pixels().size(), size_t(step.w) * size_t(step.h));
      const size_t kept = std::min(before, b.Pixels().size());
      marked = std::min(marked, kept);
      if (!step.overwrite) {
        for (size_t i = 0; i < b.Pixels().size(); ++i)
          EXPECT_EQ(b.Pixels()[i], i < marked ? 0xAABBCCDDu : 0u) << "run " << r << ", pixel " << i;
      }
      b.Fill(0xAABBCCDDu);
      marked = b.Pixels().size();
    }
  }
}

// ---- FitToRect ----

TEST(FitToRect, KeepsTheAspectWithTruncatedSizes) {
  Bitmap24 out;
  FitToRect(Flat24(400, 100, 1, 2, 3), out, TRect{0, 0, 200, 150});
  EXPECT_EQ(out.Width(), 200);
  EXPECT_EQ(out.Height(), 50);
  EXPECT_EQ(At24(out, 199, 49), Color32(1, 2, 3));
  // The wizard's 271 x 255 box: s = 271 / 300, height trunc(179.76).
  FitToRect(Flat32(300, 199, Color32(4, 5, 6)), out, TRect{10, 10, 281, 265});
  EXPECT_EQ(out.Width(), 271);
  EXPECT_EQ(out.Height(), 179);
  FitToRect(Flat32(10, 20, Color32(4, 5, 6)), out, TRect{0, 0, 129, 129});  // enlarged
  EXPECT_EQ(out.Width(), 64);
  EXPECT_EQ(out.Height(), 129);
  FitToRect(Bitmap24(), out, TRect{0, 0, 100, 100});  // empty source: nothing
  EXPECT_EQ(out.Width(), 64);
  FitToRect(out, out, TRect{5, 5, 0, 0});  // negative rectangle: fits nothing
  EXPECT_TRUE(out.Empty());
}

// ---- CropRegion, CropToAspect ----

TEST(CropRegion, CentreAtTheAspectWithTheseExactBounds) {
  EXPECT_EQ(CropRegion(400, 300, 1, 1), (TRect{50, 0, 350, 300}));
  EXPECT_EQ(CropRegion(300, 400, 1, 1), (TRect{0, 50, 300, 350}));
  EXPECT_EQ(CropRegion(401, 300, 1, 1), (TRect{50, 0, 351, 300}));
  // Cells of 32 x 16 on a square picture: the central band of half its height.
  EXPECT_EQ(CropRegion(64, 64, 32, 16), (TRect{0, 16, 64, 48}));
  // At the aspect already the last column and row are left out, but never
  // the only one.
  EXPECT_EQ(CropRegion(400, 300, 4, 3), (TRect{0, 0, 399, 299}));
  EXPECT_EQ(CropRegion(1, 1, 5, 5), (TRect{0, 0, 1, 1}));
  EXPECT_EQ(CropRegion(1, 7, 1, 7), (TRect{0, 0, 1, 6}));
  // No aspect, or products past 2^31: no division by zero, no overflow.
  EXPECT_EQ(CropRegion(400, 300, 0, 3), (TRect{0, 0, 400, 300}));
  EXPECT_EQ(CropRegion(400, 300, 4, 0), (TRect{0, 0, 400, 300}));
  EXPECT_EQ(CropRegion(400, 300, -4, 3), (TRect{0, 0, 400, 300}));
  EXPECT_EQ(CropRegion(60000, 60000, 2000000000, 1000000000), (TRect{0, 15000, 60000, 45000}));
}

// Column (or row) i carries i in green (low byte) and blue (high byte), which
// the end columns of a crop keep unblended, and a ramp in red that blending
// neighbours keeps in order.
TColor32 Marked(int i) {
  return Color32(static_cast<uint8_t>(i * 255 / 399), static_cast<uint8_t>(i), i >> 8);
}
int MarkOf(TColor32 c) { return GreenOf(c) + 256 * BlueOf(c); }

TEST(CropToAspect, TakesTheCentreIntoARegionOneLarger) {
  TBitmap32 wide(400, 300);
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 400; ++x) wide.Pixel(x, y) = Marked(x);
  TBitmap32 out;
  CropToAspect(wide, out, 1, 1);
  ASSERT_EQ(out.Width(), 301);
  ASSERT_EQ(out.Height(), 301);
  EXPECT_EQ(MarkOf(out.Pixel(0, 150)), 50);
  EXPECT_EQ(MarkOf(out.Pixel(300, 150)), 349);
  for (int x = 1; x <= 300; ++x) EXPECT_GE(RedOf(out.Pixel(x, 0)), RedOf(out.Pixel(x - 1, 0))) << x;

  Bitmap24 tall(300, 400);
  for (int y = 0; y < 400; ++y) {
    const TColor32 m = Marked(y);
    tall.FillRect(TRect{0, y, 300, y + 1}, RedOf(m), GreenOf(m), BlueOf(m));
  }
  Bitmap24 out24;
  CropToAspect(tall, out24, 1, 1);
  ASSERT_EQ(out24.Width(), 301);
  ASSERT_EQ(out24.Height(), 301);
  EXPECT_EQ(MarkOf(At24(out24, 7, 0)), 50);
  EXPECT_EQ(MarkOf(At24(out24, 7, 300)), 349);
}

TEST(CropToAspect, PictureAtTheAspectLosesItsLastColumnAndRow) {
  TBitmap32 p = Flat32(8, 6, Color32(10, 10, 10));
  p.FillRect(TRect{7, 0, 8, 6}, Color32(250, 250, 250));
  p.FillRect(TRect{0, 5, 8, 6}, Color32(250, 250, 250));
  TBitmap32 out;
  CropToAspect(p, out, 4, 3);
  ASSERT_EQ(out.Width(), 8);
  ASSERT_EQ(out.Height(), 6);
  for (TColor32 c : out.Pixels()) EXPECT_EQ(c, Color32(10, 10, 10));
  // Degenerate inputs: no aspect keeps the picture, one pixel is kept.
  TBitmap32 q = Random32(6, 4, 8);
  const TBitmap32 copy = q;
  CropToAspect(q, q, 0, 0);
  EXPECT_TRUE(SamePixels(q, copy));
  CropToAspect(Flat32(1, 1, Color32(1, 2, 3)), out, 1, 1);
  EXPECT_EQ(out.Width(), 2);
  EXPECT_EQ(out.Pixel(1, 1), Color32(1, 2, 3));
  CropToAspect(TBitmap32(), out, 1, 1);
  EXPECT_TRUE(out.Empty());
}

// ---- LoadPictureFile ----

std::string TempPath(const std::string& name) {
  return (std::filesystem::path(testing::TempDir()) / ("velmora_ops_" + name)).string();
}

const TColor32 kSmall[4] = {Color32(10, 20, 30, 0), Color32(40, 50, 60, 128), Color32(70, 80, 90, 1),
                            Color32(100, 110, 120, 255)};

// An uncompressed bottom-up 2 x 2 Windows bitmap of kSmall at 32 bits.
std::string WriteSmallBmp(const std::string& name) {
  std::vector<uint8_t> f(54 + 16, 0);
  const auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  f[0] = 'B';
  f[1] = 'M';
  put32(2, static_cast<uint32_t>(f.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, 2);
  put32(22, 2);
  f[26] = 1;
  f[28] = 32;
  put32(34, 16);
  for (int i = 0; i < 4; ++i) put32(54 + (1 - i / 2) * 8 + (i % 2) * 4, kSmall[i]);
  const std::string path = TempPath(name);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(f.data()), f.size());
  return path;
}

TEST(LoadPictureFile, OnlyA32BitBitmapKeepsItsFourthByte) {
  const std::string alpha = WriteSmallBmp("alpha32.bmp");
  TBitmap32 a;
  Bitmap24 a24;
  ASSERT_TRUE(LoadPictureFile(a, alpha).ok());
  ASSERT_TRUE(LoadPictureFile(a24, alpha).ok());
  std::filesystem::remove(alpha);
  ASSERT_EQ(a.Width(), 2);
  ASSERT_EQ(a24.Height(), 2);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(a.Pixel(i % 2, i / 2), kSmall[i]) << i;
    EXPECT_EQ(At24(a24, i % 2, i / 2), kSmall[i] | 0xFF000000u) << i;
  }
  // Any other picture is opaque, and both variants hold the same colours.
  const std::string jpeg = std::string(VELMORA_SAMPLE_IMAGES) + "/lib0001.jpg";
  TBitmap32 j;
  Bitmap24 j24, expected;
  ASSERT_TRUE(LoadPictureFile(j, jpeg).ok());
  ASSERT_TRUE(LoadPictureFile(j24, jpeg).ok());
  ASSERT_FALSE(j.Empty());
  for (TColor32 c : j.Pixels()) ASSERT_EQ(AlphaOf(c), 255);
  expected.AssignFrom(j);
  EXPECT_TRUE(SamePixels(j24, expected));
}

TEST(LoadPictureFile, FailureLeavesTheTargetAsItWas) {
  TBitmap32 b = Flat32(3, 2, Color32(1, 2, 3));
  Bitmap24 b24 = Flat24(3, 2, 1, 2, 3);
  const std::string bad = TempPath("bad.bmp");
  std::ofstream(bad, std::ios::binary) << "BM not really a bitmap";
  for (const std::string& path : {TempPath("missing.bmp"), TempPath("picture.gif"), bad}) {
    EXPECT_FALSE(LoadPictureFile(b, path).ok()) << path;
    EXPECT_FALSE(LoadPictureFile(b24, path).ok()) << path;
  }
  std::filesystem::remove(bad);
  EXPECT_TRUE(SamePixels(b, Flat32(3, 2, Color32(1, 2, 3))));
  EXPECT_TRUE(SamePixels(b24, Flat24(3, 2, 1, 2, 3)));
}

// ---- DrawLevelChart, DrawSignatureSwatch, EnlargePixels ----

TEST(DrawLevelChart, OneColourGivesOneFullBarInsideTheFrame) {
  Bitmap24 chart(257, 128);  // the chart's own size: the final stretch copies it
  DrawLevelChart(Flat24(30, 20, 90, 90, 90), chart, 0);
  for (int y = 0; y < 128; ++y) EXPECT_TRUE(IsBlack(chart, 91, y)) << y;
  for (int x = 1; x < 256; ++x) {
    if (x == 91) continue;
    EXPECT_TRUE(IsWhite(chart, x, 64)) << x;
    EXPECT_TRUE(IsBlack(chart, x, 0) && IsBlack(chart, x, 127)) << x;
  }
  EXPECT_TRUE(IsBlack(chart, 0, 64) && IsBlack(chart, 256, 64));
  // Sized to the rectangle in the second form, kept in the first.
  DrawLevelChart(Flat24(8, 8, 0, 0, 0), chart, 0, TRect{0, 0, 128, 48});
  EXPECT_EQ(chart.Width(), 128);
  EXPECT_EQ(chart.Height(), 48);
  DrawLevelChart(Flat24(8, 8, 0, 0, 0), chart, 0);
  EXPECT_EQ(chart.Width(), 128);
}

TEST(DrawLevelChart, ChannelsSelectWhatIsCountedAndBarsScale) {
  const Bitmap24 picture = Flat24(10, 10, 200, 100, 30);  // red, green, blue
  Bitmap24 chart(257, 128);
  DrawLevelChart(picture, chart, 0);
  for (int x : {201, 101, 31}) EXPECT_TRUE(IsBlack(chart, x, 1)) << x;
  DrawLevelChart(picture, chart, 1);
  EXPECT_TRUE(IsBlack(chart, 201, 1) && IsWhite(chart, 101, 1));
  DrawLevelChart(picture, chart, 3);
  EXPECT_TRUE(IsBlack(chart, 31, 1) && IsWhite(chart, 201, 1));
  DrawLevelChart(picture, chart, 7);  // counts nothing: only the frame
  for (int x = 1; x < 256; ++x) EXPECT_TRUE(IsWhite(chart, x, 1)) << x;
  // Three quarters red 10, one quarter red 250: bars of 128 and 16384 x 128
  // div 49152 = 42 pixels.
  Bitmap24 p = Flat24(256, 256, 10, 0, 0);
  p.FillRect(TRect{0, 192, 256, 256}, 250, 0, 0);
  DrawLevelChart(p, chart, 1);
  EXPECT_TRUE(IsBlack(chart, 11, 1));
  EXPECT_TRUE(IsBlack(chart, 251, 127 - 41));
  EXPECT_TRUE(IsWhite(chart, 251, 127 - 42));
}

TEST(DrawSignatureSwatch, KindsOneAndFourInColourAndGrey) {
  ColorSignature s;
  for (int i = 0; i < 5; ++i) {
    const uint8_t v = static_cast<uint8_t>(4 * i);
    s.Slot[i] = Sig(v + 1, v + 2, v + 3, v + 4);
  }
  Bitmap24 b(33, 31);
  DrawSignatureSwatch(b, s, 1, true);
  EXPECT_EQ(At24(b, 32, 30), Color32(19, 18, 17));
  DrawSignatureSwatch(b, s, 4, false);
  // w2 = 16, h2 = 15: the right and bottom quadrants take the odd pixel.
  EXPECT_EQ(At24(b, 15, 14), Color32(3, 2, 1));
  EXPECT_EQ(At24(b, 16, 14), Color32(7, 6, 5));
  EXPECT_EQ(At24(b, 15, 15), Color32(11, 10, 9));
  EXPECT_EQ(At24(b, 32, 30), Color32(15, 14, 13));
  DrawSignatureSwatch(b, s, 4, true);
  EXPECT_EQ(At24(b, 0, 0), Color32(4, 4, 4));
  EXPECT_EQ(At24(b, 32, 30), Color32(16, 16, 16));
  DrawSignatureSwatch(b, s, 2, false);  // paints nothing
  EXPECT_EQ(At24(b, 0, 0), Color32(4, 4, 4));
}

TEST(EnlargePixels, BlocksWithAGridOnTheirTopAndLeft) {
  TBitmap32 source(10, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 10; ++x)
      source.Pixel(x, y) = Color32(static_cast<uint8_t>(20 * x + 1), 40 * y + 1, 7);
  Bitmap24 out;
  EnlargePixels(source, out, 10, true, 4, 5);
  ASSERT_EQ(out.Width(), 40);
  ASSERT_EQ(out.Height(), 20);
  EXPECT_TRUE(IsBlack(out, 0, 0) && IsBlack(out, 4, 0) && IsBlack(out, 0, 4) && IsBlack(out, 39, 16));
  EXPECT_EQ(At24(out, 1, 1), Color32(1, 1, 7));
  EXPECT_EQ(At24(out, 7, 3), Color32(21, 1, 7));
  EXPECT_EQ(At24(out, 39, 19), Color32(181, 161, 7));  // no closing line
  EnlargePixels(source, out, 10, false, 8, 5);
  ASSERT_EQ(out.Width(), 80);
  EXPECT_EQ(At24(out, 8, 8), Color32(21, 41, 7));
  // The source is reduced to one pixel per cell first.
  EnlargePixels(Flat32(100, 50, Color32(9, 8, 7)), out, 3, false, 4, 2);
  ASSERT_EQ(out.Width(), 12);
  EXPECT_EQ(At24(out, 11, 7), Color32(9, 8, 7));
  // Other factors, and sizes past an int, paint nothing.
  EnlargePixels(source, out, 3, false, 5, 2);
  EnlargePixels(source, out, 0x7FFFFFFF, true, 8, 1);
  EXPECT_EQ(out.Width(), 12);
  EXPECT_EQ(At24(out, 11, 7), Color32(9, 8, 7));
}

}  // namespace
}  // namespace velmora
