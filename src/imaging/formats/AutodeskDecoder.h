// Autodesk Animator cels and pictures (cel, pic).
#pragma once

#include <cstdint>
#include <span>

#include "imaging/PictureReader.h"
#include "imaging/Status.h"

namespace velmora {

// The 32-byte header (magic 0x9119), the 256-colour palette and 8-bit
// indices, top row first. Palettes of 6-bit VGA levels are widened to 8 bits.
Status DecodeAutodesk(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

}  // namespace velmora
