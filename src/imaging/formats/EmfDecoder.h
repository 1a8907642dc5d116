// Windows enhanced metafiles (emf).
#pragma once

#include <cstdint>
#include <span>

#include "imaging/PictureReader.h"
#include "imaging/Status.h"

namespace velmora {

// Draws the metafile onto white at its own size: the header's frame at 96
// dots per inch, held to kMaxMetafilePixels (a larger one is drawn smaller).
// Drawn: embedded bitmaps (StretchDIBits, SetDIBitsToDevice, BitBlt,
// StretchBlt, with the copy, and, or, xor raster operations and the
// source-less pattern, black and white fills), rectangles, ellipses,
// polygons, polylines and paths of lines and Bézier curves with solid pens
// and brushes, under the mapping modes, window and viewport settings, world
// transforms and saved states. Records outside that set (text, gradients,
// regions, clipping other than rectangles) are left out.
Status DecodeEmf(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

}  // namespace velmora
