// Truevision pictures: an 18-byte header, an optional identification field,
// an optional colour map, then the pixels, uncompressed or as run-length
// packets (a header byte whose top bit marks a run of one repeated pixel, else
// a literal stretch; both cover 1..128 pixels). Packets may go on from one row
// into the next, as older writers do, but never past the last pixel. Rows are
// stored from the bottom unless descriptor bit 5 says top; bit 4 stores each
// row right to left. A 32-bit picture whose alpha is 0 everywhere was not
// meant to be transparent and reads opaque. The footer and extension area carry nothing the picture
// needs.
#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "imaging/ByteCursor.h"
#include "imaging/PictureLimits.h"
#include "imaging/formats/RasterDecoders.h"
#include "imaging/formats/RasterSupport.h"

namespace velmora {

// 32-bit pixels are copied as stored: blue, green, red, alpha bytes.
static_assert(std::endian::native == std::endian::little);

namespace {

using namespace raster;

constexpr const char* kName = "TGA";
constexpr size_t kHeaderBytes = 18;

enum ImageKind : uint8_t { kColorMapped = 1, kTrueColor = 2, kGrey = 3 };

struct TgaHeader {
  uint8_t idLength = 0;
  uint8_t colorMapType = 0;
  uint8_t imageType = 0;
  uint16_t mapFirst = 0;
  uint16_t mapLength = 0;
  uint8_t mapBits = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint8_t bits = 0;
  uint8_t descriptor = 0;

  ImageKind kind() const { return ImageKind(imageType & 7); }
  bool rle() const { return imageType >= 9; }
  int alphaBits() const { return descriptor & 0x0F; }
  bool rightToLeft() const { return (descriptor & 0x10) != 0; }
  bool topDown() const { return (descriptor & 0x20) != 0; }
};

// One stored pixel of 15/16, 24 or 32 bits (blue first) as a colour; alpha
// only where the caller says the file has it.
TColor32 Pixel16(const uint8_t* p, bool alpha) {
  const uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8;
  return Color32(Scale5((v >> 10) & 31), Scale5((v >> 5) & 31), Scale5(v & 31),
                 alpha ? ((v & 0x8000) ? 255 : 0) : 255);
}

TColor32 StoredColor(const uint8_t* p, int bits, bool alpha) {
  switch (bits) {
    case 15:
    case 16:
      return Pixel16(p, alpha);
    case 24:
      return Color32(p[2], p[1], p[0]);
    default:
      return Color32(p[2], p[1], p[0], alpha ? p[3] : 255);
  }
}

Status ValidateHeader(const TgaHeader& h) {
  if (h.imageType == 32 || h.imageType == 33)
    return NotSupported(Format("Compression type %d", h.imageType), kName);
  const bool knownType = (h.imageType >= 1 && h.imageType <= 3) || (h.imageType >= 9 && h.imageType <= 11);
  if (!knownType || h.colorMapType > 1) return InvalidFormat(kName);
  if (h.colorMapType == 1 && h.mapLength > 0 && h.mapBits != 15 && h.mapBits != 16 && h.mapBits != 24 &&
      h.mapBits != 32)
    return PaletteError(kName);
  switch (h.kind()) {
    case kColorMapped:
      if (h.colorMapType != 1 || h.mapLength == 0) return PaletteError(kName);
      if (h.bits != 8 && h.bits != 16) return ColorFormatError(kName);
      break;
    case kTrueColor:
      if (h.bits != 15 && h.bits != 16 && h.bits != 24 && h.bits != 32) return ColorFormatError(kName);
      break;
    case kGrey:
      if (h.bits != 8 && h.bits != 16) return ColorFormatError(kName);
      break;
  }
  return CheckPictureSize(h.width, h.height, kName);
}

// Expands the packets into `out` (width x height stored pixels).
Status Unpack(ByteCursor& in, size_t pixelBytes, std::vector<uint8_t>& out) {
  const size_t total = out.size();
  const uint8_t* src = in.bytes().data();
  const size_t end = in.size();
  size_t pos = in.position();
  size_t done = 0;
  while (done < total) {
    if (pos >= end) return StreamError(kName);
    const uint8_t head = src[pos++];
    const size_t count = size_t(head & 0x7F) + 1;
    const size_t bytes = count * pixelBytes;
    if (bytes > total - done) return CompressionError(kName);
    if (head & 0x80) {
      if (end - pos < pixelBytes) return StreamError(kName);
      if (pixelBytes == 1) {
        std::memset(out.data() + done, src[pos], count);
      } else {
        for (size_t i = 0; i < count; ++i)
          std::memcpy(out.data() + done + i * pixelBytes, src + pos, pixelBytes);
      }
      pos += pixelBytes;
    } else {
      if (end - pos < bytes) return StreamError(kName);
      std::memcpy(out.data() + done, src + pos, bytes);
      pos += bytes;
    }
    done += bytes;
  }
  in.seek(pos);
  return Status::Ok();
}

}  // namespace

Status DecodeTga(std::span<const uint8_t> bytes, const DecodeHints& /*hints*/, DecodedPicture& out) {
  if (bytes.size() < kHeaderBytes) return StreamError(kName);
  ByteCursor in(bytes);
  TgaHeader h;
  h.idLength = in.u8();
  h.colorMapType = in.u8();
  h.imageType = in.u8();
  h.mapFirst = in.u16le();
  h.mapLength = in.u16le();
  h.mapBits = in.u8();
  in.skip(4);  // x and y origin on the screen
  h.width = in.u16le();
  h.height = in.u16le();
  h.bits = in.u8();
  h.descriptor = in.u8();
  VELMORA_TRY(ValidateHeader(h));

  in.skip(h.idLength);
  // A true-colour or grey file may still carry a colour map; it is skipped.
  std::vector<TColor32> map;
  if (h.colorMapType == 1 && h.mapLength > 0) {
    const size_t entryBytes = (h.mapBits + 7) / 8;
    const std::span<const uint8_t> stored = in.take(size_t(h.mapLength) * entryBytes);
    if (in.overrun()) return StreamError(kName);
    if (h.kind() == kColorMapped) {
      const bool mapAlpha = h.mapBits == 32 && h.alphaBits() > 0;
      map.resize(h.mapLength);
      for (size_t i = 0; i < map.size(); ++i)
        map[i] = StoredColor(&stored[i * entryBytes], h.mapBits, mapAlpha);
    }
  }
  if (in.overrun()) return StreamError(kName);

  const size_t pixelBytes = (h.bits + 7) / 8;
  const size_t pixels = size_t(h.width) * h.height;
  const size_t rowBytes = size_t(h.width) * pixelBytes;
  std::vector<uint8_t> unpacked;
  std::span<const uint8_t> data;
  if (h.rle()) {
    // Each packet of at most 128 pixels takes at least 1 + pixelBytes bytes:
    // a file too short for that is refused before the buffer exists.
    if ((pixels + 127) / 128 * (1 + pixelBytes) > in.remaining()) return StreamError(kName);
    unpacked.resize(pixels * pixelBytes);
    VELMORA_TRY(Unpack(in, pixelBytes, unpacked));
    data = unpacked;
  } else {
    data = in.take(pixels * pixelBytes);
    if (in.overrun()) return StreamError(kName);
  }

  const int width = h.width;
  const int height = h.height;
  bool alpha = false;
  // A 32-bit pixel's fourth byte is alpha even when the descriptor forgets to
  // count its bits (some writers do); a 16-bit pixel's top bit only when the
  // descriptor counts it, as many writers leave it at random.
  if (h.kind() == kTrueColor) alpha = h.bits == 32 || (h.bits == 16 && h.alphaBits() > 0);
  if (h.kind() == kGrey) alpha = h.bits == 16 && h.alphaBits() > 0;
  if (h.kind() == kColorMapped) alpha = h.mapBits == 32 && h.alphaBits() > 0;

  TBitmap32 bmp;
  VELMORA_TRY(bmp.SetSize(width, height));
  for (int r = 0; r < height; ++r) {
    const uint8_t* src = data.data() + size_t(r) * rowBytes;
    TColor32* dst = bmp.ScanLine(h.topDown() ? r : height - 1 - r);
    switch (h.kind()) {
      case kColorMapped:
        for (int x = 0; x < width; ++x) {
          const uint32_t value = h.bits == 8 ? src[x] : uint32_t(src[2 * x]) | uint32_t(src[2 * x + 1]) << 8;
          const uint32_t index = value - h.mapFirst;  // wraps to a huge value below mapFirst
          if (index >= map.size()) return PaletteError(kName);
          dst[x] = map[index];
        }
        break;
      case kGrey:
        if (h.bits == 8) {
          for (int x = 0; x < width; ++x) dst[x] = Color32(src[x], src[x], src[x]);
        } else {
          for (int x = 0; x < width; ++x, src += 2)
            dst[x] = Color32(src[0], src[0], src[0], alpha ? src[1] : 255);
        }
        break;
      case kTrueColor:
        if (h.bits == 24) {
          for (int x = 0; x < width; ++x, src += 3) dst[x] = Color32(src[2], src[1], src[0]);
        } else if (h.bits == 32) {
          // Blue, green, red, alpha: the bytes of a TColor32 on this machine.
          std::memcpy(dst, src, rowBytes);
          if (!alpha)
            for (int x = 0; x < width; ++x) dst[x] |= 0xFF000000u;
        } else {
          for (int x = 0; x < width; ++x, src += 2) dst[x] = Pixel16(src, alpha);
        }
        break;
    }
    if (h.rightToLeft()) std::reverse(dst, dst + width);
  }
  return Deliver(bmp, alpha, out);
}

}  // namespace velmora
