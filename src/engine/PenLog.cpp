#include "engine/PenLog.h"

#include <algorithm>
#include <utility>

#include "engine/Engine.h"
#include "imaging/LittleEndian.h"

namespace velmora {
namespace {

constexpr uint16_t kStrokesOnly = 1;
constexpr uint16_t kWithRedrawnCells = 2;
constexpr size_t kHeaderBytes = 8;
constexpr size_t kStrokeBytes = 32;
constexpr size_t kGridBytes = 4;  // Across and Down

int32_t* Fields(PenStrokeEntry& e, int i) {
  int32_t* fields[] = {&e.Left,    &e.Top,       &e.Right,    &e.Bottom,
                       &e.Picture, &e.AlphaMain, &e.AlphaPen, &e.ResampleKernel};
  return fields[i];
}

void StoreU16(uint8_t* d, uint16_t v) {
  d[0] = v & 0xFF;
  d[1] = v >> 8;
}

uint16_t LoadU16(const uint8_t* s) { return static_cast<uint16_t>(s[0] | (s[1] << 8)); }

}  // namespace

bool PenLog::operator==(const PenLog& other) const {
  if (OverPenBase != other.OverPenBase || Strokes != other.Strokes) return false;
  const bool any = AnyRedrawn();
  if (any != other.AnyRedrawn()) return false;
  return !any || (Across == other.Across && Down == other.Down && Redrawn == other.Redrawn);
}

bool PenLog::AnyRedrawn() const {
  return std::any_of(Redrawn.begin(), Redrawn.end(), [](uint16_t v) { return v != 0; });
}

uint16_t PenLog::RedrawnAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= Across || y >= Down || Redrawn.empty()) return 0;
  return Redrawn[static_cast<size_t>(y) * Across + x];
}

bool PenLog::SetRedrawn(int x, int y, int across, int down, uint16_t value) {
  if (x < 0 || y < 0 || x >= across || y >= down || across > kMapSide || down > kMapSide) return false;
  if (across != Across || down != Down || Redrawn.empty()) {
    Across = across;
    Down = down;
    Redrawn.assign(static_cast<size_t>(across) * down, 0);
  }
  Redrawn[static_cast<size_t>(y) * Across + x] = value;
  return true;
}

uint16_t PenLogFormat(const PenLog& log) { return log.AnyRedrawn() ? kWithRedrawnCells : kStrokesOnly; }

std::vector<uint8_t> EncodePenLog(const PenLog& log) {
  const uint16_t format = PenLogFormat(log);
  const size_t strokeEnd = kHeaderBytes + log.Strokes.size() * kStrokeBytes;
  std::vector<uint8_t> out(strokeEnd + (format == kStrokesOnly ? 0 : kGridBytes + 2 * log.Redrawn.size()));
  StoreU16(&out[0], format);
  out[2] = log.OverPenBase ? 1 : 0;
  StoreI32LE(&out[4], static_cast<int32_t>(log.Strokes.size()));
  uint8_t* d = out.data() + kHeaderBytes;
  for (PenStrokeEntry e : log.Strokes)
    for (int i = 0; i < 8; ++i, d += 4) StoreI32LE(d, *Fields(e, i));
  if (format == kStrokesOnly) return out;
  StoreU16(d, static_cast<uint16_t>(log.Across));
  StoreU16(d + 2, static_cast<uint16_t>(log.Down));
  d += kGridBytes;
  for (uint16_t v : log.Redrawn) StoreU16(std::exchange(d, d + 2), v);
  return out;
}

Status DecodePenLog(std::span<const uint8_t> bytes, const std::string& path, PenLog& out,
                    std::string* warning) {
  if (bytes.size() < kHeaderBytes) return Status::Error(path + ": the pen strokes are cut short");
  const int format = LoadU16(&bytes[0]);
  if (format != kStrokesOnly && format != kWithRedrawnCells)
    return Status::Error(Format("%s: the pen strokes are in a newer format (%d)", path.c_str(), format));
  const int base = LoadU16(&bytes[2]);
  if (base > 1)
    return Status::Error(Format("%s: the pen strokes name an unknown base (%d)", path.c_str(), base));
  const auto count = static_cast<uint32_t>(LoadI32LE(&bytes[4]));
  // The count is believed only as far as the bytes present hold it.
  const size_t strokeBytes = bytes.size() - kHeaderBytes;
  const size_t grid = format == kStrokesOnly ? 0 : kGridBytes;
  if (strokeBytes / kStrokeBytes < count || strokeBytes - size_t(count) * kStrokeBytes < grid ||
      (format == kStrokesOnly && strokeBytes != size_t(count) * kStrokeBytes))
    return Status::Error(path + ": the pen strokes do not match their count");
  PenLog log;
  log.OverPenBase = base == 1;
  const size_t kept = std::min<size_t>(count, kMaxPenStrokes);
  if (format == kWithRedrawnCells) {
    const uint8_t* g = bytes.data() + kHeaderBytes + size_t(count) * kStrokeBytes;
    log.Across = LoadU16(g);
    log.Down = LoadU16(g + 2);
    if (log.Across < 1 || log.Down < 1 || log.Across > kMapSide || log.Down > kMapSide)
      return Status::Error(Format("%s: the cells drawn over the pen strokes name a grid of %d x %d",
                                  path.c_str(), log.Across, log.Down));
    const size_t cells = size_t(log.Across) * log.Down;
    if (bytes.size() - (kHeaderBytes + size_t(count) * kStrokeBytes + kGridBytes) != 2 * cells)
      return Status::Error(path + ": the cells drawn over the pen strokes do not match their grid");
    log.Redrawn.resize(cells);
    for (size_t i = 0; i < cells; ++i) {
      const uint16_t v = LoadU16(g + kGridBytes + 2 * i);
      if (v > size_t(count) + 1)
        return Status::Error(path + ": a cell is drawn after pen strokes the project does not hold");
      log.Redrawn[i] = static_cast<uint16_t>(std::min<size_t>(v, kept + 1));
    }
  }
  if (count > kMaxPenStrokes && warning)
    *warning = Format(
        "%s: the project holds %u pen strokes, more than the %zu a mosaic keeps; those after "
        "the first %zu were left out.",
        path.c_str(), count, kMaxPenStrokes, kMaxPenStrokes);
  log.Strokes.resize(kept);
  const uint8_t* s = bytes.data() + kHeaderBytes;
  for (PenStrokeEntry& e : log.Strokes)
    for (int i = 0; i < 8; ++i, s += 4) *Fields(e, i) = LoadI32LE(s);
  out = std::move(log);
  return Status::Ok();
}

Status ReplayPenLog(Engine& engine, const PenLog& log, const std::string& path) {
  const tmosaicproject& p = engine.Project;
  for (size_t i = 0; i < log.Strokes.size(); ++i) {
    const PenStrokeEntry& e = log.Strokes[i];
    const bool inside = e.Left >= 0 && e.Top >= 0 && e.Left <= e.Right && e.Top <= e.Bottom &&
                        e.Right < p.FinalWidth && e.Bottom < p.FinalHeight;
    const bool picture = e.Picture >= -1 && e.Picture < engine.PicList.Count();
    if (!inside || !picture)
      return Status::Error(Format("%s: pen stroke %zu does not fit this mosaic", path.c_str(), i + 1));
  }
  // The cells to draw again, by the number of strokes painted before them,
  // each group in row order.
  std::vector<std::vector<CellPos>> redraw;
  if (log.AnyRedrawn()) {
    if (log.Across != p.CellsAcross || log.Down != p.CellsDown ||
        log.Redrawn.size() != size_t(log.Across) * log.Down)
      return Status::Error(
          Format("%s: the cells drawn over the pen strokes are of a %d x %d grid, not "
                 "this mosaic's %d x %d",
                 path.c_str(), log.Across, log.Down, p.CellsAcross, p.CellsDown));
    redraw.resize(log.Strokes.size() + 1);
    for (int y = 0; y < log.Down; ++y)
      for (int x = 0; x < log.Across; ++x)
        if (const uint16_t v = log.RedrawnAt(x, y); v != 0 && v <= redraw.size())
          redraw[v - 1].push_back(CellPos{x, y});
  }
  if (log.OverPenBase) VELMORA_TRY(engine.MakePenBasePicture());
  VELMORA_TRY(engine.ReplayPenStrokes(log.Strokes, [&](size_t painted) {
    if (painted < redraw.size())
      for (const CellPos& c : redraw[painted]) VELMORA_TRY(engine.RenderCell(c.X, c.Y));
    return Status::Ok();
  }));
  // The label ends as it would have without strokes to paint.
  engine.Listener().SetJobText(log.OverPenBase ? "Current Job : Free Pen Mosaic Ready"
                                               : "Current Job : Mosaic Created");
  return Status::Ok();
}

}  // namespace velmora
