#include "engine/DetailGrid.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/ProjectRecord.h"
#include "engine/Tables.h"
#include "imaging/PictureOps.h"

namespace velmora {
namespace {

// Pixel columns 4k .. 4k + 3 of every odd cell row (peyote) move two pixels
// right, or the rows of every odd cell column (brick) two pixels down, with
// wrap-round: half a cell, as the plain grid is shifted.
void ShiftOddRows(Bitmap24& grid) {
  const int width = grid.Width();
  for (int row = kDetailSide; row < grid.Height(); row += 2 * kDetailSide)
    for (int line = row; line < row + kDetailSide && line < grid.Height(); ++line) {
      uint8_t* p = grid.ScanLine(line);
      std::rotate(p, p + (width - 2) * 3, p + width * 3);
    }
}

void ShiftOddColumns(Bitmap24& grid) {
  const int height = grid.Height();
  std::vector<uint8_t> column(static_cast<size_t>(height) * 3);
  for (int col = kDetailSide; col < grid.Width(); col += 2 * kDetailSide)
    for (int c = col; c < col + kDetailSide && c < grid.Width(); ++c) {
      for (int y = 0; y < height; ++y) std::memcpy(&column[size_t(y) * 3], grid.PixelAddress(c, y), 3);
      std::rotate(column.begin(), column.end() - 6, column.end());
      for (int y = 0; y < height; ++y) std::memcpy(grid.PixelAddress(c, y), &column[size_t(y) * 3], 3);
    }
}

}  // namespace

void MakeDetailGrid(const TBitmap32& mainPicture, const DetailGridShape& shape, Bitmap24& grid) {
  grid = Bitmap24();
  if (shape.CellsAcross <= 0 || shape.CellsDown <= 0 || shape.CellsAcross > kMapSide ||
      shape.CellsDown > kMapSide)
    return;
  if (!grid.SetSize(kDetailSide * shape.CellsAcross, kDetailSide * shape.CellsDown).ok()) {
    grid = Bitmap24();
    return;
  }
  if (mainPicture.Empty()) {
    grid.Fill(0, 0, 0);
  } else if (shape.CropMain) {
    TBitmap32 cropped;
    CropToAspect(mainPicture, cropped, shape.FinalWidth, shape.FinalHeight);
    AreaStretch(cropped, cropped.BoundsRect(), grid);
  } else {
    AreaStretch(mainPicture, mainPicture.BoundsRect(), grid);
  }
  if (shape.StitchMode == kStitchPeyote) ShiftOddRows(grid);
  if (shape.StitchMode == kStitchBrick) ShiftOddColumns(grid);
}

void MakeCellDetails(const TBitmap32& mainPicture, const DetailGridShape& shape, DetailTables& tables) {
  tables.Cells.clear();
  tables.CellsAcross = tables.CellsDown = 0;
  Bitmap24 grid;
  MakeDetailGrid(mainPicture, shape, grid);
  if (grid.Empty()) return;
  tables.Cells.resize(size_t(shape.CellsAcross) * size_t(shape.CellsDown));
  for (int y = 0; y < shape.CellsDown; ++y)
    for (int x = 0; x < shape.CellsAcross; ++x)
      tables.Cells[size_t(y) * size_t(shape.CellsAcross) + size_t(x)] = DetailOfCell(grid, x, y);
  tables.CellsAcross = shape.CellsAcross;
  tables.CellsDown = shape.CellsDown;
}

}  // namespace velmora
