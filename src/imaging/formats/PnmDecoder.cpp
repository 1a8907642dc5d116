// Portable any-maps: P1 (plain bits), P2 (plain grey), P3 (plain colour), P4
// (packed bits), P5 (grey) and P6 (colour). The header is the magic number,
// width, height and (except for bitmaps) the largest sample value, separated
// by white space and '#' comments; binary samples take two bytes, most
// significant first, when that value is above 255. Samples are scaled to 0..255
// with rounding; a sample above the largest value is damage. Of a file holding
// several pictures, the first is read.
#include <algorithm>
#include <vector>

#include "imaging/CheckedMath.h"
#include "imaging/PictureLimits.h"
#include "imaging/formats/RasterDecoders.h"
#include "imaging/formats/RasterSupport.h"

namespace velmora {
namespace {

using namespace raster;

bool IsSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// Reads the plain-text parts: numbers between white space and comments.
class TextReader {
public:
  explicit TextReader(std::span<const uint8_t> bytes, size_t pos) : bytes_(bytes), pos_(pos) {}

  size_t position() const { return pos_; }

  void SkipSpaceAndComments() {
    while (pos_ < bytes_.size()) {
      if (bytes_[pos_] == '#') {
        while (pos_ < bytes_.size() && bytes_[pos_] != '\n' && bytes_[pos_] != '\r') ++pos_;
      } else if (IsSpace(bytes_[pos_])) {
        ++pos_;
      } else {
        return;
      }
    }
  }

  // The next unsigned decimal number; false at the end or at a non-digit.
  // Values beyond 65535 saturate (no field may be larger).
  bool Number(uint32_t* value) {
    SkipSpaceAndComments();
    if (pos_ >= bytes_.size() || !IsDigit(bytes_[pos_])) return false;
    uint32_t v = 0;
    while (pos_ < bytes_.size() && IsDigit(bytes_[pos_])) {
      v = std::min<uint32_t>(v * 10 + (bytes_[pos_] - '0'), 1u << 20);
      ++pos_;
    }
    *value = v;
    return true;
  }

  // One '0' or '1' of a plain bitmap, which needs no separator.
  bool Bit(uint32_t* value) {
    SkipSpaceAndComments();
    if (pos_ >= bytes_.size() || (bytes_[pos_] != '0' && bytes_[pos_] != '1')) return false;
    *value = bytes_[pos_++] - '0';
    return true;
  }

  bool AtEnd() const { return pos_ >= bytes_.size(); }

private:
  std::span<const uint8_t> bytes_;
  size_t pos_;
};

Status Decode(std::span<const uint8_t> bytes, const char* name, DecodedPicture& out) {
  if (bytes.size() < 2) return StreamError(name);
  if (bytes[0] != 'P' || bytes[1] < '1' || bytes[1] > '6') return InvalidFormat(name);
  const int kind = bytes[1] - '0';
  const bool bitmap = kind == 1 || kind == 4;
  const bool plain = kind <= 3;
  const int channels = (kind == 3 || kind == 6) ? 3 : 1;

  TextReader text(bytes, 2);
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t maxval = 1;
  if (!text.Number(&width) || !text.Number(&height) || (!bitmap && !text.Number(&maxval)))
    return text.AtEnd() ? StreamError(name) : InvalidFormat(name);
  if (maxval == 0 || maxval > 65535) return InvalidFormat(name);
  VELMORA_TRY(CheckPictureSize(width, height, name));

  const size_t samples = size_t(width) * height * channels;
  const size_t sampleBytes = maxval > 255 ? 2 : 1;
  size_t dataStart = 0;
  if (!plain) {
    // Exactly one white-space byte separates the header from binary samples.
    dataStart = text.position() + 1;
    if (text.position() >= bytes.size() || !IsSpace(bytes[text.position()])) return StreamError(name);
    const size_t needed = kind == 4 ? (size_t(width) + 7) / 8 * height : samples * sampleBytes;
    if (!RangeFits(dataStart, needed, bytes.size())) return StreamError(name);
  } else {
    // Plain samples take at least a byte each (two but for bitmaps): a file
    // too short for the picture is refused before the bitmap exists.
    const size_t least = kind == 1 ? samples : samples * 2 - 1;
    if (least > bytes.size() - text.position()) return StreamError(name);
  }

  // Sample value to 8 bits; values above maxval are refused before lookup.
  std::vector<uint8_t> scale;
  if (!bitmap) {
    scale.resize(size_t(maxval) + 1);
    for (uint32_t v = 0; v <= maxval; ++v) scale[v] = uint8_t((uint64_t(v) * 255 + maxval / 2) / maxval);
  }

  TBitmap32 bmp;
  VELMORA_TRY(bmp.SetSize(int(width), int(height)));
  const uint8_t* data = bytes.data() + dataStart;
  for (uint32_t y = 0; y < height; ++y) {
    TColor32* dst = bmp.ScanLine(int(y));
    if (kind == 4) {
      const uint8_t* row = data + size_t(y) * ((width + 7) / 8);
      for (uint32_t x = 0; x < width; ++x)
        dst[x] = (row[x >> 3] >> (7 - (x & 7)) & 1) ? Color32(0, 0, 0) : Color32(255, 255, 255);
    } else if (!plain) {
      const uint8_t* row = data + size_t(y) * width * channels * sampleBytes;
      uint8_t v[3] = {};
      for (uint32_t x = 0; x < width; ++x) {
        for (int c = 0; c < channels; ++c, row += sampleBytes) {
          const uint32_t s = sampleBytes == 1 ? row[0] : uint32_t(row[0]) << 8 | row[1];
          if (s > maxval) return InvalidFormat(name);
          v[c] = scale[s];
        }
        dst[x] = channels == 3 ? Color32(v[0], v[1], v[2]) : Color32(v[0], v[0], v[0]);
      }
    } else {
      uint32_t v[3] = {};
      for (uint32_t x = 0; x < width; ++x) {
        for (int c = 0; c < channels; ++c) {
          if (!(kind == 1 ? text.Bit(&v[c]) : text.Number(&v[c])))
            return text.AtEnd() ? StreamError(name) : InvalidFormat(name);
          if (kind != 1 && v[c] > maxval) return InvalidFormat(name);
        }
        if (kind == 1)
          dst[x] = v[0] ? Color32(0, 0, 0) : Color32(255, 255, 255);
        else if (channels == 3)
          dst[x] = Color32(scale[v[0]], scale[v[1]], scale[v[2]]);
        else
          dst[x] = Color32(scale[v[0]], scale[v[0]], scale[v[0]]);
      }
    }
  }

  out.bitmap.TakePixels(bmp);
  out.keepsAlpha = false;
  out.storedWidth = int(width);
  out.storedHeight = int(height);
  return Status::Ok();
}

}  // namespace

Status DecodePpm(std::span<const uint8_t> bytes, const DecodeHints&, DecodedPicture& out) {
  return Decode(bytes, "PPM", out);
}
Status DecodePgm(std::span<const uint8_t> bytes, const DecodeHints&, DecodedPicture& out) {
  return Decode(bytes, "PGM", out);
}
Status DecodePbm(std::span<const uint8_t> bytes, const DecodeHints&, DecodedPicture& out) {
  return Decode(bytes, "PBM", out);
}

}  // namespace velmora
