// Decoders of the plain raster formats, one file each: Windows icons,
// Truevision, ZSoft Paintbrush (and the screen captures in its format), SGI,
// Photoshop's merged image and the portable any-maps. Each decodes a whole
// file held in memory and fails with the reader's messages, the format's name
// filled in; none looks at the content to guess another format.
#pragma once

#include <cstdint>
#include <span>

#include "imaging/PictureReader.h"
#include "imaging/Status.h"

namespace velmora {

// ico: the largest, then deepest entry, stored as a device-independent bitmap
// (1, 4, 8, 24, 32 bits with the AND mask) or as PNG. Alpha is kept.
Status DecodeIco(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

// tga, win, vst, vda, icb: colour-mapped, true-colour and grey pictures,
// uncompressed or run-length encoded, from any origin corner. A 32-bit picture
// (or 16-bit one with an attribute bit) keeps its alpha.
Status DecodeTga(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

// pcx, pcc and (under the name SCR) scr: 1 to 4 bit planes of 1 bit, 2 and 4
// bits packed, 8 bits with the 256-colour palette, 24 bits as three planes.
Status DecodePcx(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);
Status DecodeScr(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

// sgi, rgba, rgb, bw: verbatim or run-length, 1 to 4 channels, 8 or 16 bits.
Status DecodeSgi(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

// psd, pdd: the merged image of bitmap, grey, duotone, indexed, RGB, CMYK and
// Lab files of 8 or 16 bits, raw or run-length.
Status DecodePsd(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

// ppm, pgm, pbm: P1 to P6 under any of the three extensions; the messages
// name the extension's format.
Status DecodePpm(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);
Status DecodePgm(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);
Status DecodePbm(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

}  // namespace velmora
