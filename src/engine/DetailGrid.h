// The detail grid of the main picture and the detail tables the engine
// keeps: the cells' 4 x 4 samples, laid out as the plain grid is for the
// bead-stitch layouts.
#pragma once

#include <cstddef>
#include <vector>

#include "imaging/Bitmap24.h"
#include "imaging/Bitmap32.h"
#include "match/DetailMatch.h"

namespace velmora {

// The detail grid: the main picture at 4 x 4 samples per cell, cropped and
// shifted for peyote and brick stitches as the plain grid is.
struct DetailGridShape {
  int CellsAcross = 0;
  int CellsDown = 0;
  bool CropMain = false;
  int FinalWidth = 0;
  int FinalHeight = 0;
  int StitchMode = 0;
};
void MakeDetailGrid(const TBitmap32& mainPicture, const DetailGridShape& shape, Bitmap24& grid);

// What the engine keeps for detail matching: the summaries of the library in
// list order (filled by Prepare library) and of the cells in reading order
// (made for the assignment from the detail grid). Empty tables mean plain
// matching.
struct DetailTables {
  std::vector<DetailSummary> Library;
  std::vector<DetailSummary> Cells;
  int CellsAcross = 0;
  int CellsDown = 0;
  // How the cell's samples count (even for rectangular tiles; set by the
  // assignment from the tile shape, CellMask.h).
  DetailWeights Weights = EvenDetailWeights();

  const DetailSummary& Cell(int x, int y) const { return Cells[size_t(y) * size_t(CellsAcross) + size_t(x)]; }
};
// The cell summaries of `tables` from the main picture.
void MakeCellDetails(const TBitmap32& mainPicture, const DetailGridShape& shape, DetailTables& tables);

}  // namespace velmora
