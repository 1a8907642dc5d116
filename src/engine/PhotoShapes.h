// Tiles that keep the photo: with it on, each library photo is shown on the
// tile shape nearest its own aspect (one cell; two cells across or two down
// for 2:1 and 1:2; three across and two down, or two across and three down,
// for the 3:2 and 4:3 of cameras and phones), so that the crop to the tile's
// aspect takes little of it.
//
// The shapes are chosen together with the matching: the cells the calm
// merge left are walked in reading order, and at each free cell the best
// square photo on the cell is compared with the best photo of each other
// shape on the block of that shape whose first cell it is, each as distance
// per cell over its cells; the best is taken. The passes that follow place
// on a tile only photos of its shape. A library without square photos leaves
// single cells only where no block fits.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/BlockMap.h"
#include "imaging/Bitmap24.h"
#include "imaging/ColorSignature.h"
#include "imaging/Status.h"

namespace velmora {

class Engine;
class LibraryTable;

enum class TileShape : uint8_t { kSquare = 0, kWide = 1, kTall = 2, kWide3x2 = 3, kTall2x3 = 4 };
inline constexpr int kTileShapeCount = 5;
// Each shape's block in cells.
inline constexpr int kShapeCells[kTileShapeCount][2] = {{1, 1}, {2, 1}, {1, 2}, {3, 2}, {2, 3}};

// The shape whose aspect (in pixels, with cells of cellAspect = width /
// height) is nearest `photoAspect` on a log scale; a photo of unknown aspect
// (0 or less) is square.
TileShape ShapeForAspect(double photoAspect, double cellAspect);
// The shape a block of w x h cells counts as: the one nearest its aspect.
TileShape ShapeOfBlock(int w, int h);
// The share of a photo's area left after cropping it to tileAspect around
// its centre (1 for an unknown aspect).
double ShareShown(double photoAspect, double tileAspect);

struct AspectShapes {
  bool On = false;
  // Per library photo: its width over height (0: unknown) and its shape.
  std::vector<float> Aspect;
  std::vector<TileShape> Shape;
  // Photos of each shape.
  std::array<int, kTileShapeCount> Count{};

  // Fills Shape and Count from Aspect for cells of cellAspect.
  void Classify(double cellAspect);
  // Whether photo k may go on a tile of `shape`: a photo of that shape, or
  // any photo when the library has none of that shape.
  bool Fits(int k, TileShape shape) const {
    if (Count[size_t(shape)] == 0) return true;
    return k >= 0 && size_t(k) < Shape.size() && Shape[size_t(k)] == shape;
  }
};

// Each photo's aspect, from a decode at the smallest scale its format gives
// (the size as stored, upright). A photo that cannot be read gets 0 and a
// line in `warnings`. The same on any thread count.
void ReadPhotoAspects(const std::vector<std::string>& paths, int threads, std::vector<float>& aspects,
                      std::vector<std::string>& warnings);

// Turns tiles that keep the photo on or off for the engine's next mosaic,
// each library photo's aspect read (on `threads`) and its shape given for
// the project's cells. On, the every-photo placement and the use-cap solver
// give way: they place photos on any cell. Unreadable photos count as
// square, each with a line in `warnings`.
void SetUpPhotoShapes(Engine& engine, bool on, std::vector<std::string>& warnings);

// The best distance per cell of each free cell's choices, by shape, as the
// tiling pass compares them (kNoShapeCost where a choice is not possible;
// a block's at its first cell).
inline constexpr int64_t kNoShapeCost = INT64_MAX;
struct ShapeCosts {
  int Cols = 0;
  int Rows = 0;
  std::array<std::vector<int64_t>, kTileShapeCount> Cost;  // by cell in reading order

  std::vector<int64_t>& operator[](TileShape s) { return Cost[size_t(s)]; }
  const std::vector<int64_t>& operator[](TileShape s) const { return Cost[size_t(s)]; }
};

// The costs from the grid of two by two samples per cell and the library's
// summaries (count photos), cells of `taken` blocks left out; on `threads`.
ShapeCosts MeasureShapeCosts(const Bitmap24& grid, const BlockMap& taken, const LibraryTable& library, int count,
                             const AspectShapes& shapes, int enhance, int threads);

// The greedy pass in reading order: at each cell no block holds, the block
// starting there whose cells are free and whose cost per cell is furthest
// below the mean of its cells' single costs is added (the earlier shape of
// TileShape on a tie); none when no block gains.
void AddShapeBlocks(const ShapeCosts& costs, BlockMap& blocks);

// The mean share of the photos' area shown over the placed tiles of
// `blocks` (its cells, blocks once) given each tile's photo by `photoAt`.
template <typename PhotoAt>
double MeanAreaShown(const BlockMap& blocks, int cols, int rows, double cellAspect, const AspectShapes& shapes,
                     PhotoAt photoAt) {
  double sum = 0;
  int64_t tiles = 0;
  auto add = [&](int x, int y, int w, int h) {
    const int k = photoAt(x, y);
    if (k < 0 || size_t(k) >= shapes.Aspect.size()) return;
    sum += ShareShown(shapes.Aspect[size_t(k)], cellAspect * w / h);
    ++tiles;
  };
  for (const TileBlock& b : blocks.Blocks()) add(b.X, b.Y, b.Width, b.Height);
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < cols; ++x)
      if (blocks.BlockAt(x, y) < 0) add(x, y, 1, 1);
  return tiles > 0 ? sum / double(tiles) : 0;
}

}  // namespace velmora
