// Rectangles as the whole program uses them: left, top, right, bottom with the
// right and bottom edges excluded.
#pragma once

#include <algorithm>

namespace velmora {

struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;

  constexpr int Width() const { return Right - Left; }
  constexpr int Height() const { return Bottom - Top; }
  constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

constexpr TRect MakeRect(int left, int top, int right, int bottom) {
  return TRect{left, top, right, bottom};
}

constexpr TRect Intersect(const TRect& a, const TRect& b) {
  return TRect{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
               std::min(a.Bottom, b.Bottom)};
}

}  // namespace velmora
