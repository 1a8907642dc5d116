#include "engine/RepickCells.h"

#include <algorithm>

namespace velmora {

Status RepickCells(Engine& engine, const std::vector<CellPos>& cells, bool* changed) {
  // Filling a cell reports to the assignment job's gauge; a hand edit is no
  // job, so nothing listens meanwhile.
  JobListener* listener = &engine.Listener();
  engine.SetListener(nullptr);
  Status first = Status::Ok();
  bool filled = false;
  std::vector<TileBlock> done;
  for (const CellPos& c : cells) {
    const TileBlock tile = engine.TileAt(c.X, c.Y);
    if (std::find(done.begin(), done.end(), tile) != done.end()) continue;
    done.push_back(tile);
    const bool block = tile.Width > 1 || tile.Height > 1;
    // A block is matched as one tile at its first cell, as the assignment
    // does: its first cell's samples become the whole block's for the choice.
    Bitmap24 plain;
    if (block) {
      BlockMap one(engine.Project.CellsAcross, engine.Project.CellsDown);
      if (one.Add(tile).ok()) {
        plain = engine.GridBitmap;
        WriteBlockSamples(one, engine.GridBitmap);
      }
    }
    const int k = engine.ChoosePicture(tile.X, tile.Y, engine.SampleCell(tile.X, tile.Y), 1);
    if (k != -1) {
      engine.FillCell(tile.X, tile.Y, k);
      filled = true;
    }
    if (!plain.Empty()) engine.GridBitmap = std::move(plain);
    if (block) engine.SpreadTileEntry(tile);
    if (Status drawn = engine.RenderTile(tile); !drawn.ok() && first.ok()) first = drawn;
  }
  engine.SetListener(listener);
  if (changed) *changed = filled;
  return first;
}

}  // namespace velmora
