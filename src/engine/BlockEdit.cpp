#include "engine/BlockEdit.h"

#include "engine/CellLayout.h"
#include "engine/RepickCells.h"

namespace velmora {
namespace {

Status CheckEditable(const Engine& engine) {
  const tmosaicproject& p = engine.Project;
  if (engine.MosaicState != 2 || p.RenderMode != kRenderStandard)
    return Status::Error("There is no mosaic whose cells can be changed by hand.");
  if (p.StitchMode != kStitchLoom) return Status::Error("Blocks are made on the plain grid only.");
  return Status::Ok();
}

}  // namespace

TileBlock MergeSquareAt(int x, int y) { return TileBlock{x - x % 2, y - y % 2, 2, 2}; }

Status CheckSplit(const Engine& engine, int x, int y) {
  VELMORA_TRY(CheckEditable(engine));
  const TileBlock t = engine.TileAt(x, y);
  if (t.Width * t.Height < 2) return Status::Error(Format("Cell %d, %d is no block.", x, y));
  return Status::Ok();
}

Status CheckMerge(const Engine& engine, int x, int y) {
  VELMORA_TRY(CheckEditable(engine));
  const TileBlock s = MergeSquareAt(x, y);
  const tmosaicproject& p = engine.Project;
  if (x < 0 || y < 0 || s.X + 2 > std::min(p.CellsAcross, kMapSide) || s.Y + 2 > std::min(p.CellsDown, kMapSide))
    return Status::Error(Format("The 2 x 2 cells from cell %d, %d reach past the grid.", s.X, s.Y));
  for (int cy = s.Y; cy < s.Y + 2; ++cy)
    for (int cx = s.X; cx < s.X + 2; ++cx)
      if (engine.TileAt(cx, cy).Width * engine.TileAt(cx, cy).Height > 1)
        return Status::Error(Format("Cell %d, %d already lies in a block.", cx, cy));
  return Status::Ok();
}

std::vector<CellPos> BlockEditCells(const Engine& engine, int x, int y, bool merge) {
  if (!merge) return engine.TileCells(x, y);
  const TileBlock s = MergeSquareAt(x, y);
  return {CellPos{s.X, s.Y}, CellPos{s.X + 1, s.Y}, CellPos{s.X, s.Y + 1}, CellPos{s.X + 1, s.Y + 1}};
}

std::vector<TRect> BlockEditRects(const Engine& engine, int x, int y, bool merge) {
  const TileBlock t = merge ? MergeSquareAt(x, y) : engine.TileAt(x, y);
  // The block's rectangle (the borders between its cells included) and the
  // cells' own.
  std::vector<TRect> rects{PlaceBlockPicture(t, 1, 1, engine.Project).Pieces[0].Target};
  for (const CellPos& c : BlockEditCells(engine, x, y, merge)) {
    const CellPlacement place = PlaceCellPicture(c.X, c.Y, 1, 1, engine.Project);
    for (int i = 0; i < place.Count; ++i) rects.push_back(place.Pieces[static_cast<size_t>(i)].Target);
  }
  return rects;
}

Status SplitBlock(Engine& engine, int x, int y) {
  VELMORA_TRY(CheckSplit(engine, x, y));
  const TileBlock t = engine.TileAt(x, y);
  engine.Blocks.Remove(engine.Blocks.BlockAt(x, y));
  // The borders between the cells come back where the block's photo was.
  engine.MosaicBitmap.FillRect(PlaceBlockPicture(t, 1, 1, engine.Project).Pieces[0].Target,
                               Color32FromBgrInt(engine.Project.BorderColor));
  Status first = Status::Ok();
  for (int cy = t.Y; cy < t.Y + t.Height; ++cy)
    for (int cx = t.X; cx < t.X + t.Width; ++cx)
      if (Status s = engine.RenderCell(cx, cy); !s.ok() && first.ok()) first = s;
  return first;
}

Status MergeBlock(Engine& engine, int x, int y) {
  VELMORA_TRY(CheckMerge(engine, x, y));
  const TileBlock s = MergeSquareAt(x, y);
  if (!engine.BlocksApply()) engine.Blocks = BlockMap(engine.Project.CellsAcross, engine.Project.CellsDown);
  VELMORA_TRY(engine.Blocks.Add(s));
  return RepickCells(engine, {CellPos{s.X, s.Y}});
}

}  // namespace velmora
