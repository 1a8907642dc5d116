// The main view's arithmetic: the cell under a position in each layout, the
// origin after a right-button drag, the visible rectangle and the pen drag.
#include "engine/ViewGeometry.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

tmosaicproject Grid(int stitch, int ca = 10, int cd = 8, int cw = 20, int ch = 16) {
  tmosaicproject p = DefaultProject();
  p.StitchMode = stitch;
  p.CellsAcross = ca;
  p.CellsDown = cd;
  p.CellWidth = cw;
  p.CellHeight = ch;
  ComputeDerivedSizes(p);
  return p;
}

TEST(ReleaseCell, FollowsEachLayoutsShiftedRowsAndColumns) {
  // 10 x 8 cells of 20 x 16: half a cell is 10 wide and 8 high.
  const struct {
    int stitch, x, y, column, row;
  } cases[] = {
      {kStitchLoom, 0, 0, 0, 0},
      {kStitchLoom, 45, 17, 2, 1},
      {kStitchLoom, 199, 127, 9, 7},
      {kStitchLoom, 5000, 5000, 9, 7},  // beyond the picture: the last cell
      {kStitchLoom, -30, -1, 0, 0},     // left of the view's origin: the first
      // Odd peyote rows: exactly half a cell in stays, one more moves right.
      {kStitchPeyote, 30, 16, 1, 1},
      {kStitchPeyote, 31, 16, 2, 1},
      {kStitchPeyote, 30, 0, 1, 0},  // even rows are not shifted
      {kStitchPeyote, 190, 20, 9, 1},  // exactly at the last half cell: stays
      {kStitchPeyote, 191, 20, 0, 1},  // past it: the row's first cell
      {kStitchPeyote, 190, 0, 9, 0},
      // Odd brick columns: the same rule downward.
      {kStitchBrick, 25, 24, 1, 1},
      {kStitchBrick, 25, 25, 1, 2},
      {kStitchBrick, 25, 121, 1, 0},  // past 8 x 16 - 8 = 120: row 0
      {kStitchBrick, 45, 121, 2, 7},
  };
  for (const auto& c : cases) {
    const CellPos cell = ReleaseCell(Grid(c.stitch), c.x, c.y);
    EXPECT_EQ(cell.X, c.column) << "stitch " << c.stitch << " at " << c.x << "," << c.y;
    EXPECT_EQ(cell.Y, c.row) << "stitch " << c.stitch << " at " << c.x << "," << c.y;
  }
}

TEST(DraggedOrigin, FollowsTheMouseAndStopsAtThePicturesEdges) {
  const ViewPoint press{100, 100};
  const struct {
    ViewPoint start, release;
    int cw, ch, W, H;
    ViewPoint expected;
  } cases[] = {
      {{0, 0}, {60, 70}, 300, 200, 1000, 800, {40, 30}},          // picture follows the mouse
      {{0, 0}, {-900, -900}, 300, 200, 1000, 800, {700, 600}},    // right and bottom edges stop it
      {{50, 50}, {400, 400}, 300, 200, 1000, 800, {0, 0}},        // dragged right: stops at 0
      {{0, 0}, {-500, 100}, 300, 200, 200, 800, {0, 0}},          // narrower than the view: 0
      {{120, 48}, {100, 100}, 300, 200, 1000, 800, {120, 48}},    // a click applies the limits only
      {{900, 700}, {100, 100}, 300, 200, 1000, 800, {700, 600}},  // ...which may move it
  };
  for (const auto& c : cases) {
    const ViewPoint o = DraggedOrigin(c.start, press, c.release, c.cw, c.ch, c.W, c.H);
    EXPECT_EQ(o, c.expected) << c.release.X << "," << c.release.Y;
  }
  EXPECT_EQ(ViewStatusText({120, 48}), "Scale :100% MainbmpPos x120 y48");
}

TEST(VisibleRect, IsClippedToThePictureNotScaled) {
  EXPECT_EQ(VisibleRect({0, 0}, 300, 200, 1000, 800), (TRect{0, 0, 300, 200}));
  EXPECT_EQ(VisibleRect({800, 700}, 300, 200, 1000, 800), (TRect{800, 700, 1000, 800}));
  EXPECT_EQ(VisibleRect({0, 0}, 300, 200, 100, 50), (TRect{0, 0, 100, 50}));
}

TEST(PenRectangle, IsOrderedShiftedClampedAndDroppedWhenInsideOut) {
  // Dragged up-left, with the view scrolled by (10, 20).
  EXPECT_EQ(PenRectangle({50, 40}, {30, 10}, {10, 20}, 200, 100), (TRect{40, 30, 60, 60}));
  // Past the far edges: Right and Bottom stop at the last pixel.
  EXPECT_EQ(PenRectangle({150, 50}, {400, 300}, {0, 0}, 200, 100), (TRect{150, 50, 199, 99}));
  // Left of and above the picture: clamped to 0.
  EXPECT_EQ(PenRectangle({-20, -5}, {10, 10}, {0, 0}, 200, 100), (TRect{0, 0, 10, 10}));
  // Wholly right of or below the picture: nothing to paint.
  EXPECT_FALSE(PenRectangle({250, 10}, {300, 20}, {0, 0}, 200, 100).has_value());
  EXPECT_FALSE(PenRectangle({10, 120}, {20, 150}, {0, 0}, 200, 100).has_value());
}

}  // namespace
}  // namespace velmora
