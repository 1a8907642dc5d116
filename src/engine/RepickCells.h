// Edit I and "Re-pick Worst Cells" without their windows: each cell gets
// another fitting picture, chosen as the assignment chooses (never one shown
// nearby), and is drawn again.
#pragma once

#include <vector>

#include "engine/Engine.h"
#include "imaging/Status.h"

namespace velmora {

// A cell of a block stands for the whole block, matched again as one tile.
// The cells in the order given, each choice seeing the ones made before it
// through the repeat rules. A cell for which no picture is eligible keeps
// its picture and is drawn again all the same. `changed` tells whether any
// cell got a picture. Fails with the first cell that could not be drawn;
// the others are drawn.
Status RepickCells(Engine& engine, const std::vector<CellPos>& cells, bool* changed = nullptr);

}  // namespace velmora
