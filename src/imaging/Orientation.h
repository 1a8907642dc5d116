// Upright pictures: the orientation tag that cameras write into JPEG (EXIF)
// and TIFF files, read without trusting its bytes, and the turn or mirror
// that brings the stored pixels upright.
#pragma once

#include <cstdint>
#include <span>

#include "imaging/Bitmap32.h"
#include "imaging/Status.h"

namespace velmora {

// The tag's values: 1 stored upright, 2 mirrored left-right, 3 turned half
// round, 4 mirrored top-bottom, 5 mirrored along the main diagonal, 6 to be
// turned a quarter clockwise, 7 mirrored along the other diagonal, 8 to be
// turned a quarter anticlockwise.
constexpr int kOrientationUpright = 1;

// Values 5 to 8 exchange width and height.
constexpr bool OrientationSwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// The orientation in the payload of a JPEG APP1 segment ("Exif\0\0" and a
// TIFF structure); 1 when the payload is not EXIF, has no orientation entry,
// or is damaged in any way. Never reads outside the payload.
int ExifOrientation(std::span<const uint8_t> app1);

// Turns or mirrors the bitmap as the orientation asks, so that it shows the
// picture upright. Values outside 2..8 leave it as it is. Fails (leaving the
// bitmap unchanged) only when memory for the turned copy is short.
Status ApplyOrientation(TBitmap32& bitmap, int orientation);

// What the JPEG and TIFF decoders do last: the bitmap turned by the picture's
// orientation, and the stored size given upright with it.
struct DecodedPicture;
Status TurnUpright(DecodedPicture& picture);

}  // namespace velmora
