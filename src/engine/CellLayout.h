// Where a cell's picture goes: the rectangles of the loom, peyote and brick
// layouts (with the split cell at the mosaic's edges and the border gap), the
// part of the main picture laid over a cell, the tint offsets and the main
// picture area under a pen stroke. Pure arithmetic, shared by the renderer,
// the pen and whatever previews the layouts.
#pragma once

#include <array>
#include <cstdint>

#include "engine/BlockMap.h"
#include "engine/ProjectRecord.h"
#include "imaging/Bitmap32.h"
#include "imaging/Geometry.h"

namespace velmora {

// One draw of a cell picture: `Source` of the picture into `Target` of the mosaic.
struct CellPiece {
  TRect Target;
  TRect Source;
};

// A cell is drawn in one piece, or in two when it is the split cell of a
// peyote odd row (x = 0) or a brick odd column (y = 0).
struct CellPlacement {
  int Count = 0;
  std::array<CellPiece, 2> Pieces{};
};

// The placement of cell (x, y) for a prepared picture of pictureW x pictureH
// pixels, with the cell size, counts, border and stitch of `project`.
CellPlacement PlaceCellPicture(int x, int y, int pictureW, int pictureH, const tmosaicproject& project);

// The placement of a block of cells (plain grid only): one piece across the
// block, the border gap at its right and bottom edges as a cell has it.
CellPlacement PlaceBlockPicture(const TileBlock& block, int pictureW, int pictureH, const tmosaicproject& project);

// The unshifted area of cell (x, y) in a mw x mh main picture: the same in
// every layout, since the overlay follows the picture, not the stitch.
TRect MainCellRect(int x, int y, int mw, int mh, int cols, int rows);

// The resampling filter stored as ResampleKernel; a value outside 0..6 (a
// damaged options or project file) draws with the default, Spline.
constexpr TStretchFilter StretchFilterOf(int kernel) {
  return kernel >= 0 && kernel < kStretchFilterCount ? static_cast<TStretchFilter>(kernel) : sfSpline;
}

// The channel offset that moves a picture `enhance` percent of the way toward
// the cell's colour: (-delta x enhance) div 100, truncating toward zero.
constexpr int TintOffset(int32_t delta, int32_t enhance) {
  return static_cast<int>((-static_cast<int64_t>(delta) * enhance) / 100);
}

// The main-picture rectangle [l, r) x [t, b) under the mosaic rectangle
// [left, right) x [top, bottom), for a mw x mh main picture and a
// finalW x finalH mosaic. The area bitmap of a stroke is one pixel larger
// than it each way.
TRect PenSourceRect(int left, int top, int right, int bottom, int mw, int mh, int finalW, int finalH);

}  // namespace velmora
