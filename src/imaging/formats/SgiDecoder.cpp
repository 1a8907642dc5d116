// SGI pictures (sgi, rgb, rgba, bw): a 512-byte big-endian header, then the
// channels one after the other, each as rows from the bottom. Verbatim files
// store the rows plainly; run-length files start with a table of each row's
// offset and length (rows may share data) and code each row on its own: a
// count item whose top bit marks a literal stretch, else a repeat of the next
// item, 0 ending the row. Items are bytes, or 16-bit words in 16-bit files.
// One channel is grey, two grey and alpha, three RGB, four RGBA.
#include <algorithm>
#include <bit>
#include <vector>

#include "imaging/ByteCursor.h"
#include "imaging/CheckedMath.h"
#include "imaging/PictureLimits.h"
#include "imaging/formats/RasterDecoders.h"
#include "imaging/formats/RasterSupport.h"

namespace velmora {

// Samples are written straight into the bytes of TColor32 pixels.
static_assert(std::endian::native == std::endian::little);

namespace {

using namespace raster;

constexpr const char* kName = "SGI";
constexpr size_t kHeaderBytes = 512;
constexpr uint16_t kMagic = 474;
// Rows that share one run of data can make a picture far larger than its
// file; beyond this many samples per file byte it is taken as damage.
constexpr uint64_t kMaxSamplesPerByte = 1040;

// Byte offsets of the channels inside a TColor32: blue, green, red, alpha.
constexpr int kRedByte = 2;
constexpr int kGreenByte = 1;
constexpr int kBlueByte = 0;
constexpr int kAlphaByte = 3;

struct SgiHeader {
  uint8_t storage = 0;  // 0 verbatim, 1 run-length
  uint8_t bpc = 0;      // bytes per sample
  int width = 0;
  int height = 0;
  int channels = 0;
};

Status ReadHeader(std::span<const uint8_t> bytes, SgiHeader& h) {
  ByteCursor in(bytes);
  const uint16_t magic = in.u16be();
  // A file of another kind fails as one, however short.
  if (!in.overrun() && magic != kMagic) return InvalidFormat(kName);
  if (bytes.size() < kHeaderBytes) return StreamError(kName);
  h.storage = in.u8();
  h.bpc = in.u8();
  const uint16_t dimension = in.u16be();
  h.width = in.u16be();
  h.height = in.u16be();
  h.channels = in.u16be();
  in.seek(104);
  const uint32_t colormap = in.u32be();
  if (h.storage > 1 || dimension < 1 || dimension > 3) return InvalidFormat(kName);
  if (colormap != 0) return NotSupported(Format("Colour map type %u", colormap), kName);
  if (h.bpc != 1 && h.bpc != 2) return ColorFormatError(kName);
  if (dimension == 1) h.height = 1;
  if (dimension < 3) h.channels = 1;
  if (h.channels < 1 || h.channels > 4) return ColorFormatError(kName);
  return CheckPictureSize(h.width, h.height, kName);
}

// Expands the run-length row at `start` into 8-bit `out`, which has the
// row's length. The table's row lengths are not trusted (writers get them
// wrong); the row ends at its zero count, and the file's end bounds it.
template <int Bpc>
Status UnpackRow(std::span<const uint8_t> bytes, size_t start, std::vector<uint8_t>& out) {
  if (start >= bytes.size()) return StreamError(kName);
  const uint8_t* src = bytes.data() + start;
  const size_t items = (bytes.size() - start) / Bpc;
  auto item = [&](size_t i) -> uint32_t {
    if constexpr (Bpc == 1)
      return src[i];
    else
      return uint32_t(src[2 * i]) << 8 | src[2 * i + 1];
  };
  auto sample = [&](size_t i) -> uint8_t {
    if constexpr (Bpc == 1)
      return src[i];
    else
      return Scale16(item(i));
  };
  const size_t total = out.size();
  size_t pos = 0;
  size_t done = 0;
  while (done < total) {
    if (pos >= items) return StreamError(kName);
    const uint32_t head = item(pos++);
    const size_t count = head & 0x7F;
    if (count == 0) return CompressionError(kName);
    if (count > total - done) return CompressionError(kName);
    if (head & 0x80) {
      if (count > items - pos) return StreamError(kName);
      for (size_t i = 0; i < count; ++i) out[done + i] = sample(pos + i);
      pos += count;
    } else {
      if (pos >= items) return StreamError(kName);
      std::fill_n(out.begin() + ptrdiff_t(done), count, sample(pos++));
    }
    done += count;
  }
  // The row's closing zero count; anything else would overflow the row.
  if (pos >= items) return StreamError(kName);
  return (item(pos) & 0x7F) == 0 ? Status::Ok() : CompressionError(kName);
}

// Writes one channel's row of 8-bit samples into the bitmap's bytes.
void PutRow(const uint8_t* samples, int width, int channel, int channels, TColor32* dst) {
  auto* bytes = reinterpret_cast<uint8_t*>(dst);
  if (channels <= 2 && channel == 0) {
    for (int x = 0; x < width; ++x) {
      bytes[4 * x + kRedByte] = samples[x];
      bytes[4 * x + kGreenByte] = samples[x];
      bytes[4 * x + kBlueByte] = samples[x];
    }
    return;
  }
  const bool isAlpha = (channels == 2 && channel == 1) || channel == 3;
  const int at = isAlpha ? kAlphaByte : (channel == 0 ? kRedByte : channel == 1 ? kGreenByte : kBlueByte);
  for (int x = 0; x < width; ++x) bytes[4 * x + at] = samples[x];
}

}  // namespace

Status DecodeSgi(std::span<const uint8_t> bytes, const DecodeHints& /*hints*/, DecodedPicture& out) {
  SgiHeader h;
  VELMORA_TRY(ReadHeader(bytes, h));
  const size_t width = size_t(h.width);
  const size_t rows = size_t(h.height);
  const size_t channels = size_t(h.channels);
  const size_t rowCount = rows * channels;

  if (h.storage == 0) {
    if (!RangeFits(kHeaderBytes, rowCount * width * h.bpc, bytes.size())) return StreamError(kName);
  } else {
    if (!RangeFits(kHeaderBytes, rowCount * 8, bytes.size())) return StreamError(kName);
    if (uint64_t(rowCount) * width > uint64_t(bytes.size()) * kMaxSamplesPerByte) return StreamError(kName);
  }

  TBitmap32 bmp;
  VELMORA_TRY(bmp.SetSize(h.width, h.height));
  bmp.Fill(Color32(0, 0, 0, 255));
  std::vector<uint8_t> samples(width);
  ByteCursor table(bytes);
  for (size_t c = 0; c < channels; ++c) {
    for (size_t r = 0; r < rows; ++r) {
      const size_t index = c * rows + r;
      if (h.storage == 0) {
        const uint8_t* src = bytes.data() + kHeaderBytes + index * width * h.bpc;
        if (h.bpc == 1)
          std::copy_n(src, width, samples.begin());
        else
          for (size_t x = 0; x < width; ++x) samples[x] = Scale16(uint32_t(src[2 * x]) << 8 | src[2 * x + 1]);
      } else {
        table.seek(kHeaderBytes + 4 * index);
        const uint32_t start = table.u32be();
        VELMORA_TRY(h.bpc == 1 ? UnpackRow<1>(bytes, start, samples) : UnpackRow<2>(bytes, start, samples));
      }
      PutRow(samples.data(), h.width, int(c), h.channels, bmp.ScanLine(h.height - 1 - int(r)));
    }
  }

  return Deliver(bmp, h.channels == 2 || h.channels == 4, out);
}

}  // namespace velmora
