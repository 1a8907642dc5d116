// The match-quality measure. Samples are kept as sums, not means, so that a
// mosaic arriving in bands adds up to the same figures as a whole one, and a
// cell's one-sample colour is the sum of its sixteen samples.
#include "quality/Quality.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <thread>

#include "imaging/Parallel.h"
#include "imaging/ColorLab.h"
#include "imaging/PictureOps.h"

namespace velmora {
namespace {

constexpr int kSamplesPerCell = kQualitySide * kQualitySide;

float Difference(double r1, double g1, double b1, double r2, double g2, double b2) {
  return DeltaE76(LabFromRgbF(static_cast<float>(r1), static_cast<float>(g1), static_cast<float>(b1)),
                  LabFromRgbF(static_cast<float>(r2), static_cast<float>(g2), static_cast<float>(b2)));
}

}  // namespace

// The measure's passes share rows of cells among the threads; every cell
// writes only its own samples, so the figures do not depend on how many.
int DefaultQualityThreads() {
  return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
}

double MeanOfWorst(std::vector<float> values, double percent) {
  if (values.empty()) return 0;
  const size_t n =
      std::clamp<size_t>(static_cast<size_t>(std::ceil(values.size() * percent / 100.0)), 1, values.size());
  std::nth_element(values.begin(), values.begin() + static_cast<long>(n - 1), values.end(), std::greater<>());
  double sum = 0;
  for (size_t i = 0; i < n; ++i) sum += values[i];
  return sum / static_cast<double>(n);
}

void QualityReport::Summarise() {
  auto mean = [](const std::vector<float>& v) {
    return v.empty() ? 0.0 : std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
  };
  MeanSingle = mean(Single);
  MeanDetail = mean(Detail);
  WorstSingle = MeanOfWorst(Single, kWorstShare);
  WorstDetail = MeanOfWorst(Detail, kWorstShare);
}

std::vector<CellPos> WorstCells(const QualityReport& report, double percent) {
  const size_t cells = report.Single.size();
  if (percent <= 0 || cells == 0) return {};
  const size_t n = std::min(cells, static_cast<size_t>(std::ceil(cells * std::min(percent, 100.0) / 100.0)));
  std::vector<int> order(cells);
  std::iota(order.begin(), order.end(), 0);
  // Ties go to the earlier cell, so the choice does not depend on the sort.
  std::partial_sort(order.begin(), order.begin() + static_cast<long>(n), order.end(), [&](int a, int b) {
    const float ea = report.Single[static_cast<size_t>(a)];
    const float eb = report.Single[static_cast<size_t>(b)];
    return ea != eb ? ea > eb : a < b;
  });
  std::vector<CellPos> worst;
  worst.reserve(n);
  for (size_t i = 0; i < n; ++i) worst.push_back(CellPos{order[i] % report.Cols, order[i] / report.Cols});
  return worst;
}

Status QualityMeter::Start(const TBitmap32& main, const TRect& mainArea, const tmosaicproject& project) {
  cols_ = rows_ = 0;
  const int cols = project.CellsAcross;
  const int rows = project.CellsDown;
  if (cols <= 0 || rows <= 0 || cols > kMapSide || rows > kMapSide || project.CellWidth <= 0 ||
      project.CellHeight <= 0 || project.CellWidth > 65536 || project.CellHeight > 65536)
    return Status::Error("The project has no cell grid to measure.");
  const TRect area = Intersect(mainArea, main.BoundsRect());
  if (area.IsEmpty()) return Status::Error("There is no main picture to measure the mosaic against.");

  cols_ = cols;
  rows_ = rows;
  cw_ = project.CellWidth;
  ch_ = project.CellHeight;
  width_ = cols * cw_;
  height_ = rows * ch_;
  stitch_ = project.StitchMode;
  const size_t samples = static_cast<size_t>(cols) * rows * kSamplesPerCell;
  main_.assign(samples, MainSample{});
  mosaic_.assign(samples, MosaicSample{});

  // Each sample's mosaic spans, scaled onto the main picture's area and
  // averaged there with each pixel weighted by how much of it is covered.
  const double sx = static_cast<double>(area.Width()) / width_;
  const double sy = static_cast<double>(area.Height()) / height_;
  const int threads = threads_;
  std::vector<std::vector<double>> weights(static_cast<size_t>(threads));
  ParallelFor(threads, rows, [&](int worker, int y) {
    std::vector<double>& weightX = weights[static_cast<size_t>(worker)];
    for (int x = 0; x < cols; ++x)
      for (int j = 0; j < kQualitySide; ++j) {
        const Span rs = RowSpan(x, y, j);
        for (int i = 0; i < kQualitySide; ++i) {
          const Span cs = ColumnSpan(x, y, i);
          double r = 0, g = 0, b = 0, w = 0;
          for (int ry = 0; ry < rs.Count; ++ry) {
            const double fy0 = area.Top + rs.Begin[ry] * sy;
            const double fy1 = area.Top + rs.End[ry] * sy;
            for (int cx = 0; cx < cs.Count; ++cx) {
              const double fx0 = area.Left + cs.Begin[cx] * sx;
              const double fx1 = area.Left + cs.End[cx] * sx;
              const int px0 = std::max(area.Left, static_cast<int>(std::floor(fx0)));
              const int px1 = std::min(area.Right, static_cast<int>(std::ceil(fx1)));
              const int py0 = std::max(area.Top, static_cast<int>(std::floor(fy0)));
              const int py1 = std::min(area.Bottom, static_cast<int>(std::ceil(fy1)));
              weightX.resize(static_cast<size_t>(std::max(0, px1 - px0)));
              for (int px = px0; px < px1; ++px)
                weightX[static_cast<size_t>(px - px0)] = std::min(fx1, px + 1.0) - std::max(fx0, double(px));
              for (int py = py0; py < py1; ++py) {
                const double wy = std::min(fy1, py + 1.0) - std::max(fy0, double(py));
                if (wy <= 0) continue;
                const TColor32* line = main.ScanLine(py);
                double lr = 0, lg = 0, lb = 0, lw = 0;
                for (int px = px0; px < px1; ++px) {
                  const double wx = weightX[static_cast<size_t>(px - px0)];
                  const TColor32 c = line[px];
                  lr += wx * RedOf(c);
                  lg += wx * GreenOf(c);
                  lb += wx * BlueOf(c);
                  lw += wx;
                }
                r += wy * lr;
                g += wy * lg;
                b += wy * lb;
                w += wy * lw;
              }
            }
          }
          MainSample& s = main_[(static_cast<size_t>(y) * cols + x) * kSamplesPerCell + j * kQualitySide + i];
          s.Red = static_cast<float>(r);
          s.Green = static_cast<float>(g);
          s.Blue = static_cast<float>(b);
          s.Weight = static_cast<float>(w);
        }
      }
  });
  return Status::Ok();
}

// [a, b) on a line of `extent` pixels; a part left of 0 wraps round to the
// far end, as the renderer splits a shifted cell.
QualityMeter::Span QualityMeter::WrappedSpan(int a, int b, int extent) {
  Span s;
  if (b <= a) return s;
  if (a < 0) {
    s.Begin[s.Count] = a + extent;
    s.End[s.Count++] = std::min(b, 0) + extent;
    if (b > 0) {
      s.Begin[s.Count] = 0;
      s.End[s.Count++] = b;
    }
  } else {
    s.Begin[0] = a;
    s.End[0] = b;
    s.Count = 1;
  }
  return s;
}

// Sample i of cell (x, y) spans columns [left + i*cw/4, left + (i+1)*cw/4)
// of the cell's unshifted-or-shifted area; an odd peyote row starts half a
// cell to the left, so its cell 0 wraps round to the mosaic's right edge,
// as the renderer splits it.
QualityMeter::Span QualityMeter::ColumnSpan(int x, int y, int i) const {
  const int left = x * cw_ - (stitch_ == kStitchPeyote && (y & 1) ? cw_ / 2 : 0);
  return WrappedSpan(left + i * cw_ / kQualitySide, left + (i + 1) * cw_ / kQualitySide, width_);
}

// The same down the rows: an odd brick column starts half a cell higher.
QualityMeter::Span QualityMeter::RowSpan(int x, int y, int j) const {
  const int top = y * ch_ - (stitch_ == kStitchBrick && (x & 1) ? ch_ / 2 : 0);
  return WrappedSpan(top + j * ch_ / kQualitySide, top + (j + 1) * ch_ / kQualitySide, height_);
}

void QualityMeter::AddCell(const TBitmap32& band, int top, int rows, int x, int y) {
  const int bandBottom = top + std::min(rows, band.Height());
  MosaicSample* samples = &mosaic_[(static_cast<size_t>(y) * cols_ + x) * kSamplesPerCell];
  for (int j = 0; j < kQualitySide; ++j) {
    const Span rs = RowSpan(x, y, j);
    for (int ry = 0; ry < rs.Count; ++ry) {
      const int y0 = std::max(rs.Begin[ry], top);
      const int y1 = std::min(rs.End[ry], bandBottom);
      if (y1 <= y0) continue;
      for (int i = 0; i < kQualitySide; ++i) {
        const Span cs = ColumnSpan(x, y, i);
        MosaicSample& s = samples[j * kQualitySide + i];
        for (int cx = 0; cx < cs.Count; ++cx) {
          const int x0 = cs.Begin[cx];
          const int x1 = std::min(cs.End[cx], band.Width());
          for (int row = y0; row < y1; ++row) {
            const TColor32* line = band.ScanLine(row - top);
            uint32_t r = 0, g = 0, b = 0;
            for (int px = x0; px < x1; ++px) {
              r += RedOf(line[px]);
              g += GreenOf(line[px]);
              b += BlueOf(line[px]);
            }
            s.Red += r;
            s.Green += g;
            s.Blue += b;
            s.Count += static_cast<uint32_t>(std::max(0, x1 - x0));
          }
        }
      }
    }
  }
}

void QualityMeter::AddMosaicRows(const TBitmap32& band, int top, int rows) {
  if (!Started() || rows <= 0) return;
  ParallelFor(threads_, rows_, [&](int, int y) {
    for (int x = 0; x < cols_; ++x) AddCell(band, top, rows, x, y);
  });
}

void QualityMeter::MeasureMosaic(const TBitmap32& mosaic) {
  std::fill(mosaic_.begin(), mosaic_.end(), MosaicSample{});
  AddMosaicRows(mosaic, 0, mosaic.Height());
}

void QualityMeter::MeasureCell(int x, int y, float& single, float& detail) const {
  const size_t first = (static_cast<size_t>(y) * cols_ + x) * kSamplesPerCell;
  double mr = 0, mg = 0, mb = 0, mw = 0;
  double sr = 0, sg = 0, sb = 0, sn = 0;
  double detailSum = 0;
  int detailCount = 0;
  for (int k = 0; k < kSamplesPerCell; ++k) {
    const MainSample& m = main_[first + k];
    const MosaicSample& s = mosaic_[first + k];
    mr += m.Red;
    mg += m.Green;
    mb += m.Blue;
    mw += m.Weight;
    sr += double(s.Red);
    sg += double(s.Green);
    sb += double(s.Blue);
    sn += s.Count;
    if (m.Weight > 0 && s.Count > 0) {
      detailSum += Difference(m.Red / m.Weight, m.Green / m.Weight, m.Blue / m.Weight,
                              double(s.Red) / s.Count, double(s.Green) / s.Count, double(s.Blue) / s.Count);
      ++detailCount;
    }
  }
  single = mw > 0 && sn > 0 ? Difference(mr / mw, mg / mw, mb / mw, sr / sn, sg / sn, sb / sn) : 0.0f;
  detail = detailCount > 0 ? static_cast<float>(detailSum / detailCount) : 0.0f;
}

QualityReport QualityMeter::Report() const {
  QualityReport report;
  report.Cols = cols_;
  report.Rows = rows_;
  const size_t cells = static_cast<size_t>(cols_) * rows_;
  report.Single.resize(cells);
  report.Detail.resize(cells);
  ParallelFor(threads_, rows_, [&](int, int y) {
    for (int x = 0; x < cols_; ++x) {
      const size_t c = static_cast<size_t>(y) * cols_ + x;
      MeasureCell(x, y, report.Single[c], report.Detail[c]);
    }
  });
  report.Summarise();
  return report;
}

void QualityMeter::Remeasure(const TBitmap32& mosaic, const std::vector<CellPos>& cells,
                             QualityReport& report) {
  if (!Started() || report.Cols != cols_ || report.Rows != rows_) return;
  for (const CellPos& c : cells) {
    if (c.X < 0 || c.Y < 0 || c.X >= cols_ || c.Y >= rows_) continue;
    MosaicSample* samples = &mosaic_[(static_cast<size_t>(c.Y) * cols_ + c.X) * kSamplesPerCell];
    std::fill(samples, samples + kSamplesPerCell, MosaicSample{});
    AddCell(mosaic, 0, mosaic.Height(), c.X, c.Y);
    const size_t i = static_cast<size_t>(c.Y) * cols_ + c.X;
    MeasureCell(c.X, c.Y, report.Single[i], report.Detail[i]);
  }
  report.Summarise();
}

std::vector<CellPos> QualityMeter::CellsIn(const TRect& rect) const {
  std::vector<CellPos> cells;
  if (!Started() || rect.IsEmpty()) return cells;
  auto meets = [](const Span& first, const Span& last, int lo, int hi) {
    // A cell's span runs from its first sample's start to its last's end,
    // in one piece or, wrapped, in two.
    for (int i = 0; i < first.Count; ++i)
      for (int j = 0; j < last.Count; ++j) {
        const int a = first.Begin[i];
        const int b = last.End[j];
        if (a < b ? (a < hi && b > lo) : (a < hi || b > lo)) return true;
      }
    return false;
  };
  for (int y = 0; y < rows_; ++y)
    for (int x = 0; x < cols_; ++x)
      if (meets(ColumnSpan(x, y, 0), ColumnSpan(x, y, kQualitySide - 1), rect.Left, rect.Right) &&
          meets(RowSpan(x, y, 0), RowSpan(x, y, kQualitySide - 1), rect.Top, rect.Bottom))
        cells.push_back(CellPos{x, y});
  return cells;
}

std::array<float, 3> QualityMeter::MainMean(int x, int y) const {
  if (x < 0 || y < 0 || x >= cols_ || y >= rows_) return {0, 0, 0};
  const size_t first = (static_cast<size_t>(y) * cols_ + x) * kSamplesPerCell;
  double r = 0, g = 0, b = 0, w = 0;
  for (int k = 0; k < kSamplesPerCell; ++k) {
    const MainSample& m = main_[first + k];
    r += m.Red;
    g += m.Green;
    b += m.Blue;
    w += m.Weight;
  }
  if (w <= 0) return {0, 0, 0};
  return {float(r / w), float(g / w), float(b / w)};
}

TRect QualityMainArea(const Engine& engine) {
  const TBitmap32& main = engine.MainBitmap;
  if (engine.Project.CropMainImage)
    return CropRegion(main.Width(), main.Height(), engine.Project.FinalWidth, engine.Project.FinalHeight);
  return main.BoundsRect();
}

Status MeasureQuality(const Engine& engine, QualityReport& report) {
  const tmosaicproject& p = engine.Project;
  if (engine.MosaicBitmap.Empty() || engine.MosaicBitmap.Width() != int64_t(p.CellsAcross) * p.CellWidth ||
      engine.MosaicBitmap.Height() != int64_t(p.CellsDown) * p.CellHeight)
    return Status::Error("There is no mosaic of the project's size to measure.");
  QualityMeter meter;
  meter.SetThreads(engine.ThreadCount());
  VELMORA_TRY(meter.Start(engine.MainBitmap, QualityMainArea(engine), p));
  meter.MeasureMosaic(engine.MosaicBitmap);
  report = meter.Report();
  return Status::Ok();
}

}  // namespace velmora
