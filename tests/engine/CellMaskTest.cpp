// Tile shapes: the masks' geometry, the user's mask scaled to a tile, the
// honeycomb meeting edge to edge, and shaped renders in every layout.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/CellLayout.h"
#include "engine/CellMask.h"
#include "support/EngineTestSupport.h"

namespace velmora {
namespace {

using testing::Uniform;

int At(const std::vector<uint8_t>& m, int w, int x, int y) { return m[size_t(y) * size_t(w) + size_t(x)]; }

double Area(const std::vector<uint8_t>& m) {
  double sum = 0;
  for (uint8_t v : m) sum += v;
  return sum / (255.0 * double(m.size()));
}

TEST(CellMask, NamedShapesGeometry) {
  struct Case {
    const char* name;
    int corner;   // coverage at the top-left pixel
    double area;  // share of the tile covered
    bool upDown;  // top and bottom mirror each other
  };
  const Case cases[] = {
      {"rectangle", 255, 1.0, true},
      {"circle", 0, M_PI / 4, true},
      {"diamond", 0, 0.5, true},
      {"hexagon", 0, 0.75, true},
      {"rounded", 0, 1 - (4 - M_PI) * 0.04, true},
      {"heart", 0, 0.72, false},
  };
  for (const Case& c : cases) {
    MaskShape shape;
    ASSERT_TRUE(ParseMaskShape(c.name, shape)) << c.name;
    EXPECT_STREQ(MaskShapeName(shape), c.name);
    for (auto [w, h] : {std::pair{64, 64}, std::pair{80, 50}, std::pair{9, 13}}) {
      const std::vector<uint8_t> m = ShapeCoverage(shape, w, h);
      ASSERT_EQ(m.size(), size_t(w * h));
      EXPECT_EQ(At(m, w, w / 2, h / 2), 255) << c.name;
      // (the rounded corner of a 9 px tile is under a pixel wide)
      if (w >= 20) EXPECT_EQ(At(m, w, 0, 0), c.corner) << c.name << " " << w << "x" << h;
      const double tolerance = w < 20 ? 0.08 : 0.03;
      EXPECT_NEAR(Area(m), c.area, tolerance) << c.name << " " << w << "x" << h;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          ASSERT_EQ(At(m, w, x, y), At(m, w, w - 1 - x, y)) << c.name << " left-right at " << x << "," << y;
          if (c.upDown)
            ASSERT_EQ(At(m, w, x, y), At(m, w, x, h - 1 - y)) << c.name << " up-down at " << x << "," << y;
        }
    }
  }
  MaskShape shape = MaskShape::kCircle;
  EXPECT_FALSE(ParseMaskShape("custom", shape));
  EXPECT_FALSE(ParseMaskShape("star.png", shape));
  EXPECT_TRUE(ShapeCoverage(MaskShape::kCircle, 0, 10).empty());
}

TEST(CellMask, UsersPictureIsShrunkAndScaledToTheTile) {
  // Left half white, right half black, 1000 x 500: kept at 256 x 128.
  TBitmap32 picture = Uniform(1000, 500, Color32(0, 0, 0));
  picture.FillRect(TRect{0, 0, 500, 500}, Color32(255, 255, 255));
  const GreyMask mask = GreyMaskOf(picture);
  ASSERT_EQ(mask.Width, 256);
  ASSERT_EQ(mask.Height, 128);
  EXPECT_EQ(mask.Pixels.front(), 255);
  EXPECT_EQ(mask.Pixels.back(), 0);
  // A small picture is kept at its size, grey as 0.299 r + 0.587 g + 0.114 b.
  const GreyMask small = GreyMaskOf(Uniform(3, 2, Color32(200, 100, 0)));
  EXPECT_EQ(small.Width, 3);
  EXPECT_EQ(small.Pixels, std::vector<uint8_t>(6, 119));

  const std::vector<uint8_t> m = ShapeCoverage(MaskShape::kCustom, 40, 10, &mask);
  for (int y = 0; y < 10; ++y) {
    EXPECT_EQ(At(m, 40, 0, y), 255);
    EXPECT_EQ(At(m, 40, 18, y), 255);
    EXPECT_EQ(At(m, 40, 21, y), 0);
    EXPECT_EQ(At(m, 40, 39, y), 0);
  }
  EXPECT_NEAR(Area(m), 0.5, 0.01);

  testing::ScratchDir dir;
  GreyMask read;
  EXPECT_NE(ReadMaskPicture(dir.File("none.png"), read).message().find("none.png"), std::string::npos);
}

// Every hexagon of a honeycomb laid where the renderer lays it: with no
// inset they cover the plane once (edge to edge, no gap, no overlap); with
// the renderer's inset no pixel is touched by two of them.
TEST(CellMask, HoneycombMeetsEdgeToEdge) {
  for (bool pointy : {true, false}) {
    for (auto [cw, ch] : {std::pair{30, 26}, std::pair{24, 40}}) {
      const int over = HoneycombOverhang(pointy, cw, ch);
      const int w = pointy ? cw : cw + 2 * over, h = pointy ? ch + 2 * over : ch;
      for (double inset : {0.0, 0.75}) {
        const std::vector<uint8_t> hex = HoneycombCoverage(pointy, cw, ch, inset);
        ASSERT_EQ(hex.size(), size_t(w * h));
        const int side = 8 * std::max(cw, ch);
        std::vector<int> sum(size_t(side * side), 0), touched(size_t(side * side), 0);
        for (int cy = -2; cy < 10; ++cy)
          for (int cx = -2; cx < 10; ++cx) {
            // Peyote shifts odd rows right, brick odd columns down, by half a cell.
            const int left = cx * cw + (pointy && (cy & 1) ? cw / 2 : 0) - (pointy ? 0 : over);
            const int top = cy * ch + (!pointy && (cx & 1) ? ch / 2 : 0) - (pointy ? over : 0);
            for (int y = 0; y < h; ++y)
              for (int x = 0; x < w; ++x) {
                const int px = left + x, py = top + y;
                if (px < 0 || py < 0 || px >= side || py >= side) continue;
                const int v = At(hex, w, x, y);
                sum[size_t(py * side + px)] += v;
                touched[size_t(py * side + px)] += v > 0;
              }
          }
        int gaps = 0;
        for (int y = 2 * ch; y < 6 * ch; ++y)
          for (int x = 2 * cw; x < 6 * cw; ++x) {
            const size_t i = size_t(y * side + x);
            if (inset == 0) {
              ASSERT_NEAR(sum[i], 255, 6) << pointy << " " << cw << "x" << ch << " at " << x << "," << y;
            } else {
              ASSERT_LE(touched[i], 1) << pointy << " at " << x << "," << y;
              gaps += sum[i] < 255;
            }
          }
        if (inset > 0) EXPECT_LT(gaps, 4 * cw * 4 * ch / 4);  // thin lines, not corners
      }
    }
  }
}

TEST(CellMask, DetailWeightsFollowTheShape) {
  auto weights = [](MaskShape shape, int stitch, GreyMask custom = {}) {
    TileMasking m;
    m.Shape = shape;
    m.Custom = std::move(custom);
    return MaskDetailWeights(m, 40, 32, stitch);
  };
  EXPECT_EQ(weights(MaskShape::kRectangle, kStitchLoom), EvenDetailWeights());
  EXPECT_EQ(weights(MaskShape::kCustom, kStitchLoom, GreyMask{1, 1, {0}}), EvenDetailWeights());
  for (MaskShape shape : {MaskShape::kCircle, MaskShape::kDiamond, MaskShape::kHexagon}) {
    for (int stitch : {kStitchLoom, kStitchPeyote, kStitchBrick}) {
      const DetailWeights w = weights(shape, stitch);
      float sum = 0;
      for (float v : w) sum += v;
      EXPECT_NEAR(sum, 16.0f, 1e-4f);
      // The corners count less than the middle, the same on every side.
      EXPECT_LT(w[0], w[5]) << MaskShapeName(shape) << " " << stitch;
      EXPECT_FLOAT_EQ(w[0], w[15]);
      EXPECT_FLOAT_EQ(w[3], w[12]);
    }
  }
  // Left half of the user's mask: the right samples count nothing.
  const DetailWeights half = weights(MaskShape::kCustom, kStitchLoom, GreyMask{2, 1, {255, 0}});
  EXPECT_FLOAT_EQ(half[3], 0.0f);
  EXPECT_FLOAT_EQ(half[0], 2.0f);
}

TEST(CellMask, BlurIsTheSameOnAnyThreadCount) {
  TBitmap32 p = Uniform(50, 30, Color32(10, 20, 30));
  p.FillRect(TRect{20, 10, 30, 20}, Color32(250, 240, 230));
  const TBitmap32 one = BlurredPicture(p, 4, 1);
  EXPECT_TRUE(testing::SamePixels(one, BlurredPicture(p, 4, 3)));
  EXPECT_EQ(one.Pixel(0, 0) & 0xFFFFFF, Color32(10, 20, 30) & 0xFFFFFF);
  const TColor32 mid = one.Pixel(25, 15);
  EXPECT_GT(RedOf(mid), 10);
  EXPECT_LT(RedOf(mid), 250);
}

// A mosaic of one red photo over a blue gap.
struct ShapedMosaic {
  testing::ScratchDir dir;
  Engine e;
  ShapedMosaic(int stitch, MaskShape shape, int cols = 6, int rows = 5, int cw = 20, int ch = 20) {
    testing::SetGrid(e, cols, rows, cw, ch);
    e.Project.StitchMode = stitch;
    e.Project.AlphaMain = 0;
    e.MainBitmap = Uniform(cols * 4, rows * 4, Color32(90, 90, 90));
    testing::AddPicture(e, dir, Uniform(40, 40, Color32(255, 0, 0)));
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < cols; ++x) e.Map.At(x, y) = CellMapEntry{0, 0, 0, 0, true, false, false};
    e.Masks.Shape = shape;
    e.Masks.GapColor = 0x00FF0000;  // blue, 0x00BBGGRR
  }
  TBitmap32 Bands(int rows) {
    TBitmap32 whole(e.Project.FinalWidth, e.Project.FinalHeight);
    int top = 0;
    EXPECT_TRUE(e.RenderMosaicBands(rows, [&](const TBitmap32& band, int n) {
                   for (int y = 0; y < n; ++y)
                     std::copy_n(band.ScanLine(y), band.Width(), whole.ScanLine(top + y));
                   top += n;
                   return Status::Ok();
                 }).ok());
    return whole;
  }
};

constexpr TColor32 kRed = Color32(255, 0, 0);
constexpr TColor32 kBlue = Color32(0, 0, 255);
bool Is(TColor32 a, TColor32 b) { return ((a ^ b) & 0xFFFFFF) == 0; }

double BlueShare(const TBitmap32& b, const TRect& r) {
  int n = 0;
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x) n += Is(b.Pixel(x, y), kBlue);
  return double(n) / (r.Width() * r.Height());
}

TEST(ShapedRender, EveryShapeInEveryLayout) {
  for (int stitch : {kStitchLoom, kStitchPeyote, kStitchBrick})
    for (MaskShape shape : {MaskShape::kCircle, MaskShape::kHexagon, MaskShape::kRounded, MaskShape::kDiamond,
                            MaskShape::kHeart, MaskShape::kCustom}) {
      ShapedMosaic m(stitch, shape);
      m.e.Masks.Custom = GreyMask{2, 1, {255, 0}};
      m.e.Project.BorderSize = 1;
      ComputeDerivedSizes(m.e.Project);
      ASSERT_TRUE(m.e.RenderMosaic().ok());
      const TBitmap32 whole = m.e.MosaicBitmap;
      const std::string what = std::string(MaskShapeName(shape)) + " stitch " + std::to_string(stitch);
      // An inner cell: photo at its centre (left of it for the half mask).
      const TRect cell = PlaceCellPicture(2, 2, 1, 1, m.e.Project).Pieces[0].Target;
      const int cx = shape == MaskShape::kCustom ? cell.Left + 3 : (cell.Left + cell.Right) / 2;
      EXPECT_TRUE(Is(whole.Pixel(cx, (cell.Top + cell.Bottom) / 2), kRed)) << what;
      const bool honey = shape == MaskShape::kHexagon && stitch != kStitchLoom;
      // Gap where the shape leaves it: the corners, except in a honeycomb,
      // whose neighbours fill them and whose gaps are thin lines.
      if (!honey && shape != MaskShape::kRounded && shape != MaskShape::kCustom)
        EXPECT_TRUE(Is(whole.Pixel(cell.Left, cell.Top), kBlue)) << what;
      const TRect inner{20, 20, 100, 80};
      const double blue = BlueShare(whole, inner);
      EXPECT_GT(blue, 0.0) << what;
      if (honey) EXPECT_LT(blue, 0.15) << what;
      // The same pixels in bands, and on one thread, and for a cell drawn again.
      EXPECT_TRUE(testing::SamePixels(whole, m.Bands(7))) << what;
      m.e.SetThreadCount(1);
      ASSERT_TRUE(m.e.RenderCell(2, 2).ok());
      ASSERT_TRUE(m.e.RenderCell(0, 1).ok());
      EXPECT_TRUE(testing::SamePixels(whole, m.e.MosaicBitmap)) << what;
      ASSERT_TRUE(m.e.RenderMosaic().ok());
      EXPECT_TRUE(testing::SamePixels(whole, m.e.MosaicBitmap)) << what;
    }
}

TEST(ShapedRender, GapFromTheMainPictureAndRectanglesUnchanged) {
  ShapedMosaic plain(kStitchLoom, MaskShape::kRectangle);
  plain.e.MainBitmap.FillRect(TRect{0, 0, 12, 20}, Color32(0, 200, 0));
  ASSERT_TRUE(plain.e.RenderMosaic().ok());
  const TBitmap32 rect = plain.e.MosaicBitmap;
  EXPECT_TRUE(Is(rect.Pixel(0, 0), kRed));

  ShapedMosaic m(kStitchLoom, MaskShape::kCircle);
  m.e.MainBitmap = plain.e.MainBitmap;
  m.e.Masks.Gap = GapFill::kMain;
  ASSERT_TRUE(m.e.RenderMosaic().ok());
  // The corner of the first cell shows the main picture's green, the last
  // cell's its grey; the centres show the photo.
  EXPECT_EQ(GreenOf(m.e.MosaicBitmap.Pixel(0, 0)), 200);
  EXPECT_EQ(GreenOf(m.e.MosaicBitmap.Pixel(119, 99)), 90);
  EXPECT_TRUE(Is(m.e.MosaicBitmap.Pixel(10, 10), kRed));
  EXPECT_TRUE(testing::SamePixels(m.e.MosaicBitmap, m.Bands(13)));

  // Back to rectangles: the very pixels of a mosaic that never had a shape.
  m.e.Masks = TileMasking();
  ASSERT_TRUE(m.e.RenderMosaic().ok());
  EXPECT_TRUE(testing::SamePixels(m.e.MosaicBitmap, rect));
}

TEST(ShapedRender, BlockIsMaskedWithTheShapeAtItsSize) {
  ShapedMosaic m(kStitchLoom, MaskShape::kCircle);
  m.e.Blocks = BlockMap(6, 5);
  ASSERT_TRUE(m.e.Blocks.Add(TileBlock{2, 2, 2, 2}).ok());
  ASSERT_TRUE(m.e.RenderMosaic().ok());
  // The block's centre is where its four cells meet: inside one circle.
  EXPECT_TRUE(Is(m.e.MosaicBitmap.Pixel(60, 60), kRed));
  EXPECT_TRUE(Is(m.e.MosaicBitmap.Pixel(40, 40), kBlue));
  EXPECT_TRUE(Is(m.e.MosaicBitmap.Pixel(10, 10), kRed));
  EXPECT_TRUE(testing::SamePixels(m.e.MosaicBitmap, m.Bands(9)));
}

}  // namespace
}  // namespace velmora
