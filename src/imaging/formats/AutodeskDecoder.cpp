// Autodesk Animator cels and pictures: a 32-byte little-endian header (magic
// 0x9119, width, height, position, bits per pixel, compression, image size),
// a palette of 256 red, green, blue triples and then one byte per pixel, top
// row first. The palette holds VGA levels of 0..63; a palette with a level
// above 63 was written with 8-bit levels and is taken as it is.
#include "imaging/formats/AutodeskDecoder.h"

#include <array>

#include "imaging/ByteCursor.h"
#include "imaging/CheckedMath.h"
#include "imaging/PictureLimits.h"

namespace velmora {
namespace {

constexpr const char* kName = "Autodesk";
constexpr uint16_t kMagic = 0x9119;
constexpr size_t kHeaderBytes = 32;
constexpr size_t kPaletteBytes = 768;

Status StreamError() { return Status::Error(Format("Stream read error in %s file.", kName)); }
Status InvalidFormat() {
  return Status::Error(Format("Cannot load image. Invalid or unexpected %s image format.", kName));
}

}  // namespace

Status DecodeAutodesk(std::span<const uint8_t> bytes, const DecodeHints&, DecodedPicture& out) {
  if (bytes.size() < kHeaderBytes) return StreamError();
  ByteCursor in(bytes);
  if (in.u16le() != kMagic) return InvalidFormat();
  const int width = in.u16le();
  const int height = in.u16le();
  in.skip(4);  // position on screen
  const uint8_t bits = in.u8();
  const uint8_t compression = in.u8();
  in.skip(4 + 16);  // image size (often 0), reserved
  VELMORA_TRY(CheckPictureSize(width, height, kName));
  if (bits != 8) return Status::Error(Format("Invalid color format in %s file.", kName));
  if (compression != 0)
    return Status::Error(Format("Cannot load image. %s not supported for %s files.", "Compression", kName));

  const std::span<const uint8_t> rawPalette = in.take(kPaletteBytes);
  const std::span<const uint8_t> pixels = in.take(size_t(width) * size_t(height));
  if (in.overrun()) return StreamError();

  bool sixBit = true;
  for (uint8_t v : rawPalette) sixBit = sixBit && v <= 63;
  std::array<TColor32, 256> palette{};
  for (size_t i = 0; i < 256; ++i) {
    uint8_t c[3];
    for (size_t k = 0; k < 3; ++k) {
      const uint8_t v = rawPalette[3 * i + k];
      c[k] = sixBit ? static_cast<uint8_t>((v * 255 + 31) / 63) : v;
    }
    palette[i] = Color32(c[0], c[1], c[2]);
  }

  VELMORA_TRY(out.bitmap.SetSize(width, height));
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = pixels.data() + size_t(y) * size_t(width);
    TColor32* dst = out.bitmap.ScanLine(y);
    for (int x = 0; x < width; ++x) dst[x] = palette[src[x]];
  }
  return Status::Ok();
}

}  // namespace velmora
