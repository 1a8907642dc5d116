// The arithmetic of the main view: which part of the mosaic it shows, where a
// right-button drag leaves the view's origin, which cell lies under a mouse
// position in each layout, and the rectangle a pen drag covers. The window only
// gathers mouse positions and sizes; these functions decide.
#pragma once

#include <optional>
#include <string>

#include "engine/Engine.h"
#include "engine/ProjectRecord.h"
#include "imaging/Geometry.h"

namespace velmora {

struct ViewPoint {
  int X = 0;
  int Y = 0;
  friend constexpr bool operator==(const ViewPoint&, const ViewPoint&) = default;
};

// The rectangle of a W x H picture shown 1:1 in a view of cw x ch whose
// top-left corner shows picture pixel `origin`: clipped to the picture, never
// scaled.
TRect VisibleRect(ViewPoint origin, int cw, int ch, int W, int H);

// The origin after a right-button drag from `pressPoint` to `release` (view
// coordinates) that began with the origin at `pressOrigin`: the picture
// follows the mouse, the far edges stop at the view's edges, and a picture
// smaller than the view sits at 0 in that direction.
ViewPoint DraggedOrigin(ViewPoint pressOrigin, ViewPoint pressPoint, ViewPoint release, int cw, int ch,
                        int W, int H);

// "Scale :100%" + " MainbmpPos x" + x + " y" + y.
std::string ViewStatusText(ViewPoint origin);
inline constexpr const char* kInitialStatusText = "Scale :100%";

// The cell (column, row) under picture position (x, y), with the peyote and
// brick rules for the shifted rows and columns, clamped into the grid.
CellPos ReleaseCell(const tmosaicproject& project, int x, int y);

// The pen rectangle of a drag from `pressPoint` to `release` (view
// coordinates) with the view at `origin`, in mosaic pixels, clamped to the
// picture (Right at most FinalWidth - 1, Bottom at most FinalHeight - 1).
// Nothing when the clamped rectangle is turned inside out, as a drag wholly
// beyond the right or bottom edge leaves it.
std::optional<TRect> PenRectangle(ViewPoint pressPoint, ViewPoint release, ViewPoint origin, int finalWidth,
                                  int finalHeight);

}  // namespace velmora
