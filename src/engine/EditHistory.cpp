#include "engine/EditHistory.h"

#include <algorithm>
#include <cstring>

#include "engine/CellLayout.h"

namespace velmora {
namespace {

const std::string kNoName;

void CopyOut(const TBitmap32& picture, const TRect& r, std::vector<TColor32>& out) {
  out.resize(static_cast<size_t>(r.Width()) * r.Height());
  for (int y = r.Top; y < r.Bottom; ++y)
    std::memcpy(out.data() + static_cast<size_t>(y - r.Top) * r.Width(), picture.ScanLine(y) + r.Left,
                static_cast<size_t>(r.Width()) * sizeof(TColor32));
}

void CopyIn(TBitmap32& picture, const TRect& r, const std::vector<TColor32>& in) {
  for (int y = r.Top; y < r.Bottom; ++y)
    std::memcpy(picture.ScanLine(y) + r.Left, in.data() + static_cast<size_t>(y - r.Top) * r.Width(),
                static_cast<size_t>(r.Width()) * sizeof(TColor32));
}

bool SameEntry(const CellMapEntry& a, const CellMapEntry& b) {
  return a.PicIndex == b.PicIndex && a.DeltaRed == b.DeltaRed && a.DeltaGreen == b.DeltaGreen &&
         a.DeltaBlue == b.DeltaBlue && a.Assigned == b.Assigned && a.HFlip == b.HFlip && a.VFlip == b.VFlip;
}

}  // namespace

size_t EditHistory::Step::Bytes() const {
  size_t bytes =
      sizeof(Step) + Name.size() + Cells.size() * sizeof(CellChange) + Uses.size() * sizeof(UseChange);
  for (const PixelPatch& p : Pixels)
    bytes += sizeof(PixelPatch) + (p.Before.size() + p.After.size()) * sizeof(TColor32);
  bytes += (BlocksBefore.Blocks().size() + BlocksAfter.Blocks().size()) * sizeof(TileBlock);
  return bytes + Redraws.size() * sizeof(RedrawChange);
}

std::vector<TRect> EditHistory::CellRects(const Engine& engine, int x, int y) {
  std::vector<TRect> rects;
  const TileBlock tile = engine.TileAt(x, y);
  if (engine.BlocksDrawn() && (tile.Width > 1 || tile.Height > 1)) {
    rects.push_back(PlaceBlockPicture(tile, 1, 1, engine.Project).Pieces[0].Target);
    return rects;
  }
  for (const CellPos& c : engine.TileCells(x, y)) {
    const CellPlacement place = PlaceCellPicture(c.X, c.Y, 1, 1, engine.Project);
    for (int i = 0; i < place.Count; ++i) rects.push_back(place.Pieces[static_cast<size_t>(i)].Target);
  }
  return rects;
}

EditHistory::Pending EditHistory::Begin(const Engine& engine, std::string name,
                                        const std::vector<CellPos>& cells,
                                        const std::vector<TRect>& rects) const {
  Pending p;
  p.Name = std::move(name);
  p.MosaicWidth = engine.MosaicBitmap.Width();
  p.MosaicHeight = engine.MosaicBitmap.Height();
  // An edit of a block's cell rewrites the whole block.
  for (const CellPos& c : engine.ExpandToTiles(cells)) {
    if (c.X < 0 || c.Y < 0 || c.X >= kMapSide || c.Y >= kMapSide) continue;
    p.Cells.push_back(CellChange{c.X, c.Y, engine.Map.At(c.X, c.Y), CellMapEntry{}});
  }
  p.Blocks = engine.Blocks;
  p.UseCounts.resize(kLibraryTableSize);
  for (int k = 0; k < kLibraryTableSize; ++k)
    p.UseCounts[static_cast<size_t>(k)] = engine.Library[k].UseCount;
  size_t pixelBytes = 0;
  for (const TRect& rect : rects) {
    const TRect r = Intersect(rect, engine.MosaicBitmap.BoundsRect());
    if (r.IsEmpty()) continue;
    pixelBytes += size_t(r.Width()) * r.Height() * sizeof(TColor32) * 2;
    if (pixelBytes > maxBytes_) {
      p.TooLarge = true;
      p.Pixels.clear();
      break;
    }
    PixelPatch patch;
    patch.Rect = r;
    CopyOut(engine.MosaicBitmap, r, patch.Before);
    p.Pixels.push_back(std::move(patch));
  }
  return p;
}

void EditHistory::Note(const Engine& engine, const std::vector<CellChange>& cells,
                       const PenStrokeEntry* painted, PenLog& log, Step* step) {
  if (log.KeepsCellEdits()) {
    const auto after = static_cast<uint16_t>(std::min<size_t>(log.Strokes.size() + 1, UINT16_MAX));
    const int across = engine.Project.CellsAcross, down = engine.Project.CellsDown;
    for (const CellChange& c : cells) {
      const uint16_t before = log.RedrawnAt(c.X, c.Y);
      if (log.SetRedrawn(c.X, c.Y, across, down, after) && step)
        step->Redraws.push_back(RedrawChange{c.X, c.Y, before, after});
    }
  }
  if (painted) {
    log.Strokes.push_back(*painted);
    if (step) {
      step->Stroke = true;
      step->Painted = *painted;
    }
  }
}

Status EditHistory::Record(Engine& engine, PenLog* log, std::string name, const std::vector<CellPos>& cells,
                           const std::vector<TRect>& rects, const std::function<Status()>& edit,
                           const PenStrokeEntry* painted) {
  Pending pending = Begin(engine, std::move(name), cells, rects);
  const Status status = edit();
  Commit(engine, std::move(pending), log, status.ok() ? painted : nullptr);
  return status;
}

void EditHistory::Commit(const Engine& engine, Pending&& pending, PenLog* log,
                         const PenStrokeEntry* painted) {
  if (pending.TooLarge || pending.MosaicWidth != engine.MosaicBitmap.Width() ||
      pending.MosaicHeight != engine.MosaicBitmap.Height()) {
    // What the edit changed is not known; the log takes it as it would a
    // change, and nothing before it can be undone.
    if (log) Note(engine, pending.Cells, painted, *log, nullptr);
    Clear();
    return;
  }
  Step step;
  step.Name = std::move(pending.Name);
  for (CellChange& c : pending.Cells) {
    c.After = engine.Map.At(c.X, c.Y);
    if (!SameEntry(c.Before, c.After)) step.Cells.push_back(c);
  }
  for (int k = 0; k < kLibraryTableSize; ++k) {
    const int32_t before = pending.UseCounts[static_cast<size_t>(k)];
    if (engine.Library[k].UseCount != before)
      step.Uses.push_back(UseChange{k, before, engine.Library[k].UseCount});
  }
  for (PixelPatch& patch : pending.Pixels) {
    CopyOut(engine.MosaicBitmap, patch.Rect, patch.After);
    if (patch.After != patch.Before) step.Pixels.push_back(std::move(patch));
  }
  if (!(pending.Blocks == engine.Blocks)) {
    step.BlocksChanged = true;
    step.BlocksBefore = std::move(pending.Blocks);
    step.BlocksAfter = engine.Blocks;
  }
  if (step.Cells.empty() && step.Uses.empty() && step.Pixels.empty() && !step.BlocksChanged) return;  // nothing to take back
  if (log) Note(engine, pending.Cells, painted, *log, &step);

  if (width_ != engine.MosaicBitmap.Width() || height_ != engine.MosaicBitmap.Height()) {
    Clear();
    width_ = engine.MosaicBitmap.Width();
    height_ = engine.MosaicBitmap.Height();
  }
  while (steps_.size() > cursor_) {
    bytes_ -= steps_.back().Bytes();
    steps_.pop_back();
  }
  bytes_ += step.Bytes();
  steps_.push_back(std::move(step));
  cursor_ = steps_.size();
  Trim();
}

void EditHistory::Trim() {
  while (!steps_.empty() && (steps_.size() > maxSteps_ || bytes_ > maxBytes_)) {
    bytes_ -= steps_.front().Bytes();
    steps_.pop_front();
    if (cursor_ > 0) --cursor_;
  }
}

const std::string& EditHistory::UndoName() const { return CanUndo() ? steps_[cursor_ - 1].Name : kNoName; }
const std::string& EditHistory::RedoName() const { return CanRedo() ? steps_[cursor_].Name : kNoName; }

bool EditHistory::Apply(Engine& engine, const Step& step, bool forward, std::vector<TRect>* changed,
                        PenLog* log) {
  if (engine.MosaicBitmap.Width() != width_ || engine.MosaicBitmap.Height() != height_) {
    Clear();
    return false;
  }
  if (log) {
    // Steps come off the end of the log in the order they went on.
    if (step.Stroke && forward) log->Strokes.push_back(step.Painted);
    if (step.Stroke && !forward && !log->Strokes.empty()) log->Strokes.pop_back();
    if (forward)
      for (const RedrawChange& r : step.Redraws) log->SetRedrawn(r.X, r.Y, log->Across, log->Down, r.After);
    else
      for (auto r = step.Redraws.rbegin(); r != step.Redraws.rend(); ++r)
        log->SetRedrawn(r->X, r->Y, log->Across, log->Down, r->Before);
  }
  for (const CellChange& c : step.Cells) engine.Map.At(c.X, c.Y) = forward ? c.After : c.Before;
  if (step.BlocksChanged) engine.Blocks = forward ? step.BlocksAfter : step.BlocksBefore;
  for (const UseChange& u : step.Uses) engine.Library[u.Index].UseCount = forward ? u.After : u.Before;
  for (const PixelPatch& p : step.Pixels) {
    CopyIn(engine.MosaicBitmap, p.Rect, forward ? p.After : p.Before);
    if (changed) changed->push_back(p.Rect);
  }
  return true;
}

bool EditHistory::Undo(Engine& engine, std::vector<TRect>* changed, PenLog* log) {
  if (!CanUndo()) return false;
  if (!Apply(engine, steps_[cursor_ - 1], false, changed, log)) return false;
  --cursor_;
  return true;
}

bool EditHistory::Redo(Engine& engine, std::vector<TRect>* changed, PenLog* log) {
  if (!CanRedo()) return false;
  if (!Apply(engine, steps_[cursor_], true, changed, log)) return false;
  ++cursor_;
  return true;
}

void EditHistory::Clear() {
  steps_.clear();
  cursor_ = 0;
  bytes_ = 0;
  width_ = 0;
  height_ = 0;
}

}  // namespace velmora
