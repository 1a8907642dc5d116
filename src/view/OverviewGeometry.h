// The overview window without its window: the whole mosaic fitted into the
// picture area (aspect kept) and the indicator, the part of the mosaic the
// main view shows, scaled by the same factor.
#pragma once

#include <cstdint>
#include <optional>

#include "view/ZoomPyramid.h"
#include "imaging/Bitmap24.h"
#include "imaging/Bitmap32.h"
#include "imaging/Geometry.h"

namespace velmora {

struct OverviewFit {
  double Scale = 0;  // min(aw / W, ah / H)
  int Width = 0;     // trunc(W x Scale)
  int Height = 0;    // trunc(H x Scale)
  TRect Indicator;   // each side of the view's rectangle x Scale, truncated
  friend bool operator==(const OverviewFit&, const OverviewFit&) = default;
};

// Nothing for a picture without pixels (or a picture area without any).
std::optional<OverviewFit> FitOverview(int areaWidth, int areaHeight, int pictureWidth, int pictureHeight,
                                       const TRect& viewRect);

// A frame one pixel wide along the inside of `rect` (right and bottom
// exclusive), clipped to the picture.
void DrawFrame(Bitmap24& picture, const TRect& rect, TColor32 color);

// The overview picture: the mosaic fitted into the area, with the indicator
// framed in `color` when `indicator` is set. False (and `out` untouched) when
// the mosaic has no pixels.
bool DrawOverview(const TBitmap32& mosaic, int areaWidth, int areaHeight, const TRect& viewRect,
                  bool indicator, TColor32 color, Bitmap24& out);
// The same picture size and indicator, the picture reduced from the smallest
// of the main view's reduced copies that is still at least its size, so a
// repaint reads a few times the overview's pixels instead of the whole
// mosaic. Without a pyramid built for `mosaic`, as above.
bool DrawOverview(const TBitmap32& mosaic, const ZoomPyramid* pyramid, int areaWidth, int areaHeight,
                  const TRect& viewRect, bool indicator, TColor32 color, Bitmap24& out);

}  // namespace velmora
