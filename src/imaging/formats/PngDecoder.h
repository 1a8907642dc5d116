// PNG pictures through libpng: every colour type and bit depth, palettes with
// transparency, Adam7 interlacing. The picture keeps its stored colours (gamma
// is not applied) and alpha is dropped: every pixel comes out opaque.
#pragma once

#include <cstdint>
#include <span>

#include "imaging/PictureReader.h"
#include "imaging/Status.h"

namespace velmora {

// Sixteen-bit samples are scaled to eight bits with rounding (v / 257). A
// damaged file fails with the reader's PNG messages: CRC error, compression
// error, unexpected critical chunk, invalid palette, or a stream read error
// for a file that ends early.
Status DecodePng(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

// Deflate turns at most about 1032 output bytes out of one input byte, so a
// file shorter than its raw image data divided by this cannot hold the picture.
constexpr int64_t kMaxDeflateRatio = 1040;

}  // namespace velmora
