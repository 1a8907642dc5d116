// Undo and redo of the hand edits: an Edit I change, an Edit II apply, a
// re-pick and a pen stroke each make one step. A step keeps, before and
// after the edit, the cell map entries it rewrote, the use counts it raised,
// the mosaic pixels of the rectangles it drew into and what it added to the
// pen log, so undo and redo put back exactly those bytes and the log a saved
// project replays stays the picture shown. The history is bounded by bytes
// and by steps, dropping the oldest first; a new mosaic or a loaded project
// clears it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/PenLog.h"

namespace velmora {

class EditHistory {
public:
  static constexpr size_t kDefaultMaxBytes = size_t(256) << 20;
  static constexpr size_t kDefaultMaxSteps = 500;

  explicit EditHistory(size_t maxBytes = kDefaultMaxBytes, size_t maxSteps = kDefaultMaxSteps)
      : maxBytes_(maxBytes), maxSteps_(maxSteps) {}

  struct CellChange {
    int X = 0;
    int Y = 0;
    CellMapEntry Before;
    CellMapEntry After;
  };
  struct UseChange {
    int Index = 0;
    int32_t Before = 0;
    int32_t After = 0;
  };
  struct PixelPatch {
    TRect Rect;
    std::vector<TColor32> Before;
    std::vector<TColor32> After;
  };
  // A cell's value in PenLog::Redrawn.
  struct RedrawChange {
    int X = 0;
    int Y = 0;
    uint16_t Before = 0;
    uint16_t After = 0;
  };
  struct Step {
    std::string Name;
    std::vector<CellChange> Cells;
    std::vector<UseChange> Uses;
    std::vector<PixelPatch> Pixels;
    // The stroke the step added to the end of the pen log, and the cells it
    // marked as drawn again there.
    bool Stroke = false;
    PenStrokeEntry Painted;
    std::vector<RedrawChange> Redraws;
    // The block map, when the step split or merged blocks.
    bool BlocksChanged = false;
    BlockMap BlocksBefore;
    BlockMap BlocksAfter;
    size_t Bytes() const;
  };

  // What an edit may change, taken just before it runs.
  struct Pending {
    std::string Name;
    std::vector<CellChange> Cells;
    std::vector<int32_t> UseCounts;  // every library entry's, to find the ones raised
    std::vector<PixelPatch> Pixels;
    int MosaicWidth = 0;
    int MosaicHeight = 0;
    bool TooLarge = false;  // its pixels alone would pass the bound
    BlockMap Blocks;
  };

  // `cells` are the grid cells whose map entries the edit may rewrite (a
  // cell of a block stands for all the block's cells),
  // `rects` the mosaic rectangles it may draw into (clipped here).
  Pending Begin(const Engine& engine, std::string name, const std::vector<CellPos>& cells,
                const std::vector<TRect>& rects) const;
  // Keeps the step when the edit changed anything, dropping the steps that
  // could be redone and then the oldest ones past the bounds. A step too large
  // to keep clears the history: the older steps would put back pixels the
  // edit has drawn over.
  // With `log`, an edit that changed anything is written into it as well:
  // `painted` (the stroke the edit painted) at its end, and the edit's cells
  // as drawn again after its strokes once it keeps cell edits
  // (PenLog::KeepsCellEdits), for every cell the edit was begun with is
  // drawn again by it.
  void Commit(const Engine& engine, Pending&& pending, PenLog* log = nullptr,
              const PenStrokeEntry* painted = nullptr);
  // Begin, `edit`, Commit: one hand edit made as one step. `painted` is where
  // `edit` leaves the stroke it paints; it goes into the log only when `edit`
  // succeeds, since a replay must not fail where the stroke did.
  Status Record(Engine& engine, PenLog* log, std::string name, const std::vector<CellPos>& cells,
                const std::vector<TRect>& rects, const std::function<Status()>& edit,
                const PenStrokeEntry* painted = nullptr);

  bool CanUndo() const { return cursor_ > 0; }
  bool CanRedo() const { return cursor_ < steps_.size(); }
  const std::string& UndoName() const;
  const std::string& RedoName() const;
  // Undo (or redo) the step; `changed` receives the mosaic rectangles drawn
  // again, and `log` (the one the steps were committed with) loses (or gets
  // back) what the step wrote into it. False when there is nothing to do or
  // the mosaic is not the one the steps were taken on (the history is
  // cleared then).
  bool Undo(Engine& engine, std::vector<TRect>* changed = nullptr, PenLog* log = nullptr);
  bool Redo(Engine& engine, std::vector<TRect>* changed = nullptr, PenLog* log = nullptr);
  void Clear();

  size_t Count() const { return steps_.size(); }
  size_t Bytes() const { return bytes_; }

  // The rectangles cell (x, y) is drawn into in the current layout (two for
  // the split cell of a shifted row or column); for a cell of a block, the
  // block's.
  static std::vector<TRect> CellRects(const Engine& engine, int x, int y);

private:
  bool Apply(Engine& engine, const Step& step, bool forward, std::vector<TRect>* changed, PenLog* log);
  // Writes the edit into `log`, and what it wrote into `step` when given.
  static void Note(const Engine& engine, const std::vector<CellChange>& cells, const PenStrokeEntry* painted,
                   PenLog& log, Step* step);
  void Trim();

  size_t maxBytes_;
  size_t maxSteps_;
  std::deque<Step> steps_;
  size_t cursor_ = 0;  // steps_[0, cursor_) can be undone, the rest redone
  size_t bytes_ = 0;
  int width_ = 0;  // the mosaic size the steps were taken on
  int height_ = 0;
};

}  // namespace velmora
