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
    for (int stitch : {kStitchLoom, kStitchPeyote, kStitchBrick}) {
      const tmosaicproject p = Project(6, 5, 9, 8, stitch);
      const QualityReport r =
          Measure(Uniform(37, 23, s.main), Uniform(p.FinalWidth, p.FinalHeight, s.shown), p);
      EXPECT_NEAR(r.MeanSingle, expected, 1e-3);
      EXPECT_NEAR(r.MeanDetail, expected, 1e-3);
      EXPECT_NEAR(r.WorstSingle, expected, 1e-3);
      EXPECT_NEAR(r.DetailAt(5, 4), expected, 1e-3);
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
  EXPECT_GT(whole.MeanSingle, 5);
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
