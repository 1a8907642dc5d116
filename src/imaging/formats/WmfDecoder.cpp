// Windows metafiles through libwmf and its gd device. Before the library sees
// a byte, the file's framing is checked here: the optional 22-byte placeable
// header (magic 0x9AC6CDD7, bounding box, units per inch), the 18-byte
// metafile header, and a chain of records (32-bit size in 16-bit words, at
// least 3, then the function) that stays inside the file and ends with the
// end record. libwmf keeps state of its own (fonts), so one metafile is drawn
// at a time, and a drawing that runs past kWmfDrawSeconds is stopped.
#include "imaging/formats/WmfDecoder.h"

#include <libwmf/api.h>
#include <libwmf/gd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "imaging/ByteCursor.h"
#include "imaging/CheckedMath.h"
#include "imaging/LazyLibrary.h"
#include "imaging/PictureLimits.h"
#include "imaging/formats/PngDecoder.h"

namespace velmora {
namespace {

// The library's functions, bound when the first such picture is read.
#define VELMORA_WMF_CALLS(X) \
  X(wmf_api_create)          \
  X(wmf_api_destroy)         \
  X(wmf_display_size)        \
  X(wmf_mem_open)            \
  X(wmf_play)                \
  X(wmf_scan)                \
  X(wmf_status_function)     \
  X(wmf_gd_function)

VELMORA_WMF_CALLS(VELMORA_LAZY_DECLARE)

Status OpenLibwmf() {
  static LazyLibrary library("libwmf-0.2.so.7",
                             "Cannot load image. Metafiles need libwmf (Debian package libwmf-0.2-7)");
  return library.Open([](void* handle) { return true VELMORA_WMF_CALLS(VELMORA_LAZY_BIND); });
}

constexpr const char* kName = "WMF";
constexpr uint32_t kPlaceableMagic = 0x9AC6CDD7;
constexpr size_t kPlaceableBytes = 22;
constexpr size_t kHeaderBytes = 18;
constexpr int kWmfDrawSeconds = 10;
constexpr double kDotsPerInch = 96;

Status StreamError() { return Status::Error(Format("Stream read error in %s file.", kName)); }
Status InvalidFormat() {
  return Status::Error(Format("Cannot load image. Invalid or unexpected %s image format.", kName));
}

// Where the device-independent bitmap starts in the parameters of the
// records that carry one, or 0 for other records.
size_t BitmapParamOffset(uint16_t function, uint32_t words) {
  // Records that can come with or without a bitmap carry one when they are
  // longer than their function's bitmap-less size (high byte + 3 words).
  const bool longer = words != uint32_t(function >> 8) + 3;
  switch (function) {
    case 0x0F43:
      return 22;  // StretchDIB
    case 0x0D33:
      return 18;  // SetDIBitsToDevice
    case 0x0142:
      return 4;  // DIBCreatePatternBrush
    case 0x0B41:
      return longer ? 20 : 0;  // DIBStretchBlt
    case 0x0940:
      return longer ? 16 : 0;  // DIBBitBlt
    default:
      return 0;
  }
}

// libwmf reads a record's bitmap pixel by pixel as its header describes it,
// well past the record's end and for as long as the header says (a 254-byte
// file claiming a bitmap 131072 pixels wide kept it busy for minutes). So a
// bitmap must fit its record and the pixel limit before the library sees it.
bool BitmapFitsRecord(std::span<const uint8_t> dib) {
  ByteCursor in(dib);
  const uint32_t headerBytes = in.u32le();
  if (in.overrun() || headerBytes < 40 || headerBytes > dib.size()) return false;
  const int64_t width = static_cast<int32_t>(in.u32le());
  const int64_t height = std::abs(int64_t(static_cast<int32_t>(in.u32le())));
  in.skip(2);
  const uint32_t bits = in.u16le();
  const uint32_t compression = in.u32le();
  const uint32_t imageBytes = in.u32le();
  in.skip(8);
  const uint32_t colorsUsed = in.u32le();
  if (in.overrun() || width <= 0 || height <= 0 || width * height > int64_t(kMaxMetafilePixels)) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  uint64_t colors = colorsUsed;
  if (bits <= 8) {
    if (colors > (uint64_t(1) << bits)) return false;
    if (colors == 0) colors = uint64_t(1) << bits;
  }
  const uint64_t masks = compression == 3 ? 12 : 0;  // BI_BITFIELDS
  const uint64_t stride = (uint64_t(width) * bits + 31) / 32 * 4;
  uint64_t pixels = stride * uint64_t(height);
  if (compression == 1 || compression == 2) {  // run-length: as stored
    if (imageBytes == 0) return false;
    pixels = imageBytes;
  } else if (compression != 0 && compression != 3) {
    return false;
  }
  return uint64_t(headerBytes) + masks + colors * 4 + pixels <= dib.size();
}

// The framing of a file, found by CheckFraming.
struct Framing {
  size_t headerStart = 0;
  uint32_t largestRecordWords = 0;
  uint32_t fileWords = 0;  // from the metafile header to the end record's end
};

Status CheckFraming(std::span<const uint8_t> bytes, Framing& framing) {
  ByteCursor in(bytes);
  if (bytes.size() < 4) return StreamError();
  if (in.u32le() == kPlaceableMagic) {
    in.skip(2);
    const auto left = static_cast<int16_t>(in.u16le()), top = static_cast<int16_t>(in.u16le());
    const auto right = static_cast<int16_t>(in.u16le()), bottom = static_cast<int16_t>(in.u16le());
    const uint16_t inch = in.u16le();
    in.skip(6);
    if (in.overrun()) return StreamError();
    if (inch == 0 || right == left || bottom == top) return InvalidFormat();
  } else {
    in.seek(0);
  }
  const size_t headerStart = in.position();
  framing.headerStart = headerStart;
  const uint16_t type = in.u16le(), headerWords = in.u16le(), version = in.u16le();
  in.seek(headerStart + kHeaderBytes);
  if (in.overrun()) return StreamError();
  if ((type != 1 && type != 2) || headerWords != 9 || (version != 0x0100 && version != 0x0300))
    return InvalidFormat();
  for (;;) {
    const size_t start = in.position();
    const uint32_t words = in.u32le();
    const uint16_t function = in.u16le();
    if (in.overrun()) return StreamError();
    if (words < 3) return InvalidFormat();
    if (!RangeFits(start, uint64_t(words) * 2, bytes.size())) return StreamError();
    framing.largestRecordWords = std::max(framing.largestRecordWords, words);
    if (const size_t at = BitmapParamOffset(function, words); at != 0) {
      const size_t params = start + 6;
      const size_t end = start + size_t(words) * 2;
      if (params + at > end || !BitmapFitsRecord(bytes.subspan(params + at, end - params - at)))
        return InvalidFormat();
    }
    if (function == 0) {  // the end record
      // libwmf plays on past an end record of any other length, into
      // records this check has not seen.
      if (words != 3) return InvalidFormat();
      framing.fileWords = static_cast<uint32_t>((start + size_t(words) * 2 - headerStart) / 2);
      return Status::Ok();
    }
    in.seek(start + size_t(words) * 2);
  }
}

struct DrawDeadline {
  std::chrono::steady_clock::time_point end;
};

int OnStatus(void* context, float) {
  const auto* deadline = static_cast<const DrawDeadline*>(context);
  return std::chrono::steady_clock::now() > deadline->end ? 1 : 0;
}

// libwmf allocates through these: no single block may pass the cap, so a
// damaged file fails with the library's out-of-memory error instead.
struct AllocCap {
  size_t maxBlock = 0;
};
void* CappedMalloc(void* context, size_t size) {
  return size > static_cast<AllocCap*>(context)->maxBlock ? nullptr : std::malloc(size);
}
void* CappedRealloc(void* context, void* mem, size_t size) {
  return size > static_cast<AllocCap*>(context)->maxBlock ? nullptr : std::realloc(mem, size);
}
void CappedFree(void*, void* mem) { std::free(mem); }

// The PNG file the gd device writes, in memory.
class MemoryFile {
public:
  MemoryFile() : file_(open_memstream(&data_, &size_)) {}
  ~MemoryFile() {
    Close();
    std::free(data_);
  }
  FILE* file() const { return file_; }
  // Ends the writing; the bytes are valid until this goes out of scope.
  std::span<const uint8_t> Close() {
    if (file_ != nullptr) {
      std::fclose(file_);
      file_ = nullptr;
    }
    return {reinterpret_cast<const uint8_t*>(data_), data_ != nullptr ? size_ : 0};
  }

private:
  char* data_ = nullptr;
  size_t size_ = 0;
  FILE* file_ = nullptr;
};

std::mutex& LibraryMutex() {
  static std::mutex m;
  return m;
}

class WmfSession {
public:
  ~WmfSession() {
    if (api != nullptr) wmf_api_destroy(api);
  }
  wmfAPI* api = nullptr;
};

}  // namespace

Status DecodeWmf(std::span<const uint8_t> bytes, const DecodeHints&, DecodedPicture& out) {
  VELMORA_TRY(OpenLibwmf());
  Framing framing;
  VELMORA_TRY(CheckFraming(bytes, framing));
  // libwmf sizes its record buffer by the header's largest record and its
  // reading by the header's file size; both are set to what the file really
  // holds, so a header cannot make it allocate more than the file's size.
  std::vector<unsigned char> copy(bytes.begin(), bytes.end());
  const auto put32 = [&copy](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) copy[at + size_t(i)] = static_cast<unsigned char>(v >> (8 * i));
  };
  put32(framing.headerStart + 6, framing.fileWords);
  put32(framing.headerStart + 12, framing.largestRecordWords);

  std::lock_guard<std::mutex> lock(LibraryMutex());
  WmfSession session;
  // The picture itself may take up to kMaxMetafilePixels; everything else
  // is bounded by the file.
  AllocCap cap{std::max<size_t>(size_t(kMaxMetafilePixels) * 4 + 4096, bytes.size() * 16)};
  wmfAPI_Options options{};
  options.function = wmf_gd_function;
  options.context = &cap;
  options.malloc = CappedMalloc;
  options.realloc = CappedRealloc;
  options.free = CappedFree;
  const unsigned long flags =
      WMF_OPT_FUNCTION | WMF_OPT_ALLOC | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
  if (wmf_api_create(&session.api, flags, &options) != wmf_E_None || session.api == nullptr)
    return Status::Error(Format("Cannot load image. The %s library could not start.", kName));
  wmfAPI* api = session.api;
  DrawDeadline deadline{std::chrono::steady_clock::now() + std::chrono::seconds(kWmfDrawSeconds)};
  wmf_status_function(api, &deadline, OnStatus);

  if (wmf_mem_open(api, copy.data(), static_cast<long>(copy.size())) != wmf_E_None) return InvalidFormat();
  wmfD_Rect bbox{};
  if (wmf_scan(api, 0, &bbox) != wmf_E_None) return InvalidFormat();
  unsigned int width = 0, height = 0;
  if (wmf_display_size(api, &width, &height, kDotsPerInch, kDotsPerInch) != wmf_E_None)
    return InvalidFormat();
  if (width == 0 || height == 0) return InvalidFormat();
  const double pixels = double(width) * double(height);
  if (pixels > double(kMaxMetafilePixels) || width > kMaxPictureSide || height > kMaxPictureSide) {
    const double scale = std::min({std::sqrt(double(kMaxMetafilePixels) / pixels),
                                   double(kMaxPictureSide) / width, double(kMaxPictureSide) / height});
    width = std::max(1u, static_cast<unsigned>(width * scale));
    height = std::max(1u, static_cast<unsigned>(height * scale));
  }
  VELMORA_TRY(CheckPictureSize(width, height, kName));

  // The gd device hands its picture over as a PNG file written to memory:
  // its own picture is then freed with the library (an image handed over as
  // a gd image could not be, as the library does not export gd's functions).
  wmf_gd_t* device = WMF_GD_GetData(api);
  MemoryFile png;
  if ((device->flags & WMF_GD_SUPPORTS_PNG) == 0 || png.file() == nullptr)
    return Status::Error(Format("Cannot load image. The %s library cannot hand over pictures.", kName));
  device->type = wmf_gd_png;
  device->flags |= WMF_GD_OUTPUT_FILE;
  device->file = png.file();
  device->width = width;
  device->height = height;
  device->bbox = bbox;
  const wmf_error_t played = wmf_play(api, 0, &bbox);
  if (played == wmf_E_UserExit)
    return Status::Error(Format("Cannot load image. Drawing the %s file took longer than %d seconds.", kName,
                                kWmfDrawSeconds));
  const std::span<const uint8_t> written = png.Close();
  if (played != wmf_E_None || written.empty()) return InvalidFormat();
  DecodedPicture picture;
  if (!DecodePng(written, DecodeHints{}, picture).ok()) return InvalidFormat();
  out.bitmap.TakePixels(picture.bitmap);
  return Status::Ok();
}

}  // namespace velmora
