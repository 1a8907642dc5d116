// Alias/Wavefront run-length pictures. A 740-byte big-endian header, a table
// of one file offset per scan line (bottom line first), and per scan line the
// colour channels, then the matte channels, then the auxiliary ones. Each
// channel is a 16-bit byte count followed by run-length bytes: a signed count
// c >= 0 repeats the next byte c + 1 times, c < 0 copies -c literal bytes.
// Channels wider than 8 bits are coded as one such run per significant byte,
// high byte first.
#include "imaging/formats/RlaDecoder.h"

#include <algorithm>
#include <vector>

#include "imaging/ByteCursor.h"
#include "imaging/CheckedMath.h"
#include "imaging/PictureLimits.h"

namespace velmora {
namespace {

constexpr const char* kName = "RLA";
constexpr size_t kHeaderBytes = 740;

Status StreamError() { return Status::Error(Format("Stream read error in %s file.", kName)); }
Status InvalidFormat() {
  return Status::Error(Format("Cannot load image. Invalid or unexpected %s image format.", kName));
}
Status CompressionError() {
  return Status::Error(Format("Cannot load image. Compression error found in %s file.", kName));
}
Status ColorFormatError() { return Status::Error(Format("Invalid color format in %s file.", kName)); }

struct RlaHeader {
  int64_t width = 0, height = 0;
  int colorType = 0, colorChannels = 0, colorBits = 0;
  int matteType = 0, matteChannels = 0, matteBits = 0;
};

int16_t I16(ByteCursor& in) { return static_cast<int16_t>(in.u16be()); }

Status ReadHeader(std::span<const uint8_t> bytes, RlaHeader& h) {
  if (bytes.size() < kHeaderBytes) return StreamError();
  ByteCursor in(bytes);
  in.skip(8);  // the full window: only the active one holds pixels
  const int64_t left = I16(in), right = I16(in), bottom = I16(in), top = I16(in);
  in.skip(2);  // frame number
  h.colorType = I16(in);
  h.colorChannels = I16(in);
  h.matteChannels = I16(in);
  in.seek(658);
  h.colorBits = I16(in);
  h.matteType = I16(in);
  h.matteBits = I16(in);
  h.width = right - left + 1;
  h.height = top - bottom + 1;
  VELMORA_TRY(CheckPictureSize(h.width, h.height, kName));
  if (h.colorChannels < 1 || h.matteChannels < 0) return InvalidFormat();
  // Type 0..2 are integers of up to 8, 16 and 32 bits; 4 is float, which is
  // stored without run-length coding and not read here.
  const auto validBits = [](int type, int bits) { return type >= 0 && type <= 2 && bits >= 1 && bits <= 16; };
  if (!validBits(h.colorType, h.colorBits)) return ColorFormatError();
  if (h.matteChannels > 0 && !validBits(h.matteType, h.matteBits)) return ColorFormatError();
  return Status::Ok();
}

// Decodes one byte plane of a channel: `count` values written `stride` apart.
// Returns false when the record ends early or a run passes the line's end.
bool DecodeRun(ByteCursor& in, uint8_t* dst, int count, int stride) {
  int n = 0;
  while (n < count) {
    const auto c = static_cast<int8_t>(in.u8());
    if (in.overrun()) return false;
    if (c >= 0) {
      const int run = c + 1;
      if (run > count - n) return false;
      const uint8_t v = in.u8();
      for (int i = 0; i < run; ++i, ++n) dst[size_t(n) * stride] = v;
    } else {
      const int run = -c;
      if (run > count - n) return false;
      const std::span<const uint8_t> literal = in.take(size_t(run));
      if (literal.empty()) return false;
      for (int i = 0; i < run; ++i, ++n) dst[size_t(n) * stride] = literal[size_t(i)];
    }
  }
  return !in.overrun();
}

// Reads one channel of a line into `values` (width entries of 16 bits).
Status ReadChannel(ByteCursor& line, int width, int bits, std::vector<uint16_t>& values,
                   std::vector<uint8_t>& planes) {
  const uint16_t length = line.u16be();
  const std::span<const uint8_t> record = line.take(length);
  if (line.overrun()) return StreamError();
  const int planeCount = bits > 8 ? 2 : 1;
  ByteCursor in(record);
  for (int p = 0; p < planeCount; ++p)
    if (!DecodeRun(in, planes.data() + p, width, planeCount)) return CompressionError();
  if (planeCount == 1)
    for (int x = 0; x < width; ++x) values[size_t(x)] = planes[size_t(x)];
  else
    for (int x = 0; x < width; ++x)
      values[size_t(x)] = static_cast<uint16_t>((planes[2 * size_t(x)] << 8) | planes[2 * size_t(x) + 1]);
  return Status::Ok();
}

// Scales a sample of `bits` bits to 8 bits with rounding.
std::vector<uint8_t> ScaleTable(int bits) {
  const uint32_t max = (1u << bits) - 1;
  std::vector<uint8_t> table(size_t(max) + 1);
  for (uint32_t v = 0; v <= max; ++v) table[v] = static_cast<uint8_t>((v * 255 + max / 2) / max);
  return table;
}

}  // namespace

Status DecodeRla(std::span<const uint8_t> bytes, const DecodeHints&, DecodedPicture& out) {
  RlaHeader h;
  VELMORA_TRY(ReadHeader(bytes, h));
  const int width = static_cast<int>(h.width), height = static_cast<int>(h.height);
  // Every line needs its offset and at least two bytes per channel: a header
  // that claims more lines or pixels than the file can hold is refused before
  // the bitmap exists (a run of 128 values takes 2 bytes).
  const uint64_t channels = uint64_t(h.colorChannels) + uint64_t(h.matteChannels);
  const uint64_t minLineBytes = channels * (2 + 2 * ((uint64_t(width) + 127) / 128));
  if (uint64_t(height) * (4 + minLineBytes) > bytes.size() - kHeaderBytes) return StreamError();

  ByteCursor table(bytes);
  table.seek(kHeaderBytes);
  std::vector<uint32_t> offsets(static_cast<size_t>(height));
  for (auto& o : offsets) o = table.u32be();

  VELMORA_TRY(out.bitmap.SetSize(width, height));
  const std::vector<uint8_t> colorScale = ScaleTable(h.colorBits);
  const std::vector<uint8_t> matteScale =
      h.matteChannels > 0 ? ScaleTable(h.matteBits) : std::vector<uint8_t>{};
  const auto clampTo = [](const std::vector<uint8_t>& scale, uint16_t v) {
    return scale[std::min<size_t>(v, scale.size() - 1)];
  };
  const auto w = static_cast<size_t>(width);
  std::vector<uint16_t> r(w), g(w), b(w), a(w, 0xFFFF), skipped(w);
  std::vector<uint8_t> planes(w * 2);
  for (int row = 0; row < height; ++row) {
    // The table lists the bottom line first.
    const uint32_t offset = offsets[size_t(height - 1 - row)];
    if (offset < kHeaderBytes || offset >= bytes.size()) return StreamError();
    ByteCursor line(bytes);
    line.seek(offset);
    for (int c = 0; c < h.colorChannels; ++c) {
      std::vector<uint16_t>& dst = c == 0 ? r : c == 1 ? g : c == 2 ? b : skipped;
      VELMORA_TRY(ReadChannel(line, width, h.colorBits, dst, planes));
    }
    if (h.colorChannels < 3) {  // grey
      g = r;
      b = r;
    }
    if (h.matteChannels > 0) VELMORA_TRY(ReadChannel(line, width, h.matteBits, a, planes));
    TColor32* dst = out.bitmap.ScanLine(row);
    for (int x = 0; x < width; ++x) {
      const size_t i = size_t(x);
      const uint8_t alpha = h.matteChannels > 0 ? clampTo(matteScale, a[i]) : 255;
      dst[x] =
          Color32(clampTo(colorScale, r[i]), clampTo(colorScale, g[i]), clampTo(colorScale, b[i]), alpha);
    }
  }
  out.keepsAlpha = h.matteChannels > 0;
  return Status::Ok();
}

}  // namespace velmora
