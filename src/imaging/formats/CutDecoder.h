// Dr. Halo pictures (cut) with the palette of the .pal file beside them.
#pragma once

#include <cstdint>
#include <span>

#include "imaging/PictureReader.h"
#include "imaging/Status.h"

namespace velmora {

// Run-length lines of 8-bit indices. The colours come from the Dr. Halo
// palette file of the same name with the extension .pal (through
// hints.readCompanion); without one, or when that file is not a Dr. Halo
// palette, the indices are shown as grey levels.
Status DecodeCut(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

}  // namespace velmora
