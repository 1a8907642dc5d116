// Windows icons (and cursors, which share the layout): a 6-byte header, a
// directory of 16-byte entries, and each entry's picture at its offset, either
// a PNG file or a device-independent bitmap without file header whose height
// counts both the colour rows and the 1-bit AND mask after them (bottom-up,
// rows padded to 4 bytes, 1 marking a transparent pixel). The picture read is
// the largest, and of equal sizes the deepest; size and depth come from each
// picture's own header, since directories are often wrong about both. A 32-bit
// picture's alpha is used when any pixel has some; otherwise the mask gives
// alpha.
#include <png.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "imaging/ByteCursor.h"
#include "imaging/CheckedMath.h"
#include "imaging/PictureLimits.h"
#include "imaging/formats/PngDecoder.h"
#include "imaging/formats/RasterDecoders.h"
#include "imaging/formats/RasterSupport.h"

namespace velmora {

// PNG entries are decoded as B, G, R, A bytes into TColor32 pixels.
static_assert(std::endian::native == std::endian::little);

namespace {

using namespace raster;

constexpr const char* kName = "ICO";
// Entries beyond this are not compared (their area could overflow); any real
// one is far smaller, and the picture limit refuses them anyway.
constexpr int64_t kMaxSide = int64_t(1) << 24;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

struct Entry {
  std::span<const uint8_t> data;
  bool png = false;
  int64_t width = 0;
  int64_t height = 0;
  int bits = 0;
  bool cut = false;  // the directory's length runs past the end of the file
};

bool IsPng(std::span<const uint8_t> data) {
  return data.size() >= 8 && std::memcmp(data.data(), kPngSignature, 8) == 0;
}

// Size and depth from the entry's own header; false when it has none we know.
bool Describe(Entry& e) {
  ByteCursor in(e.data);
  if (IsPng(e.data)) {
    e.png = true;
    in.skip(16);  // signature, IHDR length and type
    e.width = in.u32be();
    e.height = in.u32be();
    const int depth = in.u8();
    const int colourType = in.u8();
    const int channels = colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
    e.bits = depth * channels;
    return !in.overrun();
  }
  const uint32_t headerSize = in.u32le();
  if (headerSize < 40) return false;
  e.width = in.i32le();
  e.height = in.i32le() / 2;
  in.skip(2);
  e.bits = in.u16le();
  return !in.overrun();
}

Status DecodePngEntry(const Entry& e, DecodedPicture& out) {
  // Checked on the header before libpng allocates anything: the pixels are
  // one deflate stream, so a file this much shorter than them cannot hold the
  // picture.
  VELMORA_TRY(CheckPictureSize(e.width, e.height, kName));
  const std::span<const uint8_t> data = e.data;
  if (uint64_t(e.width) * uint64_t(e.height) / kMaxDeflateRatio > data.size()) return StreamError(kName);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data.data(), data.size())) return InvalidFormat(kName);
  struct Release {
    png_image* image;
    ~Release() { png_image_free(image); }
  } release{&image};
  if (image.width != uint64_t(e.width) || image.height != uint64_t(e.height)) return InvalidFormat(kName);
  image.format = PNG_FORMAT_BGRA;
  TBitmap32 bmp;
  VELMORA_TRY(bmp.SetSize(int(image.width), int(image.height)));
  if (!png_image_finish_read(&image, nullptr, bmp.Pixels().data(), int(image.width) * 4, nullptr))
    return CompressionError(kName);
  out.bitmap.TakePixels(bmp);
  return Status::Ok();
}

Status DecodeDibEntry(const Entry& e, DecodedPicture& out) {
  ByteCursor in(e.data);
  const uint32_t headerSize = in.u32le();
  in.skip(12);  // width, height, planes and bits: known already
  const uint32_t compression = in.u32le();
  in.skip(12);  // image size, resolution
  const uint32_t colorsUsed = in.u32le();
  if (compression != 0) return NotSupported(Format("Compression %u", compression), kName);
  const int bits = e.bits;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return ColorFormatError(kName);
  if (e.width <= 0 || e.height <= 0) return InvalidFormat(kName);
  VELMORA_TRY(CheckPictureSize(e.width, e.height, kName));

  in.seek(headerSize);
  std::vector<TColor32> palette;
  if (bits <= 8) {
    const uint32_t entries = colorsUsed == 0 ? (1u << bits) : colorsUsed;
    if (entries > (1u << bits)) return PaletteError(kName);
    const std::span<const uint8_t> stored = in.take(size_t(entries) * 4);
    if (in.overrun()) return StreamError(kName);
    palette.resize(entries);
    for (size_t i = 0; i < entries; ++i)
      palette[i] = Color32(stored[4 * i + 2], stored[4 * i + 1], stored[4 * i]);
  }

  const size_t width = size_t(e.width);
  const size_t rows = size_t(e.height);
  const size_t stride = (width * bits + 31) / 32 * 4;
  const size_t maskStride = (width + 31) / 32 * 4;
  const std::span<const uint8_t> colour = in.take(stride * rows);
  if (in.overrun()) return StreamError(kName);
  // Some writers leave the mask off 32-bit pictures: then alpha alone counts.
  // Part of a mask is a file cut short.
  std::span<const uint8_t> mask;
  if (bits != 32 || in.remaining() > 0) {
    mask = in.take(maskStride * rows);
    if (in.overrun()) return StreamError(kName);
  }

  TBitmap32 bmp;
  VELMORA_TRY(bmp.SetSize(int(width), int(rows)));
  for (size_t r = 0; r < rows; ++r) {
    const uint8_t* src = colour.data() + r * stride;
    TColor32* dst = bmp.ScanLine(int(rows - 1 - r));
    if (bits <= 8) {
      const int perByte = 8 / bits;
      const unsigned m = (1u << bits) - 1;
      for (size_t x = 0; x < width; ++x) {
        const unsigned index = (src[x / perByte] >> (8 - bits * (int(x % perByte) + 1))) & m;
        if (index >= palette.size()) return PaletteError(kName);
        dst[x] = palette[index];
      }
    } else if (bits == 24) {
      for (size_t x = 0; x < width; ++x, src += 3) dst[x] = Color32(src[2], src[1], src[0]);
    } else {
      std::memcpy(dst, src, width * 4);
    }
  }
  const bool ownAlpha = bits == 32 && !AlphaAllZero(bmp);
  if (!ownAlpha) {
    for (size_t r = 0; r < rows; ++r) {
      TColor32* dst = bmp.ScanLine(int(rows - 1 - r));
      const uint8_t* m = mask.empty() ? nullptr : mask.data() + r * maskStride;
      for (size_t x = 0; x < width; ++x) {
        const bool transparent = m != nullptr && (m[x >> 3] >> (7 - (x & 7)) & 1);
        dst[x] = (dst[x] & 0x00FFFFFFu) | (transparent ? 0u : 0xFF000000u);
      }
    }
  }
  out.bitmap.TakePixels(bmp);
  return Status::Ok();
}

}  // namespace

Status DecodeIco(std::span<const uint8_t> bytes, const DecodeHints& /*hints*/, DecodedPicture& out) {
  ByteCursor in(bytes);
  const uint16_t reserved = in.u16le();
  const uint16_t type = in.u16le();
  const uint16_t count = in.u16le();
  if (in.overrun()) return StreamError(kName);
  if (reserved != 0 || (type != 1 && type != 2) || count == 0) return InvalidFormat(kName);

  const Entry* best = nullptr;
  std::vector<Entry> entries;
  entries.reserve(count);
  for (uint16_t i = 0; i < count; ++i) {
    // Width, height, colours, reserved, planes or hot spot, bits or hot spot:
    // directories are often wrong about them, so the picture's own header
    // decides. The length is trusted only to say where the picture ends.
    in.skip(8);
    const uint32_t length = in.u32le();
    const uint32_t offset = in.u32le();
    if (in.overrun()) return StreamError(kName);
    if (offset >= bytes.size()) continue;
    Entry e;
    e.data = bytes.subspan(offset);
    e.cut = !RangeFits(offset, length, bytes.size());
    if (!Describe(e) || e.width <= 0 || e.height <= 0 || e.width > kMaxSide || e.height > kMaxSide) continue;
    entries.push_back(e);
  }
  for (const Entry& e : entries)
    if (best == nullptr || e.width * e.height > best->width * best->height ||
        (e.width * e.height == best->width * best->height && e.bits > best->bits))
      best = &e;
  if (best == nullptr) return InvalidFormat(kName);
  if (best->cut) return StreamError(kName);

  DecodedPicture picture;
  VELMORA_TRY(best->png ? DecodePngEntry(*best, picture) : DecodeDibEntry(*best, picture));
  // Icons keep their alpha as the entry gave it.
  return Deliver(picture.bitmap, true, out, false);
}

}  // namespace velmora
