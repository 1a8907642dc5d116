#include "imaging/formats/EmfDrawingState.h"

#include <algorithm>
#include <cmath>

namespace velmora::emf {

Point ToPixel(const State& s, const DeviceFrame& device, Point p) {
  const Point page = s.world.Apply(p);
  Point dev;
  switch (s.mapMode) {
    case 1:  // MM_TEXT: one unit per device pixel
      dev = {page.x - s.windowOrg.x + s.viewportOrg.x, page.y - s.windowOrg.y + s.viewportOrg.y};
      break;
    case 7:    // MM_ISOTROPIC
    case 8: {  // MM_ANISOTROPIC
      const double sx = s.windowExt.x != 0 ? s.viewportExt.x / s.windowExt.x : 1;
      const double sy = s.windowExt.y != 0 ? s.viewportExt.y / s.windowExt.y : 1;
      dev = {(page.x - s.windowOrg.x) * sx + s.viewportOrg.x,
             (page.y - s.windowOrg.y) * sy + s.viewportOrg.y};
      break;
    }
    default: {  // metric and English modes, y upwards
      const double mm = s.mapMode == 2   ? 0.1
                        : s.mapMode == 3 ? 0.01
                        : s.mapMode == 4 ? 0.254
                        : s.mapMode == 5 ? 0.0254
                                         : 25.4 / 1440;
      const double k = mm * device.devicePerMm;
      dev = {(page.x - s.windowOrg.x) * k + s.viewportOrg.x, -(page.y - s.windowOrg.y) * k + s.viewportOrg.y};
      break;
    }
  }
  // Far outside the picture every point is as good as another; clamping
  // keeps the arithmetic of the fills finite.
  const auto bound = [](double v) { return std::isfinite(v) ? std::clamp(v, -1e7, 1e7) : 0.0; };
  return {bound((dev.x - device.origin.x) * device.toPixelX),
          bound((dev.y - device.origin.y) * device.toPixelY)};
}

double PenPixels(const State& s, const DeviceFrame& device) {
  const Point a = ToPixel(s, device, {0, 0}), b = ToPixel(s, device, {s.pen.width, 0});
  return std::max(1.0, std::hypot(b.x - a.x, b.y - a.y));
}

}  // namespace velmora::emf
