// HEIF, HEIC and AVIF through libheif. The library reads from the caller's
// memory, decodes the primary picture to interleaved R, G, B and applies the
// file's rotation and mirroring itself; the rows are copied into the bitmap.
#include <libheif/heif.h>

#include <memory>

#include "imaging/LazyLibrary.h"
#include "imaging/Orientation.h"
#include "imaging/formats/PhotoDecoders.h"

namespace velmora {

namespace {

// The library's functions, bound when the first such picture is read.
#define VELMORA_HEIF_CALLS(X)                   \
  X(heif_check_filetype)                        \
  X(heif_context_alloc)                         \
  X(heif_context_free)                          \
  X(heif_context_get_primary_image_handle)      \
  X(heif_context_read_from_memory_without_copy) \
  X(heif_context_set_max_decoding_threads)      \
  X(heif_context_set_maximum_image_size_limit)  \
  X(heif_decode_image)                          \
  X(heif_decoding_options_alloc)                \
  X(heif_decoding_options_free)                 \
  X(heif_image_get_height)                      \
  X(heif_image_get_plane_readonly)              \
  X(heif_image_get_width)                       \
  X(heif_image_handle_get_height)               \
  X(heif_image_handle_get_width)                \
  X(heif_image_handle_release)                  \
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
  // The handle's size is the picture's after its transformations.
  VELMORA_TRY(CheckPhotoSize(heif_image_handle_get_width(handle.get()),
                             heif_image_handle_get_height(handle.get()), bytes.size(), "HEIF"));

  std::unique_ptr<heif_decoding_options, OptionsDeleter> options(heif_decoding_options_alloc());
  if (!options) return Status::Error("Cannot load image. Out of memory for HEIF file.");
  options->ignore_transformations = hints.applyOrientation ? 0 : 1;
  heif_image* rawImage = nullptr;
  error = heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                            options.get());
  if (error.code != heif_error_Ok) return LibraryError(error);
  std::unique_ptr<heif_image, ImageDeleter> image(rawImage);

  const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
  const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
  VELMORA_TRY(CheckPhotoSize(width, height, bytes.size(), "HEIF"));
  int stride = 0;
  const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  if (plane == nullptr || stride < width * 3) return Status::Error("Invalid color format in HEIF file.");
  VELMORA_TRY(out.bitmap.SetSize(width, height));
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = plane + static_cast<size_t>(y) * static_cast<size_t>(stride);
    TColor32* dst = out.bitmap.ScanLine(y);
    for (int x = 0; x < width; ++x, src += 3) dst[x] = Color32(src[0], src[1], src[2]);
  }
  out.keepsAlpha = false;
  out.storedWidth = width;
  out.storedHeight = height;
  // The library has turned the picture already; there is no tag to report.
  out.orientation = kOrientationUpright;
  return Status::Ok();
}

}  // namespace velmora
