// The pen strokes of a mosaic, in the order they were painted, with all a
// stroke needs to be painted again identically: its rectangle, the picture
// it chose (the choice is random among near equals), and the opacities and
// filter the options held at the time. A project keeps the log beside its
// cell map, so the painted pixels survive a save and a reload.
#pragma once

#include <cstdint>
#include <span>
#include <string>
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
  // The strokes were painted over the pen base picture ("Mosaic Pen Mode"),
  // not over the rendered mosaic: a replay starts from that picture.
  bool OverPenBase = false;
  std::vector<PenStrokeEntry> Strokes;
  bool operator==(const PenLog&) const = default;
};

// The most strokes a mosaic keeps. Each is replayed when the project is
// opened, and one over a whole poster takes some 30 ms: 20,000 of them are
// ten minutes, where a mosaic painted by hand has a few thousand strokes.
// The pen refuses strokes past it, so the program never writes more.
inline constexpr size_t kMaxPenStrokes = 20000;

// The log's own bytes: a format version (uint16 LE, 1), the base (uint16
// LE: 0 the rendered mosaic, 1 the pen base picture), a count (uint32 LE),
// then 32 bytes per stroke (the eight fields as int32 LE, in order).
std::vector<uint8_t> EncodePenLog(const PenLog& log);
// Refuses a newer format, a count the bytes do not hold, and trailing bytes;
// `path` names the file in the message. A log of more than kMaxPenStrokes
// keeps its first kMaxPenStrokes, and says so in `warning`.
Status DecodePenLog(std::span<const uint8_t> bytes, const std::string& path, PenLog& out,
                    std::string* warning = nullptr);

// Paints the strokes over the current mosaic in order, as they were painted
// first (over the pen base picture, made first, when the log says so). A
// stroke outside the mosaic, or naming a picture the list does not hold,
// refuses the whole log before anything is painted. It is a job of its own
// (Engine::ReplayPenStrokes): progress, and a cancel between strokes.
Status ReplayPenLog(Engine& engine, const PenLog& log, const std::string& path);

}  // namespace velmora
