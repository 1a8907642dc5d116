#include "engine/PenLog.h"

#include <algorithm>

#include "engine/Engine.h"
#include "imaging/LittleEndian.h"

namespace velmora {
namespace {

constexpr uint16_t kPenLogFormat = 1;
constexpr size_t kHeaderBytes = 8;
constexpr size_t kStrokeBytes = 32;

int32_t* Fields(PenStrokeEntry& e, int i) {
  int32_t* fields[] = {&e.Left,    &e.Top,       &e.Right,    &e.Bottom,
                       &e.Picture, &e.AlphaMain, &e.AlphaPen, &e.ResampleKernel};
  return fields[i];
}

}  // namespace

std::vector<uint8_t> EncodePenLog(const PenLog& log) {
  std::vector<uint8_t> out(kHeaderBytes + log.Strokes.size() * kStrokeBytes);
  out[0] = kPenLogFormat & 0xFF;
  out[1] = kPenLogFormat >> 8;
  out[2] = log.OverPenBase ? 1 : 0;
  StoreI32LE(&out[4], static_cast<int32_t>(log.Strokes.size()));
  uint8_t* d = out.data() + kHeaderBytes;
  for (PenStrokeEntry e : log.Strokes)
    for (int i = 0; i < 8; ++i, d += 4) StoreI32LE(d, *Fields(e, i));
  return out;
}

Status DecodePenLog(std::span<const uint8_t> bytes, const std::string& path, PenLog& out,
                    std::string* warning) {
  if (bytes.size() < kHeaderBytes) return Status::Error(path + ": the pen strokes are cut short");
  const int format = bytes[0] | (bytes[1] << 8);
  if (format != kPenLogFormat)
    return Status::Error(Format("%s: the pen strokes are in a newer format (%d)", path.c_str(), format));
  const int base = bytes[2] | (bytes[3] << 8);
  if (base > 1)
    return Status::Error(Format("%s: the pen strokes name an unknown base (%d)", path.c_str(), base));
  const auto count = static_cast<uint32_t>(LoadI32LE(&bytes[4]));
  // The count is believed only as far as the bytes present hold it.
  if ((bytes.size() - kHeaderBytes) / kStrokeBytes != count || (bytes.size() - kHeaderBytes) % kStrokeBytes)
    return Status::Error(path + ": the pen strokes do not match their count");
  PenLog log;
  log.OverPenBase = base == 1;
  if (count > kMaxPenStrokes && warning)
    *warning = Format(
        "%s: the project holds %u pen strokes, more than the %zu a mosaic keeps; those after "
        "the first %zu were left out.",
        path.c_str(), count, kMaxPenStrokes, kMaxPenStrokes);
  log.Strokes.resize(std::min<size_t>(count, kMaxPenStrokes));
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
  if (log.OverPenBase) VELMORA_TRY(engine.MakePenBasePicture());
  VELMORA_TRY(engine.ReplayPenStrokes(log.Strokes));
  // The label ends as it would have without strokes to paint.
  engine.Listener().SetJobText(log.OverPenBase ? "Current Job : Free Pen Mosaic Ready"
                                               : "Current Job : Mosaic Created");
  return Status::Ok();
}

}  // namespace velmora
