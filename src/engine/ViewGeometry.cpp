#include "engine/ViewGeometry.h"

#include <algorithm>

namespace velmora {

TRect VisibleRect(ViewPoint origin, int cw, int ch, int W, int H) {
  const int x0 = origin.X;
  const int y0 = origin.Y;
  return TRect{x0, y0, std::min(x0 + cw, W), std::min(y0 + ch, H)};
}

ViewPoint DraggedOrigin(ViewPoint pressOrigin, ViewPoint pressPoint, ViewPoint release, int cw, int ch,
                        int W, int H) {
  ViewPoint o{pressOrigin.X - (release.X - pressPoint.X), pressOrigin.Y - (release.Y - pressPoint.Y)};
  // The far edge first, then the near one, so a picture smaller than the
  // view ends at 0.
  if (o.X + cw > W) o.X = W - cw;
  if (o.Y + ch > H) o.Y = H - ch;
  o.X = std::max(o.X, 0);
  o.Y = std::max(o.Y, 0);
  return o;
}

std::string ViewStatusText(ViewPoint origin) {
  return std::string(kInitialStatusText) + " MainbmpPos x" + std::to_string(origin.X) + " y" +
         std::to_string(origin.Y);
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

std::optional<TRect> PenRectangle(ViewPoint pressPoint, ViewPoint release, ViewPoint origin, int finalWidth,
                                  int finalHeight) {
  TRect r{std::min(pressPoint.X, release.X) + origin.X, std::min(pressPoint.Y, release.Y) + origin.Y,
          std::max(pressPoint.X, release.X) + origin.X, std::max(pressPoint.Y, release.Y) + origin.Y};
  r.Left = std::max(r.Left, 0);
  r.Top = std::max(r.Top, 0);
  r.Right = std::min(r.Right, finalWidth - 1);
  r.Bottom = std::min(r.Bottom, finalHeight - 1);
  if (r.Right < r.Left || r.Bottom < r.Top) return std::nullopt;
  return r;
}

}  // namespace velmora
