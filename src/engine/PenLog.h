// The pen strokes of a mosaic, in the order they were painted, with all a
// stroke needs to be painted again identically: its rectangle, the picture
// it chose (the choice is random among near equals), and the opacities and
// filter the options held at the time. A project keeps the log beside its
// cell map, so the painted pixels survive a save and a reload.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "imaging/Status.h"

namespace velmora {

class Engine;

struct PenStrokeEntry {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  int32_t Picture = -1;  // position in the picture list; -1 none chosen
  int32_t AlphaMain = 0;
  int32_t AlphaPen = 0;
  int32_t ResampleKernel = 0;
  bool operator==(const PenStrokeEntry&) const = default;
};

struct PenLog {
  PenLog() = default;
  PenLog(bool overPenBase, std::vector<PenStrokeEntry> strokes)
      : OverPenBase(overPenBase), Strokes(std::move(strokes)) {}

  // The strokes were painted over the pen base picture ("Mosaic Pen Mode"),
  // not over the rendered mosaic: a replay starts from that picture.
  bool OverPenBase = false;
  std::vector<PenStrokeEntry> Strokes;
  // The cells drawn again by hand (Edit I, a pick-cell apply, a re-pick)
  // once the log began, that is over the pen base or after a stroke: for
  // each cell of the Across x Down grid, row by row, 0 when the render or
  // the pen base still shows it, else 1 + the number of strokes painted
  // before it was last drawn. A redrawn cell covers all that lay under it
  // (Engine::RenderCell), so its last drawing is all a replay needs, with
  // the picture the cell map holds. Empty when no cell was.
  int32_t Across = 0;
  int32_t Down = 0;
  std::vector<uint16_t> Redrawn;
  // The same strokes over the same base, and the same cells drawn again
  // (a grid of zeros is as good as none).
  bool operator==(const PenLog& other) const;

  // A hand edit of a cell now is part of the picture a replay must give.
  bool KeepsCellEdits() const { return OverPenBase || !Strokes.empty(); }
  // Some cell was drawn again after the log began.
  bool AnyRedrawn() const;
  // Something to do after the render: the pen base to make, strokes to
  // paint or cells to draw.
  bool Replays() const { return OverPenBase || !Strokes.empty() || AnyRedrawn(); }
  // What cell (x, y) of an across x down grid holds; a cell outside the grid
  // the log covers holds 0.
  uint16_t RedrawnAt(int x, int y) const;
  // Sets it, giving the log the grid first when it has none yet (or had
  // another); false for a cell outside the grid.
  bool SetRedrawn(int x, int y, int across, int down, uint16_t value);
};

// The most strokes a mosaic keeps. Each is replayed when the project is
// opened, and one over a whole poster takes some 30 ms: 20,000 of them are
// ten minutes, where a mosaic painted by hand has a few thousand strokes.
// The pen refuses strokes past it, so the program never writes more.
inline constexpr size_t kMaxPenStrokes = 20000;

// The log's own bytes: a format version (uint16 LE), the base (uint16 LE: 0
// the rendered mosaic, 1 the pen base picture), a count (uint32 LE), then 32
// bytes per stroke (the eight fields as int32 LE, in order). Format 1 ends
// there and is written while no cell was drawn again, so that such a log
// reads in every earlier version of the program; format 2 goes on with
// Across and Down (uint16 LE each) and Redrawn (uint16 LE per cell).
std::vector<uint8_t> EncodePenLog(const PenLog& log);
// The format EncodePenLog writes for `log`.
uint16_t PenLogFormat(const PenLog& log);
// Refuses a newer format, a count the bytes do not hold, a grid past the
// cell map, a cell drawn after strokes the log does not hold, and trailing
// bytes; `path` names the file in the message. A log of more than
// kMaxPenStrokes keeps its first kMaxPenStrokes (a cell drawn after the
// ones left out comes after the last one kept), and says so in `warning`.
Status DecodePenLog(std::span<const uint8_t> bytes, const std::string& path, PenLog& out,
                    std::string* warning = nullptr);

// Paints the strokes over the current mosaic in order, as they were painted
// first (over the pen base picture, made first, when the log says so), and
// draws each redrawn cell again between them where it was last drawn. A
// stroke outside the mosaic, naming a picture the list does not hold, or a
// grid of redrawn cells other than the mosaic's, refuses the whole log
// before anything is painted. It is a job of its own
// (Engine::ReplayPenStrokes): progress, and a cancel between strokes.
Status ReplayPenLog(Engine& engine, const PenLog& log, const std::string& path);

}  // namespace velmora
