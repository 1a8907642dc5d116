// Internal to the resampled draw: the alpha blend of one produced pixel over
// one target pixel, two channels per multiplication.
#pragma once

#include <cstdint>

#include "imaging/Bitmap32.h"

namespace velmora::resample {

// Every channel c (alpha included) becomes
//   ((F.c * a + 128) >> 8) + ((B.c * (255 - a) + 128) >> 8)
// for a weight a of 1..254. Red travels with blue and alpha with green, one
// channel per 16-bit lane: a lane holds at most 255 * 254 + 128 < 65536, and
// the two rounded halves of a channel add up to at most 255, so no lane ever
// carries into its neighbour.
constexpr TColor32 BlendPixel(TColor32 f, TColor32 b, uint32_t a) {
  constexpr uint32_t kLanes = 0x00FF00FFu;
  constexpr uint32_t kHalf = 0x00800080u;
  const uint32_t ia = 255 - a;
  const uint32_t rb =
      ((((f & kLanes) * a + kHalf) >> 8) & kLanes) + ((((b & kLanes) * ia + kHalf) >> 8) & kLanes);
  const uint32_t ag = (((((f >> 8) & kLanes) * a + kHalf) >> 8) & kLanes) +
                      (((((b >> 8) & kLanes) * ia + kHalf) >> 8) & kLanes);
  return rb | (ag << 8);
}

// The blend weight of a produced pixel: its alpha, scaled by a master alpha
// below 255. 0 means the target stays as it is.
constexpr uint32_t BlendWeight(TColor32 f, uint8_t masterAlpha) {
  const uint32_t a = f >> 24;
  return masterAlpha == 255 ? a : ((uint32_t(masterAlpha) + 1) * a) >> 8;
}

}  // namespace velmora::resample
