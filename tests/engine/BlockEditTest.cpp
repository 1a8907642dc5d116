// Hand edits of a mosaic with tiles of several sizes: an edit of any cell of
// a block changes the whole block, draws it as the full render would, and
// undo and redo take the whole block back and forth.
#include <gtest/gtest.h>

#include "engine/BlockEdit.h"
#include "engine/EditHistory.h"
#include "support/HandEditSupport.h"

namespace velmora {
namespace {

using testing::SetUpBlockMosaic;

std::vector<uint8_t> MapBytes(const Engine& e) {
  std::vector<uint8_t> bytes(kCellMapBytes);
  e.Map.WriteBytes(std::span<uint8_t, kCellMapBytes>(bytes));
  return bytes;
}

std::vector<TColor32> MosaicPixels(const Engine& e) {
  return std::vector<TColor32>(e.MosaicBitmap.Pixels().begin(), e.MosaicBitmap.Pixels().end());
}

bool SameEntry(const CellMapEntry& a, const CellMapEntry& b) {
  return a.PicIndex == b.PicIndex && a.DeltaRed == b.DeltaRed && a.DeltaGreen == b.DeltaGreen &&
         a.DeltaBlue == b.DeltaBlue && a.Assigned == b.Assigned && a.HFlip == b.HFlip && a.VFlip == b.VFlip;
}

// The edit of `kind` at `cell`, as the windows make it.
Status EditAt(Engine& e, EditHistory& history, int kind, CellPos cell) {
  const std::vector<TRect> rects = EditHistory::CellRects(e, cell.X, cell.Y);
  if (kind == testing::kPickCell) {
    // Another picture than the block shows, mirrored.
    const int k = (e.Map.At(cell.X, cell.Y).PicIndex + 5) % e.PicList.Count();
    const PickChoice choice{cell.X, cell.Y, k, 10, true, false};
    const ColorSignature sig = e.SampleCell(cell.X, cell.Y);
    return history.Record(e, nullptr, "Pick Cell", {cell}, rects,
                          [&] { return ApplyPickedPicture(e, choice, sig); });
  }
  return history.Record(e, nullptr, kind == testing::kEditOne ? "Edit I" : "Re-pick Worst Cells", {cell}, rects,
                        [&] { return RepickCells(e, {cell}); });
}

TEST(BlockEdit, AnEditOfOneCellChangesTheWholeBlockAndUndoTakesItBack) {
  struct Case {
    const char* name;
    int kind;
  };
  const Case cases[] = {{"Edit I", testing::kEditOne},
                        {"Pick Cell", testing::kPickCell},
                        {"Re-pick", testing::kRepick}};
  testing::ScratchDir dir;
  for (const Case& c : cases) {
    Engine e;
    SetUpBlockMosaic(e, dir, 2);
    ASSERT_TRUE(e.CreateMosaic().ok());
    ASSERT_FALSE(e.Blocks.Empty());
    const TileBlock b = e.Blocks.Blocks()[0];
    ASSERT_GT(b.Width * b.Height, 1);
    const std::vector<uint8_t> mapBefore = MapBytes(e);
    const std::vector<TColor32> pixelsBefore = MosaicPixels(e);
    EditHistory history;
    // The block's last cell, not the one its entry is matched at.
    const CellPos last{b.X + b.Width - 1, b.Y + b.Height - 1};
    ASSERT_TRUE(EditAt(e, history, c.kind, last).ok()) << c.name;
    ASSERT_EQ(history.Count(), 1u) << c.name;

    const CellMapEntry first = e.Map.At(b.X, b.Y);
    for (const CellPos& at : e.TileCells(b.X, b.Y))
      EXPECT_TRUE(SameEntry(e.Map.At(at.X, at.Y), first)) << c.name << " cell " << at.X << "," << at.Y;
    if (c.kind == testing::kPickCell) EXPECT_TRUE(first.HFlip) << c.name;
    EXPECT_NE(MapBytes(e), mapBefore) << c.name;
    // Drawn as the whole render draws the block.
    const std::vector<TColor32> edited = MosaicPixels(e);
    ASSERT_TRUE(e.RenderMosaic().ok());
    EXPECT_EQ(MosaicPixels(e), edited) << c.name;

    ASSERT_TRUE(history.Undo(e));
    EXPECT_EQ(MapBytes(e), mapBefore) << c.name;
    EXPECT_EQ(MosaicPixels(e), pixelsBefore) << c.name;
    ASSERT_TRUE(history.Redo(e));
    EXPECT_EQ(MosaicPixels(e), edited) << c.name;
  }
}

TEST(BlockEdit, TilesOfCellsInAndOutsideBlocks) {
  testing::ScratchDir dir;
  Engine e;
  SetUpBlockMosaic(e, dir, 1);
  ASSERT_TRUE(e.CreateMosaic().ok());
  const TileBlock b = e.Blocks.Blocks()[0];
  EXPECT_EQ(e.TileAt(b.X + b.Width - 1, b.Y + b.Height - 1), b);
  EXPECT_EQ(e.TileCells(b.X + 1, b.Y).size(), size_t(b.Width * b.Height));
  EXPECT_EQ(e.TileAt(11, 7), (TileBlock{11, 7, 1, 1}));  // the busy half stays single
  // A block given twice, and a single cell, each once.
  const std::vector<CellPos> cells = e.ExpandToTiles({CellPos{b.X, b.Y}, CellPos{11, 7}, CellPos{b.X + 1, b.Y + 1}});
  EXPECT_EQ(cells.size(), size_t(b.Width * b.Height + 1));
  // A block map made for another grid is not the mosaic's.
  e.Blocks = BlockMap(5, 5);
  ASSERT_TRUE(e.Blocks.Add(TileBlock{0, 0, 2, 2}).ok());
  EXPECT_EQ(e.TileAt(1, 1), (TileBlock{1, 1, 1, 1}));
}

TEST(BlockEdit, SplitAndMergeByHandDrawAsTheRenderAndUndoWhole) {
  testing::ScratchDir dir;
  for (const bool merge : {false, true}) {
    Engine e;
    SetUpBlockMosaic(e, dir, 2);
    ASSERT_TRUE(e.CreateMosaic().ok());
    const TileBlock b = e.Blocks.Blocks()[0];
    // A split on the block's last cell; a merge on a single cell of the busy
    // half, its square the aligned one.
    const CellPos at = merge ? CellPos{11, 7} : CellPos{b.X + b.Width - 1, b.Y + b.Height - 1};
    const TileBlock square = merge ? MergeSquareAt(at.X, at.Y) : b;
    if (merge) ASSERT_EQ(square, (TileBlock{10, 6, 2, 2}));
    const BlockMap blocksBefore = e.Blocks;
    const std::vector<uint8_t> mapBefore = MapBytes(e);
    const std::vector<TColor32> pixelsBefore = MosaicPixels(e);
    const CellMapEntry firstBefore = e.Map.At(square.X, square.Y);
    EditHistory history;
    ASSERT_TRUE(history
                    .Record(e, nullptr, "Block", BlockEditCells(e, at.X, at.Y, merge),
                            BlockEditRects(e, at.X, at.Y, merge),
                            [&] { return merge ? MergeBlock(e, at.X, at.Y) : SplitBlock(e, at.X, at.Y); })
                    .ok());
    EXPECT_EQ(e.TileAt(at.X, at.Y), merge ? square : (TileBlock{at.X, at.Y, 1, 1}));
    EXPECT_EQ(e.Blocks.Blocks().size(), blocksBefore.Blocks().size() + (merge ? 1 : -1));
    const CellMapEntry first = e.Map.At(square.X, square.Y);
    for (const CellPos& c : BlockEditCells(e, square.X, square.Y, true))
      if (c.X < square.X + square.Width && c.Y < square.Y + square.Height)
        EXPECT_TRUE(SameEntry(e.Map.At(c.X, c.Y), first)) << merge;
    if (!merge) EXPECT_TRUE(SameEntry(first, firstBefore)) << "a split keeps the photo";
    const std::vector<TColor32> edited = MosaicPixels(e);
    EXPECT_NE(edited, pixelsBefore) << merge;
    ASSERT_TRUE(e.RenderMosaic().ok());
    EXPECT_EQ(MosaicPixels(e), edited) << merge;

    ASSERT_TRUE(history.Undo(e));
    EXPECT_EQ(e.Blocks, blocksBefore) << merge;
    EXPECT_EQ(MapBytes(e), mapBefore) << merge;
    EXPECT_EQ(MosaicPixels(e), pixelsBefore) << merge;
    ASSERT_TRUE(history.Redo(e));
    EXPECT_EQ(MosaicPixels(e), edited) << merge;
  }
}

TEST(BlockEdit, SplitAndMergeRefusedWhereTheyDoNotApply) {
  testing::ScratchDir dir;
  Engine e;
  SetUpBlockMosaic(e, dir, 1);
  ASSERT_TRUE(e.CreateMosaic().ok());
  const TileBlock b = e.Blocks.Blocks()[0];
  EXPECT_TRUE(CheckSplit(e, b.X + 1, b.Y + 1).ok());
  EXPECT_FALSE(CheckSplit(e, 11, 7).ok());       // a single cell
  EXPECT_FALSE(CheckMerge(e, b.X + 1, b.Y).ok());  // already in a block
  EXPECT_TRUE(CheckMerge(e, 11, 7).ok());
  EXPECT_FALSE(CheckMerge(e, 12, 7).ok());  // past the grid
  e.Project.StitchMode = kStitchBrick;
  EXPECT_FALSE(CheckMerge(e, 11, 7).ok());
  EXPECT_FALSE(SplitBlock(e, b.X, b.Y).ok());
}

}  // namespace
}  // namespace velmora
