#include "engine/BlockMap.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "engine/Tables.h"
#include "imaging/ColorLab.h"

namespace velmora {

Status BlockMap::Add(const TileBlock& b) {
  if (b.Width < 1 || b.Height < 1 || b.Width > kMaxBlockSide || b.Height > kMaxBlockSide ||
      b.Width * b.Height < 2)
    return Status::Error(Format("a block of %d x %d cells (sides 1 to %d, two cells at least)", b.Width, b.Height,
                                kMaxBlockSide));
  if (cols_ <= 0 || rows_ <= 0 || cols_ > kMapSide || rows_ > kMapSide || b.X < 0 || b.Y < 0 ||
      b.X > cols_ - b.Width || b.Y > rows_ - b.Height)
    return Status::Error(
        Format("a block at cell %d, %d of %d x %d cells lies outside the grid of %d x %d cells", b.X, b.Y, b.Width,
               b.Height, cols_, rows_));
  if (owner_.empty()) owner_.assign(size_t(cols_) * size_t(rows_), 0);
  for (int y = b.Y; y < b.Y + b.Height; ++y)
    for (int x = b.X; x < b.X + b.Width; ++x)
      if (owner_[size_t(y) * size_t(cols_) + size_t(x)] != 0)
        return Status::Error(Format("a block at cell %d, %d overlaps another one at cell %d, %d", b.X, b.Y, x, y));
  blocks_.push_back(b);
  const auto id = static_cast<int32_t>(blocks_.size());
  for (int y = b.Y; y < b.Y + b.Height; ++y)
    for (int x = b.X; x < b.X + b.Width; ++x) owner_[size_t(y) * size_t(cols_) + size_t(x)] = id;
  return Status::Ok();
}

void BlockMap::Remove(int index) {
  if (index < 0 || index >= static_cast<int>(blocks_.size())) return;
  std::vector<TileBlock> kept = std::move(blocks_);
  kept.erase(kept.begin() + index);
  blocks_.clear();
  owner_.clear();
  for (const TileBlock& b : kept) (void)Add(b);
}

int BlockMap::BlockAt(int x, int y) const {
  if (owner_.empty() || x < 0 || y < 0 || x >= cols_ || y >= rows_) return -1;
  return owner_[size_t(y) * size_t(cols_) + size_t(x)] - 1;
}

int64_t BlockMap::Tiles() const {
  int64_t tiles = int64_t(cols_) * rows_;
  for (const TileBlock& b : blocks_) tiles -= int64_t(b.Width) * b.Height - 1;
  return tiles;
}

BlockSizing SizingOfChoice(int choice) {
  BlockSizing sizing;
  sizing.Allow2 = sizing.Allow4 = choice == kTileSizesByDetail;
  sizing.Calm = kDefaultCalm;
  return sizing;
}

int ChoiceOfSizing(const BlockSizing& sizing) { return sizing.On() ? kTileSizesByDetail : kTileSizesOne; }

Status ParseBlockSides(const std::string& text, BlockSizing& sizing) {
  BlockSizing out = sizing;
  out.Allow2 = out.Allow4 = false;
  bool one = false;
  size_t from = 0;
  while (from <= text.size()) {
    const size_t comma = std::min(text.find(',', from), text.size());
    const std::string item = text.substr(from, comma - from);
    if (item == "1")
      one = true;
    else if (item == "2")
      out.Allow2 = true;
    else if (item == "4")
      out.Allow4 = true;
    else
      return Status::Error("--sizes takes tile sides in cells from 1, 2 and 4, such as 1,2,4, not '" + text + "'");
    from = comma + 1;
  }
  if (!one) return Status::Error("--sizes must keep single cells (1) among the sides, as in 1,2,4");
  sizing = out;
  return Status::Ok();
}

namespace {

// Whether every sample of the (2 side) x (2 side) square at sample (sx, sy)
// lies within `calm` of the square's mean colour.
bool SquareIsCalm(const Bitmap24& grid, int sx, int sy, int samples, double calm) {
  int64_t sum[3] = {0, 0, 0};
  for (int y = sy; y < sy + samples; ++y) {
    const uint8_t* p = grid.PixelAddress(sx, y);
    for (int x = 0; x < samples; ++x, p += 3)
      for (int c = 0; c < 3; ++c) sum[c] += p[c];
  }
  const float n = float(samples) * float(samples);
  const LabColor mean = LabFromRgbF(float(sum[2]) / n, float(sum[1]) / n, float(sum[0]) / n);
  const float limit = static_cast<float>(calm * calm);
  for (int y = sy; y < sy + samples; ++y) {
    const uint8_t* p = grid.PixelAddress(sx, y);
    for (int x = 0; x < samples; ++x, p += 3)
      if (DeltaE76Squared(LabFromRgb(p[2], p[1], p[0]), mean) >= limit) return false;
  }
  return true;
}

// The rounded mean of the w x h samples of `grid` at (sx, sy), into `out`.
void MeanOf(const Bitmap24& grid, int sx, int sy, int w, int h, uint8_t* out) {
  int sum[3] = {0, 0, 0};
  for (int y = sy; y < sy + h; ++y) {
    const uint8_t* p = grid.PixelAddress(sx, y);
    for (int x = 0; x < w; ++x, p += 3)
      for (int c = 0; c < 3; ++c) sum[c] += p[c];
  }
  const int n = w * h;
  for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>((sum[c] + n / 2) / n);
}

}  // namespace

BlockMap MergeCalmBlocks(const Bitmap24& grid, int cols, int rows, const BlockSizing& sizing) {
  BlockMap blocks(cols, rows);
  if (!sizing.On() || cols <= 0 || rows <= 0 || grid.Width() < 2 * cols || grid.Height() < 2 * rows) return blocks;
  for (const int side : {4, 2}) {
    if ((side == 4 && !sizing.Allow4) || (side == 2 && !sizing.Allow2)) continue;
    for (int y = 0; y + side <= rows; y += side)
      for (int x = 0; x + side <= cols; x += side) {
        // A square that overlaps a larger block already merged stays as it is.
        if (blocks.BlockAt(x, y) >= 0) continue;
        if (SquareIsCalm(grid, 2 * x, 2 * y, 2 * side, sizing.Calm)) (void)blocks.Add(TileBlock{x, y, side, side});
      }
  }
  return blocks;
}

void WriteBlockSamples(const BlockMap& blocks, Bitmap24& grid) {
  if (grid.Width() < 2 * blocks.CellsAcross() || grid.Height() < 2 * blocks.CellsDown()) return;
  for (const TileBlock& b : blocks.Blocks()) {
    std::array<std::array<uint8_t, 3>, 4> quarter{};
    for (int q = 0; q < 4; ++q)
      MeanOf(grid, 2 * b.X + (q & 1) * b.Width, 2 * b.Y + (q >> 1) * b.Height, b.Width, b.Height,
             quarter[size_t(q)].data());
    // Written after all four are read: the first cell's samples are among them.
    for (int q = 0; q < 4; ++q)
      std::copy_n(quarter[size_t(q)].data(), 3, grid.PixelAddress(2 * b.X + (q & 1), 2 * b.Y + (q >> 1)));
  }
}

void WriteBlockDetails(const BlockMap& blocks, const Bitmap24& detailGrid, DetailTables& tables) {
  const int cols = blocks.CellsAcross();
  if (tables.CellsAcross != cols || tables.CellsDown != blocks.CellsDown() ||
      detailGrid.Width() < kDetailSide * cols || detailGrid.Height() < kDetailSide * blocks.CellsDown())
    return;
  Bitmap24 reduced(kDetailSide, kDetailSide);
  if (reduced.Empty()) return;
  for (const TileBlock& b : blocks.Blocks()) {
    for (int j = 0; j < kDetailSide; ++j)
      for (int i = 0; i < kDetailSide; ++i)
        MeanOf(detailGrid, kDetailSide * b.X + i * b.Width, kDetailSide * b.Y + j * b.Height, b.Width, b.Height,
               reduced.PixelAddress(i, j));
    tables.Cells[size_t(b.Y) * size_t(cols) + size_t(b.X)] = DetailOfCell(reduced, 0, 0);
  }
}

}  // namespace velmora
