// TIFF decoding through libtiff over the file's bytes in memory. libtiff's
// RGBA interface does the colour work for every photometric interpretation;
// it writes into the bitmap's own pixels, which are then turned from its
// A, B, G, R order into TColor32 in place, so no second picture is held.
#include "imaging/formats/TiffDecoder.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "imaging/CheckedMath.h"
#include "imaging/Orientation.h"
#include "imaging/PictureLimits.h"
#include "imaging/formats/JpegDecoder.h"

namespace velmora {

namespace {

constexpr const char* kInvalidFormat = "Cannot load image. Invalid or unexpected TIFF image format.";
constexpr const char* kStreamError = "Stream read error in TIFF file.";

// The file as libtiff sees it: a read-only stream over the bytes.
struct TiffSource {
  std::span<const uint8_t> bytes;
  uint64_t pos = 0;
  bool shortRead = false;  // a read asked for bytes beyond the end
  char message[256] = {};  // libtiff's last error text
};

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
  auto* src = static_cast<TiffSource*>(handle);
  if (size <= 0) return 0;
  const uint64_t available = src->pos < src->bytes.size() ? src->bytes.size() - src->pos : 0;
  const uint64_t n = std::min<uint64_t>(available, static_cast<uint64_t>(size));
  if (n < static_cast<uint64_t>(size)) src->shortRead = true;
  if (n > 0) std::memcpy(buffer, src->bytes.data() + src->pos, static_cast<size_t>(n));
  src->pos += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return -1; }

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto* src = static_cast<TiffSource*>(handle);
  uint64_t base = 0;
  if (whence == SEEK_CUR) base = src->pos;
  if (whence == SEEK_END) base = src->bytes.size();
  uint64_t target = 0;
  // A seek beyond the end is allowed, as on a file; the read there comes up short.
  if (!CheckedAdd<uint64_t>(base, offset, &target)) return static_cast<toff_t>(-1);
  src->pos = target;
  return target;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return static_cast<TiffSource*>(handle)->bytes.size(); }
// The bytes are offered as a mapped file: libtiff then reads strips in place
// instead of copying them (and its unmapped path for uncompressed tiles
// misreads their length). Mapped files are read-only to libtiff, as a real
// mapping made for reading is, so the const_cast never leads to a write.
int MapProc(thandle_t handle, void** base, toff_t* size) {
  auto* src = static_cast<TiffSource*>(handle);
  *base = const_cast<uint8_t*>(src->bytes.data());
  *size = src->bytes.size();
  return 1;
}
void UnmapProc(thandle_t, void*, toff_t) {}

int OnError(TIFF*, void* user, const char* /*module*/, const char* fmt, va_list ap) {
  auto* src = static_cast<TiffSource*>(user);
  std::vsnprintf(src->message, sizeof(src->message), fmt, ap);
  return 1;  // handled: the process-wide handler (stderr) is not called
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// A few libtiff paths still report through the process-wide handlers; they
// would print on stderr, which a picture program has no business doing.
void SilenceGlobalHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  });
}

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

TiffHandle Open(TiffSource& src) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &src);
  TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, &src);
  // The largest single buffer libtiff may need for a picture within our pixel
  // limit is one strip of 16-bit RGBA covering the whole picture.
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(kMaxPicturePixels * 8));
  TIFF* tif = TIFFClientOpenExt("picture", "r", &src, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                                MapProc, UnmapProc, options);
  TIFFOpenOptionsFree(options);
  return TiffHandle(tif);
}

// How many raw bytes one compressed byte can become at most, or 0 when the
// scheme is bounded another way (or not at all).
uint64_t MaxExpansion(uint16_t compression) {
  switch (compression) {
    case COMPRESSION_NONE:
      return 1;
    case COMPRESSION_PACKBITS:
      return 64;  // two bytes repeat one byte 128 times
    case COMPRESSION_LZW:
      return 4096;  // a 9..12-bit code stands for at most 4096 bytes
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
      return 1040;  // deflate's 258-byte match in two bits, with slack
    default:
      return 0;
  }
}

bool IsCcitt(uint16_t compression) {
  return compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTRLEW ||
         compression == COMPRESSION_CCITTFAX3 || compression == COMPRESSION_CCITTFAX4;
}

// The fewest bytes of strip or tile data that can hold the picture. CCITT
// codes at least one bit per line whatever the width (a blank fax line in
// Group 4 is exactly that), JPEG data is bounded as the JPEG decoder bounds
// it, and the general-purpose schemes by their largest expansion.
uint64_t LeastDataBytes(uint16_t compression, uint32_t width, uint32_t height, uint64_t rawBytes) {
  if (IsCcitt(compression)) return (uint64_t(height) + 7) / 8;
  if (compression == COMPRESSION_JPEG || compression == COMPRESSION_OJPEG) {
    const int64_t pixels = int64_t(width) * height;
    return pixels > kJpegPixelsAlwaysAllowed ? uint64_t(pixels / kMaxJpegPixelsPerByte) : 0;
  }
  const uint64_t expansion = MaxExpansion(compression);
  return expansion == 0 ? 0 : (rawBytes + expansion - 1) / expansion;
}

// Refuses a picture whose raw samples cannot come out of the strip or tile
// data the file really holds, before its bitmap is allocated.
Status CheckDataPresent(TIFF* tif, uint32_t width, uint32_t height, size_t fileBytes) {
  uint16_t compression = COMPRESSION_NONE, bitsPerSample = 1, samplesPerPixel = 1;
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel);
  // Width, bits and samples are each below 2^16 and the rows below 2^32, so
  // the product may pass 2^64: both steps are checked.
  uint64_t rowBits = 0, rawBytes = 0;
  if (!CheckedMul<uint64_t>(uint64_t(width) * bitsPerSample, samplesPerPixel, &rowBits) ||
      !CheckedMul<uint64_t>((rowBits + 7) / 8, height, &rawBytes))
    return Status::Error(kInvalidFormat);
  const uint64_t needed = LeastDataBytes(compression, width, height, rawBytes);
  if (needed == 0) return Status::Ok();
  const uint32_t pieces = TIFFIsTiled(tif) ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
  // Each piece counts only as far as the file reaches, and all of them
  // together never for more than the file (pieces may overlap).
  uint64_t present = 0;
  for (uint32_t i = 0; i < pieces && present < needed; ++i) {
    const uint64_t offset = TIFFGetStrileOffset(tif, i);
    if (offset >= fileBytes) continue;
    present += std::min<uint64_t>(TIFFGetStrileByteCount(tif, i), fileBytes - offset);
  }
  if (std::min<uint64_t>(present, fileBytes) < needed) return Status::Error(kStreamError);
  return Status::Ok();
}

// libtiff's RGBA interface multiplies an unassociated alpha channel into the
// colours. Alpha is dropped here, so the channel is declared associated
// (already multiplied), which makes libtiff pass the colours through as stored.
void KeepStoredColours(TIFF* tif) {
  uint16_t count = 0;
  uint16_t* info = nullptr;
  if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &info) != 1 || count == 0 || info == nullptr) return;
  if (info[0] != EXTRASAMPLE_UNASSALPHA) return;
  std::vector<uint16_t> changed(info, info + count);
  changed[0] = EXTRASAMPLE_ASSOCALPHA;
  TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, count, changed.data());
}

// A strip or tile that runs past the end of the file, or compressed data that
// stops before its rows are complete: the file was cut short.
bool StreamEnded(const TiffSource& src) {
  return src.shortRead || std::strstr(src.message, "Read error") != nullptr ||
         std::strstr(src.message, "Not enough data") != nullptr;
}

struct RgbaImageEnd {
  TIFFRGBAImage* img;
  ~RgbaImageEnd() { TIFFRGBAImageEnd(img); }
};

// libtiff's raster holds R in the lowest byte (0xAABBGGRR); TColor32 holds B
// there. Alpha becomes 255 for every pixel.
void RasterToColor32(std::span<TColor32> pixels) {
  for (TColor32& p : pixels) {
    const uint32_t v = p;
    p = 0xFF000000u | ((v & 0xFFu) << 16) | (v & 0xFF00u) | ((v >> 16) & 0xFFu);
  }
}

}  // namespace

Status DecodeTiff(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out) {
  SilenceGlobalHandlers();
  TiffSource src;
  src.bytes = bytes;
  TiffHandle tif = Open(src);
  if (!tif) return Status::Error(StreamEnded(src) && bytes.size() >= 8 ? kStreamError : kInvalidFormat);

  uint32_t width = 0, height = 0;
  if (TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) != 1 ||
      TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height) != 1)
    return Status::Error(kInvalidFormat);
  VELMORA_TRY(CheckPictureSize(width, height, "TIFF"));

  uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_COMPRESSION, &compression);
  if (TIFFIsCODECConfigured(compression) == 0)
    return Status::Error(Format("Cannot load image. %s not supported for %s files.",
                                Format("Compression scheme %u", unsigned(compression)).c_str(), "TIFF"));
  VELMORA_TRY(CheckDataPresent(tif.get(), width, height, bytes.size()));

  KeepStoredColours(tif.get());
  char reason[1024] = {};
  if (TIFFRGBAImageOK(tif.get(), reason) == 0) return Status::Error("Invalid color format in TIFF file.");
  TIFFRGBAImage img{};
  if (TIFFRGBAImageBegin(&img, tif.get(), /*stop on error*/ 1, reason) == 0)
    return Status::Error("Invalid color format in TIFF file.");
  RgbaImageEnd end{&img};
  // Asked for its own orientation, libtiff delivers the rows as stored and
  // the reader turns them upright; asked for top-left, it mirrors the first
  // four orientations itself and reads the other four as their mirrors, as
  // the program always did.
  int orientation = kOrientationUpright;
  if (hints.applyOrientation && img.orientation >= ORIENTATION_TOPLEFT &&
      img.orientation <= ORIENTATION_LEFTBOT)
    orientation = img.orientation;
  img.req_orientation = orientation == kOrientationUpright ? ORIENTATION_TOPLEFT : uint16_t(orientation);

  VELMORA_TRY(out.bitmap.SetSize(static_cast<int>(width), static_cast<int>(height)));
  static_assert(sizeof(TColor32) == sizeof(uint32_t));
  if (TIFFRGBAImageGet(&img, reinterpret_cast<uint32_t*>(out.bitmap.Pixels().data()), width, height) == 0) {
    if (StreamEnded(src)) return Status::Error(kStreamError);
    return Status::Error("Cannot load image. Compression error found in TIFF file.");
  }
  RasterToColor32(out.bitmap.Pixels());
  out.keepsAlpha = false;
  out.storedWidth = static_cast<int>(width);
  out.storedHeight = static_cast<int>(height);
  out.orientation = orientation;
  return TurnUpright(out);
}

}  // namespace velmora
