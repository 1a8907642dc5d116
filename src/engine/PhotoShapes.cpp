#include "engine/PhotoShapes.h"

#include <algorithm>
#include <cmath>

#include "engine/Engine.h"
#include "engine/Tables.h"
#include "imaging/Parallel.h"
#include "imaging/PictureReader.h"

namespace velmora {

namespace {

// The aspect in pixels of each shape for cells of aspect 1.
constexpr std::array<double, 3> kShapeAspect = {1.0, 2.0, 0.5};

// The summary of the w x h cells at cell (x, y) of a grid of two by two
// samples per cell: each quadrant the mean of its w x h samples.
ColorSignature AreaSignature(const Bitmap24& grid, int x, int y, int w, int h) {
  ColorSignature sig;
  int sum[3] = {0, 0, 0};
  for (int q = 0; q < 4; ++q) {
    int c[3] = {0, 0, 0};
    for (int sy = 2 * y + (q >> 1) * h; sy < 2 * y + ((q >> 1) + 1) * h; ++sy) {
      const uint8_t* p = grid.PixelAddress(2 * x + (q & 1) * w, sy);
      for (int sx = 0; sx < w; ++sx, p += 3)
        for (int i = 0; i < 3; ++i) c[i] += p[i];
    }
    const int n = w * h;
    SigColor& s = sig.Slot[size_t(q)];
    s.Blue = static_cast<uint8_t>((c[0] + n / 2) / n);
    s.Green = static_cast<uint8_t>((c[1] + n / 2) / n);
    s.Red = static_cast<uint8_t>((c[2] + n / 2) / n);
    s.Grey = GreyOf(s.Red, s.Green, s.Blue);
    sum[0] += s.Blue;
    sum[1] += s.Green;
    sum[2] += s.Red;
  }
  SigColor& mean = sig.Slot[sigMean];
  mean.Blue = static_cast<uint8_t>(sum[0] >> 2);
  mean.Green = static_cast<uint8_t>(sum[1] >> 2);
  mean.Red = static_cast<uint8_t>(sum[2] >> 2);
  mean.Grey = GreyOf(mean.Red, mean.Green, mean.Blue);
  return sig;
}

}  // namespace

TileShape ShapeForAspect(double photoAspect, double cellAspect) {
  if (!(photoAspect > 0) || !(cellAspect > 0) || !std::isfinite(photoAspect)) return TileShape::kSquare;
  const double a = std::log(photoAspect);
  TileShape best = TileShape::kSquare;
  double bestGap = INFINITY;
  for (int s = 0; s < 3; ++s) {
    const double gap = std::fabs(a - std::log(kShapeAspect[size_t(s)] * cellAspect));
    // Square wins a tie, then wide.
    if (gap < bestGap - 1e-12) {
      bestGap = gap;
      best = TileShape(s);
    }
  }
  return best;
}

TileShape ShapeOfBlock(int w, int h) {
  return w == h ? TileShape::kSquare : w > h ? TileShape::kWide : TileShape::kTall;
}

double ShareShown(double photoAspect, double tileAspect) {
  if (!(photoAspect > 0) || !(tileAspect > 0) || !std::isfinite(photoAspect)) return 1.0;
  return std::min(photoAspect, tileAspect) / std::max(photoAspect, tileAspect);
}

void AspectShapes::Classify(double cellAspect) {
  Shape.assign(Aspect.size(), TileShape::kSquare);
  Count = {};
  for (size_t k = 0; k < Aspect.size(); ++k) {
    Shape[k] = ShapeForAspect(Aspect[k], cellAspect);
    ++Count[size_t(Shape[k])];
  }
}

void ReadPhotoAspects(const std::vector<std::string>& paths, int threads, std::vector<float>& aspects,
                      std::vector<std::string>& warnings) {
  const int n = static_cast<int>(paths.size());
  aspects.assign(paths.size(), 0.0f);
  std::vector<std::string> failed(paths.size());
  ParallelFor(std::max(1, threads), n, [&](int, int k) {
    DecodeHints hints;
    // Any scale serves: only the stored size is wanted.
    hints.acceptScaled = [](int, int) { return true; };
    hints.readByContent = true;
    hints.allowExternalPrograms = false;
    try {
      Result<DecodedPicture> read = ReadPicture(paths[size_t(k)], hints);
      if (!read.ok()) {
        failed[size_t(k)] = read.status().message();
        return;
      }
      const DecodedPicture& p = read.value();
      if (p.storedWidth > 0 && p.storedHeight > 0)
        aspects[size_t(k)] = static_cast<float>(double(p.storedWidth) / double(p.storedHeight));
    } catch (const std::bad_alloc&) {
      failed[size_t(k)] = paths[size_t(k)] + ": out of memory reading its size";
    }
  });
  for (std::string& f : failed)
    if (!f.empty()) warnings.push_back(std::move(f));
}

ShapeCosts MeasureShapeCosts(const Bitmap24& grid, const BlockMap& taken, const LibraryTable& library, int count,
                             const AspectShapes& shapes, int enhance, int threads) {
  ShapeCosts out;
  const int cols = taken.CellsAcross();
  const int rows = taken.CellsDown();
  if (cols <= 0 || rows <= 0 || grid.Width() < 2 * cols || grid.Height() < 2 * rows) return out;
  out.Cols = cols;
  out.Rows = rows;
  const size_t cells = size_t(cols) * size_t(rows);
  out.Single.assign(cells, kNoShapeCost);
  out.Wide.assign(cells, kNoShapeCost);
  out.Tall.assign(cells, kNoShapeCost);
  auto best = [&](const ColorSignature& area, TileShape shape) {
    int64_t d = kNoShapeCost;
    for (int k = 0; k < count; ++k)
      if (shapes.Fits(k, shape))
        d = std::min<int64_t>(d, Engine::Compare(library[k].Signature, area, enhance, false, false).Distance);
    return d;
  };
  auto free = [&](int x, int y) { return x < cols && y < rows && taken.BlockAt(x, y) < 0; };
  // Each cell's three costs depend on nothing the others write.
  ParallelFor(std::max(1, threads), rows, [&](int, int y) {
    for (int x = 0; x < cols; ++x) {
      if (!free(x, y)) continue;
      const size_t c = size_t(y) * size_t(cols) + size_t(x);
      out.Single[c] = best(AreaSignature(grid, x, y, 1, 1), TileShape::kSquare);
      if (shapes.Count[size_t(TileShape::kWide)] > 0 && free(x + 1, y))
        out.Wide[c] = best(AreaSignature(grid, x, y, 2, 1), TileShape::kWide);
      if (shapes.Count[size_t(TileShape::kTall)] > 0 && free(x, y + 1))
        out.Tall[c] = best(AreaSignature(grid, x, y, 1, 2), TileShape::kTall);
    }
  });
  return out;
}

void AddShapeBlocks(const ShapeCosts& costs, BlockMap& blocks) {
  const int cols = costs.Cols;
  const int rows = costs.Rows;
  if (cols != blocks.CellsAcross() || rows != blocks.CellsDown()) return;
  const size_t cells = size_t(cols) * size_t(rows);
  if (costs.Single.size() != cells || costs.Wide.size() != cells || costs.Tall.size() != cells) return;
  auto at = [&](const std::vector<int64_t>& v, int x, int y) { return v[size_t(y) * size_t(cols) + size_t(x)]; };
  // The gain per cell of a block over its two cells as single tiles; the
  // costs are per cell already, so a block's is compared with the mean of
  // its cells'. Doubled to stay in whole numbers.
  auto gain = [&](int64_t block, int64_t a, int64_t b) -> int64_t {
    if (block == kNoShapeCost) return 0;
    // A cell no square photo can take at all gains fully.
    if (a == kNoShapeCost || b == kNoShapeCost) return INT64_MAX / 4;
    return a + b - 2 * block;
  };
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < cols; ++x) {
      if (blocks.BlockAt(x, y) >= 0) continue;
      const bool right = x + 1 < cols && blocks.BlockAt(x + 1, y) < 0;
      const bool below = y + 1 < rows && blocks.BlockAt(x, y + 1) < 0;
      const int64_t wide = right ? gain(at(costs.Wide, x, y), at(costs.Single, x, y), at(costs.Single, x + 1, y)) : 0;
      const int64_t tall = below ? gain(at(costs.Tall, x, y), at(costs.Single, x, y), at(costs.Single, x, y + 1)) : 0;
      if (wide > 0 && wide >= tall)
        (void)blocks.Add(TileBlock{x, y, 2, 1});
      else if (tall > 0)
        (void)blocks.Add(TileBlock{x, y, 1, 2});
    }
}

}  // namespace velmora
