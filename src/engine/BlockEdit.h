// Blocks made and undone by hand: a block split into single cells (each
// keeping the block's photo), and the two by two square of single cells
// around a cell merged into a block, matched again as one tile.
#pragma once

#include <vector>

#include "engine/Engine.h"
#include "imaging/Status.h"

namespace velmora {

// The square a merge at cell (x, y) makes: the 2 x 2 cells whose top-left
// cell lies at even column and row, the cell among them.
TileBlock MergeSquareAt(int x, int y);
// Why cell (x, y) cannot be split or merged, or Ok.
Status CheckSplit(const Engine& engine, int x, int y);
Status CheckMerge(const Engine& engine, int x, int y);
// The cells and the mosaic rectangles a split or a merge at (x, y) changes,
// for the edit history.
std::vector<CellPos> BlockEditCells(const Engine& engine, int x, int y, bool merge);
std::vector<TRect> BlockEditRects(const Engine& engine, int x, int y, bool merge);
// The block at (x, y) becomes single cells showing its photo, drawn again.
Status SplitBlock(Engine& engine, int x, int y);
// The square at (x, y) becomes a block, given the best photo for it as one
// tile (as the assignment matches a block) and drawn again.
Status MergeBlock(Engine& engine, int x, int y);

}  // namespace velmora
