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

#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "imaging/ByteCursor.h"
#include "imaging/CheckedMath.h"
#include "imaging/PictureLimits.h"

namespace velmora {
namespace {

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

Status CheckFraming(std::span<const uint8_t> bytes) {
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
    if (function == 0) return Status::Ok();  // the end record
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
  VELMORA_TRY(CheckFraming(bytes));
  // libwmf reads from a buffer it may not change, but its signature asks
  // for a writable one.
  std::vector<unsigned char> copy(bytes.begin(), bytes.end());

  std::lock_guard<std::mutex> lock(LibraryMutex());
  WmfSession session;
  wmfAPI_Options options{};
  options.function = wmf_gd_function;
  const unsigned long flags =
      WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
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

  wmf_gd_t* device = WMF_GD_GetData(api);
  device->type = wmf_gd_image;
  device->width = width;
  device->height = height;
  device->bbox = bbox;
  const wmf_error_t played = wmf_play(api, 0, &bbox);
  if (played == wmf_E_UserExit)
    return Status::Error(Format("Cannot load image. Drawing the %s file took longer than %d seconds.", kName,
                                kWmfDrawSeconds));
  if (played != wmf_E_None || device->gd_image == nullptr) return InvalidFormat();
  const int* src = wmf_gd_image_pixels(device->gd_image);
  if (src == nullptr) return InvalidFormat();

  VELMORA_TRY(out.bitmap.SetSize(int(width), int(height)));
  // gd's true-colour pixels: 7-bit alpha (0 opaque) above 8-bit red, green, blue.
  for (TColor32& p : out.bitmap.Pixels()) {
    const auto v = static_cast<uint32_t>(*src++);
    p = Color32(uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v));
  }
  return Status::Ok();
}

}  // namespace velmora
