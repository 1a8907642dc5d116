// The arithmetic of the main view: which part of the mosaic it shows, where a
// right-button drag leaves the view's origin, which cell lies under a mouse
// position in each layout, and the rectangle a pen drag covers. The window only
// gathers mouse positions and sizes; these functions decide.
//
// The view shows the picture at a scale (view pixels per picture pixel). The
// origin stays a picture pixel; a view position X lies over picture pixel
// origin + floor(X / scale). At scale 1 every function gives exactly what the
// unscaled view always gave.
#pragma once

#include <optional>
#include <string>

#include "engine/CellMask.h"
#include "engine/Engine.h"
#include "engine/ProjectRecord.h"
#include "imaging/Geometry.h"

namespace velmora {

struct ViewPoint {
  int X = 0;
  int Y = 0;
  friend constexpr bool operator==(const ViewPoint&, const ViewPoint&) = default;
};

// The zoom steps, from 1/16 to 8; "fit" lies anywhere between.
inline constexpr double kZoomSteps[] = {1.0 / 16, 1.0 / 8, 1.0 / 4, 1.0 / 2, 1, 2, 4, 8};
inline constexpr double kMinZoom = 1.0 / 16;
inline constexpr double kMaxZoom = 8;
// Fit may go below the smallest step for a picture many times the view's size.
inline constexpr double kMinFitZoom = 1.0 / 256;

// The scale that shows the whole W x H picture in a cw x ch view, at most 8.
double FitScale(int cw, int ch, int W, int H);
// The next step above (direction > 0) or below the scale; the scale itself
// when there is none.
double StepZoom(double scale, int direction);
// A scale brought into the range the view draws (kMinFitZoom..kMaxZoom).
double ClampZoom(double scale);

// How many picture pixels a view extent of `viewPixels` covers wholly:
// floor(viewPixels / scale), at least 0.
int PictureSpan(int viewPixels, double scale);
// The picture pixel under view position `p`.
ViewPoint ViewToPicture(ViewPoint p, ViewPoint origin, double scale = 1);

// The rectangle of a W x H picture shown in a view of cw x ch whose top-left
// corner shows picture pixel `origin`: clipped to the picture. At scale 1 it
// is the 1:1 copy's rectangle; at other scales it also holds the partly
// visible pixel at the right and bottom.
TRect VisibleRect(ViewPoint origin, int cw, int ch, int W, int H, double scale = 1);

// The origin brought within the picture as a drag's release leaves it: the
// far edges stop at the view's edges, then a negative coordinate becomes 0.
ViewPoint ClampOrigin(ViewPoint origin, int cw, int ch, int W, int H, double scale = 1);

// The origin after a right-button drag from `pressPoint` to `release` (view
// coordinates) that began with the origin at `pressOrigin`: the picture
// follows the mouse, the far edges stop at the view's edges, and a picture
// smaller than the view sits at 0 in that direction.
// At other scales the picture moves by the mouse's travel divided by the
// scale, so it stays under the mouse. The same function serves the live drag
// (each move) and the release, so a drag ends where a release-only drag would.
ViewPoint DraggedOrigin(ViewPoint pressOrigin, ViewPoint pressPoint, ViewPoint release, int cw, int ch, int W,
                        int H, double scale = 1);

// Where the picture's top-left corner lies in the view: in a direction where
// the whole W x H picture is smaller than the cw x ch view at the scale, half
// the space left over (the picture sits in the middle); elsewhere 0, and the
// origin says which part shows.
ViewPoint PictureOffset(int cw, int ch, int W, int H, double scale = 1);

// The view rectangle that shows picture pixels `r` (Right and Bottom
// excluded) with the view at `origin` and the picture at `offset`; not
// clipped to the view.
TRect PictureToViewRect(const TRect& r, ViewPoint origin, ViewPoint offset, double scale = 1);

// The origin after a zoom from `oldScale` to `newScale` that keeps the
// picture pixel under view position `anchor` where it is, clamped. The
// picture's offset at each scale is taken into account.
ViewPoint ZoomedOrigin(ViewPoint origin, ViewPoint anchor, double oldScale, double newScale, int cw, int ch,
                       int W, int H);
// The origin that puts picture pixel `centre` in the middle of the view, clamped.
ViewPoint CentredOrigin(ViewPoint centre, int cw, int ch, int W, int H, double scale);

// The moves of the keyboard: a step, a page (the view's height, or its width
// sideways), or to a corner of the picture.
enum class ScrollKey { Left, Right, Up, Down, PageUp, PageDown, PageLeft, PageRight, Home, End };
// One arrow key or wheel notch moves the picture this many view pixels.
inline constexpr int kScrollStep = 48;
// The origin after `key`, clamped; Home shows the top-left corner and End the
// bottom-right one.
ViewPoint KeyScrolledOrigin(ViewPoint origin, ScrollKey key, int cw, int ch, int W, int H, double scale = 1);

// The main window's place at the first start, on a desktop whose free area is
// `available`: 80 % of it each way, at least minWidth x minHeight, at most
// the whole area, in its middle.
TRect FirstWindowRect(const TRect& available, int minWidth, int minHeight);

// "Scale :" + percent + "%" + " MainbmpPos x" + x + " y" + y; the percent is
// a whole number, with one decimal below 10 %.
std::string ViewStatusText(ViewPoint origin, double scale = 1);
std::string ZoomPercentText(double scale);
inline constexpr const char* kInitialStatusText = "Scale :100%";

// The cell (column, row) under picture position (x, y), with the peyote and
// brick rules for the shifted rows and columns, clamped into the grid.
CellPos ReleaseCell(const tmosaicproject& project, int x, int y);
// The tile under (x, y) when the tiles have `shape`: for hexagons on the
// peyote or brick layout (a honeycomb, whose points reach into the rows or
// columns around) the cell whose hexagon is nearest, so a click on a point
// or in the gap line selects the tile it belongs to; otherwise ReleaseCell.
CellPos TileUnder(const tmosaicproject& project, MaskShape shape, int x, int y);

// The pen rectangle of a drag from `pressPoint` to `release` (view
// coordinates) with the view at `origin`, in mosaic pixels, clamped to the
// picture (Right at most FinalWidth - 1, Bottom at most FinalHeight - 1).
// Nothing when the clamped rectangle is turned inside out, as a drag wholly
// beyond the right or bottom edge leaves it.
// At other scales both corners are picture pixels under the mouse.
std::optional<TRect> PenRectangle(ViewPoint pressPoint, ViewPoint release, ViewPoint origin, int finalWidth,
                                  int finalHeight, double scale = 1);

}  // namespace velmora
