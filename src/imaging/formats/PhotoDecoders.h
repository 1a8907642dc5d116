// The formats today's cameras and phones write, each through its Debian
// library: WebP (libwebp), HEIF/HEIC/AVIF (libheif), JPEG XL (libjxl) and
// camera raw files (LibRaw). All of them decode from memory, come out opaque
// (alpha dropped, as for PNG) and upright unless hints.applyOrientation is off.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

#include "imaging/PictureLimits.h"
#include "imaging/PictureReader.h"
#include "imaging/Status.h"

namespace velmora {

// Lossless WebP and JPEG XL describe a flat picture of millions of pixels in a
// few hundred bytes, so the size a file claims cannot be tied to its length as
// tightly as for JPEG. Up to kPhotoPixelsAlwaysAllowed pixels (a 64 MiB
// bitmap) are taken from any file; beyond, the file must hold at least a byte
// per kMaxPhotoPixelsPerByte pixels. A few bytes can then never make the
// program allocate a gigabyte.
constexpr int64_t kPhotoPixelsAlwaysAllowed = int64_t(1) << 24;
constexpr int64_t kMaxPhotoPixelsPerByte = 4096;

inline Status CheckPhotoSize(int64_t width, int64_t height, size_t fileBytes, const char* formatName) {
  VELMORA_TRY(CheckPictureSize(width, height, formatName));
  const int64_t allowed = std::max(kPhotoPixelsAlwaysAllowed, int64_t(fileBytes) * kMaxPhotoPixelsPerByte);
  if (width * height > allowed)
    return Status::Error(
        Format("Cannot load image. The %s file of %zu bytes cannot hold a picture of %lld x %lld "
               "pixels.",
               formatName, fileBytes, static_cast<long long>(width), static_cast<long long>(height)));
  return Status::Ok();
}

// WebP, lossy and lossless; of an animation the first frame. The EXIF chunk's
// orientation is honoured. Scaled down while decoding to the smallest size
// hints.acceptScaled accepts, and further when that would not fit the
// thread's memory budget.
Status DecodeWebp(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

// The primary picture of a HEIF file (HEVC-coded .heic, AV1-coded .avif, as
// far as Debian's libheif decodes them), turned and mirrored by the file's
// own transformations (an EXIF orientation inside is ignored, as the format
// requires). With hints.acceptScaled set, the smallest thumbnail of it whose
// size is accepted, when there is one.
Status DecodeHeif(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

// JPEG XL, bare codestream or container, of an animation the first frame;
// the codestream's orientation is honoured.
Status DecodeJxl(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

// Camera raw files (.cr2, .cr3, .nef, .arw, .dng, .orf, .rw2, .raf). With
// hints.acceptScaled set (a library photo), the embedded JPEG preview is used
// when it is at least half the sensor's size, else the sensor data is
// developed at half size when that size is accepted; otherwise, and without
// the hint, at full size unless that would not fit the thread's memory
// budget. The camera's rotation is honoured either way.
//
// Each of these decoders charges its library's working memory to the
// thread's budget before the library allocates (PhotoBudget.h), and refuses
// a picture that could never fit it.
Status DecodeRaw(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

// Makes every pixel opaque: the photo decoders deliver B, G, R, A bytes
// straight into the bitmap and then drop the alpha.
inline void MakeOpaque(TBitmap32& bitmap) { bitmap.ResetAlpha(255); }

}  // namespace velmora
