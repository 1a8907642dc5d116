// Kodak Photo CD pictures. The file is laid out in 2048-byte sectors: the
// information sector at 0x800 starts with "PCD_IPI", its byte 0x602 (0xE02 in
// the file) holds the rotation in its low two bits, and the base picture
// starts at sector 96 (0x30000). It is stored as groups of two luma lines of
// 768 bytes followed by one line of each chroma channel at half width (each
// chroma sample covers 2 x 2 pixels). PhotoYCC to RGB:
//   L = 1.3584 Y,  C1' = 2.2179 (C1 - 156),  C2' = 1.8215 (C2 - 137),
//   R = L + C2',  G = L - 0.194 C1' - 0.509 C2',  B = L + C1',
// clipped to 0..255 (levels above 255 are the highlights beyond reference white).
#include "imaging/formats/PcdDecoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "imaging/ByteCursor.h"
#include "imaging/PictureLimits.h"

namespace velmora {
namespace {

constexpr const char* kName = "PCD";
constexpr size_t kSector = 0x800;
constexpr size_t kBaseOffset = 96 * kSector;
constexpr int kBaseWidth = 768;
constexpr int kBaseHeight = 512;
constexpr size_t kRotationOffset = 0xE02;

Status StreamError() { return Status::Error(Format("Stream read error in %s file.", kName)); }
Status InvalidFormat() {
  return Status::Error(Format("Cannot load image. Invalid or unexpected %s image format.", kName));
}

// Fixed-point (16 fractional bits) tables for the conversion.
struct YccTables {
  std::array<int32_t, 256> luma{}, c1Blue{}, c1Green{}, c2Red{}, c2Green{};
  YccTables() {
    for (int v = 0; v < 256; ++v) {
      const double c1 = 2.2179 * (v - 156);
      const double c2 = 1.8215 * (v - 137);
      luma[size_t(v)] = int32_t(std::lround(1.3584 * v * 65536));
      c1Blue[size_t(v)] = int32_t(std::lround(c1 * 65536));
      c1Green[size_t(v)] = int32_t(std::lround(-0.194 * c1 * 65536));
      c2Red[size_t(v)] = int32_t(std::lround(c2 * 65536));
      c2Green[size_t(v)] = int32_t(std::lround(-0.509 * c2 * 65536));
    }
  }
};

uint8_t Clip(int32_t fixed) { return static_cast<uint8_t>(std::clamp((fixed + 32768) >> 16, 0, 255)); }

}  // namespace

Status DecodePcd(std::span<const uint8_t> bytes, const DecodeHints&, DecodedPicture& out) {
  if (bytes.size() < 3 * kSector) return StreamError();
  if (std::memcmp(bytes.data() + kSector, "PCD_IPI", 7) != 0) return InvalidFormat();
  const int rotation = bytes[kRotationOffset] & 3;

  constexpr size_t kGroupBytes = 2 * kBaseWidth + kBaseWidth;  // two luma lines, two half chroma lines
  ByteCursor in(bytes);
  in.seek(kBaseOffset);
  const std::span<const uint8_t> base = in.take(kGroupBytes * (kBaseHeight / 2));
  if (in.overrun()) return StreamError();

  static const YccTables t;
  TBitmap32 upright;
  VELMORA_TRY(upright.SetSize(kBaseWidth, kBaseHeight));
  for (int pair = 0; pair < kBaseHeight / 2; ++pair) {
    const uint8_t* group = base.data() + size_t(pair) * kGroupBytes;
    const uint8_t* c1 = group + 2 * kBaseWidth;
    const uint8_t* c2 = c1 + kBaseWidth / 2;
    for (int line = 0; line < 2; ++line) {
      const uint8_t* y = group + line * kBaseWidth;
      TColor32* dst = upright.ScanLine(2 * pair + line);
      for (int x = 0; x < kBaseWidth; ++x) {
        const int32_t l = t.luma[y[x]];
        const uint8_t u = c1[x / 2], v = c2[x / 2];
        dst[x] = Color32(Clip(l + t.c2Red[v]), Clip(l + t.c1Green[u] + t.c2Green[v]), Clip(l + t.c1Blue[u]));
      }
    }
  }

  // Rotation code 1: the picture is to be turned a quarter counter-clockwise,
  // 2: half a turn, 3: a quarter clockwise.
  if (rotation == 0) {
    out.bitmap.TakePixels(upright);
    return Status::Ok();
  }
  const int w = rotation == 2 ? kBaseWidth : kBaseHeight;
  const int h = rotation == 2 ? kBaseHeight : kBaseWidth;
  VELMORA_TRY(out.bitmap.SetSize(w, h));
  for (int y = 0; y < kBaseHeight; ++y) {
    const TColor32* src = upright.ScanLine(y);
    for (int x = 0; x < kBaseWidth; ++x) {
      switch (rotation) {
        case 1:  // counter-clockwise: (x, y) goes to (y, W - 1 - x)
          out.bitmap.Pixel(y, kBaseWidth - 1 - x) = src[x];
          break;
        case 2:
          out.bitmap.Pixel(kBaseWidth - 1 - x, kBaseHeight - 1 - y) = src[x];
          break;
        default:  // clockwise: (x, y) goes to (H - 1 - y, x)
          out.bitmap.Pixel(kBaseHeight - 1 - y, x) = src[x];
          break;
      }
    }
  }
  return Status::Ok();
}

}  // namespace velmora
