// JPEG XL through libjxl's event-driven decoder, fed the whole file at once.
// The size is checked and the memory budget charged when the basic
// information arrives, before any pixel buffer exists; the first frame is
// decoded as 8-bit R, G, B, A straight into the bitmap, whose red and blue
// are then exchanged. The library keeps the stored orientation, so the turn
// is the reader's own, as for JPEG and TIFF.
//
// Debian's libjxl 0.7 cannot decode at a reduced size: a progressive flush
// after the 1:8 pass fills a full-size buffer all the same, and pixels
// handed over row by row through a callback make it keep the whole frame
// itself (908 MiB for an 8000 x 8000 photo, against 417 MiB into a buffer).
// A library photo is decoded whole, and refused when that cannot fit.
#include <jxl/decode.h>

#include <memory>

#include "imaging/LazyLibrary.h"
#include "imaging/LibraryStderr.h"
#include "imaging/Orientation.h"
#include "imaging/formats/PhotoBudget.h"
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

// The library's own memory while it decodes into our buffer, per pixel of
// the picture: /usr/bin/time on an 8000 x 8000 lossy photo (cjxl -d 1.5)
// gave 2.8 bytes beside the buffer, a 2000 x 2000 one 3.5, lossless ones
// under 1.
constexpr int64_t kLibraryBytesPerPixel = 4;

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
  // Grey pictures come out as R, G, B too; without alpha the fourth byte is 255.
  const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  bool haveBuffer = false;
  for (;;) {
    const JxlDecoderStatus status = JxlDecoderProcessInput(d);
    if (status == JXL_DEC_BASIC_INFO) {
      if (JxlDecoderGetBasicInfo(d, &info) != JXL_DEC_SUCCESS) return Status::Error(kInvalid);
      VELMORA_TRY(CheckPhotoSize(info.xsize, info.ysize, bytes.size(), "JPEG XL"));
      const int64_t pixels = int64_t(info.xsize) * info.ysize;
      VELMORA_TRY(
          ChargePhotoDecode("JPEG XL", info.xsize, info.ysize, pixels * kLibraryBytesPerPixel, pixels));
    } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
      size_t size = 0;
      if (info.xsize == 0 || JxlDecoderImageOutBufferSize(d, &format, &size) != JXL_DEC_SUCCESS ||
          size != size_t(info.xsize) * info.ysize * sizeof(TColor32))
        return Status::Error("Invalid color format in JPEG XL file.");
      VELMORA_TRY(out.bitmap.SetSizeForOverwrite(static_cast<int>(info.xsize), static_cast<int>(info.ysize)));
      if (JxlDecoderSetImageOutBuffer(d, &format, out.bitmap.ScanLine(0), size) != JXL_DEC_SUCCESS)
        return Status::Error("Invalid color format in JPEG XL file.");
      haveBuffer = true;
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
  if (!haveBuffer) return Status::Error(kInvalid);

  const int width = static_cast<int>(info.xsize);
  const int height = static_cast<int>(info.ysize);
  // R, G, B, A bytes to B, G, R, A, and opaque.
  for (TColor32& p : out.bitmap.Pixels()) p = Color32(BlueOf(p), GreenOf(p), RedOf(p));
  out.keepsAlpha = false;
  out.storedWidth = width;
  out.storedHeight = height;
  out.orientation = hints.applyOrientation && info.orientation >= 1 && info.orientation <= 8
                        ? static_cast<int>(info.orientation)
                        : kOrientationUpright;
  return TurnUpright(out);
}

}  // namespace velmora
