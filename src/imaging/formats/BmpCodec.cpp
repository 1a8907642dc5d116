// Windows bitmaps. The reader takes the layouts real files come in: the old
// 12-byte core header and the 16..64-byte OS/2 and 40..124-byte Windows info
// headers, palettes of 1, 2, 4 and 8 bits, RLE4 and RLE8, 16 and 32 bits with
// or without bit-field masks, 24 bits, rows bottom-up or top-down. The writer
// makes one layout only: 32 bits per pixel, bottom-up, no colour table.
#include "imaging/formats/BmpCodec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>

#include "imaging/ByteCursor.h"
#include "imaging/CheckedMath.h"
#include "imaging/FileIO.h"
#include "imaging/PictureLimits.h"

namespace velmora {
namespace {

constexpr const char* kFormatName = "BMP";

Status Invalid() { return Status::Error("Bitmap image is not valid"); }

// biCompression values. 4 and 5 (embedded JPEG and PNG, meant for printers)
// and the CMYK codes are refused like any unknown code.
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kCoreHeaderBytes = 12;
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kV2HeaderBytes = 52;  // info header + red, green, blue masks
constexpr uint32_t kV3HeaderBytes = 56;  // ... + alpha mask
constexpr uint32_t kV4HeaderBytes = 108;
constexpr uint32_t kV5HeaderBytes = 124;

constexpr TColor32 kOpaqueBlack = Color32(0, 0, 0);

// How far past the end of the file bfOffBits may point and still be taken as
// a writer's slip: the length of a full 256-entry palette.
constexpr uint64_t kOffBitsSlack = 256 * 4;

struct BmpHeader {
  uint32_t offBits = 0;
  uint32_t headerSize = 0;
  int64_t width = 0;
  int64_t rows = 0;  // the picture's height, always >= 0
  bool topDown = false;
  uint16_t bits = 0;
  uint32_t compression = kBiRgb;
  uint32_t colorsUsed = 0;
  std::array<uint32_t, 4> masks{};  // red, green, blue, alpha
  uint64_t paletteStart = 0;        // after the header and any masks that follow it
  uint32_t paletteEntryBytes = 4;   // BGR for the core header, BGRx otherwise
};

bool IsOs2InfoHeader(uint32_t size) {
  return size >= 16 && size <= 64 && size != kInfoHeaderBytes && size != kV2HeaderBytes &&
         size != kV3HeaderBytes;
}

bool IsKnownHeaderSize(uint32_t size) {
  // 16..64 covers the OS/2 2.x header, which may stop after any field, and the
  // 40/52/56-byte Windows headers; anything past 124 is a V5 header with
  // fields we do not know yet.
  return size == kCoreHeaderBytes || (size >= 16 && size <= 64) || size == kV4HeaderBytes ||
         size >= kV5HeaderBytes;
}

bool IsKnownLayout(const BmpHeader& h, bool os2) {
  switch (h.compression) {
    case kBiRgb:
      return h.bits == 1 || h.bits == 2 || h.bits == 4 || h.bits == 8 || h.bits == 16 || h.bits == 24 ||
             h.bits == 32;
    // Run-length rows are stored bottom-up only.
    case kBiRle8:
      return h.bits == 8 && !h.topDown;
    case kBiRle4:
      return h.bits == 4 && !h.topDown;
    // OS/2 uses code 3 for its Huffman coding, not for masks.
    case kBiBitfields:
    case kBiAlphaBitfields:
      return !os2 && (h.bits == 16 || h.bits == 32);
    default:
      return false;
  }
}

bool UsesMasks(const BmpHeader& h) {
  return h.compression == kBiBitfields || h.compression == kBiAlphaBitfields;
}

// Reads both headers and the masks; leaves sizes unchecked against the data.
Status ReadHeader(std::span<const uint8_t> bytes, BmpHeader& h) {
  ByteCursor in(bytes);
  if (in.u8() != 'B' || in.u8() != 'M') return Invalid();
  // bfSize and the two reserved words: writers fill them carelessly and
  // nothing depends on them.
  in.skip(8);
  h.offBits = in.u32le();
  h.headerSize = in.u32le();
  if (in.overrun() || !IsKnownHeaderSize(h.headerSize)) return Invalid();
  if (!RangeFits(kFileHeaderBytes, h.headerSize, bytes.size())) return Invalid();

  // Short OS/2 headers end after any field; the missing ones read as zero.
  std::array<uint8_t, kV5HeaderBytes> raw{};
  std::memcpy(raw.data(), bytes.data() + kFileHeaderBytes, std::min<size_t>(h.headerSize, raw.size()));
  ByteCursor hdr(raw);
  hdr.skip(4);

  const bool os2 = IsOs2InfoHeader(h.headerSize);
  if (h.headerSize == kCoreHeaderBytes) {
    h.width = hdr.u16le();
    h.rows = hdr.u16le();
    hdr.skip(2);  // planes
    h.bits = hdr.u16le();
    h.paletteEntryBytes = 3;
  } else {
    h.width = hdr.i32le();
    const int64_t height = hdr.i32le();
    h.topDown = height < 0;
    h.rows = height < 0 ? -height : height;
    hdr.skip(2);  // planes: always 1 in practice, and nothing depends on it
    h.bits = hdr.u16le();
    h.compression = hdr.u32le();
    hdr.skip(12);  // image size (0 is allowed for RGB), resolution
    h.colorsUsed = hdr.u32le();
    hdr.skip(4);  // important colours
  }
  if (!IsKnownLayout(h, os2)) return Invalid();

  h.paletteStart = kFileHeaderBytes + h.headerSize;
  if (UsesMasks(h)) {
    if (h.headerSize == kInfoHeaderBytes) {
      // The plain info header keeps its masks in the three (or, with alpha,
      // four) words after it.
      const uint32_t count = h.compression == kBiAlphaBitfields ? 4 : 3;
      ByteCursor after(bytes);
      after.seek(h.paletteStart);
      for (uint32_t i = 0; i < count; ++i) h.masks[i] = after.u32le();
      if (after.overrun()) return Invalid();
      h.paletteStart += 4 * count;
    } else {
      // A 52-byte header stops before the alpha mask, which then reads as 0.
      hdr.seek(kInfoHeaderBytes);
      for (uint32_t i = 0; i < 4; ++i) h.masks[i] = hdr.u32le();
    }
  }
  return Status::Ok();
}

// One colour channel of a bit-field pixel, scaled so the field's largest value
// becomes 255 (a 5-bit 31 is 255, not 248).
class FieldScale {
public:
  explicit FieldScale(uint32_t mask) : mask_(mask) {
    if (mask == 0) {
      levels_.assign(1, 0);  // a missing channel reads as 0
      return;
    }
    shift_ = std::countr_zero(mask);
    const uint32_t field = mask >> shift_;
    // Fields wider than 16 bits lose their low bits first: the table stays
    // small and 8-bit output cannot tell the difference.
    drop_ = std::max(0, int(std::bit_width(field)) - 16);
    const uint32_t top = field >> drop_;
    levels_.resize(size_t(top) + 1);
    for (uint32_t v = 0; v <= top; ++v)
      levels_[v] = static_cast<uint8_t>((uint64_t(v) * 255 + top / 2) / top);
  }
  // Masks with holes still index inside the table: (p & mask) >> shift never
  // exceeds mask >> shift.
  uint8_t operator()(uint32_t pixel) const { return levels_[((pixel & mask_) >> shift_) >> drop_]; }

private:
  uint32_t mask_ = 0;
  int shift_ = 0;
  int drop_ = 0;
  std::vector<uint8_t> levels_;
};

struct BitfieldScales {
  explicit BitfieldScales(const std::array<uint32_t, 4>& masks)
      : red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]) {}
  FieldScale red, green, blue, alpha;
};

// 1, 2, 4 and 8 bits: indices into a full 256-entry palette, so an index past
// the file's own palette reads its opaque black padding, never past the table.
void ConvertIndexedRow(const uint8_t* src, int width, int bits, const std::array<TColor32, 256>& palette,
                       TColor32* dst) {
  if (bits == 8) {
    for (int x = 0; x < width; ++x) dst[x] = palette[src[x]];
    return;
  }
  const int perByte = 8 / bits;
  const unsigned mask = (1u << bits) - 1;
  for (int x = 0; x < width; ++x) {
    const int shift = 8 - bits * (x % perByte + 1);  // leftmost pixel in the high bits
    dst[x] = palette[(src[x / perByte] >> shift) & mask];
  }
}

void Convert24Row(const uint8_t* src, int width, TColor32* dst) {
  for (int x = 0; x < width; ++x, src += 3) dst[x] = Color32(src[2], src[1], src[0]);
}

void Convert32Row(const uint8_t* src, int width, TColor32* dst) {
  // Stored as blue, green, red, alpha: on a little-endian machine exactly the
  // bytes of a TColor32.
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(dst, src, size_t(width) * 4);
  } else {
    for (int x = 0; x < width; ++x, src += 4) dst[x] = Color32(src[2], src[1], src[0], src[3]);
  }
}

void ConvertBitfieldRow(const uint8_t* src, int width, int bits, const BitfieldScales& s, bool useAlpha,
                        TColor32* dst) {
  if (bits == 16) {
    for (int x = 0; x < width; ++x, src += 2) {
      const uint32_t p = uint32_t(src[0]) | uint32_t(src[1]) << 8;
      dst[x] = Color32(s.red(p), s.green(p), s.blue(p));
    }
    return;
  }
  for (int x = 0; x < width; ++x, src += 4) {
    const uint32_t p =
        uint32_t(src[0]) | uint32_t(src[1]) << 8 | uint32_t(src[2]) << 16 | uint32_t(src[3]) << 24;
    dst[x] = Color32(s.red(p), s.green(p), s.blue(p), useAlpha ? s.alpha(p) : 255);
  }
}

// Row length in the file, padded to 4 bytes, or 0 when `available` bytes
// cannot hold the rows. The last row may go without its padding; some writers
// leave it off.
uint64_t StrideIfRowsFit(const BmpHeader& h, size_t available) {
  uint64_t rowBits = 0;
  if (!CheckedMul<uint64_t>(uint64_t(h.width), h.bits, &rowBits)) return 0;
  const uint64_t stride = (rowBits + 31) / 32 * 4;
  const uint64_t rowBytes = (rowBits + 7) / 8;
  uint64_t needed = 0;
  if (!CheckedMul<uint64_t>(stride, uint64_t(h.rows - 1), &needed) ||
      !CheckedAdd(needed, rowBytes, &needed) || needed > available)
    return 0;
  return stride;
}

void DecodeUncompressed(std::span<const uint8_t> data, uint64_t stride, const BmpHeader& h,
                        const std::array<TColor32, 256>& palette, bool useAlpha, TBitmap32& bmp) {
  const int width = bmp.Width();
  const int rows = bmp.Height();
  // 16 and 32 bits without masks take the default layouts: 5-5-5 and plain
  // blue, green, red, alpha bytes.
  const bool masked = UsesMasks(h) || h.bits == 16;
  const BitfieldScales scales(UsesMasks(h) ? h.masks : std::array<uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0});
  for (int r = 0; r < rows; ++r) {
    const uint8_t* src = data.data() + size_t(r) * stride;
    TColor32* dst = bmp.ScanLine(h.topDown ? r : rows - 1 - r);
    if (h.bits <= 8)
      ConvertIndexedRow(src, width, h.bits, palette, dst);
    else if (h.bits == 24)
      Convert24Row(src, width, dst);
    else if (masked)
      ConvertBitfieldRow(src, width, h.bits, scales, useAlpha, dst);
    else
      Convert32Row(src, width, dst);
  }
}

// RLE8 and RLE4. Pixels the stream never reaches (skipped by delta and
// end-of-line codes, or left after end-of-bitmap) are palette colour 0, as in
// a zero-filled index buffer. Runs past the right edge are clipped, not
// wrapped; a delta past the top ends the picture. A stream that stops in the
// middle of a code, or before the picture is complete without an
// end-of-bitmap code, is a damaged file.
Status DecodeRle(std::span<const uint8_t> data, bool rle4, const std::array<TColor32, 256>& palette,
                 TBitmap32& bmp) {
  const int64_t width = bmp.Width();
  const int64_t rows = bmp.Height();
  bmp.Fill(palette[0]);
  ByteCursor in(data);
  int64_t x = 0;
  int64_t y = 0;  // counted from the bottom row, as the stream goes
  auto put = [&](uint8_t index) {
    if (x < width) bmp.ScanLine(int(rows - 1 - y))[x] = palette[index];
    ++x;
  };
  auto complete = [&] { return y >= rows || (y == rows - 1 && x >= width); };

  while (y < rows) {
    if (in.remaining() < 2) return complete() ? Status::Ok() : Invalid();
    const uint8_t count = in.u8();
    const uint8_t value = in.u8();
    if (count > 0) {
      if (rle4) {
        for (int i = 0; i < count; ++i) put(i & 1 ? value & 0x0F : value >> 4);
      } else if (x < width) {
        TColor32* row = bmp.ScanLine(int(rows - 1 - y));
        std::fill(row + x, row + std::min<int64_t>(width, x + count), palette[value]);
        x += count;
      } else {
        x += count;
      }
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        return Status::Ok();
      case 2: {  // delta: right and up from here
        if (in.remaining() < 2) return Invalid();
        x += in.u8();
        y += in.u8();
        break;
      }
      default: {  // absolute run of `value` pixels, padded to a 16-bit word
        const size_t bytes = rle4 ? (size_t(value) + 1) / 2 : value;
        const std::span<const uint8_t> run = in.take(bytes);
        if (in.overrun()) return Invalid();
        for (int i = 0; i < value; ++i) put(rle4 ? (i & 1 ? run[i / 2] & 0x0F : run[i / 2] >> 4) : run[i]);
        if ((bytes & 1) && in.remaining() > 0) in.skip(1);
        break;
      }
    }
  }
  return Status::Ok();
}

void PutU16(uint8_t*& p, uint16_t v) {
  *p++ = uint8_t(v);
  *p++ = uint8_t(v >> 8);
}

void PutU32(uint8_t*& p, uint32_t v) {
  PutU16(p, uint16_t(v));
  PutU16(p, uint16_t(v >> 16));
}

// The 54 bytes before the pixels. Resolution is written as 0 (unstated): the
// print size comes from the project, not from the file.
std::array<uint8_t, kBmp32HeaderBytes> Bmp32Header(int width, int height, uint32_t fileBytes) {
  std::array<uint8_t, kBmp32HeaderBytes> header{};
  uint8_t* p = header.data();
  *p++ = 'B';
  *p++ = 'M';
  PutU32(p, fileBytes);
  PutU32(p, 0);  // reserved
  PutU32(p, kBmp32HeaderBytes);
  PutU32(p, kInfoHeaderBytes);
  PutU32(p, uint32_t(width));
  PutU32(p, uint32_t(height));  // positive: rows bottom-up
  PutU16(p, 1);                 // planes
  PutU16(p, 32);
  PutU32(p, kBiRgb);
  PutU32(p, fileBytes - kBmp32HeaderBytes);
  PutU32(p, 0);  // horizontal pixels per metre
  PutU32(p, 0);  // vertical pixels per metre
  PutU32(p, 0);  // colours used
  PutU32(p, 0);  // important colours
  return header;
}

// The bytes of one stored row: blue, green, red and the alpha byte.
void StoreRow(const TColor32* src, int width, uint8_t* dst) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(dst, src, size_t(width) * 4);
  } else {
    for (int x = 0; x < width; ++x, dst += 4) {
      dst[0] = BlueOf(src[x]);
      dst[1] = GreenOf(src[x]);
      dst[2] = RedOf(src[x]);
      dst[3] = AlphaOf(src[x]);
    }
  }
}

// An empty bitmap is written as 0 x 0 whichever side is the empty one.
int StoredWidth(const TBitmap32& b) { return b.Empty() ? 0 : b.Width(); }
int StoredHeight(const TBitmap32& b) { return b.Empty() ? 0 : b.Height(); }

}  // namespace

Status DecodeBmp(std::span<const uint8_t> bytes, const DecodeHints& /*hints: no cheap reduced decode*/,
                 DecodedPicture& out) {
  BmpHeader h;
  VELMORA_TRY(ReadHeader(bytes, h));

  TBitmap32 bmp;
  // 0 x 0 is what the writer makes of an empty bitmap; reading it back gives
  // the empty bitmap again. One side 0 without the other is damage.
  if (h.width == 0 && h.rows == 0) {
    out.bitmap.TakePixels(bmp);
    out.keepsAlpha = false;
    out.storedWidth = out.storedHeight = 0;
    return Status::Ok();
  }
  if (h.width <= 0 || h.rows <= 0) return Invalid();
  VELMORA_TRY(CheckPictureSize(h.width, h.rows, kFormatName));

  // The palette holds 2^bits entries unless biClrUsed says fewer; pictures of
  // more bits may carry a palette too (a hint for 256-colour displays), which
  // is only skipped.
  // A count beyond 2^bits, or beyond what the file could hold, is damage,
  // not a palette.
  if (h.bits <= 8 && h.colorsUsed > (1u << h.bits)) return Invalid();
  if (uint64_t(h.colorsUsed) * h.paletteEntryBytes >
      bytes.size() - std::min<uint64_t>(h.paletteStart, bytes.size()))
    return Invalid();
  uint64_t declared = h.colorsUsed;
  if (h.bits <= 8 && declared == 0) declared = 1u << h.bits;
  uint64_t paletteEnd = 0;
  if (!CheckedMul<uint64_t>(declared, h.paletteEntryBytes, &paletteEnd) ||
      !CheckedAdd<uint64_t>(paletteEnd, h.paletteStart, &paletteEnd))
    return Invalid();

  // bfOffBits locates the pixels. When it is 0, points into the headers or a
  // little past the end of the file, the pixels are taken to follow the
  // palette: writers that count a full palette they did not store, or forget
  // a header, are off by at most a palette's length. Further out it is damage.
  // When it points into the palette, the palette is the shorter one: old
  // writers stored fewer entries than 2^bits and said so only there.
  if (h.offBits > bytes.size() + kOffBitsSlack) return Invalid();
  uint64_t dataStart = h.offBits;
  if (h.offBits == 0 || h.offBits < h.paletteStart || h.offBits > bytes.size()) dataStart = paletteEnd;
  if (dataStart > bytes.size()) return Invalid();

  std::array<TColor32, 256> palette;
  palette.fill(kOpaqueBlack);
  if (h.bits <= 8) {
    const uint64_t room = (std::min(dataStart, paletteEnd) - h.paletteStart) / h.paletteEntryBytes;
    const uint64_t entries = std::min(declared, room);
    ByteCursor in(bytes);
    in.seek(h.paletteStart);
    for (uint64_t i = 0; i < entries; ++i) {
      const uint8_t b = in.u8();
      const uint8_t g = in.u8();
      const uint8_t r = in.u8();
      if (h.paletteEntryBytes == 4) in.u8();
      palette[i] = Color32(r, g, b);
    }
    if (in.overrun()) return Invalid();
  }

  ByteCursor pixels(bytes);
  pixels.seek(dataStart);
  const std::span<const uint8_t> data = pixels.take(pixels.remaining());

  // A 32-bit picture's fourth byte is its alpha; with masks, only when a mask
  // says where it is.
  const bool keepsAlpha = h.bits == 32 && (h.compression == kBiRgb || (UsesMasks(h) && h.masks[3] != 0));

  if (h.compression == kBiRle8 || h.compression == kBiRle4) {
    VELMORA_TRY(bmp.SetSize(int(h.width), int(h.rows)));
    VELMORA_TRY(DecodeRle(data, h.compression == kBiRle4, palette, bmp));
  } else {
    // Sized against the data before the bitmap is allocated, so a header that
    // claims more rows than the file holds costs nothing.
    const uint64_t stride = StrideIfRowsFit(h, data.size());
    if (stride == 0) return Invalid();
    VELMORA_TRY(bmp.SetSize(int(h.width), int(h.rows)));
    DecodeUncompressed(data, stride, h, palette, keepsAlpha, bmp);
  }

  out.bitmap.TakePixels(bmp);
  out.keepsAlpha = keepsAlpha;
  out.storedWidth = int(h.width);
  out.storedHeight = int(h.rows);
  return Status::Ok();
}

Result<uint32_t> Bmp32FileBytes(int width, int height) {
  if (width <= 0 || height <= 0) return kBmp32HeaderBytes;
  uint64_t bytes = 0;
  if (!CheckedMul<uint64_t>(uint64_t(width) * uint64_t(height), 4, &bytes) ||
      !CheckedAdd<uint64_t>(bytes, kBmp32HeaderBytes, &bytes) || bytes > UINT32_MAX)
    return Status::Error(
        Format("A picture of %d x %d pixels is too large for a Windows bitmap file, whose size "
               "fields end at 4 GiB.",
               width, height));
  return uint32_t(bytes);
}

Result<std::vector<uint8_t>> TryEncodeBmp32(const TBitmap32& bitmap) {
  const int width = StoredWidth(bitmap);
  const int height = StoredHeight(bitmap);
  const Result<uint32_t> fileBytes = Bmp32FileBytes(width, height);
  if (!fileBytes) return fileBytes.status();

  std::vector<uint8_t> out;
  try {
    out.resize(*fileBytes);
  } catch (const std::bad_alloc&) {
    return Status::Error(Format("Out of memory for a Windows bitmap of %d x %d pixels", width, height));
  }
  const auto header = Bmp32Header(width, height, *fileBytes);
  std::copy(header.begin(), header.end(), out.begin());
  const size_t rowBytes = size_t(width) * 4;
  for (int r = 0; r < height; ++r)
    StoreRow(bitmap.ScanLine(height - 1 - r), width, out.data() + kBmp32HeaderBytes + size_t(r) * rowBytes);
  return out;
}

std::vector<uint8_t> EncodeBmp32(const TBitmap32& bitmap) {
  Result<std::vector<uint8_t>> bytes = TryEncodeBmp32(bitmap);
  return bytes ? std::move(*bytes) : std::vector<uint8_t>();
}

Status WriteBmp32(const TBitmap32& bitmap, std::FILE* file, const std::string& path) {
  const int width = StoredWidth(bitmap);
  const int height = StoredHeight(bitmap);
  const Result<uint32_t> fileBytes = Bmp32FileBytes(width, height);
  if (!fileBytes) return fileBytes.status();

  const auto header = Bmp32Header(width, height, *fileBytes);
  VELMORA_TRY(WriteAll(file, header, path));
  std::vector<uint8_t> row;
  if constexpr (std::endian::native != std::endian::little) row.resize(size_t(width) * 4);
  for (int r = height - 1; r >= 0; --r) {
    const TColor32* src = bitmap.ScanLine(r);
    if constexpr (std::endian::native == std::endian::little) {
      const std::span<const uint8_t> stored(reinterpret_cast<const uint8_t*>(src), size_t(width) * 4);
      VELMORA_TRY(WriteAll(file, stored, path));
    } else {
      StoreRow(src, width, row.data());
      VELMORA_TRY(WriteAll(file, row, path));
    }
  }
  return Status::Ok();
}

Status WriteBmpFile(const TBitmap32& bitmap, const std::string& path) {
  // Refused before a temporary file exists.
  const Result<uint32_t> fileBytes = Bmp32FileBytes(StoredWidth(bitmap), StoredHeight(bitmap));
  if (!fileBytes) return fileBytes.status();
  return WriteFileAtomically(path, [&](std::FILE* file) { return WriteBmp32(bitmap, file, path); });
}

}  // namespace velmora
