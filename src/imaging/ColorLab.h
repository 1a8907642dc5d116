// CIELAB (D65 white, sRGB primaries) for judging how alike two colours look:
// the quality measure, the library check and bead palettes all compare
// colours here rather than in RGB, where equal steps are not equal to the eye.
#pragma once

#include <cstdint>

namespace velmora {

struct LabColor {
  float L = 0;  // 0 (black) .. 100 (white)
  float A = 0;  // green (-) .. red (+)
  float B = 0;  // blue (-) .. yellow (+)
};

// A colour averaged over several pixels (a cell of the grid, say), in 8-bit
// sRGB units, not rounded.
struct CellColor {
  float Red = 0;
  float Green = 0;
  float Blue = 0;
};

// An 8-bit sRGB colour in CIELAB; exact to float precision, from a table of
// the 256 linearised channel values.
LabColor LabFromRgb(uint8_t red, uint8_t green, uint8_t blue);
// The same for a colour already averaged in 8-bit sRGB units (0..255, not
// rounded), as a cell's mean is.
LabColor LabFromRgbF(float red, float green, float blue);

// CIE76 colour difference: Euclidean distance in CIELAB. About 2.3 is the
// smallest difference most people notice side by side.
float DeltaE76(const LabColor& a, const LabColor& b);
// Its square, for sums and nearest searches that need no root.
float DeltaE76Squared(const LabColor& a, const LabColor& b);
// CIEDE2000 colour difference (kL = kC = kH = 1): CIE76 corrected for the
// eye's weaker sense of differences in light, saturated and blue colours.
// About 1 is just noticeable. Worked in double precision.
double DeltaE2000(const LabColor& a, const LabColor& b);

}  // namespace velmora
