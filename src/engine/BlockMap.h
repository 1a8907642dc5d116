// Tiles of several sizes: blocks of whole grid cells that show one photo
// across their cells. The cell map stays as it is (every cell of a block
// records the block's photo); the block map says which cells are drawn
// together. An empty map is the plain grid.
//
// Also here: the merge of calm areas of the main picture into square blocks,
// and the block summaries the assignment matches in place of a block's
// first cell.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/DetailGrid.h"
#include "imaging/Bitmap24.h"
#include "imaging/Status.h"

namespace velmora {

// A rectangle of cells, (X, Y) its top-left cell.
struct TileBlock {
  int X = 0;
  int Y = 0;
  int Width = 1;
  int Height = 1;
  bool operator==(const TileBlock&) const = default;
};

// The longest side a block may have, in cells.
inline constexpr int kMaxBlockSide = 8;

class BlockMap {
public:
  BlockMap() = default;
  BlockMap(int cols, int rows) : cols_(cols), rows_(rows) {}

  int CellsAcross() const { return cols_; }
  int CellsDown() const { return rows_; }
  bool Empty() const { return blocks_.empty(); }
  const std::vector<TileBlock>& Blocks() const { return blocks_; }

  // Adds a block of at least two cells, sides up to kMaxBlockSide, inside
  // the grid and clear of the blocks already there; fails saying which rule
  // it breaks and changes nothing then.
  Status Add(const TileBlock& block);
  // Takes block `index` out; its cells become single cells.
  void Remove(int index);
  // The index of the block that holds cell (x, y), or -1.
  int BlockAt(int x, int y) const;
  // The tiles drawn: blocks once, every other cell once.
  int64_t Tiles() const;

  bool operator==(const BlockMap& other) const {
    return cols_ == other.cols_ && rows_ == other.rows_ && blocks_ == other.blocks_;
  }

private:
  int cols_ = 0;
  int rows_ = 0;
  std::vector<TileBlock> blocks_;
  // Block index + 1 per cell in reading order (0: none); made on the first Add.
  std::vector<int32_t> owner_;
};

// Which block sides the merge may use and how calm an area must be.
struct BlockSizing {
  bool Allow2 = false;
  bool Allow4 = false;
  // The most a sample may differ from the block's mean colour (CIE76 delta E).
  double Calm = 10.0;
  bool On() const { return Allow2 || Allow4; }
};
// Measured on three photos at 64 x 48 cells against a library of 2,000: the
// mean error at 4 x 4 samples per cell is lowest about here (below the plain
// grid's), with 30 to 40 % fewer tiles; from 16 on it rises again.
inline constexpr double kDefaultCalm = 10.0;

// The desktop's "Tile sizes" choices: single cells, or calm areas merged
// into blocks of 2 x 2 and 4 x 4 cells at the default calm (as --sizes 1,2,4).
enum TileSizesChoice { kTileSizesOne = 0, kTileSizesByDetail = 1 };
BlockSizing SizingOfChoice(int choice);
int ChoiceOfSizing(const BlockSizing& sizing);

// Parses a list such as "1,2,4" (1 must be there; 2 and 4 are the merge
// sides allowed) into `sizing`.
Status ParseBlockSides(const std::string& text, BlockSizing& sizing);

// The calm blocks of a grid of two by two samples per cell (the engine's
// GridBitmap): largest side first, each at a multiple of its side, merged
// where every sample of it lies within sizing.Calm of the block's mean.
BlockMap MergeCalmBlocks(const Bitmap24& grid, int cols, int rows, const BlockSizing& sizing);

// Each block's first cell made to carry the whole block: its two by two
// samples of `grid` become the means of the block's four quarters, as a
// cell's samples are the means of its own.
void WriteBlockSamples(const BlockMap& blocks, Bitmap24& grid);
// The same for the detail summaries: the block's area of the detail grid
// reduced to four by four samples.
void WriteBlockDetails(const BlockMap& blocks, const Bitmap24& detailGrid, DetailTables& tables);

}  // namespace velmora
