#include "view/OverviewGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "imaging/PictureOps.h"

namespace velmora {
namespace {

int Scaled(int v, double s) {
  const double t = std::trunc(v * s);
  if (t >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (t <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(t);
}

}  // namespace

std::optional<OverviewFit> FitOverview(int areaWidth, int areaHeight, int pictureWidth, int pictureHeight,
                                       const TRect& viewRect) {
  if (pictureWidth <= 0 || pictureHeight <= 0) return std::nullopt;
  const double s = std::min(static_cast<double>(std::max(areaWidth, 0)) / pictureWidth,
                            static_cast<double>(std::max(areaHeight, 0)) / pictureHeight);
  OverviewFit fit;
  fit.Scale = s;
  fit.Width = Scaled(pictureWidth, s);
  fit.Height = Scaled(pictureHeight, s);
  if (fit.Width <= 0 || fit.Height <= 0) return std::nullopt;
  fit.Indicator = TRect{Scaled(viewRect.Left, s), Scaled(viewRect.Top, s), Scaled(viewRect.Right, s),
                        Scaled(viewRect.Bottom, s)};
  return fit;
}

void DrawFrame(Bitmap24& picture, const TRect& rect, TColor32 color) {
  if (rect.IsEmpty()) return;
  const uint8_t r = RedOf(color), g = GreenOf(color), b = BlueOf(color);
  // FillRect clips each edge to the picture.
  picture.FillRect(TRect{rect.Left, rect.Top, rect.Right, rect.Top + 1}, r, g, b);
  picture.FillRect(TRect{rect.Left, rect.Bottom - 1, rect.Right, rect.Bottom}, r, g, b);
  picture.FillRect(TRect{rect.Left, rect.Top, rect.Left + 1, rect.Bottom}, r, g, b);
  picture.FillRect(TRect{rect.Right - 1, rect.Top, rect.Right, rect.Bottom}, r, g, b);
}

bool DrawOverview(const TBitmap32& mosaic, int areaWidth, int areaHeight, const TRect& viewRect,
                  bool indicator, TColor32 color, Bitmap24& out) {
  const auto fit = FitOverview(areaWidth, areaHeight, mosaic.Width(), mosaic.Height(), viewRect);
  if (!fit) return false;
  Bitmap24 picture;
  // The same fit (and truncation) as FitOverview's sizes.
  FitToRect(mosaic, picture, TRect{0, 0, areaWidth, areaHeight});
  if (picture.Width() != fit->Width || picture.Height() != fit->Height) return false;
  if (indicator) DrawFrame(picture, fit->Indicator, color);
  out = std::move(picture);
  return true;
}

bool DrawOverview(const TBitmap32& mosaic, const ZoomPyramid* pyramid, int areaWidth, int areaHeight,
                  const TRect& viewRect, bool indicator, TColor32 color, Bitmap24& out) {
  if (!pyramid || !pyramid->Matches(mosaic))
    return DrawOverview(mosaic, areaWidth, areaHeight, viewRect, indicator, color, out);
  const auto fit = FitOverview(areaWidth, areaHeight, mosaic.Width(), mosaic.Height(), viewRect);
  if (!fit) return false;
  int level = 0;
  while (level < pyramid->Levels() && pyramid->Level(level + 1).Width() >= fit->Width &&
         pyramid->Level(level + 1).Height() >= fit->Height)
    ++level;
  const TBitmap32& source = level == 0 ? mosaic : pyramid->Level(level);
  Bitmap24 picture;
  if (!picture.SetSize(fit->Width, fit->Height).ok()) return false;
  AreaStretch(source, source.BoundsRect(), picture);
  if (indicator) DrawFrame(picture, fit->Indicator, color);
  out = std::move(picture);
  return true;
}

}  // namespace velmora
