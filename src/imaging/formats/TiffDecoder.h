// TIFF pictures (tiff, tif, and fax files, which are TIFF files with CCITT
// compression) through libtiff, read from memory: strips and tiles, the
// compressions this libtiff was built with, bilevel, palette, grey, RGB and
// RGBA at 8 and 16 bits, YCbCr and CMYK. Only the first picture of a
// multi-page file is read.
#pragma once

#include <cstdint>
#include <span>

#include "imaging/PictureReader.h"
#include "imaging/Status.h"

namespace velmora {

// The picture comes out top row first whatever its Orientation tag says, with
// alpha dropped and the colours as stored (an unassociated alpha channel is
// not multiplied in). Failures use the reader's messages with the name "TIFF".
Status DecodeTiff(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

}  // namespace velmora
