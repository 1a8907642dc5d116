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

struct Differences {
  float E76 = 0;
  float E00 = 0;
};

Differences Difference(double r1, double g1, double b1, double r2, double g2, double b2) {
  const LabColor a = LabFromRgbF(static_cast<float>(r1), static_cast<float>(g1), static_cast<float>(b1));
  const LabColor b = LabFromRgbF(static_cast<float>(r2), static_cast<float>(g2), static_cast<float>(b2));
  return {DeltaE76(a, b), static_cast<float>(DeltaE2000(a, b))};
}

float Luminance(TColor32 c) { return 0.299f * RedOf(c) + 0.587f * GreenOf(c) + 0.114f * BlueOf(c); }

// View pixel i of `view` spans source pixels [begin, end) of `extent`: at
// least one, so that a view larger than its source repeats pixels.
void ViewSpans(int view, int extent, std::vector<int>& begin, std::vector<int>& end) {
  begin.resize(static_cast<size_t>(view));
  end.resize(static_cast<size_t>(view));
  for (int i = 0; i < view; ++i) {
    const int b = static_cast<int>(int64_t(i) * extent / view);
    const int e = static_cast<int>(int64_t(i + 1) * extent / view);
    begin[static_cast<size_t>(i)] = std::min(b, extent - 1);
    end[static_cast<size_t>(i)] = std::max(e, begin[static_cast<size_t>(i)] + 1);
  }
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
  MeanSingle00 = mean(Single00);
  MeanDetail00 = mean(Detail00);
  WorstSingle = MeanOfWorst(Single, kWorstShare);
  WorstDetail = MeanOfWorst(Detail, kWorstShare);
}

double GreySsim(const std::vector<float>& a, const std::vector<float>& b, int width, int height) {
  if (width <= 0 || height <= 0 || a.size() != size_t(width) * height || b.size() != a.size()) return 0;
  const int ww = std::min(kSsimWindow, width), wh = std::min(kSsimWindow, height);
  // Summed-area tables of a, b, a^2, b^2 and ab, one row and column larger.
  const size_t stride = static_cast<size_t>(width) + 1;
  std::vector<double> sa(stride * (height + 1)), sb(sa.size()), saa(sa.size()), sbb(sa.size()), sab(sa.size());
  for (int y = 0; y < height; ++y) {
    double ra = 0, rb = 0, raa = 0, rbb = 0, rab = 0;
    for (int x = 0; x < width; ++x) {
      const double va = a[size_t(y) * width + x], vb = b[size_t(y) * width + x];
      ra += va;
      rb += vb;
      raa += va * va;
      rbb += vb * vb;
      rab += va * vb;
      const size_t i = (y + 1) * stride + x + 1, up = y * stride + x + 1;
      sa[i] = sa[up] + ra;
      sb[i] = sb[up] + rb;
      saa[i] = saa[up] + raa;
      sbb[i] = sbb[up] + rbb;
      sab[i] = sab[up] + rab;
    }
  }
  auto box = [&](const std::vector<double>& t, int x, int y) {
    return t[(y + wh) * stride + x + ww] - t[y * stride + x + ww] - t[(y + wh) * stride + x] + t[y * stride + x];
  };
  constexpr double c1 = (0.01 * 255) * (0.01 * 255), c2 = (0.03 * 255) * (0.03 * 255);
  const double n = double(ww) * wh;
  double sum = 0;
  int64_t windows = 0;
  for (int y = 0; y + wh <= height; ++y)
    for (int x = 0; x + ww <= width; ++x) {
      const double ma = box(sa, x, y) / n, mb = box(sb, x, y) / n;
      const double va = std::max(0.0, box(saa, x, y) / n - ma * ma);
      const double vb = std::max(0.0, box(sbb, x, y) / n - mb * mb);
      const double cov = box(sab, x, y) / n - ma * mb;
      sum += (2 * ma * mb + c1) * (2 * cov + c2) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
      ++windows;
    }
  return windows > 0 ? sum / double(windows) : 0;
}

PhotoUses CountPhotoUses(const CellMap& map, int cols, int rows) {
  std::vector<int> uses;
  PhotoUses result;
  for (int x = 0; x < cols; ++x)
    for (int y = 0; y < rows; ++y) {
      const int k = map.At(x, y).PicIndex;
      if (k < 0) continue;
      if (size_t(k) >= uses.size()) uses.resize(size_t(k) + 1, 0);
      if (uses[size_t(k)]++ == 0) ++result.Distinct;
      result.Most = std::max(result.Most, uses[size_t(k)]);
    }
  return result;
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
  StartView(main, area);

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

// The main picture's part at the viewing size, each view pixel the mean
// luminance of the source pixels it spans; the mosaic's view emptied.
void QualityMeter::StartView(const TBitmap32& main, const TRect& area) {
  const int w = area.Width(), h = area.Height();
  viewWidth_ = w >= h ? kSsimSide : std::max(1, static_cast<int>(std::lround(double(kSsimSide) * w / h)));
  viewHeight_ = h > w ? kSsimSide : std::max(1, static_cast<int>(std::lround(double(kSsimSide) * h / w)));
  const size_t pixels = static_cast<size_t>(viewWidth_) * viewHeight_;
  mainView_.assign(pixels, 0.0f);
  mosaicViewSum_.assign(pixels, 0.0);
  mosaicViewCount_.assign(pixels, 0);
  std::vector<int> mb, me, nb, ne;
  ViewSpans(viewWidth_, w, mb, me);
  ViewSpans(viewHeight_, h, nb, ne);
  ParallelFor(threads_, viewHeight_, [&](int, int vy) {
    for (int vx = 0; vx < viewWidth_; ++vx) {
      double sum = 0;
      int count = 0;
      for (int y = nb[size_t(vy)]; y < ne[size_t(vy)]; ++y) {
        const TColor32* line = main.ScanLine(area.Top + y);
        for (int x = mb[size_t(vx)]; x < me[size_t(vx)]; ++x, ++count) sum += Luminance(line[area.Left + x]);
      }
      mainView_[size_t(vy) * viewWidth_ + vx] = count > 0 ? static_cast<float>(sum / count) : 0.0f;
    }
  });
  ViewSpans(viewWidth_, width_, viewColumnBegin_, viewColumnEnd_);
  ViewSpans(viewHeight_, height_, viewRowBegin_, viewRowEnd_);
}

// Mosaic rows [top, top + rows) into the view rows that span them.
void QualityMeter::AddViewRows(const TBitmap32& band, int top, int rows) {
  const int bandBottom = std::min(top + std::min(rows, band.Height()), height_);
  const int width = std::min(width_, band.Width());
  ParallelFor(threads_, viewHeight_, [&](int, int vy) {
    const int y0 = std::max(viewRowBegin_[size_t(vy)], top);
    const int y1 = std::min(viewRowEnd_[size_t(vy)], bandBottom);
    for (int y = y0; y < y1; ++y) {
      const TColor32* line = band.ScanLine(y - top);
      for (int vx = 0; vx < viewWidth_; ++vx) {
        const int x1 = std::min(viewColumnEnd_[size_t(vx)], width);
        double sum = 0;
        int count = 0;
        for (int x = viewColumnBegin_[size_t(vx)]; x < x1; ++x, ++count) sum += Luminance(line[x]);
        mosaicViewSum_[size_t(vy) * viewWidth_ + vx] += sum;
        mosaicViewCount_[size_t(vy) * viewWidth_ + vx] += static_cast<uint32_t>(count);
      }
    }
  });
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
  AddViewRows(band, top, rows);
}

void QualityMeter::MeasureMosaic(const TBitmap32& mosaic) {
  std::fill(mosaic_.begin(), mosaic_.end(), MosaicSample{});
  std::fill(mosaicViewSum_.begin(), mosaicViewSum_.end(), 0.0);
  std::fill(mosaicViewCount_.begin(), mosaicViewCount_.end(), 0u);
  AddMosaicRows(mosaic, 0, mosaic.Height());
}

QualityMeter::CellErrors QualityMeter::MeasureCell(int x, int y) const {
  const size_t first = (static_cast<size_t>(y) * cols_ + x) * kSamplesPerCell;
  double mr = 0, mg = 0, mb = 0, mw = 0;
  double sr = 0, sg = 0, sb = 0, sn = 0;
  double detailSum = 0, detailSum00 = 0;
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
      const Differences d =
          Difference(m.Red / m.Weight, m.Green / m.Weight, m.Blue / m.Weight, double(s.Red) / s.Count,
                     double(s.Green) / s.Count, double(s.Blue) / s.Count);
      detailSum += d.E76;
      detailSum00 += d.E00;
      ++detailCount;
    }
  }
  CellErrors e;
  if (mw > 0 && sn > 0) {
    const Differences d = Difference(mr / mw, mg / mw, mb / mw, sr / sn, sg / sn, sb / sn);
    e.Single = d.E76;
    e.Single00 = d.E00;
  }
  if (detailCount > 0) {
    e.Detail = static_cast<float>(detailSum / detailCount);
    e.Detail00 = static_cast<float>(detailSum00 / detailCount);
  }
  return e;
}

QualityReport QualityMeter::Report() const {
  QualityReport report;
  report.Cols = cols_;
  report.Rows = rows_;
  const size_t cells = static_cast<size_t>(cols_) * rows_;
  report.Single.resize(cells);
  report.Detail.resize(cells);
  report.Single00.resize(cells);
  report.Detail00.resize(cells);
  ParallelFor(threads_, rows_, [&](int, int y) {
    for (int x = 0; x < cols_; ++x) {
      const size_t c = static_cast<size_t>(y) * cols_ + x;
      const CellErrors e = MeasureCell(x, y);
      report.Single[c] = e.Single;
      report.Detail[c] = e.Detail;
      report.Single00[c] = e.Single00;
      report.Detail00[c] = e.Detail00;
    }
  });
  report.Summarise();
  if (viewWidth_ > 0) {
    std::vector<float> mosaicView(mainView_.size());
    for (size_t i = 0; i < mosaicView.size(); ++i)
      mosaicView[i] = mosaicViewCount_[i] > 0 ? static_cast<float>(mosaicViewSum_[i] / mosaicViewCount_[i]) : 0.0f;
    report.Ssim = GreySsim(mainView_, mosaicView, viewWidth_, viewHeight_);
    report.SsimWidth = viewWidth_;
    report.SsimHeight = viewHeight_;
  }
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
    const CellErrors e = MeasureCell(c.X, c.Y);
    report.Single[i] = e.Single;
    report.Detail[i] = e.Detail;
    if (report.Single00.size() == report.Single.size()) {
      report.Single00[i] = e.Single00;
      report.Detail00[i] = e.Detail00;
    }
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

Status MeasurePicture(const TBitmap32& picture, const TBitmap32& main, int cols, int rows, int threads,
                      QualityReport& report) {
  if (cols <= 0 || rows <= 0 || picture.Width() / cols <= 0 || picture.Height() / rows <= 0)
    return Status::Error("The picture is smaller than its grid of cells.");
  tmosaicproject grid;
  grid.CellsAcross = cols;
  grid.CellsDown = rows;
  grid.CellWidth = static_cast<int>(picture.Width() / cols);
  grid.CellHeight = static_cast<int>(picture.Height() / rows);
  grid.StitchMode = kStitchLoom;
  QualityMeter meter;
  meter.SetThreads(threads);
  VELMORA_TRY(meter.Start(main, main.BoundsRect(), grid));
  meter.MeasureMosaic(picture);
  report = meter.Report();
  return Status::Ok();
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
  const PhotoUses uses = CountPhotoUses(engine.Map, p.CellsAcross, p.CellsDown);
  report.PhotosUsed = uses.Distinct;
  report.MostUses = uses.Most;
  return Status::Ok();
}

}  // namespace velmora
