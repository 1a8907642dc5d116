// ZSoft Paintbrush pictures (pcx, pcc, and Word's screen captures, scr, which
// are the same files): a 128-byte header, then every scan line as its planes
// one after the other, each plane `bytesPerLine` bytes, run-length encoded
// (a byte of the form 11nnnnnn repeats the next byte n times). Runs may cross
// from one line into the next, as some writers do, but not past the picture.
// Layouts: 1-bit planes (1 to 4: mono, EGA), 2 and 4 bits packed in one plane
// (header palette), 8 bits with the 256-colour palette at the end of the file
// (grey when there is none), 8-bit planes for RGB and RGBA.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "imaging/ByteCursor.h"
#include "imaging/PictureLimits.h"
#include "imaging/formats/RasterDecoders.h"
#include "imaging/formats/RasterSupport.h"

namespace velmora {
namespace {

using namespace raster;

constexpr size_t kHeaderBytes = 128;
constexpr size_t kPaletteBytes = 769;  // 0x0C, then 256 x R, G, B
// One run of two bytes gives at most 63 bytes.
constexpr size_t kMaxRunRatio = 32;

struct PcxHeader {
  uint8_t version = 0;
  uint8_t encoding = 0;
  uint8_t bits = 0;
  int width = 0;
  int height = 0;
  std::array<TColor32, 16> palette{};
  uint8_t planes = 0;
  uint16_t bytesPerLine = 0;
};

bool KnownLayout(int bits, int planes) {
  if (bits == 1) return planes >= 1 && planes <= 4;
  if (bits == 2 || bits == 4) return planes == 1;
  if (bits == 8) return planes == 1 || planes == 3 || planes == 4;
  return false;
}

Status ReadHeader(std::span<const uint8_t> bytes, const char* name, PcxHeader& h) {
  if (!bytes.empty() && bytes[0] != 0x0A) return InvalidFormat(name);
  if (bytes.size() < kHeaderBytes) return StreamError(name);
  ByteCursor in(bytes);
  in.skip(1);
  h.version = in.u8();
  h.encoding = in.u8();
  h.bits = in.u8();
  const int xMin = in.u16le();
  const int yMin = in.u16le();
  const int xMax = in.u16le();
  const int yMax = in.u16le();
  in.skip(4);  // resolution
  for (TColor32& c : h.palette) {
    const uint8_t r = in.u8();
    const uint8_t g = in.u8();
    const uint8_t b = in.u8();
    c = Color32(r, g, b);
  }
  in.skip(1);
  h.planes = in.u8();
  h.bytesPerLine = in.u16le();
  if (h.encoding > 1 || h.version > 5) return InvalidFormat(name);
  if (!KnownLayout(h.bits, h.planes)) return ColorFormatError(name);
  h.width = xMax - xMin + 1;
  h.height = yMax - yMin + 1;
  VELMORA_TRY(CheckPictureSize(h.width, h.height, name));
  if (h.bytesPerLine < (size_t(h.width) * h.bits + 7) / 8) return InvalidFormat(name);
  return Status::Ok();
}

// Expands the run-length stream into `out`, which has the picture's size;
// `*used` is how many stream bytes that took.
Status Unpack(std::span<const uint8_t> stream, const char* name, std::vector<uint8_t>& out, size_t* used) {
  const size_t total = out.size();
  const uint8_t* src = stream.data();
  const size_t end = stream.size();
  size_t pos = 0;
  size_t done = 0;
  while (done < total) {
    if (pos >= end) return StreamError(name);
    const uint8_t b = src[pos++];
    if (b < 0xC0) {
      out[done++] = b;
      continue;
    }
    const size_t count = b & 0x3F;
    if (pos >= end) return StreamError(name);
    if (count > total - done) return CompressionError(name);
    std::memset(out.data() + done, src[pos++], count);
    done += count;
  }
  *used = pos;
  return Status::Ok();
}

// The 256 colours after the pixels, or a grey ramp when the file has none.
std::array<TColor32, 256> FullPalette(std::span<const uint8_t> bytes, bool* present) {
  std::array<TColor32, 256> palette{};
  *present = bytes.size() >= kHeaderBytes + kPaletteBytes && bytes[bytes.size() - kPaletteBytes] == 0x0C;
  for (int i = 0; i < 256; ++i) palette[i] = Color32(i, i, i);
  if (!*present) return palette;
  const uint8_t* p = bytes.data() + bytes.size() - kPaletteBytes + 1;
  for (int i = 0; i < 256; ++i) palette[i] = Color32(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
  return palette;
}

Status Decode(std::span<const uint8_t> bytes, const char* name, DecodedPicture& out) {
  PcxHeader h;
  VELMORA_TRY(ReadHeader(bytes, name, h));

  bool hasFullPalette = false;
  std::array<TColor32, 256> full{};
  std::span<const uint8_t> stream = bytes.subspan(kHeaderBytes);
  if (h.bits == 8 && h.planes == 1) {
    full = FullPalette(bytes, &hasFullPalette);
    if (hasFullPalette) stream = stream.first(stream.size() - kPaletteBytes);
  }

  const size_t lineBytes = size_t(h.bytesPerLine) * h.planes;
  const size_t total = lineBytes * size_t(h.height);
  if (h.encoding == 0 ? total > stream.size() : total / kMaxRunRatio > stream.size())
    return StreamError(name);
  std::vector<uint8_t> owned;
  std::span<const uint8_t> data;
  size_t used = total;
  if (h.encoding == 0) {
    data = stream.first(total);
  } else {
    owned.resize(total);
    VELMORA_TRY(Unpack(stream, name, owned, &used));
    data = owned;
  }
  // A palette marker right after the pixels with no full palette behind it:
  // the file was cut short.
  if (h.bits == 8 && h.planes == 1 && !hasFullPalette && used < stream.size() && stream[used] == 0x0C)
    return StreamError(name);

  // Mono pictures are black and white unless the header gives two colours.
  std::array<TColor32, 16> small = h.palette;
  if (h.bits * h.planes == 1 && small[0] == small[1]) {
    small[0] = Color32(0, 0, 0);
    small[1] = Color32(255, 255, 255);
  }

  const int width = h.width;
  const size_t bpl = h.bytesPerLine;
  TBitmap32 bmp;
  VELMORA_TRY(bmp.SetSize(width, h.height));
  for (int y = 0; y < h.height; ++y) {
    const uint8_t* line = data.data() + size_t(y) * lineBytes;
    TColor32* dst = bmp.ScanLine(y);
    if (h.bits == 8 && h.planes == 1) {
      for (int x = 0; x < width; ++x) dst[x] = full[line[x]];
    } else if (h.bits == 8) {
      const uint8_t* r = line;
      const uint8_t* g = line + bpl;
      const uint8_t* b = line + 2 * bpl;
      const uint8_t* a = h.planes == 4 ? line + 3 * bpl : nullptr;
      for (int x = 0; x < width; ++x) dst[x] = Color32(r[x], g[x], b[x], a != nullptr ? a[x] : 255);
    } else if (h.bits == 1) {
      for (int x = 0; x < width; ++x) {
        const int shift = 7 - (x & 7);
        unsigned index = 0;
        for (int p = 0; p < h.planes; ++p) index |= ((line[p * bpl + (x >> 3)] >> shift) & 1u) << p;
        dst[x] = small[index];
      }
    } else {
      const int perByte = 8 / h.bits;
      const unsigned mask = (1u << h.bits) - 1;
      for (int x = 0; x < width; ++x) {
        const int shift = 8 - h.bits * (x % perByte + 1);
        dst[x] = small[(line[x / perByte] >> shift) & mask];
      }
    }
  }

  return Deliver(bmp, h.bits == 8 && h.planes == 4, out);
}

}  // namespace

Status DecodePcx(std::span<const uint8_t> bytes, const DecodeHints&, DecodedPicture& out) {
  return Decode(bytes, "PCX", out);
}

Status DecodeScr(std::span<const uint8_t> bytes, const DecodeHints&, DecodedPicture& out) {
  return Decode(bytes, "SCR", out);
}

}  // namespace velmora
