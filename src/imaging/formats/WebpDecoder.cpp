// WebP through libwebp. The container is taken apart by the demuxer, which
// finds the first frame of an animation and the EXIF chunk; the frame is
// decoded straight into the bitmap as B, G, R, A bytes.
#include <webp/decode.h>
#include <webp/demux.h>

#include <bit>
#include <cstring>
#include <vector>

#include "imaging/Orientation.h"
#include "imaging/formats/PhotoDecoders.h"

namespace velmora {

static_assert(std::endian::native == std::endian::little);

namespace {

constexpr const char* kInvalid = "Cannot load image. Invalid or unexpected WebP image format.";

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

  WebPBitstreamFeatures features{};
  if (WebPGetFeatures(fragment.bytes, fragment.size, &features) != VP8_STATUS_OK)
    return Status::Error(kInvalid);
  VELMORA_TRY(CheckPhotoSize(features.width, features.height, bytes.size(), "WebP"));
  VELMORA_TRY(out.bitmap.SetSize(features.width, features.height));
  const size_t stride = size_t(features.width) * 4;
  auto* pixels = reinterpret_cast<uint8_t*>(out.bitmap.ScanLine(0));
  if (WebPDecodeBGRAInto(fragment.bytes, fragment.size, pixels, stride * size_t(features.height),
                         static_cast<int>(stride)) == nullptr)
    return Status::Error("Cannot load image. Compression error found in WebP file.");
  MakeOpaque(out.bitmap);

  out.keepsAlpha = false;
  out.storedWidth = features.width;
  out.storedHeight = features.height;
  out.orientation = kOrientationUpright;
  if (hints.applyOrientation && (WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS) & EXIF_FLAG) != 0) {
    WebPChunkIterator exif{};
    if (WebPDemuxGetChunk(demux, "EXIF", 1, &exif) != 0) {
      out.orientation = OrientationOfExifChunk(exif.chunk);
      WebPDemuxReleaseChunkIterator(&exif);
    }
  }
  return TurnUpright(out);
}

}  // namespace velmora
