#include "engine/RepickCells.h"

namespace velmora {

Status RepickCells(Engine& engine, const std::vector<CellPos>& cells, bool* changed) {
  // Filling a cell reports to the assignment job's gauge; a hand edit is no
  // job, so nothing listens meanwhile.
  JobListener* listener = &engine.Listener();
  engine.SetListener(nullptr);
  Status first = Status::Ok();
  bool filled = false;
  for (const CellPos& c : cells) {
    const int k = engine.ChoosePicture(c.X, c.Y, engine.SampleCell(c.X, c.Y), 1);
    if (k != -1) {
      engine.FillCell(c.X, c.Y, k);
      filled = true;
    }
    if (Status drawn = engine.RenderCell(c.X, c.Y); !drawn.ok() && first.ok()) first = drawn;
  }
  engine.SetListener(listener);
  if (changed) *changed = filled;
  return first;
}

}  // namespace velmora
