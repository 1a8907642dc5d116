// Photoshop pictures (psd, pdd): only the merged image at the end of the file
// is read, so files with layers read the same as flat ones. After the 26-byte
// header come three sections with 32-bit lengths (colour-mode data: the
// palette of indexed files; image resources; layers and masks), then the merged
// image: a compression word, and every channel's rows one after the other,
// either raw or packed (PackBits, with a table of every row's packed length
// first). Channels beyond the colour mode's are alpha only when the layer
// section says its first extra channel holds the merged transparency.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "imaging/ByteCursor.h"
#include "imaging/CheckedMath.h"
#include "imaging/PictureLimits.h"
#include "imaging/formats/RasterDecoders.h"
#include "imaging/formats/RasterSupport.h"

namespace velmora {
namespace {

using namespace raster;

constexpr const char* kName = "PSD";
// Two packed bytes give at most 128.
constexpr uint64_t kMaxPackRatio = 64;

enum Mode : uint16_t {
  kBitmap = 0,
  kGrey = 1,
  kIndexed = 2,
  kRgb = 3,
  kCmyk = 4,
  kMultichannel = 7,
  kDuotone = 8,
  kLab = 9
};

int ColourChannels(uint16_t mode) {
  switch (mode) {
    case kRgb:
    case kLab:
      return 3;
    case kCmyk:
      return 4;
    default:
      return 1;
  }
}

struct PsdHeader {
  uint16_t channels = 0;
  int width = 0;
  int height = 0;
  uint16_t depth = 0;
  uint16_t mode = 0;
};

Status ReadHeader(ByteCursor& in, PsdHeader& h) {
  const uint32_t signature = in.u32be();
  // A file of another kind fails as one, however short.
  if (!in.overrun() && signature != 0x38425053u) return InvalidFormat(kName);  // "8BPS"
  if (in.size() < 26) return StreamError(kName);
  const uint16_t version = in.u16be();
  if (version == 2) return NotSupported("The large document format", kName);
  if (version != 1) return InvalidFormat(kName);
  in.skip(6);
  h.channels = in.u16be();
  const uint32_t height = in.u32be();
  const uint32_t width = in.u32be();
  h.depth = in.u16be();
  h.mode = in.u16be();
  if (h.channels < 1 || h.channels > 56) return InvalidFormat(kName);
  switch (h.mode) {
    case kBitmap:
      if (h.depth != 1) return ColorFormatError(kName);
      break;
    case kIndexed:
      if (h.depth != 8) return ColorFormatError(kName);
      break;
    case kGrey:
    case kDuotone:
    case kRgb:
    case kCmyk:
    case kLab:
      if (h.depth == 32) return NotSupported("Samples of 32 bits", kName);
      if (h.depth != 8 && h.depth != 16) return ColorFormatError(kName);
      break;
    case kMultichannel:
      return NotSupported("The multichannel mode", kName);
    default:
      return ColorFormatError(kName);
  }
  if (h.channels < ColourChannels(h.mode)) return ColorFormatError(kName);
  VELMORA_TRY(CheckPictureSize(width, height, kName));
  h.width = int(width);
  h.height = int(height);
  return Status::Ok();
}

// Unpacks one PackBits row into exactly `out.size()` bytes.
Status UnpackRow(std::span<const uint8_t> packed, std::span<uint8_t> out) {
  size_t pos = 0;
  size_t done = 0;
  while (done < out.size()) {
    if (pos >= packed.size()) return CompressionError(kName);
    const int8_t head = int8_t(packed[pos++]);
    if (head == -128) continue;  // no operation
    if (head >= 0) {
      const size_t count = size_t(head) + 1;
      if (count > out.size() - done || count > packed.size() - pos) return CompressionError(kName);
      std::copy_n(packed.data() + pos, count, out.data() + done);
      pos += count;
      done += count;
    } else {
      const size_t count = size_t(1 - head);
      if (count > out.size() - done || pos >= packed.size()) return CompressionError(kName);
      std::fill_n(out.data() + done, count, packed[pos++]);
      done += count;
    }
  }
  return Status::Ok();
}

// 8-bit samples of one stored row (16-bit ones rounded down to 8).
void ToBytes(std::span<const uint8_t> stored, int depth, size_t count, uint8_t* out) {
  if (depth == 16) {
    for (size_t i = 0; i < count; ++i) out[i] = Scale16(uint32_t(stored[2 * i]) << 8 | stored[2 * i + 1]);
  } else if (depth == 8) {
    std::copy_n(stored.data(), count, out);
  } else {  // bitmap: 1 is black
    for (size_t i = 0; i < count; ++i) out[i] = (stored[i >> 3] >> (7 - (i & 7)) & 1) ? 0 : 255;
  }
}

// CIE L*a*b* (D50, as Photoshop stores it) to sRGB bytes.
class LabToRgb {
public:
  LabToRgb() {
    for (size_t i = 0; i < gamma_.size(); ++i) {
      const double c = double(i) / (gamma_.size() - 1);
      const double s = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
      gamma_[i] = uint8_t(std::lround(std::clamp(s, 0.0, 1.0) * 255));
    }
  }
  TColor32 operator()(uint8_t l8, uint8_t a8, uint8_t b8, uint8_t alpha) const {
    const double l = l8 * (100.0 / 255);
    const double fy = (l + 16) / 116;
    const double fx = fy + (int(a8) - 128) / 500.0;
    const double fz = fy - (int(b8) - 128) / 200.0;
    const double x = 0.9642 * Inverse(fx);
    const double y = Inverse(fy);
    const double z = 0.8249 * Inverse(fz);
    // XYZ (D50) to linear sRGB, with the Bradford adaptation to D65 folded in.
    const double r = 3.1338561 * x - 1.6168667 * y - 0.4906146 * z;
    const double g = -0.9787684 * x + 1.9161415 * y + 0.0334540 * z;
    const double b = 0.0719453 * x - 0.2289914 * y + 1.4052427 * z;
    return Color32(Gamma(r), Gamma(g), Gamma(b), alpha);
  }

private:
  static double Inverse(double f) {
    return f > 6.0 / 29 ? f * f * f : 3 * (6.0 / 29) * (6.0 / 29) * (f - 4.0 / 29);
  }
  uint8_t Gamma(double linear) const {
    const double c = std::clamp(linear, 0.0, 1.0);
    return gamma_[size_t(c * (gamma_.size() - 1) + 0.5)];
  }
  std::array<uint8_t, 4096> gamma_{};
};

}  // namespace

Status DecodePsd(std::span<const uint8_t> bytes, const DecodeHints& /*hints*/, DecodedPicture& out) {
  ByteCursor in(bytes);
  PsdHeader h;
  VELMORA_TRY(ReadHeader(in, h));

  const uint32_t modeDataLength = in.u32be();
  const std::span<const uint8_t> modeData = in.take(modeDataLength);
  const uint32_t resourcesLength = in.u32be();
  in.skip(resourcesLength);
  const uint32_t layersLength = in.u32be();
  const size_t layersStart = in.position();
  in.skip(layersLength);
  if (in.overrun()) return StreamError(kName);

  std::array<TColor32, 256> palette{};
  if (h.mode == kIndexed) {
    if (modeData.size() < 768) return PaletteError(kName);
    for (int i = 0; i < 256; ++i) palette[i] = Color32(modeData[i], modeData[256 + i], modeData[512 + i]);
  }

  // A negative layer count says the first extra channel is the merged
  // picture's transparency.
  bool alpha = false;
  if (layersLength >= 6 && h.channels > ColourChannels(h.mode) && h.mode != kIndexed && h.mode != kBitmap) {
    ByteCursor layers(bytes.subspan(layersStart, layersLength));
    const uint32_t layerInfoLength = layers.u32be();
    const auto count = int16_t(layers.u16be());
    alpha = layerInfoLength >= 2 && count < 0;
  }
  const int used = ColourChannels(h.mode) + (alpha ? 1 : 0);

  const uint16_t compression = in.u16be();
  if (in.overrun()) return StreamError(kName);
  if (compression > 1) return NotSupported(Format("Compression %u", compression), kName);

  const size_t width = size_t(h.width);
  const size_t rows = size_t(h.height);
  const size_t rowBytes = h.depth == 1 ? (width + 7) / 8 : width * (h.depth / 8);
  std::vector<uint16_t> packedLengths;
  if (compression == 0) {
    if (!RangeFits(in.position(), rowBytes * rows * size_t(used), bytes.size())) return StreamError(kName);
  } else {
    const size_t tableRows = rows * h.channels;
    if (!RangeFits(in.position(), tableRows * 2, bytes.size())) return StreamError(kName);
    packedLengths.resize(rows * size_t(used));
    uint64_t packedTotal = 0;
    for (size_t i = 0; i < tableRows; ++i) {
      const uint16_t n = in.u16be();
      if (i < packedLengths.size()) {
        packedLengths[i] = n;
        packedTotal += n;
      }
    }
    if (packedTotal > in.remaining()) return StreamError(kName);
    if (uint64_t(rowBytes) * rows * used > (packedTotal + 1) * kMaxPackRatio) return CompressionError(kName);
  }

  // One 8-bit plane per channel used, then composed.
  const size_t pixels = width * rows;
  std::vector<uint8_t> planes(pixels * size_t(used));
  size_t at = in.position();
  for (int c = 0; c < used; ++c) {
    std::vector<uint8_t> row(compression == 1 ? rowBytes : 0);
    for (size_t r = 0; r < rows; ++r) {
      std::span<const uint8_t> stored;
      if (compression == 0) {
        stored = bytes.subspan(at, rowBytes);
        at += rowBytes;
      } else {
        const size_t n = packedLengths[size_t(c) * rows + r];
        VELMORA_TRY(UnpackRow(bytes.subspan(at, n), row));
        at += n;
        stored = row;
      }
      ToBytes(stored, h.depth, width, planes.data() + size_t(c) * pixels + r * width);
    }
  }

  TBitmap32 bmp;
  VELMORA_TRY(bmp.SetSize(h.width, h.height));
  TColor32* dst = bmp.Pixels().data();
  const uint8_t* p0 = planes.data();
  const uint8_t* p1 = p0 + (used > 1 ? pixels : 0);
  const uint8_t* p2 = p0 + (used > 2 ? 2 * pixels : 0);
  const uint8_t* p3 = p0 + (used > 3 ? 3 * pixels : 0);
  const uint8_t* pa = alpha ? p0 + size_t(used - 1) * pixels : nullptr;
  switch (h.mode) {
    case kBitmap:
    case kGrey:
    case kDuotone:  // the stored channel is the picture's grey
      for (size_t i = 0; i < pixels; ++i) dst[i] = Color32(p0[i], p0[i], p0[i], pa ? pa[i] : 255);
      break;
    case kIndexed:
      for (size_t i = 0; i < pixels; ++i) dst[i] = palette[p0[i]];
      break;
    case kRgb:
      for (size_t i = 0; i < pixels; ++i) dst[i] = Color32(p0[i], p1[i], p2[i], pa ? pa[i] : 255);
      break;
    case kCmyk:
      // Stored inverted: 255 is no ink, so each colour is (255 - ink) scaled
      // by the black plate's (255 - black).
      for (size_t i = 0; i < pixels; ++i) {
        const unsigned k = p3[i];
        dst[i] = Color32(uint8_t((p0[i] * k + 127) / 255), uint8_t((p1[i] * k + 127) / 255),
                         uint8_t((p2[i] * k + 127) / 255), pa ? pa[i] : 255);
      }
      break;
    case kLab: {
      const LabToRgb convert;
      for (size_t i = 0; i < pixels; ++i) dst[i] = convert(p0[i], p1[i], p2[i], pa ? pa[i] : 255);
      break;
    }
  }
  return Deliver(bmp, alpha, out);
}

}  // namespace velmora
