// Dr. Halo pictures. A 6-byte little-endian header (width, height, a reserved
// word), then per line a 16-bit byte count and run-length codes: a code byte
// with the top bit set repeats the next byte (code & 0x7F) times, one without
// it copies (code & 0x7F) literal bytes, and a code of 0 ends the line. A line
// may stop short of the width; the rest of it is index 0.
//
// The palette file: "AH", version, size, file type 10, subtype 0, board,
// graphics mode, the largest index and the largest red, green and blue
// levels, a 20-byte name (40 bytes), then one red, green, blue triple of
// 16-bit levels per index. The entries are kept in 512-byte blocks: an entry
// that would cross into the next block starts at that block instead.
#include "imaging/formats/CutDecoder.h"

#include <algorithm>
#include <array>

#include "imaging/ByteCursor.h"
#include "imaging/CheckedMath.h"
#include "imaging/PictureLimits.h"

namespace velmora {
namespace {

constexpr const char* kName = "CUT";
constexpr size_t kHeaderBytes = 6;
constexpr size_t kPaletteHeaderBytes = 40;
// 256 entries of 6 bytes in 512-byte blocks take well under 4 KiB.
constexpr size_t kMaxPaletteFileBytes = 64 * 1024;

Status StreamError() { return Status::Error(Format("Stream read error in %s file.", kName)); }
Status CompressionError() {
  return Status::Error(Format("Cannot load image. Compression error found in %s file.", kName));
}
Status PaletteError() {
  return Status::Error(Format("Cannot load image. Palette in %s file is invalid.", kName));
}

struct Palette {
  std::array<TColor32, 256> colors{};
  int count = 0;  // entries present; 0 for the grey levels
};

uint8_t ScaleLevel(uint32_t v, uint32_t max) {
  if (max == 0) return static_cast<uint8_t>(std::min<uint32_t>(v, 255));
  return static_cast<uint8_t>((std::min(v, max) * 255 + max / 2) / max);
}

// Ok with count 0 when the file is not a Dr. Halo palette at all.
Status ReadPalette(std::span<const uint8_t> bytes, Palette& palette) {
  ByteCursor in(bytes);
  if (bytes.size() < 2 || in.u8() != 'A' || in.u8() != 'H') return Status::Ok();
  if (bytes.size() < kPaletteHeaderBytes) return PaletteError();
  in.seek(12);
  const uint32_t maxIndex = in.u16le();
  const uint32_t maxRed = in.u16le(), maxGreen = in.u16le(), maxBlue = in.u16le();
  if (maxIndex < 1 || maxIndex > 255) return PaletteError();
  in.seek(kPaletteHeaderBytes);
  for (uint32_t i = 0; i <= maxIndex; ++i) {
    if (in.position() % 512 > 512 - 6) in.seek((in.position() / 512 + 1) * 512);
    const uint32_t r = in.u16le(), g = in.u16le(), b = in.u16le();
    if (in.overrun()) return PaletteError();
    palette.colors[i] = Color32(ScaleLevel(r, maxRed), ScaleLevel(g, maxGreen), ScaleLevel(b, maxBlue));
  }
  palette.count = static_cast<int>(maxIndex) + 1;
  return Status::Ok();
}

// Grey levels spread over the indices the picture uses: two indices are black
// and white, up to 16 are spaced evenly, more are the index itself.
void GreyPalette(int largestIndex, Palette& palette) {
  const int top = largestIndex <= 1 ? 1 : largestIndex <= 15 ? 15 : 255;
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<uint8_t>(std::min(i, top) * 255 / top);
    palette.colors[size_t(i)] = Color32(v, v, v);
  }
}

}  // namespace

Status DecodeCut(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out) {
  if (bytes.size() < kHeaderBytes) return StreamError();
  ByteCursor in(bytes);
  const int width = in.u16le();
  const int height = in.u16le();
  in.skip(2);
  VELMORA_TRY(CheckPictureSize(width, height, kName));
  // Each line takes at least its byte count and an end code.
  if (uint64_t(height) * 3 > bytes.size() - kHeaderBytes) return StreamError();
  // One code pair makes at most 127 pixels from 2 bytes.
  if (uint64_t(width) * uint64_t(height) > uint64_t(bytes.size()) * 64) return StreamError();

  std::vector<uint8_t> indices(size_t(width) * size_t(height), 0);
  int largest = 0;
  for (int y = 0; y < height; ++y) {
    // The line's byte count is not needed: the end code closes the line, and
    // writers disagree on whether the count includes itself.
    in.skip(2);
    uint8_t* dst = indices.data() + size_t(y) * size_t(width);
    int x = 0;
    for (;;) {
      const uint8_t code = in.u8();
      if (in.overrun()) return StreamError();
      const int count = code & 0x7F;
      if (count == 0) break;
      if (count > width - x) return CompressionError();
      if (code & 0x80) {
        const uint8_t v = in.u8();
        std::fill(dst + x, dst + x + count, v);
      } else {
        const std::span<const uint8_t> literal = in.take(size_t(count));
        if (!literal.empty()) std::copy(literal.begin(), literal.end(), dst + x);
      }
      if (in.overrun()) return StreamError();
      x += count;
    }
    for (int i = 0; i < x; ++i) largest = std::max<int>(largest, dst[i]);
  }

  Palette palette;
  if (hints.readCompanion) {
    if (std::optional<std::vector<uint8_t>> pal = hints.readCompanion("pal", kMaxPaletteFileBytes))
      VELMORA_TRY(ReadPalette(*pal, palette));
  }
  if (palette.count == 0)
    GreyPalette(largest, palette);
  else if (largest >= palette.count)
    return PaletteError();

  VELMORA_TRY(out.bitmap.SetSize(width, height));
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = indices.data() + size_t(y) * size_t(width);
    TColor32* dst = out.bitmap.ScanLine(y);
    for (int x = 0; x < width; ++x) dst[x] = palette.colors[src[x]];
  }
  return Status::Ok();
}

}  // namespace velmora
