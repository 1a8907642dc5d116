// Windows metafiles (wmf).
#pragma once

#include <cstdint>
#include <span>

#include "imaging/PictureReader.h"
#include "imaging/Status.h"

namespace velmora {

// Draws the metafile with libwmf onto white at its own size: the placeable
// header's bounding box at 96 dots per inch (the size Windows shows it at on
// a standard screen), or for a metafile without one the extent of what it
// draws, taken (as libwmf does) at 72 units per inch. A metafile whose size
// would pass kMaxMetafilePixels is drawn smaller, keeping its proportions.
// Records the library cannot draw are left out.
Status DecodeWmf(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

// Metafiles are drawings: a few bytes may ask for any size, so their pictures
// are held to a quarter of the pixel limit (64 megapixels, 8192 x 8192).
constexpr int64_t kMaxMetafilePixels = int64_t(1) << 26;

}  // namespace velmora
