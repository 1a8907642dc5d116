// Kodak Photo CD pictures (pcd).
#pragma once

#include <cstdint>
#include <span>

#include "imaging/PictureReader.h"
#include "imaging/Status.h"

namespace velmora {

// The base resolution (768 x 512) from PhotoYCC to RGB, turned upright by the
// file's rotation code. The larger, Huffman-coded resolutions are not read.
Status DecodePcd(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

}  // namespace velmora
