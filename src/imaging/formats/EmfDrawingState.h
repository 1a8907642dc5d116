// The drawing state of the EMF player: the pen, brush, mapping mode, window
// and viewport, world transform, clip and current position that records set
// and later records draw with, saved and restored as a whole, and the mapping
// of logical coordinates through it to the picture's pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/Bitmap32.h"

namespace velmora::emf {

struct Point {
  double x = 0, y = 0;
};

struct Xform {
  double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
  Point Apply(Point p) const { return {p.x * m11 + p.y * m21 + dx, p.x * m12 + p.y * m22 + dy}; }
  // this then `next`.
  Xform Then(const Xform& n) const {
    return {m11 * n.m11 + m12 * n.m21, m11 * n.m12 + m12 * n.m22,      m21 * n.m11 + m22 * n.m21,
            m21 * n.m12 + m22 * n.m22, dx * n.m11 + dy * n.m21 + n.dx, dx * n.m12 + dy * n.m22 + n.dy};
  }
};

struct Pen {
  bool visible = true;
  double width = 0;  // logical units; 0 is one pixel
  TColor32 color = Color32(0, 0, 0);
};
struct Brush {
  bool visible = true;
  TColor32 color = Color32(255, 255, 255);
};

struct Object {
  enum Kind { kNone, kPen, kBrush } kind = kNone;
  Pen pen;
  Brush brush;
};

struct State {
  uint32_t mapMode = 1;  // MM_TEXT
  Point windowOrg, viewportOrg;
  Point windowExt{1, 1}, viewportExt{1, 1};
  Xform world;
  Pen pen;
  Brush brush;
  bool winding = false;  // polygon fill: alternate (even-odd) unless winding
  Point position;
  int clipLeft = 0, clipTop = 0, clipRight = 0, clipBottom = 0;  // pixels, right and bottom exclusive
};

inline TColor32 FromColorRef(uint32_t c) { return Color32(uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)); }

// One closed or open list of points in picture pixels.
using Figure = std::vector<Point>;

// Where the reference device lies in the picture: device units to pixels
// on each axis, the device point at the picture's corner, and device units
// per millimetre (for the metric and English mapping modes).
struct DeviceFrame {
  double toPixelX = 1, toPixelY = 1;
  Point origin;
  double devicePerMm = 1;
};

// Logical coordinates to picture pixels.
Point ToPixel(const State& s, const DeviceFrame& device, Point p);
// The pen's width in pixels (at least one).
double PenPixels(const State& s, const DeviceFrame& device);

}  // namespace velmora::emf
