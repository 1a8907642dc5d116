// Previews cameras embed in their photos: a JPEG's EXIF thumbnail (about
// 160 x 120) and a HEIF file's thumbnail item (about 320 x 240). A library
// photo only needs a cell's worth of pixels, so such a preview can stand in
// for decoding millions of pixels, but only when it shows the same picture:
// the photo's shape (after the black bars some cameras put around a preview
// of another shape are trimmed), no larger than the photo, and large enough
// for what the caller asks (DecodeHints::acceptScaled). An edited photo whose
// program left the old thumbnail behind is not caught when its shape did
// not change; turning previews off reads every photo in full.
#pragma once

#include <cstdint>
#include <span>

#include "imaging/Bitmap32.h"
#include "imaging/PictureReader.h"

namespace velmora {

// The JPEG thumbnail a JPEG APP1 segment's EXIF data holds in its second
// image directory (JPEGInterchangeFormat and its length); empty when there
// is none or the data is damaged in any way. Never reads outside `app1`.
std::span<const uint8_t> ExifThumbnail(std::span<const uint8_t> app1);

// True when `preview` (already turned upright as the photo is) may serve for
// an upright photo of photoWidth x photoHeight under `hints`. Trims black
// bars from the preview when only the trimmed picture has the photo's shape.
bool AcceptPreview(TBitmap32& preview, int photoWidth, int photoHeight, const DecodeHints& hints);

}  // namespace velmora
