// The match-quality measure: zero for a mosaic that is its main picture, the
// known difference for a known colour shift, each layout's cell areas agreeing
// with where the renderer draws them, the 4 x 4 samples seeing what one mean
// hides, bands, crops, the worst cells and re-measuring after an edit.
#include <gtest/gtest.h>

#include <cmath>

#include "support/EngineTestSupport.h"
#include "engine/CellLayout.h"
#include "quality/Quality.h"
#include "imaging/ColorLab.h"

namespace velmora {
namespace {

using testing::Uniform;

// A picture whose every pixel differs from its neighbours, so a sample taken
// from the wrong place shows.
TBitmap32 Gradient(int w, int h) {
  TBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.Pixel(x, y) = Color32(static_cast<uint8_t>(x * 255 / std::max(1, w - 1)),
                              static_cast<uint8_t>(y * 255 / std::max(1, h - 1)),
                              static_cast<uint8_t>((x * 7 + y * 13) % 256));
  return b;
}

// Every pixel of `source` as a 2 x 2 block: the same picture at twice the
// size, which area averaging maps back onto the same colours.
TBitmap32 DoubleSize(const TBitmap32& source) {
  TBitmap32 b(source.Width() * 2, source.Height() * 2);
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) b.Pixel(x, y) = source.Pixel(x / 2, y / 2);
  return b;
}

tmosaicproject Project(int cols, int rows, int cw, int ch, int stitch) {
  tmosaicproject p = DefaultProject();
  p.CellsAcross = cols;
  p.CellsDown = rows;
  p.CellWidth = cw;
  p.CellHeight = ch;
  p.StitchMode = stitch;
  ComputeDerivedSizes(p);
  return p;
}

QualityReport Measure(const TBitmap32& main, const TBitmap32& mosaic, const tmosaicproject& p) {
  QualityMeter meter;
  EXPECT_TRUE(meter.Start(main, main.BoundsRect(), p).ok());
  meter.MeasureMosaic(mosaic);
  return meter.Report();
}

struct LayoutCase {
  const char* name;
  int stitch;
  int cw, ch;
  CellPos changed;  // a cell whose drawn area is painted over
};

const LayoutCase kLayouts[] = {
    {"loom", kStitchLoom, 12, 10, {2, 1}},
    {"peyote, shifted cell", kStitchPeyote, 12, 10, {2, 1}},
    {"peyote, split cell", kStitchPeyote, 13, 10, {0, 1}},
    {"brick, shifted cell", kStitchBrick, 12, 10, {1, 2}},
    {"brick, split cell", kStitchBrick, 12, 11, {1, 0}},
};

TEST(Quality, MosaicThatIsItsMainPictureMeasuresZeroInEveryLayout) {
  for (const LayoutCase& c : kLayouts) {
    SCOPED_TRACE(c.name);
    const tmosaicproject p = Project(5, 4, c.cw, c.ch, c.stitch);
    const TBitmap32 mosaic = Gradient(p.FinalWidth, p.FinalHeight);
    // The main picture at the mosaic's size and at twice it.
    for (const TBitmap32& main : {mosaic, DoubleSize(mosaic)}) {
      const QualityReport r = Measure(main, mosaic, p);
      ASSERT_EQ(r.Single.size(), 20u);
      EXPECT_NEAR(r.MeanSingle, 0, 1e-3);
      EXPECT_NEAR(r.MeanDetail, 0, 1e-3);
      EXPECT_NEAR(r.WorstDetail, 0, 1e-3);
    }
  }
}

TEST(Quality, KnownColourShiftGivesItsDeltaE) {
  struct Shift {
    TColor32 main, shown;
  };
  for (const Shift& s : {Shift{Color32(100, 100, 100), Color32(120, 100, 100)},
                         Shift{Color32(0, 0, 0), Color32(255, 255, 255)},
                         Shift{Color32(30, 140, 200), Color32(30, 140, 180)}}) {
    const float expected = DeltaE76(LabFromRgb(RedOf(s.main), GreenOf(s.main), BlueOf(s.main)),
                                    LabFromRgb(RedOf(s.shown), GreenOf(s.shown), BlueOf(s.shown)));
    const double expected00 = DeltaE2000(LabFromRgb(RedOf(s.main), GreenOf(s.main), BlueOf(s.main)),
                                         LabFromRgb(RedOf(s.shown), GreenOf(s.shown), BlueOf(s.shown)));
    for (int stitch : {kStitchLoom, kStitchPeyote, kStitchBrick}) {
      const tmosaicproject p = Project(6, 5, 9, 8, stitch);
      const QualityReport r =
          Measure(Uniform(37, 23, s.main), Uniform(p.FinalWidth, p.FinalHeight, s.shown), p);
      EXPECT_NEAR(r.MeanSingle, expected, 1e-3);
      EXPECT_NEAR(r.MeanDetail, expected, 1e-3);
      EXPECT_NEAR(r.WorstSingle, expected, 1e-3);
      EXPECT_NEAR(r.DetailAt(5, 4), expected, 1e-3);
      EXPECT_NEAR(r.MeanSingle00, expected00, 1e-3);
      EXPECT_NEAR(r.MeanDetail00, expected00, 1e-3);
    }
  }
  EXPECT_NEAR(DeltaE76(LabFromRgb(0, 0, 0), LabFromRgb(255, 255, 255)), 100, 0.01);
}

TEST(Quality, EachLayoutMeasuresTheCellWhereTheRendererDrawsIt) {
  for (const LayoutCase& c : kLayouts) {
    SCOPED_TRACE(c.name);
    const tmosaicproject p = Project(5, 4, c.cw, c.ch, c.stitch);
    const TBitmap32 main = Gradient(p.FinalWidth, p.FinalHeight);
    TBitmap32 mosaic;
    mosaic.Assign(main);
    const CellPlacement place = PlaceCellPicture(c.changed.X, c.changed.Y, 1, 1, p);
    for (int i = 0; i < place.Count; ++i) mosaic.FillRect(place.Pieces[i].Target, Color32(255, 0, 255));
    const QualityReport r = Measure(main, mosaic, p);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 5; ++x) {
        const bool hit = x == c.changed.X && y == c.changed.Y;
        EXPECT_EQ(r.SingleAt(x, y) > 5, hit) << x << "," << y;
        EXPECT_EQ(r.DetailAt(x, y) > 5, hit) << x << "," << y;
      }
    const std::vector<CellPos> worst = WorstCells(r, 1);
    ASSERT_EQ(worst.size(), 1u);
    EXPECT_EQ(worst[0].X, c.changed.X);
    EXPECT_EQ(worst[0].Y, c.changed.Y);
  }
}

TEST(Quality, DetailSeesAMirroredCellThatTheMeanHides) {
  // Main cell black on the left, white on the right; the mosaic shows it the
  // other way round: the same mean, every sample wrong.
  const tmosaicproject p = Project(1, 1, 16, 16, kStitchLoom);
  TBitmap32 main = Uniform(16, 16, Color32(0, 0, 0));
  main.FillRect(TRect{8, 0, 16, 16}, Color32(255, 255, 255));
  TBitmap32 mirrored;
  FlipPicture(main, mirrored, true, false);
  const QualityReport r = Measure(main, mirrored, p);
  EXPECT_NEAR(r.MeanSingle, 0, 1e-3);
  EXPECT_NEAR(r.MeanDetail, 100, 0.05);
}

// Hands the meter the mosaic in bands of `height` rows, as a banded render does.
void FeedInBands(QualityMeter& meter, const TBitmap32& mosaic, int height) {
  for (int top = 0; top < mosaic.Height(); top += height) {
    const int rows = std::min(height, mosaic.Height() - top);
    TBitmap32 band(mosaic.Width(), rows);
    for (int y = 0; y < rows; ++y)
      std::copy(mosaic.ScanLine(top + y), mosaic.ScanLine(top + y) + mosaic.Width(), band.ScanLine(y));
    meter.AddMosaicRows(band, top, rows);
  }
}

TEST(Quality, BandsAddUpToTheWholeMosaic) {
  const tmosaicproject p = Project(7, 6, 10, 9, kStitchBrick);
  const TBitmap32 main = Gradient(123, 77);
  TBitmap32 mosaic = Gradient(p.FinalWidth, p.FinalHeight);
  FlipPicture(mosaic, mosaic, false, true);
  const QualityReport whole = Measure(main, mosaic, p);

  QualityMeter meter;
  ASSERT_TRUE(meter.Start(main, main.BoundsRect(), p).ok());
  FeedInBands(meter, mosaic, 7);
  const QualityReport banded = meter.Report();
  EXPECT_EQ(banded.Single, whole.Single);
  EXPECT_EQ(banded.Detail, whole.Detail);
  EXPECT_EQ(banded.Detail00, whole.Detail00);
  EXPECT_EQ(banded.Ssim, whole.Ssim);
  EXPECT_GT(whole.MeanSingle, 5);
}

// Luminance pictures for the SSIM cases, row by row.
std::vector<float> Pattern(int w, int h, float (*value)(int x, int y)) {
  std::vector<float> v(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) v[static_cast<size_t>(y) * w + x] = value(x, y);
  return v;
}

TEST(Quality, GreySsimOfKnownPairs) {
  auto checks = [](int x, int y) { return ((x / 3 + y / 2) % 2) ? 220.0f : 30.0f; };
  auto inverse = [](int x, int y) { return ((x / 3 + y / 2) % 2) ? 35.0f : 225.0f; };
  auto ramp = [](int x, int y) { return float((x * 9 + y * 5) % 256); };
  auto flat100 = [](int, int) { return 100.0f; };
  auto flat110 = [](int, int) { return 110.0f; };
  // Two flat pictures: no variance, so only the means' term is left,
  // (2ab + C1) / (a^2 + b^2 + C1) with C1 = 6.5025.
  const double flatPair = (2 * 100.0 * 110 + 6.5025) / (100.0 * 100 + 110.0 * 110 + 6.5025);
  struct Case {
    const char* name;
    float (*a)(int, int);
    float (*b)(int, int);
    int w, h;
    double lo, hi;
  };
  const Case cases[] = {
      {"same pattern", +checks, +checks, 40, 30, 1.0, 1.0},
      {"same ramp", +ramp, +ramp, 33, 17, 1.0, 1.0},
      {"smaller than the window", +ramp, +ramp, 5, 3, 1.0, 1.0},
      {"pattern and its inverse", +checks, +inverse, 40, 30, -1.0, 0.0},
      {"pattern and a ramp", +checks, +ramp, 40, 30, -0.5, 0.5},
      {"two flat greys", +flat100, +flat110, 20, 20, flatPair, flatPair},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const double ssim = GreySsim(Pattern(c.w, c.h, c.a), Pattern(c.w, c.h, c.b), c.w, c.h);
    EXPECT_GE(ssim, c.lo - 1e-9);
    EXPECT_LE(ssim, c.hi + 1e-9);
  }
  EXPECT_NEAR(flatPair, 0.995477, 1e-6);
  EXPECT_EQ(GreySsim({1, 2}, {1, 2, 3}, 2, 1), 0);  // sizes that disagree
}

TEST(Quality, PhotoUsesCountDistinctPhotosAndTheMostUsedOne) {
  CellMap map;
  // 4 x 3 cells: photo 7 five times, photo 2 twice, photo 0 once, photo 9
  // only outside the counted grid, and three cells without a photo.
  const int grid[3][5] = {{7, 7, 2, -1, 9}, {0, 7, -1, 7, 9}, {2, 7, -1, 3, 9}};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) map.At(x, y).PicIndex = grid[y][x];
  const PhotoUses uses = CountPhotoUses(map, 4, 3);
  EXPECT_EQ(uses.Distinct, 4);
  EXPECT_EQ(uses.Most, 5);
  const PhotoUses all = CountPhotoUses(map, 5, 3);
  EXPECT_EQ(all.Distinct, 5);
  EXPECT_EQ(all.Most, 5);
  EXPECT_EQ(CountPhotoUses(CellMap(), 4, 3).Distinct, 0);
}

// A finished picture on its own: the main picture itself measures nothing
// wrong and the same structure; its inverse is unlike it; the photo counts
// are unknown.
TEST(Quality, PictureMeasuredOnItsOwnGrid) {
  const TBitmap32 main = Gradient(96, 64);
  QualityReport same;
  ASSERT_TRUE(MeasurePicture(main, main, 12, 8, 2, same).ok());
  EXPECT_EQ(same.Single.size(), 96u);
  EXPECT_NEAR(same.MeanDetail, 0, 1e-3);
  EXPECT_NEAR(same.MeanDetail00, 0, 1e-3);
  EXPECT_NEAR(same.Ssim, 1, 1e-6);
  EXPECT_EQ(same.SsimWidth, kSsimSide);
  EXPECT_EQ(same.SsimHeight, 341);  // 512 * 64 / 96 = 341.33
  EXPECT_EQ(same.PhotosUsed, -1);

  // Larger than the viewing size, so that its fine texture stays there.
  const TBitmap32 textured = Gradient(1024, 512);
  TBitmap32 inverse = textured;
  for (int y = 0; y < inverse.Height(); ++y)
    for (int x = 0; x < inverse.Width(); ++x) {
      const TColor32 c = textured.Pixel(x, y);
      inverse.Pixel(x, y) = Color32(255 - RedOf(c), 255 - GreenOf(c), 255 - BlueOf(c));
    }
  QualityReport inverted;
  ASSERT_TRUE(MeasurePicture(inverse, textured, 12, 8, 2, inverted).ok());
  EXPECT_LT(inverted.Ssim, 0.2);
  EXPECT_GT(inverted.MeanDetail00, 20);

  // The remainder past whole cells is left out: a wider picture measures the
  // same as the main picture plus a strip.
  TBitmap32 wider(100, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 100; ++x) wider.Pixel(x, y) = x < 96 ? main.Pixel(x, y) : Color32(255, 0, 0);
  QualityReport strip;
  ASSERT_TRUE(MeasurePicture(wider, main, 12, 8, 2, strip).ok());
  EXPECT_NEAR(strip.MeanDetail, 0, 1e-3);

  QualityReport none;
  EXPECT_FALSE(MeasurePicture(main, main, 200, 8, 2, none).ok());
}

// The passes share their rows among as many threads as they are given; the
// figures of every layout, measured whole and in bands, do not change.
TEST(Quality, SameFiguresOnAnyThreadCount) {
  for (const LayoutCase& layout : kLayouts) {
    const tmosaicproject p = Project(9, 7, layout.cw, layout.ch, layout.stitch);
    const TBitmap32 main = Gradient(157, 101);
    TBitmap32 mosaic = Gradient(p.FinalWidth, p.FinalHeight);
    FlipPicture(mosaic, mosaic, true, false);
    QualityReport first;
    for (int threads : {1, 2, 3, 8}) {
      QualityMeter meter;
      meter.SetThreads(threads);
      EXPECT_EQ(meter.Threads(), threads);
      ASSERT_TRUE(meter.Start(main, TRect{3, 5, 150, 99}, p).ok());
      FeedInBands(meter, mosaic, 13);
      const QualityReport report = meter.Report();
      if (threads == 1) {
        first = report;
        EXPECT_GT(first.MeanDetail, 1) << layout.name;
        continue;
      }
      EXPECT_EQ(report.Single, first.Single) << layout.name << ", " << threads << " threads";
      EXPECT_EQ(report.Detail, first.Detail) << layout.name << ", " << threads << " threads";
      EXPECT_EQ(report.WorstDetail, first.WorstDetail) << layout.name << ", " << threads << " threads";
    }
  }
  QualityMeter meter;
  meter.SetThreads(0);
  EXPECT_EQ(meter.Threads(), 1);
}

TEST(Quality, EngineMeasureUsesTheCropOfTheMainPicture) {
  Engine e;
  testing::SetGrid(e, 4, 4, 8, 8);
  // A square mosaic of a 3:1 picture: the crop keeps the grey middle, the
  // red margins lie outside it.
  e.MainBitmap = Uniform(96, 32, Color32(255, 0, 0));
  e.MainBitmap.FillRect(TRect{32, 0, 64, 32}, Color32(90, 90, 90));
  e.MosaicBitmap = Uniform(32, 32, Color32(90, 90, 90));
  QualityReport r;
  e.Project.CropMainImage = true;
  ASSERT_TRUE(MeasureQuality(e, r).ok());
  EXPECT_NEAR(r.MeanSingle, 0, 1e-3);
  e.Project.CropMainImage = false;
  ASSERT_TRUE(MeasureQuality(e, r).ok());
  EXPECT_GT(r.WorstSingle, 50);

  e.MosaicBitmap = Uniform(30, 32, Color32(90, 90, 90));  // not the project's size
  EXPECT_FALSE(MeasureQuality(e, r).ok());
  e.MosaicBitmap = Uniform(32, 32, Color32(90, 90, 90));
  e.MainBitmap = TBitmap32();
  EXPECT_FALSE(MeasureQuality(e, r).ok());
}

TEST(Quality, WorstShareAndWorstCells) {
  QualityReport r;
  r.Cols = 10;
  r.Rows = 10;
  for (int i = 0; i < 100; ++i) r.Single.push_back(static_cast<float>((i * 37) % 100));
  r.Detail = r.Single;
  r.Summarise();
  EXPECT_DOUBLE_EQ(r.MeanSingle, 49.5);
  EXPECT_DOUBLE_EQ(r.WorstSingle, 97);             // 95..99
  EXPECT_DOUBLE_EQ(MeanOfWorst({1, 2, 3}, 5), 3);  // never fewer than one
  EXPECT_DOUBLE_EQ(MeanOfWorst({}, 5), 0);

  const std::vector<CellPos> worst = WorstCells(r, 5);
  ASSERT_EQ(worst.size(), 5u);
  EXPECT_EQ(r.SingleAt(worst[0].X, worst[0].Y), 99);
  EXPECT_EQ(r.SingleAt(worst[4].X, worst[4].Y), 95);
  EXPECT_EQ(WorstCells(r, 0.5).size(), 1u);  // rounded up
  EXPECT_TRUE(WorstCells(r, 0).empty());
  EXPECT_EQ(WorstCells(r, 250).size(), 100u);
  r.Single.assign(100, 1.0f);  // ties: the earlier cells first
  EXPECT_EQ(WorstCells(r, 2)[1].X, 1);
}

TEST(Quality, RemeasuringEditedCellsMatchesAFreshMeasure) {
  const tmosaicproject p = Project(6, 5, 10, 10, kStitchPeyote);
  const TBitmap32 main = Gradient(90, 70);
  TBitmap32 mosaic = Gradient(p.FinalWidth, p.FinalHeight);
  QualityMeter meter;
  ASSERT_TRUE(meter.Start(main, main.BoundsRect(), p).ok());
  meter.MeasureMosaic(mosaic);
  QualityReport r = meter.Report();

  std::vector<CellPos> edited = {{0, 1}, {3, 2}};
  for (const CellPos& c : edited) {
    const CellPlacement place = PlaceCellPicture(c.X, c.Y, 1, 1, p);
    for (int i = 0; i < place.Count; ++i) mosaic.FillRect(place.Pieces[i].Target, Color32(0, 200, 0));
  }
  // The cells an edit's rectangles touch, the wrapped half of a split cell too.
  const CellPlacement split = PlaceCellPicture(0, 1, 1, 1, p);
  const std::vector<CellPos> touched = meter.CellsIn(split.Pieces[1].Target);
  ASSERT_EQ(touched.size(), 1u);
  EXPECT_EQ(touched[0].X, 0);
  EXPECT_EQ(touched[0].Y, 1);
  EXPECT_EQ(meter.CellsIn(TRect{0, 0, 60, 50}).size(), 30u);
  EXPECT_EQ(meter.CellsIn(TRect{9, 9, 11, 11}).size(), 3u);  // (0..1, 0) and (1, 1) of the shifted row
  meter.Remeasure(mosaic, edited, r);
  const QualityReport fresh = Measure(main, mosaic, p);
  EXPECT_EQ(r.Single, fresh.Single);
  EXPECT_EQ(r.Detail, fresh.Detail);
  EXPECT_DOUBLE_EQ(r.MeanSingle, fresh.MeanSingle);
  EXPECT_DOUBLE_EQ(r.WorstDetail, fresh.WorstDetail);
}

TEST(Quality, RefusesAProjectWithoutCells) {
  QualityMeter meter;
  tmosaicproject p = Project(4, 4, 8, 8, kStitchLoom);
  p.CellsAcross = 0;
  EXPECT_FALSE(meter.Start(Uniform(8, 8, 0), TRect{0, 0, 8, 8}, p).ok());
  p.CellsAcross = 4;
  EXPECT_FALSE(meter.Start(Uniform(8, 8, 0), TRect{8, 8, 16, 16}, p).ok());  // area outside the picture
  EXPECT_FALSE(meter.Started());
  meter.AddMosaicRows(Uniform(32, 32, 0), 0, 32);  // harmless before a start
  EXPECT_TRUE(meter.Report().Empty());
}

}  // namespace
}  // namespace velmora
