#include "view/ViewGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "imaging/Status.h"

namespace velmora {
namespace {

// Picture coordinates stay well inside int whatever the view's arithmetic gives.
int ToPixel(double v) {
  constexpr double kLimit = 1 << 30;
  return static_cast<int>(std::clamp(v, -kLimit, kLimit));
}

}  // namespace

double ClampZoom(double scale) {
  if (!(scale > 0)) return 1;  // also NaN
  return std::clamp(scale, kMinFitZoom, kMaxZoom);
}

double FitScale(int cw, int ch, int W, int H) {
  if (W <= 0 || H <= 0 || cw <= 0 || ch <= 0) return 1;
  return ClampZoom(std::min(static_cast<double>(cw) / W, static_cast<double>(ch) / H));
}

double StepZoom(double scale, int direction) {
  // A scale within a thousandth of a step counts as that step.
  constexpr double kSame = 1.001;
  if (direction > 0) {
    for (double step : kZoomSteps)
      if (step > scale * kSame) return step;
  } else if (direction < 0) {
    for (auto it = std::rbegin(kZoomSteps); it != std::rend(kZoomSteps); ++it)
      if (*it * kSame < scale) return *it;
  }
  return scale;
}

int PictureSpan(int viewPixels, double scale) {
  return std::max(0, ToPixel(std::floor(viewPixels / ClampZoom(scale))));
}

ViewPoint ViewToPicture(ViewPoint p, ViewPoint origin, double scale) {
  if (scale == 1) return ViewPoint{p.X + origin.X, p.Y + origin.Y};
  const double s = ClampZoom(scale);
  return ViewPoint{origin.X + ToPixel(std::floor(p.X / s)), origin.Y + ToPixel(std::floor(p.Y / s))};
}

TRect VisibleRect(ViewPoint origin, int cw, int ch, int W, int H, double scale) {
  const int x0 = origin.X;
  const int y0 = origin.Y;
  if (scale == 1) return TRect{x0, y0, std::min(x0 + cw, W), std::min(y0 + ch, H)};
  const double s = ClampZoom(scale);
  const int w = ToPixel(std::ceil(cw / s));
  const int h = ToPixel(std::ceil(ch / s));
  return TRect{x0, y0, std::min(x0 + w, W), std::min(y0 + h, H)};
}

ViewPoint ClampOrigin(ViewPoint o, int cw, int ch, int W, int H, double scale) {
  const int spanW = scale == 1 ? cw : PictureSpan(cw, scale);
  const int spanH = scale == 1 ? ch : PictureSpan(ch, scale);
  // The far edge first, then the near one, so a picture smaller than the
  // view ends at 0.
  if (o.X + spanW > W) o.X = W - spanW;
  if (o.Y + spanH > H) o.Y = H - spanH;
  o.X = std::max(o.X, 0);
  o.Y = std::max(o.Y, 0);
  return o;
}

ViewPoint DraggedOrigin(ViewPoint pressOrigin, ViewPoint pressPoint, ViewPoint release, int cw, int ch, int W,
                        int H, double scale) {
  ViewPoint o;
  if (scale == 1) {
    o = ViewPoint{pressOrigin.X - (release.X - pressPoint.X), pressOrigin.Y - (release.Y - pressPoint.Y)};
  } else {
    const double s = ClampZoom(scale);
    o = ViewPoint{pressOrigin.X - ToPixel(std::lround((release.X - pressPoint.X) / s)),
                  pressOrigin.Y - ToPixel(std::lround((release.Y - pressPoint.Y) / s))};
  }
  return ClampOrigin(o, cw, ch, W, H, scale);
}

ViewPoint PictureOffset(int cw, int ch, int W, int H, double scale) {
  const double s = ClampZoom(scale);
  const auto half = [s](int view, int picture) {
    const double spare = view - picture * s;
    return spare > 0 ? ToPixel(std::floor(spare / 2)) : 0;
  };
  return ViewPoint{half(cw, W), half(ch, H)};
}

TRect PictureToViewRect(const TRect& r, ViewPoint origin, ViewPoint offset, double scale) {
  const double s = ClampZoom(scale);
  const auto x = [&](int px) { return offset.X + ToPixel(std::lround((px - origin.X) * s)); };
  const auto y = [&](int py) { return offset.Y + ToPixel(std::lround((py - origin.Y) * s)); };
  return TRect{x(r.Left), y(r.Top), x(r.Right), y(r.Bottom)};
}

ViewPoint ZoomedOrigin(ViewPoint origin, ViewPoint anchor, double oldScale, double newScale, int cw, int ch,
                       int W, int H) {
  const double so = ClampZoom(oldScale);
  const double sn = ClampZoom(newScale);
  // The picture position under the anchor, with its fraction, stays there;
  // the anchor is measured from the picture's corner at each scale.
  const ViewPoint offOld = PictureOffset(cw, ch, W, H, so);
  const ViewPoint offNew = PictureOffset(cw, ch, W, H, sn);
  const double px = origin.X + (anchor.X - offOld.X) / so;
  const double py = origin.Y + (anchor.Y - offOld.Y) / so;
  const ViewPoint o{ToPixel(std::floor(px - (anchor.X - offNew.X) / sn + 0.5)),
                    ToPixel(std::floor(py - (anchor.Y - offNew.Y) / sn + 0.5))};
  return ClampOrigin(o, cw, ch, W, H, sn);
}

ViewPoint CentredOrigin(ViewPoint centre, int cw, int ch, int W, int H, double scale) {
  const ViewPoint o{centre.X - PictureSpan(cw, scale) / 2, centre.Y - PictureSpan(ch, scale) / 2};
  return ClampOrigin(o, cw, ch, W, H, scale);
}

ViewPoint KeyScrolledOrigin(ViewPoint origin, ScrollKey key, int cw, int ch, int W, int H, double scale) {
  const double s = ClampZoom(scale);
  const int step = std::max(1, ToPixel(std::lround(kScrollStep / s)));
  const int pageW = std::max(1, PictureSpan(cw, s));
  const int pageH = std::max(1, PictureSpan(ch, s));
  ViewPoint o = origin;
  switch (key) {
    case ScrollKey::Left: o.X -= step; break;
    case ScrollKey::Right: o.X += step; break;
    case ScrollKey::Up: o.Y -= step; break;
    case ScrollKey::Down: o.Y += step; break;
    case ScrollKey::PageLeft: o.X -= pageW; break;
    case ScrollKey::PageRight: o.X += pageW; break;
    case ScrollKey::PageUp: o.Y -= pageH; break;
    case ScrollKey::PageDown: o.Y += pageH; break;
    case ScrollKey::Home: o = ViewPoint{0, 0}; break;
    // Beyond the picture: the clamp leaves its far edges at the view's.
    case ScrollKey::End: o = ViewPoint{W, H}; break;
  }
  return ClampOrigin(o, cw, ch, W, H, s);
}

TRect FirstWindowRect(const TRect& available, int minWidth, int minHeight) {
  const int aw = std::max(0, available.Width());
  const int ah = std::max(0, available.Height());
  const int w = std::min(aw, std::max(minWidth, aw * 4 / 5));
  const int h = std::min(ah, std::max(minHeight, ah * 4 / 5));
  const int left = available.Left + (aw - w) / 2;
  const int top = available.Top + (ah - h) / 2;
  return TRect{left, top, left + w, top + h};
}

std::string ZoomPercentText(double scale) {
  const double percent = scale * 100;
  if (percent >= 9.95) return std::to_string(std::lround(percent));
  return Format("%.1f", percent);
}

std::string ViewStatusText(ViewPoint origin, double scale) {
  const std::string scaleText =
      scale == 1 ? std::string(kInitialStatusText) : "Scale :" + ZoomPercentText(scale) + "%";
  return scaleText + " MainbmpPos x" + std::to_string(origin.X) + " y" + std::to_string(origin.Y);
}

CellPos ReleaseCell(const tmosaicproject& p, int x, int y) {
  const int cw = std::max(1, p.CellWidth);
  const int ch = std::max(1, p.CellHeight);
  const int ca = p.CellsAcross;
  const int cd = p.CellsDown;
  // Positions left of or above the picture count as its first column or
  // row; division of a negative number would otherwise round toward it.
  const int px = std::max(x, 0);
  const int py = std::max(y, 0);
  int column = px / cw;
  int row = py / ch;
  // Odd peyote rows are drawn half a cell to the left, their first cell also
  // filling the row's last half cell; odd brick columns likewise upward.
  if (p.StitchMode == kStitchPeyote && row % 2 == 1) {
    if (px % cw > cw / 2) column = (px + cw / 2) / cw;
    if (px > ca * cw - cw / 2) column = 0;
  }
  if (p.StitchMode == kStitchBrick && column % 2 == 1) {
    if (py % ch > ch / 2) row = (py + ch / 2) / ch;
    if (py > cd * ch - ch / 2) row = 0;
  }
  return CellPos{std::clamp(column, 0, std::max(ca - 1, 0)), std::clamp(row, 0, std::max(cd - 1, 0))};
}

CellPos TileUnder(const tmosaicproject& p, MaskShape shape, int x, int y) {
  const bool peyote = p.StitchMode == kStitchPeyote, brick = p.StitchMode == kStitchBrick;
  if (shape != MaskShape::kHexagon || !(peyote || brick)) return ReleaseCell(p, x, y);
  const int64_t cw = std::max(1, p.CellWidth), ch = std::max(1, p.CellHeight);
  const int64_t spanX = int64_t(std::max(1, p.CellsAcross)) * cw;
  const int64_t spanY = int64_t(std::max(1, p.CellsDown)) * ch;
  // The candidates: the cell under the point and the cells half a cell
  // above and below it (peyote) or beside it (brick), where the hexagons
  // of the shifted rows or columns reach. Distances in twice the pixels,
  // with the shifted first cell's wrap to the far end counted.
  CellPos best = ReleaseCell(p, x, y);
  double bestDistance = INFINITY;
  for (int step = -1; step <= 1; ++step) {
    const CellPos c = peyote ? ReleaseCell(p, x, int(y + step * ch / 2)) : ReleaseCell(p, int(x + step * cw / 2), y);
    int64_t cx = 2 * c.X * cw + cw, cy = 2 * c.Y * ch + ch;
    if (peyote && c.Y % 2 == 1) cx -= cw;
    if (brick && c.X % 2 == 1) cy -= ch;
    int64_t dx = std::abs(2 * int64_t(x) + 1 - cx), dy = std::abs(2 * int64_t(y) + 1 - cy);
    if (peyote) dx = std::min(dx, std::abs(2 * spanX - dx));
    if (brick) dy = std::min(dy, std::abs(2 * spanY - dy));
    // Stretched so that the hexagons are regular, where the nearest centre
    // is the hexagon's own.
    const double k = kHoneycombRatio * (peyote ? double(cw) / double(ch) : double(ch) / double(cw));
    const double ex = peyote ? double(dx) : k * double(dx), ey = peyote ? k * double(dy) : double(dy);
    const double d = ex * ex + ey * ey;
    if (d < bestDistance) {
      bestDistance = d;
      best = c;
    }
  }
  return best;
}

std::optional<TRect> PenRectangle(ViewPoint pressPoint, ViewPoint release, ViewPoint origin, int finalWidth,
                                  int finalHeight, double scale) {
  // Picture positions grow with view positions, so the corners' order is kept.
  const ViewPoint a = ViewToPicture(pressPoint, origin, scale);
  const ViewPoint b = ViewToPicture(release, origin, scale);
  TRect r{std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X), std::max(a.Y, b.Y)};
  r.Left = std::max(r.Left, 0);
  r.Top = std::max(r.Top, 0);
  r.Right = std::min(r.Right, finalWidth - 1);
  r.Bottom = std::min(r.Bottom, finalHeight - 1);
  if (r.Right < r.Left || r.Bottom < r.Top) return std::nullopt;
  return r;
}

}  // namespace velmora
