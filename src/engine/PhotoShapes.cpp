#include "engine/PhotoShapes.h"

#include <algorithm>
#include <cmath>

#include "engine/Engine.h"
#include "engine/Tables.h"
#include "imaging/Parallel.h"
#include "imaging/PictureReader.h"

namespace velmora {

namespace {

// The aspect of a shape's block for cells of aspect 1.
double ShapeAspect(int s) { return double(kShapeCells[s][0]) / double(kShapeCells[s][1]); }

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
  for (int s = 0; s < kTileShapeCount; ++s) {
    const double gap = std::fabs(a - std::log(ShapeAspect(s) * cellAspect));
    // The earlier shape wins a tie.
    if (gap < bestGap - 1e-12) {
      bestGap = gap;
      best = TileShape(s);
    }
  }
  return best;
}

TileShape ShapeOfBlock(int w, int h) {
  if (w <= 0 || h <= 0) return TileShape::kSquare;
  return ShapeForAspect(double(w) / double(h), 1.0);
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
    // A camera's own small copy has the photo's shape and costs far less.
    hints.usePreviews = true;
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

void SetUpPhotoShapes(Engine& engine, bool on, std::vector<std::string>& warnings) {
  ReadPhotoAspects(engine.PicList.Paths(), engine.ThreadCount(), engine.Aspects.Aspect, warnings);
  const tmosaicproject& p = engine.Project;
  engine.Aspects.Classify(p.CellHeight > 0 ? double(p.CellWidth) / p.CellHeight : 1.0);
  engine.Aspects.On = on;
  if (on) {
    engine.Project.UseAllPhotos = false;
    engine.Matching.UseCap = false;
  }
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
  for (std::vector<int64_t>& c : out.Cost) c.assign(cells, kNoShapeCost);
  auto best = [&](const ColorSignature& area, TileShape shape) {
    int64_t d = kNoShapeCost;
    for (int k = 0; k < count; ++k)
      if (shapes.Fits(k, shape))
        d = std::min<int64_t>(d, Engine::Compare(library[k].Signature, area, enhance, false, false).Distance);
    return d;
  };
  auto free = [&](int x, int y, int w, int h) {
    if (x + w > cols || y + h > rows) return false;
    for (int yy = y; yy < y + h; ++yy)
      for (int xx = x; xx < x + w; ++xx)
        if (taken.BlockAt(xx, yy) >= 0) return false;
    return true;
  };
  // With no square photos a single cell would crop whatever it shows, so it
  // is left to the cells no block can take.
  const bool squares = shapes.Count[size_t(TileShape::kSquare)] > 0;
  // Each cell's costs depend on nothing the others write.
  ParallelFor(std::max(1, threads), rows, [&](int, int y) {
    for (int x = 0; x < cols; ++x) {
      if (!free(x, y, 1, 1)) continue;
      const size_t c = size_t(y) * size_t(cols) + size_t(x);
      if (squares) out[TileShape::kSquare][c] = best(AreaSignature(grid, x, y, 1, 1), TileShape::kSquare);
      for (int s = 1; s < kTileShapeCount; ++s) {
        const int w = kShapeCells[s][0], h = kShapeCells[s][1];
        if (shapes.Count[size_t(s)] > 0 && free(x, y, w, h))
          out.Cost[size_t(s)][c] = best(AreaSignature(grid, x, y, w, h), TileShape(s));
      }
    }
  });
  return out;
}

void AddShapeBlocks(const ShapeCosts& costs, BlockMap& blocks) {
  const int cols = costs.Cols;
  const int rows = costs.Rows;
  if (cols != blocks.CellsAcross() || rows != blocks.CellsDown()) return;
  const size_t cells = size_t(cols) * size_t(rows);
  for (const std::vector<int64_t>& c : costs.Cost)
    if (c.size() != cells) return;
  auto at = [&](TileShape s, int x, int y) { return costs[s][size_t(y) * size_t(cols) + size_t(x)]; };
  // A block's gain per cell over its cells as single tiles: the costs are
  // per cell already, so the block's is compared with the mean of its
  // cells'. Scaled by 6 / cells to stay in whole numbers.
  auto gain = [&](int s, int x, int y) -> int64_t {
    const int w = kShapeCells[s][0], h = kShapeCells[s][1];
    if (x + w > cols || y + h > rows) return 0;
    const int64_t block = at(TileShape(s), x, y);
    if (block == kNoShapeCost) return 0;
    int64_t singles = 0;
    for (int yy = y; yy < y + h; ++yy)
      for (int xx = x; xx < x + w; ++xx) {
        if (blocks.BlockAt(xx, yy) >= 0) return 0;
        const int64_t single = at(TileShape::kSquare, xx, yy);
        // A cell no square photo can take gains fully; the block that fits
        // best wins among such.
        if (single == kNoShapeCost) return INT64_MAX / 4 - block;
        singles += single;
      }
    return (singles - int64_t(w * h) * block) * (6 / (w * h));
  };
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < cols; ++x) {
      if (blocks.BlockAt(x, y) >= 0) continue;
      int bestShape = -1;
      int64_t bestGain = 0;
      for (int s = 1; s < kTileShapeCount; ++s) {
        const int64_t g = gain(s, x, y);
        if (g > bestGain) {
          bestGain = g;
          bestShape = s;
        }
      }
      if (bestShape > 0)
        (void)blocks.Add(TileBlock{x, y, kShapeCells[bestShape][0], kShapeCells[bestShape][1]});
    }
}

}  // namespace velmora
