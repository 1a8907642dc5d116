// JPEG pictures (jfif, jpg, jpe, jpeg) through the libjpeg API: baseline,
// progressive and arithmetic-coded files in grey, RGB, YCbCr, CMYK and YCCK,
// decoded straight into the bitmap, optionally reduced by DCT scaling.
#pragma once

#include <cstdint>
#include <span>

#include "imaging/PictureReader.h"
#include "imaging/Status.h"

namespace velmora {

// A damaged file fails with "JPEG error: " and the library's text for what
// it found wrong. A file that ends early is accepted: the missing part comes out grey,
// as in any viewer. With hints.acceptScaled set, the smallest of the scales
// 1/8, 2/8 ... 8/8 whose size it accepts is decoded (8/8 when none is).
Status DecodeJpeg(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

// The photo's EXIF thumbnail from the first bytes of a JPEG file (its
// segments up to the frame header), when hints.usePreviews and the
// thumbnail may stand in for the photo; false when the rest of the file is
// needed (no thumbnail, one that does not serve, a head that stops short).
bool DecodeJpegPreview(std::span<const uint8_t> head, const DecodeHints& hints, DecodedPicture& out);

// Pixels a JPEG file may claim per byte of its length. A real photograph
// needs about a byte per pixel; even a flat baseline picture needs a bit or two
// per 8x8 block, i.e. at most a few hundred pixels per byte. The limit refuses
// a few hundred bytes that claim a gigabyte-sized picture, which the library
// would otherwise "decode" as grey after allocating it.
constexpr int64_t kMaxJpegPixelsPerByte = 4096;
// Claims up to this many pixels are allowed whatever the file's length.
constexpr int64_t kJpegPixelsAlwaysAllowed = int64_t(1) << 22;
// A progressive file with more scans than this is refused: real files have
// about ten, and each scan costs a pass over the whole coefficient buffer.
constexpr int kMaxJpegScans = 1000;

}  // namespace velmora
