// WebP through libwebp. The container is taken apart by the demuxer, which
// finds the first frame of an animation and the EXIF chunk; the frame is
// decoded straight into the bitmap as B, G, R, A bytes, reduced by libwebp's
// own scaling while it decodes when the caller wants a smaller picture or the
// whole one would not fit the memory budget.
#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "imaging/Orientation.h"
#include "imaging/formats/PhotoBudget.h"
#include "imaging/formats/PhotoDecoders.h"

namespace velmora {

static_assert(std::endian::native == std::endian::little);

namespace {

constexpr const char* kInvalid = "Cannot load image. Invalid or unexpected WebP image format.";

// libwebp's memory beside the bitmap, measured with /usr/bin/time on photos
// of 2000 x 2000 and 8000 x 8000 pixels, scaled or not. A lossless picture is
// decoded whole as 32-bit pixels before it is scaled (4.2 bytes a pixel); a
// lossy one a few macroblock rows at a time (160 to 300 bytes a column),
// with an alpha plane at full size beside them (1.3 bytes a pixel).
constexpr int64_t kLosslessBytesPerPixel = 5;
constexpr int64_t kAlphaBytesPerPixel = 2;
constexpr int64_t kLossyBytesPerColumn = 512;
// libwebp scales by any factor; beyond this, no cell needs it.
constexpr int kMaxReduction = 64;

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The "VP8 " chunk's payload among a frame's chunks (an "ALPH" chunk may come
// first); empty for a lossless frame or one whose chunks run past its end.
std::span<const uint8_t> LossyPayload(std::span<const uint8_t> frame) {
  size_t at = 0;
  while (frame.size() - at >= 8) {
    const uint64_t size = Le32(frame.data() + at + 4);
    const size_t body = at + 8;
    if (std::memcmp(frame.data() + at, "VP8 ", 4) == 0)
      return frame.subspan(body, static_cast<size_t>(std::min<uint64_t>(size, frame.size() - body)));
    const uint64_t next = body + size + (size & 1);
    if (next > frame.size()) break;
    at = static_cast<size_t>(next);
  }
  return {};
}

// A lossy key frame's first partition codes the prediction modes of every
// 16 x 16 macroblock, luma and chroma, with fixed probabilities: the
// cheapest pair takes more than 1.6 bits, however flat the picture, and the
// decoder reads no further than the partition's end. A partition of fewer
// bytes than an eighth of the macroblocks (with a few bytes to spare) cannot
// describe the picture; nor can one longer than the frame. Refused before the
// bitmap for it is made.
Status CheckLossyFrame(std::span<const uint8_t> payload, int width, int height) {
  // Frame tag (3 bytes: key frame bit, version, shown, partition size),
  // start code, then the sides.
  constexpr size_t kKeyFrameHeader = 10;
  if (payload.size() < kKeyFrameHeader || (payload[0] & 1) != 0) return Status::Error(kInvalid);
  const uint32_t partition =
      (uint32_t(payload[0]) | uint32_t(payload[1]) << 8 | uint32_t(payload[2]) << 16) >> 5;
  if (partition > payload.size() - kKeyFrameHeader) return Status::Error("Stream read error in WebP file.");
  const int64_t macroblocks = int64_t((width + 15) / 16) * ((height + 15) / 16);
  if (int64_t(partition) * 8 + 64 < macroblocks)
    return Status::Error(
        Format("Cannot load image. The WebP picture of %d x %d pixels has %lld macroblocks, "
               "more than its first partition of %u bytes can describe.",
               width, height, static_cast<long long>(macroblocks), partition));
  return Status::Ok();
}

struct DemuxCloser {
  WebPDemuxer* demux;
  ~DemuxCloser() { WebPDemuxDelete(demux); }
};

// The EXIF chunk holds the TIFF structure alone (some writers put the JPEG
// segment's "Exif\0\0" before it); the orientation reader wants the prefix.
int OrientationOfExifChunk(const WebPData& chunk) {
  std::span<const uint8_t> payload(chunk.bytes, chunk.size);
  if (payload.size() >= 6 && std::memcmp(payload.data(), "Exif\0\0", 6) == 0) return ExifOrientation(payload);
  std::vector<uint8_t> prefixed(payload.size() + 6);
  std::memcpy(prefixed.data(), "Exif\0\0", 6);
  if (!payload.empty()) std::memcpy(prefixed.data() + 6, payload.data(), payload.size());
  return ExifOrientation(prefixed);
}

}  // namespace

Status DecodeWebp(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out) {
  const WebPData data{bytes.data(), bytes.size()};
  WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
  WebPDemuxer* demux = WebPDemuxPartial(&data, &state);
  DemuxCloser closer{demux};
  if (demux == nullptr || state == WEBP_DEMUX_PARSE_ERROR) return Status::Error(kInvalid);
  if (state != WEBP_DEMUX_DONE) return Status::Error("Stream read error in WebP file.");

  WebPIterator frame{};
  if (WebPDemuxGetFrame(demux, 1, &frame) == 0) return Status::Error(kInvalid);
  const WebPData fragment = frame.fragment;
  WebPDemuxReleaseIterator(&frame);

  WebPDecoderConfig config;
  if (WebPInitDecoderConfig(&config) == 0) return Status::Error(kInvalid);
  const WebPBitstreamFeatures& features = config.input;
  if (WebPGetFeatures(fragment.bytes, fragment.size, &config.input) != VP8_STATUS_OK)
    return Status::Error(kInvalid);
  const int width = features.width;
  const int height = features.height;
  VELMORA_TRY(CheckPhotoSize(width, height, bytes.size(), "WebP"));
  // Mixed (0) is taken as lossless, the larger of the two.
  const bool lossless = features.format != 1;
  if (!lossless) VELMORA_TRY(CheckLossyFrame(LossyPayload({fragment.bytes, fragment.size}), width, height));

  out.orientation = kOrientationUpright;
  if (hints.applyOrientation && (WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS) & EXIF_FLAG) != 0) {
    WebPChunkIterator exif{};
    if (WebPDemuxGetChunk(demux, "EXIF", 1, &exif) != 0) {
      out.orientation = OrientationOfExifChunk(exif.chunk);
      WebPDemuxReleaseChunkIterator(&exif);
    }
  }

  const int64_t pixels = int64_t(width) * height;
  const int64_t libraryBytes = lossless ? pixels * kLosslessBytesPerPixel
                                        : int64_t(width) * kLossyBytesPerColumn +
                                              (features.has_alpha ? pixels * kAlphaBytesPerPixel : 0);
  const auto bitmapPixels = [&](int factor) {
    return int64_t(ReducedSide(width, factor)) * ReducedSide(height, factor);
  };
  const int factor =
      ChoosePhotoReduction(width, height, OrientationSwapsSides(out.orientation), hints, kMaxReduction,
                           [&](int f) { return libraryBytes + bitmapPixels(f) * int64_t(sizeof(TColor32)); });
  VELMORA_TRY(ChargePhotoDecode("WebP", width, height, libraryBytes, bitmapPixels(factor)));

  const int outWidth = ReducedSide(width, factor);
  const int outHeight = ReducedSide(height, factor);
  VELMORA_TRY(out.bitmap.SetSizeForOverwrite(outWidth, outHeight));
  config.options.use_scaling = factor > 1 ? 1 : 0;
  config.options.scaled_width = outWidth;
  config.options.scaled_height = outHeight;
  config.output.colorspace = MODE_BGRA;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = reinterpret_cast<uint8_t*>(out.bitmap.ScanLine(0));
  config.output.u.RGBA.stride = outWidth * 4;
  config.output.u.RGBA.size = size_t(outWidth) * 4 * size_t(outHeight);
  const VP8StatusCode decoded = WebPDecode(fragment.bytes, fragment.size, &config);
  WebPFreeDecBuffer(&config.output);
  if (decoded != VP8_STATUS_OK)
    return Status::Error("Cannot load image. Compression error found in WebP file.");
  MakeOpaque(out.bitmap);

  out.keepsAlpha = false;
  out.storedWidth = width;
  out.storedHeight = height;
  return TurnUpright(out);
}

}  // namespace velmora
