// The renderer's overlay of the main picture on a cell picture, drawn and
// made opaque in one pass over the rows.
#pragma once

#include <cstdint>

#include "imaging/Bitmap32.h"
#include "imaging/Geometry.h"
#include "imaging/Status.h"

namespace velmora {

// Draws `sourceRect` of `source` over the whole of `target` as
// source.DrawTo(target, target.BoundsRect(), sourceRect) does, then leaves
// every pixel of `target` opaque, as target.ResetAlpha(255) would. Every pixel
// of `source` must have alpha `alpha` (the main picture after ResetAlpha):
// the blend then uses that one weight without looking at the pixels.
Status DrawOverlayOpaque(const TBitmap32& source, const TRect& sourceRect, TBitmap32& target, uint8_t alpha);

}  // namespace velmora
