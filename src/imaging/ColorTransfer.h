// Colour transfer: a cell picture recoloured by moving its colour statistics
// to its cell's rather than shifting it toward one flat colour. Each channel
// is mapped by one affine function, v' = mean' + s (v - mean), so the
// picture keeps its own light and dark and reads as a photo of the cell's
// colour. The work is done in sRGB with one spread factor taken from the
// luminance: the same shape as the map in CIELAB with a single scale, at the
// price of a 256-entry table per channel instead of a conversion per pixel.
#pragma once

#include <cstdint>

#include "imaging/Bitmap32.h"
#include "imaging/Geometry.h"

namespace velmora {

// Mean of each channel (8-bit units) and standard deviation of the
// luminance (0.299 R + 0.587 G + 0.114 B) over some pixels.
struct ColorStats {
  float Red = 0;
  float Green = 0;
  float Blue = 0;
  float Spread = 0;
};

// The statistics of `rect` in `picture` (clipped to it); all zero when
// nothing is left.
ColorStats StatsOf(const TBitmap32& picture, const TRect& rect);
ColorStats StatsOf(const TBitmap32& picture);

// The spread factor's limits. Below 1 a flat cell would wash the picture out
// again; above it a busy cell may sharpen a soft picture up to 1.6 times.
inline constexpr float kTransferSpreadMin = 1.0f;
inline constexpr float kTransferSpreadMax = 1.6f;

// The factor for a picture of spread `tile` in a cell of spread `cell`,
// raised by 1 / keep (clamped again) so that the share `keep` (0..1) of the
// picture an overlay leaves still shows the factor's spread.
float TransferSpreadFactor(float tile, float cell, float keep);

// x rounded half away from zero and clamped to 0..255: clamp(lround(x), 0,
// 255) without a call.
uint8_t RoundToByte(float x);

// Copies `source` into `target` (same size) recoloured from `tile` toward
// `cell` at `strength` percent (0 copies it, 100 the full transfer), then
// mirrored as asked; alpha becomes 255.
void TransferAndFlip(const TBitmap32& source, TBitmap32& target, const ColorStats& tile, const ColorStats& cell,
                     float spreadFactor, int strength, bool horizontal, bool vertical);

}  // namespace velmora
