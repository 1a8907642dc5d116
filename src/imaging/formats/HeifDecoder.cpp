// HEIF, HEIC and AVIF through libheif. The library reads from the caller's
// memory, decodes the primary picture to interleaved R, G, B and applies the
// file's rotation and mirroring itself; the rows are copied into the bitmap.
//
// The size a file announces (its 'ispe' property) is not what the library
// allocates: that is the size of the coded stream, or, for a picture put
// together from tiles, the canvas its grid data gives. A 603-byte file that
// announced 16 x 16 pixels had the library build a canvas of 14441 x 27759
// (2.4 GB) before anything came back to us. So before it decodes, the sizes
// inside the file are read and compared with the announced one (HeifItems.h,
// HeifCodedSize.h), the library is told that no side may be much larger,
// and the memory budget is charged for its working memory.
#include <libheif/heif.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "imaging/CheckedMath.h"
#include "imaging/EmbeddedPreview.h"
#include "imaging/LazyLibrary.h"
#include "imaging/Orientation.h"
#include "imaging/formats/HeifCodedSize.h"
#include "imaging/formats/HeifItems.h"
#include "imaging/formats/PhotoBudget.h"
#include "imaging/formats/PhotoDecoders.h"

namespace velmora {

namespace {

// The library's functions, bound when the first such picture is read.
#define VELMORA_HEIF_CALLS(X)                    \
  X(heif_check_filetype)                         \
  X(heif_context_alloc)                          \
  X(heif_context_free)                           \
  X(heif_context_get_primary_image_handle)       \
  X(heif_context_read_from_memory_without_copy)  \
  X(heif_context_set_max_decoding_threads)       \
  X(heif_context_set_maximum_image_size_limit)   \
  X(heif_decode_image)                           \
  X(heif_decoding_options_alloc)                 \
  X(heif_decoding_options_free)                  \
  X(heif_image_get_height)                       \
  X(heif_image_get_plane_readonly)               \
  X(heif_image_get_width)                        \
  X(heif_image_handle_get_height)                \
  X(heif_image_handle_get_ispe_height)           \
  X(heif_image_handle_get_ispe_width)            \
  X(heif_image_handle_get_list_of_thumbnail_IDs) \
  X(heif_image_handle_get_luma_bits_per_pixel)   \
  X(heif_image_handle_get_number_of_thumbnails)  \
  X(heif_image_handle_get_thumbnail)             \
  X(heif_image_handle_get_width)                 \
  X(heif_image_handle_has_alpha_channel)         \
  X(heif_image_handle_release)                   \
  X(heif_image_release)

VELMORA_HEIF_CALLS(VELMORA_LAZY_DECLARE)

Status OpenLibheif() {
  static LazyLibrary library("libheif.so.1",
                             "Cannot load image. HEIF pictures need libheif (Debian package libheif1)");
  return library.Open([](void* handle) { return true VELMORA_HEIF_CALLS(VELMORA_LAZY_BIND); });
}

struct ContextDeleter {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleDeleter {
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageDeleter {
  void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsDeleter {
  void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

Status LibraryError(const heif_error& error) {
  if (error.code == heif_error_Unsupported_filetype || error.code == heif_error_Invalid_input)
    return Status::Error(Format("Cannot load image. Invalid or unexpected HEIF image format (%s).",
                                error.message != nullptr ? error.message : ""));
  if (error.code == heif_error_Unsupported_feature || error.code == heif_error_Decoder_plugin_error)
    return Status::Error(Format("Cannot load image. %s not supported for %s files.",
                                error.message != nullptr ? error.message : "Decoding", "HEIF"));
  if (error.code == heif_error_Memory_allocation_error)
    return Status::Error("Cannot load image. Out of memory for HEIF file.");
  return Status::Error(
      Format("Cannot load image. Error in HEIF file (%s).", error.message != nullptr ? error.message : ""));
}

// Any picture may have the library decode sides up to this long: a grid's
// tiles can be larger than a small picture. 2048 x 2048 is 4 M pixels, some
// 40 MB of the library's working memory, whatever a file claims.
constexpr int kSideAlwaysAllowed = 2048;

// The longest side the library may decode for a picture announced with
// `longestSide`: coded pictures are padded to whole coding blocks (at most
// 64 pixels) and cropped afterwards. The library refuses a grid canvas whose
// side equals its limit, hence the margin of a whole block.
int DecodeSideLimit(int longestSide) { return std::max(kSideAlwaysAllowed, longestSide + 64); }

// The library's working memory at its peak while decoding `pixels`: the
// codec's picture and the library's copy of it, three planes (taken at full
// size, as for 4:4:4) plus alpha, of one or two bytes a sample, and the
// interleaved 8-bit RGB it converts them to. A 12-megapixel 8-bit 4:2:0 photo
// measured 9 bytes a pixel, which this gives.
int64_t DecodeWorkingBytes(int64_t pixels, int bitsPerSample, bool alpha) {
  const int64_t sampleBytes = bitsPerSample > 8 ? 2 : 1;
  const int64_t planes = alpha ? 4 : 3;
  return pixels * (2 * planes * sampleBytes + 3);
}

// "... Image size 14441x27759 exceeds ..." from the library's message, as
// "14441 x 27759"; empty when its words are not these.
std::string SizeInMessage(const char* message) {
  if (message == nullptr) return {};
  const char* width = std::strstr(message, "size ");
  if (width == nullptr) return {};
  width += 5;
  const auto digitsEnd = [](const char* p) {
    while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
    return p;
  };
  const char* widthEnd = digitsEnd(width);
  if (widthEnd == width || *widthEnd != 'x') return {};
  const char* height = widthEnd + 1;
  const char* heightEnd = digitsEnd(height);
  if (heightEnd == height) return {};
  return std::string(width, widthEnd) + " x " + std::string(height, heightEnd);
}

Status LargerThanAnnounced(int width, int height, const std::string& found) {
  return Status::Error(
      Format("Cannot load image. The HEIF file announces a picture of %d x %d pixels, but "
             "its data describes %s.",
             width, height, found.empty() ? "a larger one" : ("one of " + found + " pixels").c_str()));
}

struct PixelSize {
  int64_t width = 0;
  int64_t height = 0;
};

// The canvas a grid's or an overlay's data gives, or nothing when the data is
// too short for one.
std::optional<PixelSize> CanvasSize(const HeifItem& item, const std::vector<uint8_t>& data) {
  // Version, flags, then for a grid its rows and columns less one, for an
  // overlay its background colour: four 16-bit samples.
  const size_t before = item.type == HeifCode("grid") ? 4 : 10;
  const size_t field = data.size() >= 2 && (data[1] & 1) != 0 ? 4 : 2;
  if (data.size() < before + 2 * field) return std::nullopt;
  int64_t sides[2] = {0, 0};
  for (size_t side = 0; side < 2; ++side)
    for (size_t i = 0; i < field; ++i) sides[side] = (sides[side] << 8) | data[before + side * field + i];
  return PixelSize{sides[0], sides[1]};
}

Status Unreadable(const char* what) {
  return Status::Error(Format("Cannot load image. Invalid or unexpected HEIF image format (%s).", what));
}

// Goes through what the library will decode for the picture `id` (the
// primary one or a thumbnail), its tiles or layers and their alpha, and
// compares each size the library would allocate by (a coded stream's, a
// canvas's) with `allowedArea`.
Status CheckSizesInside(std::span<const uint8_t> bytes, const HeifItems& items, uint32_t id, int width,
                        int height, int64_t allowedArea) {
  std::vector<uint32_t> pending{id};
  std::set<uint32_t> seen;
  while (!pending.empty()) {
    const uint32_t next = pending.back();
    pending.pop_back();
    const auto found = items.items.find(next);
    // What is missing, the library finds missing too.
    if (!seen.insert(next).second || found == items.items.end()) continue;
    const HeifItem& item = found->second;
    std::optional<PixelSize> size;
    if (item.type == HeifCode("hvc1")) {
      if (const auto coded = ReadHevcCodedSize(item.hvcC)) size = PixelSize{coded->width, coded->height};
      if (!size) return Unreadable("an HEVC picture's parameters cannot be read");
    } else if (item.type == HeifCode("av01")) {
      // The sequence header may be repeated after the configuration's four
      // bytes; it always starts the data, where a few kilobytes hold it.
      std::optional<CodedSize> coded;
      if (item.av1C.size() > 4) coded = ReadAv1CodedSize(item.av1C.subspan(4));
      if (!coded) {
        std::vector<uint8_t> data;
        VELMORA_TRY(ReadHeifItemData(bytes, items, item, "AV1 picture", 4096, data));
        coded = ReadAv1CodedSize(data);
      }
      if (!coded) return Unreadable("an AV1 picture's sequence header cannot be read");
      size = PixelSize{coded->width, coded->height};
    } else if (item.type == HeifCode("grid") || item.type == HeifCode("iovl")) {
      const char* what = item.type == HeifCode("grid") ? "grid" : "overlay";
      std::vector<uint8_t> data;
      VELMORA_TRY(ReadHeifItemData(bytes, items, item, what, 18, data));
      size = CanvasSize(item, data);
      if (!size) return Unreadable(Format("the %s's data is cut short", what).c_str());
    }
    // A canvas's 32-bit sides multiply past 64 bits.
    int64_t area = 0;
    if (size && (!CheckedMul(size->width, size->height, &area) || area > allowedArea))
      return LargerThanAnnounced(
          width, height,
          Format("%lld x %lld", static_cast<long long>(size->width), static_cast<long long>(size->height)));
    pending.insert(pending.end(), item.derivedFrom.begin(), item.derivedFrom.end());
    pending.insert(pending.end(), item.auxiliaries.begin(), item.auxiliaries.end());
  }
  return Status::Ok();
}

// What a picture (the primary one or a thumbnail) announces, checked: its
// size after the file's transformations and before them ('ispe'), and the
// longest side the library may decode for it.
struct Announced {
  int width = 0;
  int height = 0;
  int ispeWidth = 0;
  int ispeHeight = 0;
  int sideLimit = 0;
};

Status CheckAnnounced(heif_image_handle* handle, std::span<const uint8_t> bytes, const HeifItems& items,
                      uint32_t id, Announced& a) {
  // The handle's size is the picture's after its transformations; the
  // 'ispe' size is before them (a rotation swaps the sides, a crop takes
  // away), which is what the coded data must fit.
  a.width = heif_image_handle_get_width(handle);
  a.height = heif_image_handle_get_height(handle);
  VELMORA_TRY(CheckPhotoSize(a.width, a.height, bytes.size(), "HEIF"));
  a.ispeWidth = heif_image_handle_get_ispe_width(handle);
  a.ispeHeight = heif_image_handle_get_ispe_height(handle);
  if (a.ispeWidth != 0 || a.ispeHeight != 0)
    VELMORA_TRY(CheckPhotoSize(a.ispeWidth, a.ispeHeight, bytes.size(), "HEIF"));
  // Nothing the library allocates for the picture (a coded stream, a grid's
  // canvas, a tile, the alpha) may be much larger than announced. Its own
  // check, against a square, holds every side to the longest one; ours, of
  // what we can read, holds the area too, which for a long narrow picture is
  // far less.
  a.sideLimit = DecodeSideLimit(std::max({a.width, a.height, a.ispeWidth, a.ispeHeight}));
  const int64_t allowedArea = std::max({int64_t(kSideAlwaysAllowed) * kSideAlwaysAllowed,
                                        (int64_t(a.width) + 64) * (int64_t(a.height) + 64),
                                        (int64_t(a.ispeWidth) + 64) * (int64_t(a.ispeHeight) + 64)});
  return CheckSizesInside(bytes, items, id, a.width, a.height, allowedArea);
}

// The size a picture comes out at: turned as the file says, or as stored.
void OutputSize(const Announced& a, bool applyOrientation, int& width, int& height) {
  const bool stored = !applyOrientation && a.ispeWidth > 0 && a.ispeHeight > 0;
  width = stored ? a.ispeWidth : a.width;
  height = stored ? a.ispeHeight : a.height;
}

// The smallest thumbnail of the primary picture whose size the caller
// accepts and which passes the same checks as the primary picture, or none.
// Phones store one of a few hundred pixels, enough for a cell, which the
// library decodes in a fraction of the memory.
std::unique_ptr<heif_image_handle, HandleDeleter> ChooseThumbnail(
    heif_image_handle* primary, const Announced& full, std::span<const uint8_t> bytes, const HeifItems& items,
    const DecodeHints& hints, Announced& chosen) {
  std::unique_ptr<heif_image_handle, HandleDeleter> best;
  if (!hints.acceptScaled) return best;
  const int count = std::clamp(heif_image_handle_get_number_of_thumbnails(primary), 0, 16);
  std::vector<heif_item_id> ids(static_cast<size_t>(count));
  if (count == 0 || heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count) != count)
    return best;
  int fullWidth = 0, fullHeight = 0;
  OutputSize(full, hints.applyOrientation, fullWidth, fullHeight);
  // Only a thumbnail smaller than the picture itself is worth taking.
  int64_t bestArea = int64_t(fullWidth) * fullHeight;
  for (const heif_item_id id : ids) {
    heif_image_handle* raw = nullptr;
    if (heif_image_handle_get_thumbnail(primary, id, &raw).code != heif_error_Ok) continue;
    std::unique_ptr<heif_image_handle, HandleDeleter> thumb(raw);
    Announced a;
    if (!CheckAnnounced(thumb.get(), bytes, items, id, a).ok()) continue;
    int w = 0, h = 0;
    OutputSize(a, hints.applyOrientation, w, h);
    const int64_t area = int64_t(w) * h;
    if (area >= bestArea || !hints.acceptScaled(w, h)) continue;
    best = std::move(thumb);
    bestArea = area;
    chosen = a;
  }
  return best;
}

// Decodes the picture of `handle` into `out`, its working memory charged to
// the budget first, and refused when it could never fit.
Status DecodeHandle(heif_context* context, heif_image_handle* handle, const Announced& a,
                    std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out) {
  heif_context_set_maximum_image_size_limit(context, a.sideLimit);
  const int64_t announced = std::max(int64_t(a.width) * a.height, int64_t(a.ispeWidth) * a.ispeHeight);
  int outWidth = 0, outHeight = 0;
  OutputSize(a, hints.applyOrientation, outWidth, outHeight);
  VELMORA_TRY(
      ChargePhotoDecode("HEIF", outWidth, outHeight,
                        DecodeWorkingBytes(announced, heif_image_handle_get_luma_bits_per_pixel(handle),
                                           heif_image_handle_has_alpha_channel(handle) != 0),
                        int64_t(outWidth) * outHeight));

  std::unique_ptr<heif_decoding_options, OptionsDeleter> options(heif_decoding_options_alloc());
  if (!options) return Status::Error("Cannot load image. Out of memory for HEIF file.");
  options->ignore_transformations = hints.applyOrientation ? 0 : 1;
  heif_image* rawImage = nullptr;
  const heif_error error =
      heif_decode_image(handle, &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGB, options.get());
  if (error.code == heif_error_Memory_allocation_error &&
      error.subcode == heif_suberror_Security_limit_exceeded)
    return LargerThanAnnounced(a.width, a.height, SizeInMessage(error.message));
  if (error.code != heif_error_Ok) return LibraryError(error);
  std::unique_ptr<heif_image, ImageDeleter> image(rawImage);

  const int decodedWidth = heif_image_get_width(image.get(), heif_channel_interleaved);
  const int decodedHeight = heif_image_get_height(image.get(), heif_channel_interleaved);
  VELMORA_TRY(CheckPhotoSize(decodedWidth, decodedHeight, bytes.size(), "HEIF"));
  int stride = 0;
  const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  if (plane == nullptr || stride < decodedWidth * 3)
    return Status::Error("Invalid color format in HEIF file.");
  VELMORA_TRY(out.bitmap.SetSizeForOverwrite(decodedWidth, decodedHeight));
  for (int y = 0; y < decodedHeight; ++y) {
    const uint8_t* src = plane + static_cast<size_t>(y) * static_cast<size_t>(stride);
    TColor32* dst = out.bitmap.ScanLine(y);
    for (int x = 0; x < decodedWidth; ++x, src += 3) dst[x] = Color32(src[0], src[1], src[2]);
  }
  return Status::Ok();
}

}  // namespace

Status DecodeHeif(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out) {
  VELMORA_TRY(OpenLibheif());
  if (bytes.size() < 12 || heif_check_filetype(bytes.data(), static_cast<int>(std::min<size_t>(
                                                                 bytes.size(), 64))) == heif_filetype_no)
    return Status::Error("Cannot load image. Invalid or unexpected HEIF image format.");
  std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
  if (!context) return Status::Error("Cannot load image. Out of memory for HEIF file.");
  // The library's own bound on a side; ours on the area follows.
  heif_context_set_maximum_image_size_limit(context.get(), static_cast<int>(kMaxPictureSide));
  heif_context_set_max_decoding_threads(context.get(), 1);
  heif_error error =
      heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(), nullptr);
  if (error.code != heif_error_Ok) return LibraryError(error);

  heif_image_handle* rawHandle = nullptr;
  error = heif_context_get_primary_image_handle(context.get(), &rawHandle);
  if (error.code != heif_error_Ok) return LibraryError(error);
  std::unique_ptr<heif_image_handle, HandleDeleter> handle(rawHandle);
  HeifItems items;
  VELMORA_TRY(ReadHeifItems(bytes, items));
  Announced full;
  VELMORA_TRY(CheckAnnounced(handle.get(), bytes, items, items.primary, full));

  // The library has turned the picture already; there is no tag to report.
  out.keepsAlpha = false;
  out.orientation = kOrientationUpright;
  OutputSize(full, hints.applyOrientation, out.storedWidth, out.storedHeight);
  Announced small;
  if (const auto thumbnail = ChooseThumbnail(handle.get(), full, bytes, items, hints, small))
    // A thumbnail that does not decode leaves the primary picture to try;
    // so does one of another shape when previews are asked to be checked.
    if (DecodeHandle(context.get(), thumbnail.get(), small, bytes, hints, out).ok() &&
        (!hints.usePreviews || AcceptPreview(out.bitmap, out.storedWidth, out.storedHeight, hints))) {
      out.fromPreview = true;
      return Status::Ok();
    }
  VELMORA_TRY(DecodeHandle(context.get(), handle.get(), full, bytes, hints, out));
  out.storedWidth = out.bitmap.Width();
  out.storedHeight = out.bitmap.Height();
  return Status::Ok();
}

}  // namespace velmora
