// Encapsulated PostScript pictures (eps).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/PictureReader.h"
#include "imaging/Status.h"

namespace velmora {

// Renders the PostScript through Ghostscript (`gs` on the PATH, run directly
// with -dSAFER, no shell, killed after kEpsRenderSeconds) at 72 dots per inch,
// cropped to the bounding box: one pixel per point, the file's own size (a
// file without %%BoundingBox comes out on Ghostscript's page, within the
// pixel limit). The child dies with the program (see EpsDecoder.cpp). When
// Ghostscript is missing, cannot render the file or external programs are
// not allowed (hints.allowExternalPrograms), the TIFF preview of a binary EPS
// header is decoded instead; without one the file fails with a message that
// names what is missing.
Status DecodeEps(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

constexpr int kEpsRenderSeconds = 30;

// The Ghostscript program the decoder would run, or an empty string.
std::string FindGhostscript();

}  // namespace velmora
