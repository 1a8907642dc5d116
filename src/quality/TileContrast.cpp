// The tile contrast measure. Luminance is Rec. 601 (0.299 R + 0.587 G +
// 0.114 B on the 8-bit sRGB values, 0..255), as the SSIM figure uses; each
// cell keeps the sum of its luminances and of their squares, so that bands
// of any height add up to the same figure.
#include "quality/TileContrast.h"

#include <algorithm>
#include <cmath>

namespace velmora {
namespace {

// Cell i of `cells` covers pixels [i * extent / cells, (i + 1) * extent / cells).
std::vector<int> CellOfPixel(int extent, int cells) {
  std::vector<int> cellOf(static_cast<size_t>(extent));
  for (int i = 0; i < cells; ++i) {
    const int begin = static_cast<int>(int64_t(i) * extent / cells);
    const int end = static_cast<int>(int64_t(i + 1) * extent / cells);
    std::fill(cellOf.begin() + begin, cellOf.begin() + end, i);
  }
  return cellOf;
}

}  // namespace

Status TileContrastMeter::Start(int width, int height, int cols, int rows) {
  cols_ = rows_ = 0;
  if (cols <= 0 || rows <= 0 || width < cols || height < rows)
    return Status::Error("The picture has no cell grid to measure the tile contrast on.");
  cols_ = cols;
  rows_ = rows;
  width_ = width;
  height_ = height;
  cellColumn_ = CellOfPixel(width, cols);
  cellRow_ = CellOfPixel(height, rows);
  const size_t cells = static_cast<size_t>(cols) * rows;
  mosaic_.assign(cells, Moments{});
  untinted_.assign(cells, Moments{});
  return Status::Ok();
}

void TileContrastMeter::AddRows(std::vector<Moments>& cells, const TBitmap32& band, int top, int rows) {
  if (!Started()) return;
  const int from = std::max(top, 0);
  const int to = std::min({top + rows, height_, top + band.Height()});
  const int width = std::min(width_, band.Width());
  for (int y = from; y < to; ++y) {
    const TColor32* line = band.ScanLine(y - top);
    Moments* cellRow = cells.data() + static_cast<size_t>(cellRow_[y]) * cols_;
    for (int x = 0; x < width; ++x) {
      const TColor32 c = line[x];
      const double l = 0.299 * RedOf(c) + 0.587 * GreenOf(c) + 0.114 * BlueOf(c);
      Moments& m = cellRow[cellColumn_[x]];
      m.Sum += l;
      m.Squares += l * l;
      ++m.Count;
    }
  }
}

double TileContrastMeter::Spread(const Moments& m) {
  if (m.Count == 0) return 0;
  const double mean = m.Sum / m.Count;
  return std::sqrt(std::max(0.0, m.Squares / m.Count - mean * mean));
}

TileContrast TileContrastMeter::Result() const {
  TileContrast r;
  double kept = 0;
  for (size_t i = 0; i < untinted_.size(); ++i) {
    const double own = Spread(untinted_[i]);
    if (own < kFlatSpread) continue;
    kept += std::min(1.0, Spread(mosaic_[i]) / own);
    ++r.Cells;
  }
  if (r.Cells > 0) r.Percent = 100.0 * kept / r.Cells;
  return r;
}

}  // namespace velmora
