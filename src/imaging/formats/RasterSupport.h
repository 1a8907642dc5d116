// Small pieces shared by the decoders of the plain raster formats (icons,
// Truevision, ZSoft, SGI, Photoshop, portable any-maps): the reader's failure
// messages filled with a format's name, sample scaling and the hand-over of
// the finished picture.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/Bitmap32.h"
#include "imaging/PictureReader.h"
#include "imaging/Status.h"

namespace velmora::raster {

// The file ends before what its header promises.
inline Status StreamError(const char* name) {
  return Status::Error(Format("Stream read error in %s file.", name));
}
// A header that is not this format's, or holds impossible values.
inline Status InvalidFormat(const char* name) {
  return Status::Error(Format("Cannot load image. Invalid or unexpected %s image format.", name));
}
// A valid variant this reader does not decode; `what` names it ("Compression 3").
inline Status NotSupported(const std::string& what, const char* name) {
  return Status::Error(Format("Cannot load image. %s not supported for %s files.", what.c_str(), name));
}
// Run-length data that overflows its row or picture, or stops short.
inline Status CompressionError(const char* name) {
  return Status::Error(Format("Cannot load image. Compression error found in %s file.", name));
}
// A palette too short for the indices that use it.
inline Status PaletteError(const char* name) {
  return Status::Error(Format("Cannot load image. Palette in %s file is invalid.", name));
}
// A pixel layout (depth, channel count, colour mode) the format does not define.
inline Status ColorFormatError(const char* name) {
  return Status::Error(Format("Invalid color format in %s file.", name));
}

// A 16-bit sample to 8 bits with rounding (65535 -> 255, 32896 -> 128).
constexpr uint8_t Scale16(uint32_t v) { return static_cast<uint8_t>((v * 255 + 32767) / 65535); }

// A 5-bit field to 8 bits (31 -> 255).
constexpr uint8_t Scale5(uint32_t v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }

// True when every pixel's alpha is 0: files whose alpha channel was never
// written (many writers leave it zero) are shown opaque rather than invisible.
inline bool AlphaAllZero(const TBitmap32& b) {
  for (TColor32 p : b.Pixels())
    if (AlphaOf(p) != 0) return false;
  return true;
}

// The end of every raster decoder: the finished bitmap moves into `out`,
// which takes its size as the stored size. With `opaqueWhenAllZero`, an alpha
// channel that is zero everywhere counts as none (see AlphaAllZero).
inline Status Deliver(TBitmap32& bitmap, bool alpha, DecodedPicture& out, bool opaqueWhenAllZero = true) {
  if (alpha && opaqueWhenAllZero && AlphaAllZero(bitmap)) {
    alpha = false;
    bitmap.ResetAlpha(255);
  }
  out.storedWidth = bitmap.Width();
  out.storedHeight = bitmap.Height();
  out.bitmap.TakePixels(bitmap);
  out.keepsAlpha = alpha;
  return Status::Ok();
}

}  // namespace velmora::raster
