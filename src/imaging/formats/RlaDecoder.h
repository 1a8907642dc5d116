// Alias/Wavefront run-length pictures (rpf, rla).
#pragma once

#include <cstdint>
#include <span>

#include "imaging/PictureReader.h"
#include "imaging/Status.h"

namespace velmora {

// Grey (one colour channel) or RGB, 1 to 16 bits per channel, with the first
// matte channel as alpha (keepsAlpha is set when there is one). Auxiliary
// channels (depth and the like) are skipped; float channels are refused.
Status DecodeRla(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

}  // namespace velmora
