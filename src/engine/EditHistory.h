// Undo and redo of the hand edits: an Edit I change, an Edit II apply and a
// pen stroke each make one step. A step keeps, before and after the edit, the
// cell map entries it rewrote, the use counts it raised and the mosaic pixels
// of the rectangles it drew into, so undo and redo put back exactly those
// bytes. The history is bounded by bytes and by steps, dropping the oldest
// first; a new mosaic or a loaded project clears it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "engine/Engine.h"

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
  struct Step {
    std::string Name;
    std::vector<CellChange> Cells;
    std::vector<UseChange> Uses;
    std::vector<PixelPatch> Pixels;
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
  };

  // `cells` are the grid cells whose map entries the edit may rewrite,
  // `rects` the mosaic rectangles it may draw into (clipped here).
  Pending Begin(const Engine& engine, std::string name, const std::vector<CellPos>& cells,
                const std::vector<TRect>& rects) const;
  // Keeps the step when the edit changed anything, dropping the steps that
  // could be redone and then the oldest ones past the bounds. A step too large
  // to keep clears the history: the older steps would put back pixels the
  // edit has drawn over.
  void Commit(const Engine& engine, Pending&& pending);

  bool CanUndo() const { return cursor_ > 0; }
  bool CanRedo() const { return cursor_ < steps_.size(); }
  const std::string& UndoName() const;
  const std::string& RedoName() const;
  // Undo (or redo) the step; `changed` receives the mosaic rectangles drawn
  // again. False when there is nothing to do or the mosaic is not the one the
  // steps were taken on (the history is cleared then).
  bool Undo(Engine& engine, std::vector<TRect>* changed = nullptr);
  bool Redo(Engine& engine, std::vector<TRect>* changed = nullptr);
  void Clear();

  size_t Count() const { return steps_.size(); }
  size_t Bytes() const { return bytes_; }

  // The rectangles cell (x, y) is drawn into in the current layout (two for
  // the split cell of a shifted row or column).
  static std::vector<TRect> CellRects(const Engine& engine, int x, int y);

private:
  bool Apply(Engine& engine, const Step& step, bool forward, std::vector<TRect>* changed);
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
