// JPEG XL through libjxl's event-driven decoder, fed the whole file at once.
// The size is checked when the basic information arrives, before any pixel
// buffer exists; the first frame is decoded to 8-bit grey or R, G, B and
// spread into the bitmap. The library keeps the stored orientation, so the
// turn is the reader's own, as for JPEG and TIFF.
#include <jxl/decode.h>

#include <memory>
#include <vector>

#include "imaging/LazyLibrary.h"
#include "imaging/LibraryStderr.h"
#include "imaging/Orientation.h"
#include "imaging/formats/PhotoDecoders.h"

namespace velmora {

namespace {

// The library's functions, bound when the first such picture is read.
#define VELMORA_JXL_CALLS(X)      \
  X(JxlDecoderCloseInput)         \
  X(JxlDecoderCreate)             \
  X(JxlDecoderDestroy)            \
  X(JxlDecoderGetBasicInfo)       \
  X(JxlDecoderImageOutBufferSize) \
  X(JxlDecoderProcessInput)       \
  X(JxlDecoderSetImageOutBuffer)  \
  X(JxlDecoderSetInput)           \
  X(JxlDecoderSetKeepOrientation) \
  X(JxlDecoderSubscribeEvents)    \
  X(JxlSignatureCheck)

VELMORA_JXL_CALLS(VELMORA_LAZY_DECLARE)

Status OpenLibjxl() {
  static LazyLibrary library("libjxl.so.0.7",
                             "Cannot load image. JPEG XL pictures need libjxl (Debian package libjxl0.7)");
  return library.Open([](void* handle) {
    if (!(true VELMORA_JXL_CALLS(VELMORA_LAZY_BIND))) return false;
    // Debian's libjxl prints a line for every check that fails on a damaged
    // file; the reader's own message names the file once. Only the lines
    // before an abort still reach the terminal.
    FilterLibraryStderr(handle, {"JXL_ABORT", "JXL_ASSERT", "JXL_CHECK", "JXL_DASSERT"});
    return true;
  });
}

constexpr const char* kInvalid = "Cannot load image. Invalid or unexpected JPEG XL image format.";

struct DecoderDeleter {
  void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};

}  // namespace

Status DecodeJxl(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out) {
  VELMORA_TRY(OpenLibjxl());
  const JxlSignature signature = JxlSignatureCheck(bytes.data(), bytes.size());
  if (signature != JXL_SIG_CODESTREAM && signature != JXL_SIG_CONTAINER) return Status::Error(kInvalid);
  std::unique_ptr<JxlDecoder, DecoderDeleter> decoder(JxlDecoderCreate(nullptr));
  if (!decoder) return Status::Error("Cannot load image. Out of memory for JPEG XL file.");
  JxlDecoder* d = decoder.get();
  if (JxlDecoderSubscribeEvents(d, JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
      JxlDecoderSetKeepOrientation(d, JXL_TRUE) != JXL_DEC_SUCCESS ||
      JxlDecoderSetInput(d, bytes.data(), bytes.size()) != JXL_DEC_SUCCESS)
    return Status::Error(kInvalid);
  JxlDecoderCloseInput(d);

  JxlBasicInfo info{};
  JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  std::vector<uint8_t> samples;
  for (;;) {
    const JxlDecoderStatus status = JxlDecoderProcessInput(d);
    if (status == JXL_DEC_BASIC_INFO) {
      if (JxlDecoderGetBasicInfo(d, &info) != JXL_DEC_SUCCESS) return Status::Error(kInvalid);
      VELMORA_TRY(CheckPhotoSize(info.xsize, info.ysize, bytes.size(), "JPEG XL"));
      format.num_channels = info.num_color_channels == 1 ? 1 : 3;
    } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
      size_t size = 0;
      if (info.xsize == 0 || JxlDecoderImageOutBufferSize(d, &format, &size) != JXL_DEC_SUCCESS ||
          size != size_t(info.xsize) * info.ysize * format.num_channels)
        return Status::Error("Invalid color format in JPEG XL file.");
      samples.resize(size);
      if (JxlDecoderSetImageOutBuffer(d, &format, samples.data(), samples.size()) != JXL_DEC_SUCCESS)
        return Status::Error("Invalid color format in JPEG XL file.");
    } else if (status == JXL_DEC_FULL_IMAGE) {
      break;  // the first frame is the picture
    } else if (status == JXL_DEC_NEED_MORE_INPUT) {
      return Status::Error("Stream read error in JPEG XL file.");
    } else if (status == JXL_DEC_SUCCESS) {
      return Status::Error(kInvalid);  // ended without a frame
    } else if (status == JXL_DEC_ERROR) {
      return Status::Error("Cannot load image. Compression error found in JPEG XL file.");
    }
  }
  if (samples.empty()) return Status::Error(kInvalid);

  const int width = static_cast<int>(info.xsize);
  const int height = static_cast<int>(info.ysize);
  VELMORA_TRY(out.bitmap.SetSize(width, height));
  const uint8_t* src = samples.data();
  for (int y = 0; y < height; ++y) {
    TColor32* dst = out.bitmap.ScanLine(y);
    if (format.num_channels == 1) {
      for (int x = 0; x < width; ++x, ++src) dst[x] = Color32(src[0], src[0], src[0]);
    } else {
      for (int x = 0; x < width; ++x, src += 3) dst[x] = Color32(src[0], src[1], src[2]);
    }
  }
  out.keepsAlpha = false;
  out.storedWidth = width;
  out.storedHeight = height;
  out.orientation = hints.applyOrientation && info.orientation >= 1 && info.orientation <= 8
                        ? static_cast<int>(info.orientation)
                        : kOrientationUpright;
  return TurnUpright(out);
}

}  // namespace velmora
