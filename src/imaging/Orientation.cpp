#include "imaging/Orientation.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "imaging/ByteCursor.h"
#include "imaging/PictureReader.h"

namespace velmora {
namespace {

constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kTypeShort = 3;

}  // namespace

int ExifOrientation(std::span<const uint8_t> app1) {
  static constexpr uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
  if (app1.size() < 6 || std::memcmp(app1.data(), kExif, 6) != 0) return kOrientationUpright;
  ByteCursor c(app1.subspan(6));  // offsets count from the TIFF header
  const uint16_t order = c.u16le();
  const bool little = order == 0x4949;  // "II"
  if (!little && order != 0x4D4D) return kOrientationUpright;
  const auto u16 = [&] { return little ? c.u16le() : c.u16be(); };
  const auto u32 = [&] { return little ? c.u32le() : c.u32be(); };
  if (u16() != 42) return kOrientationUpright;
  const uint32_t ifd = u32();
  if (c.overrun() || !c.seek(ifd)) return kOrientationUpright;
  const uint16_t entries = u16();
  // Each entry is 12 bytes; a count the payload cannot hold is refused as a
  // whole rather than read until the cursor runs out.
  if (c.overrun() || size_t(entries) * 12 > c.remaining()) return kOrientationUpright;
  for (uint16_t i = 0; i < entries; ++i) {
    const uint16_t tag = u16();
    const uint16_t type = u16();
    const uint32_t count = u32();
    const uint16_t value = u16();
    (void)u16();
    if (tag != kOrientationTag) continue;
    if (type != kTypeShort || count != 1 || value < 1 || value > 8) return kOrientationUpright;
    return value;
  }
  return kOrientationUpright;
}

Status ApplyOrientation(TBitmap32& bitmap, int orientation) {
  if (orientation < 2 || orientation > 8 || bitmap.Empty()) return Status::Ok();
  const int w = bitmap.Width();
  const int h = bitmap.Height();
  if (!OrientationSwapsSides(orientation)) {
    // Mirrors and the half turn work in place.
    const bool mirrorRows = orientation == 2 || orientation == 3;
    const bool mirrorColumns = orientation == 3 || orientation == 4;
    if (mirrorRows)
      for (int y = 0; y < h; ++y) std::reverse(bitmap.ScanLine(y), bitmap.ScanLine(y) + w);
    if (mirrorColumns)
      for (int y = 0; y < h / 2; ++y)
        std::swap_ranges(bitmap.ScanLine(y), bitmap.ScanLine(y) + w, bitmap.ScanLine(h - 1 - y));
    return Status::Ok();
  }
  TBitmap32 turned;
  VELMORA_TRY(turned.SetSize(h, w));
  // Target (x, y) with x < h and y < w takes source (sx, sy):
  //   5: (y, x)   6: (y, h-1-x)   7: (w-1-y, h-1-x)   8: (w-1-y, x)
  const bool fromRight = orientation == 7 || orientation == 8;
  const bool fromBottom = orientation == 6 || orientation == 7;
  for (int y = 0; y < w; ++y) {
    TColor32* out = turned.ScanLine(y);
    const int sx = fromRight ? w - 1 - y : y;
    for (int x = 0; x < h; ++x) out[x] = bitmap.ScanLine(fromBottom ? h - 1 - x : x)[sx];
  }
  turned.DrawMode = bitmap.DrawMode;
  turned.CombineMode = bitmap.CombineMode;
  turned.MasterAlpha = bitmap.MasterAlpha;
  turned.StretchFilter = bitmap.StretchFilter;
  bitmap = std::move(turned);
  return Status::Ok();
}

Status TurnUpright(DecodedPicture& picture) {
  VELMORA_TRY(ApplyOrientation(picture.bitmap, picture.orientation));
  if (OrientationSwapsSides(picture.orientation)) std::swap(picture.storedWidth, picture.storedHeight);
  return Status::Ok();
}

}  // namespace velmora
