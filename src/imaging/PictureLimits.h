// The fixed pixel budget every decoder checks before it allocates.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/Status.h"

namespace velmora {

// 2^28 pixels (1 GiB as TBitmap32, e.g. 16384 x 16384), and no side beyond
// 65535: a header that claims more is refused before any buffer exists.
constexpr int64_t kMaxPicturePixels = int64_t(1) << 28;
constexpr int64_t kMaxPictureSide = 65535;

// Ok when width x height is a picture we are willing to allocate; otherwise a
// message naming the format and the size found.
inline Status CheckPictureSize(int64_t width, int64_t height, const char* formatName) {
  if (width <= 0 || height <= 0)
    return Status::Error(Format("Cannot load image. Invalid or unexpected %s image format.", formatName));
  if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels)
    return Status::Error(Format("Cannot load image. The %s picture of %lld x %lld pixels is larger than the "
                                "limit of %lld pixels.",
                                formatName, static_cast<long long>(width), static_cast<long long>(height),
                                static_cast<long long>(kMaxPicturePixels)));
  return Status::Ok();
}

}  // namespace velmora
