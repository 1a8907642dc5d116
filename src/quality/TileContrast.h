// How much of its photos' own light and dark a mosaic keeps. The tint, the
// colour transfer and the main-picture overlay all pull a cell towards one
// colour and can flatten the photo in it; this compares, cell by cell, the
// luminance spread (standard deviation) of the finished mosaic with that of
// the same project drawn untinted: Color Enhance 0, no overlay, tint rather
// than transfer, and the same cell map, crops, mirrors and borders.
//
// Per cell the ratio mosaic / untinted is clamped to 1, so that cells whose
// contrast was raised do not make up for cells that lost theirs; cells whose
// untinted spread is below kFlatSpread (a flat photo has no contrast to
// keep) are left out. The figure is the mean ratio over the cells counted.
//
// Cells are the grid's rectangles of the finished picture: cell x covers
// pixel columns [x * W / cols, (x + 1) * W / cols), and rows alike. That is
// exactly where the loom layout draws its cells; for peyote and brick, whose
// odd rows or columns are shifted half a cell, it is an approximation.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/Bitmap32.h"
#include "imaging/Status.h"

namespace velmora {

// Grey levels (0..255) below which a cell's untinted spread counts as flat.
constexpr double kFlatSpread = 2.0;

struct TileContrast {
  double Percent = 0;  // mean kept share over the cells counted, 0..100
  int Cells = 0;       // cells counted; 0 when every cell was flat
};

// Both pictures are fed band by band, in any order and interleaved, so that
// neither is ever held whole.
class TileContrastMeter {
public:
  // A width x height picture on a grid of cols x rows cells; fails when the
  // grid is empty or has more cells than the picture has pixels.
  Status Start(int width, int height, int cols, int rows);
  bool Started() const { return cols_ > 0; }

  // Picture rows [top, top + rows), of which `band` holds row `top` in its
  // row 0. Rows and columns outside the picture are ignored.
  void AddMosaicRows(const TBitmap32& band, int top, int rows) { AddRows(mosaic_, band, top, rows); }
  void AddUntintedRows(const TBitmap32& band, int top, int rows) { AddRows(untinted_, band, top, rows); }

  TileContrast Result() const;

private:
  struct Moments {
    double Sum = 0;
    double Squares = 0;
    uint64_t Count = 0;
  };
  void AddRows(std::vector<Moments>& cells, const TBitmap32& band, int top, int rows);
  static double Spread(const Moments& m);

  int cols_ = 0;
  int rows_ = 0;
  int width_ = 0;
  int height_ = 0;
  std::vector<int> cellColumn_;  // per pixel column, its cell's column
  std::vector<int> cellRow_;     // per pixel row, its cell's row
  std::vector<Moments> mosaic_;  // per cell, index y * cols + x
  std::vector<Moments> untinted_;
};

}  // namespace velmora
