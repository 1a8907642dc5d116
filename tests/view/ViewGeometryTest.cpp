// The main view's arithmetic: the cell under a position in each layout, the
// origin after a right-button drag, the visible rectangle and the pen drag.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "view/ViewGeometry.h"

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
      {kStitchPeyote, 30, 0, 1, 0},    // even rows are not shifted
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

TEST(TileUnder, EveryPixelOfAHoneycombHexagonSelectsItsOwnCell) {
  // Regular and stretched hexagons on both shifted layouts; the inner cells,
  // whose hexagons lie whole inside the picture.
  const struct {
    int stitch, cw, ch;
  } grids[] = {{kStitchPeyote, 32, 28}, {kStitchPeyote, 30, 30}, {kStitchBrick, 28, 32}, {kStitchBrick, 40, 24}};
  for (const auto& g : grids) {
    const tmosaicproject p = Grid(g.stitch, 6, 6, g.cw, g.ch);
    const bool pointy = g.stitch == kStitchPeyote;
    const int over = HoneycombOverhang(pointy, g.cw, g.ch);
    const std::vector<uint8_t> cover = HoneycombCoverage(pointy, g.cw, g.ch, 0.75);
    const int w = pointy ? g.cw : g.cw + 2 * over, h = pointy ? g.ch + 2 * over : g.ch;
    ASSERT_EQ(cover.size(), size_t(w) * size_t(h));
    int checked = 0, wrong = 0;
    for (int r = 1; r < 5; ++r)
      for (int c = 1; c < 5; ++c) {
        const int x0 = c * g.cw - (pointy && r % 2 ? g.cw / 2 : 0) - (pointy ? 0 : over);
        const int y0 = r * g.ch - (!pointy && c % 2 ? g.ch / 2 : 0) - (pointy ? over : 0);
        for (int j = 0; j < h; ++j)
          for (int i = 0; i < w; ++i) {
            if (cover[size_t(j) * size_t(w) + size_t(i)] < 255) continue;
            const CellPos at = TileUnder(p, MaskShape::kHexagon, x0 + i, y0 + j);
            ++checked;
            if (at.X != c || at.Y != r) ++wrong;
          }
      }
    EXPECT_GT(checked, 16 * g.cw * g.ch / 2) << g.stitch;
    EXPECT_EQ(wrong, 0) << "stitch " << g.stitch << ", cells of " << g.cw << " x " << g.ch;
  }
  // Other shapes and the plain grid: the cell under the point.
  EXPECT_EQ(TileUnder(Grid(kStitchPeyote), MaskShape::kCircle, 31, 16).X, 2);
  EXPECT_EQ(TileUnder(Grid(kStitchLoom), MaskShape::kHexagon, 45, 17).X, 2);
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

namespace velmora {
namespace {

// At every scale and in every layout, the cell under a view position is the
// cell of the picture pixel under it: origin + floor(X / scale).
TEST(ScaledView, MapsViewPositionsToPicturePixelsAndCells) {
  const struct {
    double scale;
    ViewPoint origin, view, picture;
  } cases[] = {
      {1, {100, 20}, {5, 7}, {105, 27}},    // 1:1, as the unscaled view
      {2, {100, 20}, {5, 7}, {102, 23}},    // zoomed in: two view pixels a pixel
      {4, {0, 0}, {-1, -5}, {-1, -2}},      // left of the view: floor, not toward zero
      {0.5, {100, 20}, {5, 7}, {110, 34}},  // zoomed out
      {1.0 / 16, {0, 0}, {3, 3}, {48, 48}}, {0.25, {10, 0}, {37, 1}, {158, 4}},
  };
  for (const auto& c : cases) EXPECT_EQ(ViewToPicture(c.view, c.origin, c.scale), c.picture) << c.scale;

  // 10 x 8 cells of 20 x 16; a click at (40, 34) in view pixels.
  const struct {
    int stitch;
    double scale;
    int column, row;
  } cells[] = {
      {kStitchLoom, 1, 2, 2},   {kStitchLoom, 0.5, 4, 4},   {kStitchLoom, 2, 1, 1},
      {kStitchPeyote, 1, 2, 2}, {kStitchPeyote, 0.5, 4, 4}, {kStitchPeyote, 2, 1, 1},
      {kStitchBrick, 1, 2, 2},  {kStitchBrick, 0.5, 4, 4},  {kStitchBrick, 2, 1, 1},
  };
  for (const auto& c : cells) {
    const ViewPoint p = ViewToPicture({40, 34}, {0, 0}, c.scale);
    const CellPos cell = ReleaseCell(Grid(c.stitch), p.X, p.Y);
    EXPECT_EQ(cell.X, c.column) << c.stitch << " at " << c.scale;
    EXPECT_EQ(cell.Y, c.row) << c.stitch << " at " << c.scale;
  }
  // Odd brick column 1 at 200 %: view y 17 is picture y 8, exactly half a cell: stays in row 0; y 18 moves
  // on.
  EXPECT_EQ(ReleaseCell(Grid(kStitchBrick), 25, ViewToPicture({0, 17}, {0, 0}, 2).Y).Y, 0);
  EXPECT_EQ(ReleaseCell(Grid(kStitchBrick), 25, ViewToPicture({0, 18}, {0, 0}, 2).Y).Y, 1);
}

TEST(ScaledView, DragsZoomsAndClampsInPicturePixels) {
  // A 1000 x 800 picture in a 300 x 200 view.
  const struct {
    double scale;
    ViewPoint start, release, expected;
  } drags[] = {
      {1, {0, 0}, {60, 70}, {40, 30}},          // 1:1: the unscaled rule
      {2, {0, 0}, {60, 70}, {20, 15}},          // 200 %: half the travel
      {0.5, {0, 0}, {60, 70}, {80, 60}},        // 50 %: twice the travel
      {2, {0, 0}, {-5000, -5000}, {850, 700}},  // far edge: W - 300 / 2
      {0.25, {0, 0}, {-5000, -5000}, {0, 0}},   // the whole picture fits: 0
      {0.5, {400, 400}, {900, 900}, {0, 0}},
  };
  const ViewPoint press{100, 100};
  for (const auto& d : drags)
    EXPECT_EQ(DraggedOrigin(d.start, press, d.release, 300, 200, 1000, 800, d.scale), d.expected) << d.scale;

  // The pixel under the pointer stays under it.
  const ViewPoint zoomed = ZoomedOrigin({100, 100}, {150, 100}, 1, 2, 300, 200, 1000, 800);
  EXPECT_EQ(ViewToPicture({150, 100}, zoomed, 2), (ViewPoint{250, 200}));
  EXPECT_EQ(ZoomedOrigin({100, 100}, {150, 100}, 1, 0.25, 300, 200, 1000, 800), (ViewPoint{0, 0}));
  EXPECT_EQ(CentredOrigin({500, 400}, 300, 200, 1000, 800, 2), (ViewPoint{425, 350}));
  EXPECT_EQ(CentredOrigin({990, 10}, 300, 200, 1000, 800, 1), (ViewPoint{700, 0}));

  EXPECT_EQ(VisibleRect({10, 10}, 300, 200, 1000, 800, 4), (TRect{10, 10, 85, 60}));
  EXPECT_EQ(VisibleRect({0, 0}, 300, 200, 1000, 800, 0.5), (TRect{0, 0, 600, 400}));
  EXPECT_EQ(VisibleRect({0, 0}, 301, 200, 1000, 800, 2), (TRect{0, 0, 151, 100}));  // the half pixel shows
  EXPECT_EQ(PenRectangle({10, 10}, {50, 30}, {100, 0}, 1000, 800, 2), (TRect{105, 5, 125, 15}));
  EXPECT_EQ(PenRectangle({10, 10}, {50, 30}, {100, 0}, 1000, 800, 0.5), (TRect{120, 20, 200, 60}));
}

TEST(ScaledView, StepsFitAndStatusText) {
  EXPECT_EQ(StepZoom(1, +1), 2);
  EXPECT_EQ(StepZoom(1, -1), 0.5);
  EXPECT_EQ(StepZoom(8, +1), 8);
  EXPECT_EQ(StepZoom(1.0 / 16, -1), 1.0 / 16);
  EXPECT_EQ(StepZoom(0.3, +1), 0.5);  // from a fit scale to the next step
  EXPECT_EQ(StepZoom(0.3, -1), 0.25);
  EXPECT_EQ(StepZoom(0.01, +1), 1.0 / 16);
  EXPECT_DOUBLE_EQ(FitScale(300, 200, 1000, 800), 0.25);
  EXPECT_DOUBLE_EQ(FitScale(600, 400, 1000, 500), 0.6);
  EXPECT_DOUBLE_EQ(FitScale(800, 800, 10, 10), 8);  // never past 800 %
  EXPECT_DOUBLE_EQ(FitScale(300, 200, 0, 0), 1);
  EXPECT_DOUBLE_EQ(FitScale(100, 100, 100000, 100000), kMinFitZoom);
  EXPECT_EQ(ViewStatusText({120, 48}, 1), "Scale :100% MainbmpPos x120 y48");
  EXPECT_EQ(ViewStatusText({0, 0}, 4), "Scale :400% MainbmpPos x0 y0");
  EXPECT_EQ(ViewStatusText({3, 4}, 0.3716), "Scale :37% MainbmpPos x3 y4");
  EXPECT_EQ(ViewStatusText({0, 0}, 1.0 / 16), "Scale :6.2% MainbmpPos x0 y0");
}

TEST(CentredPicture, SitsInTheMiddleWhereItIsSmallerThanTheView) {
  const struct {
    int cw, ch, W, H;
    double scale;
    ViewPoint expected;
  } cases[] = {
      {300, 200, 100, 50, 1, {100, 75}},        // smaller both ways
      {300, 200, 1000, 50, 1, {0, 75}},         // wider than the view: only down
      {300, 200, 1000, 800, 1, {0, 0}},         // larger: the origin scrolls it
      {300, 200, 1000, 800, 0.25, {25, 0}},     // at fit it fills the height
      {300, 200, 1000, 800, 1.0 / 16, {118, 75}},  // zoomed out below fit
      {300, 200, 100, 50, 2, {50, 50}},
      {301, 200, 151, 100, 2, {0, 0}},          // one pixel over, or none to spare
      {300, 200, 0, 0, 1, {150, 100}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PictureOffset(c.cw, c.ch, c.W, c.H, c.scale), c.expected)
        << c.cw << "x" << c.ch << " " << c.W << "x" << c.H << " @" << c.scale;
  // The whole picture's view rectangle is centred within a pixel.
  const ViewPoint off = PictureOffset(300, 200, 1000, 800, 1.0 / 16);
  const TRect shown = PictureToViewRect({0, 0, 1000, 800}, {0, 0}, off, 1.0 / 16);
  EXPECT_LE(std::abs((shown.Left + shown.Right) - 300), 1);
  EXPECT_LE(std::abs((shown.Top + shown.Bottom) - 200), 1);
  // A picture rectangle seen through a scrolled, zoomed view.
  EXPECT_EQ(PictureToViewRect({20, 30, 40, 35}, {10, 20}, {0, 0}, 2), (TRect{20, 20, 60, 30}));
  EXPECT_EQ(PictureToViewRect({20, 30, 40, 35}, {0, 0}, {100, 75}, 1), (TRect{120, 105, 140, 110}));
  // Zooming a centred picture around a point keeps the pixel under it, and
  // the clicked pixel is found through the offset.
  const ViewPoint anchor{160, 110};
  const ViewPoint o2 = ZoomedOrigin({0, 0}, anchor, 1, 2, 300, 200, 200, 150);
  const ViewPoint before{anchor.X - 50, anchor.Y - 25};  // offset (50, 25) at 100 %
  const ViewPoint at2{anchor.X - PictureOffset(300, 200, 200, 150, 2).X,
                      anchor.Y - PictureOffset(300, 200, 200, 150, 2).Y};
  EXPECT_EQ(ViewToPicture(at2, o2, 2), before);
}

TEST(KeyScrolledOrigin, StepsPagesAndCorners) {
  // A 1000 x 800 picture in a 300 x 200 view, from origin (100, 100).
  const struct {
    ScrollKey key;
    double scale;
    ViewPoint expected;
  } cases[] = {
      {ScrollKey::Right, 1, {148, 100}},     {ScrollKey::Left, 1, {52, 100}},
      {ScrollKey::Down, 1, {100, 148}},      {ScrollKey::Up, 1, {100, 52}},
      {ScrollKey::Right, 2, {124, 100}},     {ScrollKey::Down, 0.5, {100, 196}},
      {ScrollKey::PageDown, 1, {100, 300}},  {ScrollKey::PageUp, 1, {100, 0}},
      {ScrollKey::PageRight, 1, {400, 100}}, {ScrollKey::PageLeft, 1, {0, 100}},
      {ScrollKey::PageDown, 2, {100, 200}},  {ScrollKey::Home, 1, {0, 0}},
      {ScrollKey::End, 1, {700, 600}},       {ScrollKey::End, 2, {850, 700}},
      {ScrollKey::End, 0.25, {0, 0}},  // the whole picture shows
  };
  for (const auto& c : cases)
    EXPECT_EQ(KeyScrolledOrigin({100, 100}, c.key, 300, 200, 1000, 800, c.scale), c.expected)
        << static_cast<int>(c.key) << " @" << c.scale;
  // Past the far edge a step stops there.
  EXPECT_EQ(KeyScrolledOrigin({690, 590}, ScrollKey::Down, 300, 200, 1000, 800), (ViewPoint{690, 600}));
}

TEST(FirstWindowRect, IsMostOfTheScreenInItsMiddle) {
  const struct {
    TRect available;
    TRect expected;
  } cases[] = {
      {{0, 0, 1600, 1000}, {160, 100, 1440, 900}},
      {{0, 32, 1920, 1080}, {192, 137, 1728, 975}},  // below a top panel
      {{0, 0, 800, 600}, {57, 60, 742, 540}},        // never below 685 x 463
      {{0, 0, 640, 400}, {0, 0, 640, 400}},          // nor beyond the screen
  };
  for (const auto& c : cases) EXPECT_EQ(FirstWindowRect(c.available, 685, 463), c.expected);
}

}  // namespace
}  // namespace velmora
