// Paint Shop Pro pictures (psp).
#pragma once

#include <cstdint>
#include <span>

#include "imaging/PictureReader.h"
#include "imaging/Status.h"

namespace velmora {

// Files of version 3 and later (written by the program's version 5 on): the
// raster layers flattened in order with their opacity, visibility and
// transparency masks, uncompressed, run-length or LZ77 (zlib) coded, at 8
// bits per channel (grey, a palette of up to 256 colours, or RGB). Blend
// modes other than normal are drawn as normal; vector and adjustment layers
// are left out. keepsAlpha is set when the flattened picture is transparent
// anywhere.
Status DecodePsp(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

}  // namespace velmora
