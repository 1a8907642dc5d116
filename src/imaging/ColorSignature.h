// The 20-byte colour summary shared by library pictures and grid cells: four
// quadrant slots (top-left, top-right, bottom-left, bottom-right) and the
// overall mean, each blue, green, red, grey in that byte order.
#pragma once

#include <array>
#include <cstdint>

namespace velmora {

struct SigColor {
  uint8_t Blue = 0;
  uint8_t Green = 0;
  uint8_t Red = 0;
  uint8_t Grey = 0;
  friend constexpr bool operator==(const SigColor&, const SigColor&) = default;
};

enum SigSlot : int { sigTopLeft = 0, sigTopRight = 1, sigBottomLeft = 2, sigBottomRight = 3, sigMean = 4 };

struct ColorSignature {
  std::array<SigColor, 5> Slot{};

  const SigColor& Mean() const { return Slot[sigMean]; }
  // The 20 bytes in memory order.
  std::array<uint8_t, 20> Bytes() const;
  static ColorSignature FromBytes(const uint8_t* bytes20);
  friend constexpr bool operator==(const ColorSignature&, const ColorSignature&) = default;
};
static_assert(sizeof(SigColor) == 4);
static_assert(sizeof(ColorSignature) == 20);

// trunc(0.299 r + 0.587 g + 0.114 b), evaluated as ((r * 0.299) + (g * 0.587)) +
// (b * 0.114) in extended precision (long double has the 64-bit mantissa on
// x86-64), so equal channels 63, 126, 215, 229 and 252 give one less.
uint8_t GreyOf(int red, int green, int blue);

}  // namespace velmora
