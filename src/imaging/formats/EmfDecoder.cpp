// Windows enhanced metafiles, drawn by the program itself. A file is a chain
// of records, each a 32-bit type and a 32-bit size in bytes (a multiple of 4,
// at least 8), starting with the header record (type 1, " EMF" at offset 40)
// and ending with the end record (type 14). Every record is bounds-checked
// before it is read; a record that is not understood or does not hold what
// it claims is skipped.
//
// Coordinates go from logical units through the world transform and the
// mapping mode (window and viewport) to the reference device's pixels, and
// from there to the picture: the frame (in 0.01 mm) is the picture's area.
#include "imaging/formats/EmfDecoder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/ByteCursor.h"
#include "imaging/CheckedMath.h"
#include "imaging/PictureLimits.h"
#include "imaging/formats/BmpCodec.h"
#include "imaging/formats/EmfDrawingState.h"
#include "imaging/formats/WmfDecoder.h"

namespace velmora {
namespace {

constexpr const char* kName = "EMF";
constexpr uint32_t kSignature = 0x464D4520;  // " EMF"
constexpr double kDotsPerInch = 96;
constexpr int kDrawSeconds = 10;

Status StreamError() { return Status::Error(Format("Stream read error in %s file.", kName)); }
Status InvalidFormat() {
  return Status::Error(Format("Cannot load image. Invalid or unexpected %s image format.", kName));
}

enum : uint32_t {
  EMR_HEADER = 1,
  EMR_POLYBEZIER = 2,
  EMR_POLYGON = 3,
  EMR_POLYLINE = 4,
  EMR_POLYBEZIERTO = 5,
  EMR_POLYLINETO = 6,
  EMR_POLYPOLYLINE = 7,
  EMR_POLYPOLYGON = 8,
  EMR_SETWINDOWEXTEX = 9,
  EMR_SETWINDOWORGEX = 10,
  EMR_SETVIEWPORTEXTEX = 11,
  EMR_SETVIEWPORTORGEX = 12,
  EMR_EOF = 14,
  EMR_SETMAPMODE = 17,
  EMR_SETPOLYFILLMODE = 19,
  EMR_MOVETOEX = 27,
  EMR_INTERSECTCLIPRECT = 30,
  EMR_SAVEDC = 33,
  EMR_RESTOREDC = 34,
  EMR_SETWORLDTRANSFORM = 35,
  EMR_MODIFYWORLDTRANSFORM = 36,
  EMR_SELECTOBJECT = 37,
  EMR_CREATEPEN = 38,
  EMR_CREATEBRUSHINDIRECT = 39,
  EMR_DELETEOBJECT = 40,
  EMR_ELLIPSE = 42,
  EMR_RECTANGLE = 43,
  EMR_LINETO = 54,
  EMR_BEGINPATH = 59,
  EMR_ENDPATH = 60,
  EMR_CLOSEFIGURE = 61,
  EMR_FILLPATH = 62,
  EMR_STROKEANDFILLPATH = 63,
  EMR_STROKEPATH = 64,
  EMR_ABORTPATH = 68,
  EMR_BITBLT = 76,
  EMR_STRETCHBLT = 77,
  EMR_SETDIBITSTODEVICE = 80,
  EMR_STRETCHDIBITS = 81,
  EMR_EXTCREATEPEN = 95,
  EMR_POLYBEZIER16 = 85,
  EMR_POLYGON16 = 86,
  EMR_POLYLINE16 = 87,
  EMR_POLYBEZIERTO16 = 88,
  EMR_POLYLINETO16 = 89,
  EMR_POLYPOLYLINE16 = 90,
  EMR_POLYPOLYGON16 = 91,
};

constexpr uint32_t kSrcCopy = 0x00CC0020, kSrcPaint = 0x00EE0086, kSrcAnd = 0x008800C6,
                   kSrcInvert = 0x00660046;
constexpr uint32_t kPatCopy = 0x00F00021, kBlackness = 0x00000042, kWhiteness = 0x00FF0062;

using emf::Brush;
using emf::DeviceFrame;
using emf::Figure;
using emf::FromColorRef;
using emf::Object;
using emf::Pen;
using emf::Point;
using emf::State;
using emf::Xform;

class Renderer {
public:
  Renderer(TBitmap32& canvas, double deviceToPixelX, double deviceToPixelY, Point deviceOrigin,
           double devicePerMm)
      : canvas_(canvas), device_{deviceToPixelX, deviceToPixelY, deviceOrigin, devicePerMm} {
    s_.clipRight = canvas.Width();
    s_.clipBottom = canvas.Height();
  }

  void Play(std::span<const uint8_t> bytes, std::chrono::steady_clock::time_point deadline, bool& timedOut);

private:
  Point ToPixel(Point p) const { return emf::ToPixel(s_, device_, p); }
  double PenPixels() const { return emf::PenPixels(s_, device_); }

  void Record(uint32_t type, ByteCursor& r, std::span<const uint8_t> record);
  void ReadPoints(ByteCursor& r, uint32_t count, bool shorts, Figure& out) const;
  void Polys(ByteCursor& r, bool shorts, bool closed);
  void Shape(const std::vector<Figure>& figures, bool fill, bool stroke);
  void FillFigures(const std::vector<Figure>& figures, TColor32 color, bool winding);
  void StrokeFigure(const Figure& f, bool closed);
  void AddBeziers(Figure& f, const Figure& controls) const;
  void Blit(uint32_t type, ByteCursor& r, std::span<const uint8_t> record);
  void DrawBitmap(const TBitmap32& src, int sx, int sy, int sw, int sh, Point a, Point b, uint32_t rop);
  void FillPixelRect(Point a, Point b, TColor32 color);

  TBitmap32& canvas_;
  DeviceFrame device_;
  State s_;
  std::chrono::steady_clock::time_point deadline_;
  bool timedOut_ = false;
  std::vector<State> saved_;
  std::vector<Object> objects_;
  bool inPath_ = false;
  std::vector<Figure> path_;
  std::vector<bool> pathClosed_;
};

void Renderer::Play(std::span<const uint8_t> bytes, std::chrono::steady_clock::time_point deadline,
                    bool& timedOut) {
  deadline_ = deadline;
  ByteCursor in(bytes);
  while (in.remaining() >= 8) {
    const size_t start = in.position();
    const uint32_t type = in.u32le();
    const uint32_t size = in.u32le();
    if (size < 8 || size % 4 != 0 || !RangeFits(start, size, bytes.size())) return;
    const std::span<const uint8_t> record = bytes.subspan(start, size);
    ByteCursor r(record);
    r.skip(8);
    if (type == EMR_EOF) return;
    Record(type, r, record);
    in.seek(start + size);
    if (timedOut_ || std::chrono::steady_clock::now() > deadline) {
      timedOut = true;
      return;
    }
  }
}

void Renderer::ReadPoints(ByteCursor& r, uint32_t count, bool shorts, Figure& out) const {
  // The record's size bounds the count: each point takes 4 or 8 bytes.
  count = std::min<uint32_t>(count, uint32_t(r.remaining() / (shorts ? 4 : 8)));
  out.reserve(out.size() + count);
  for (uint32_t i = 0; i < count; ++i) {
    double x, y;
    if (shorts) {
      x = int16_t(r.u16le());
      y = int16_t(r.u16le());
    } else {
      x = r.i32le();
      y = r.i32le();
    }
    out.push_back(ToPixel({x, y}));
  }
}

void Renderer::AddBeziers(Figure& f, const Figure& controls) const {
  // Cubic segments from the figure's last point, each flattened into 16 lines.
  for (size_t i = 0; i + 2 < controls.size() + 0 && !f.empty(); i += 3) {
    const Point p0 = f.back(), p1 = controls[i], p2 = controls[i + 1], p3 = controls[i + 2];
    for (int k = 1; k <= 16; ++k) {
      const double t = k / 16.0, u = 1 - t;
      f.push_back({u * u * u * p0.x + 3 * u * u * t * p1.x + 3 * u * t * t * p2.x + t * t * t * p3.x,
                   u * u * u * p0.y + 3 * u * u * t * p1.y + 3 * u * t * t * p2.y + t * t * t * p3.y});
    }
  }
}

void Renderer::Polys(ByteCursor& r, bool shorts, bool closed) {
  r.skip(16);  // bounds
  const uint32_t polys = r.u32le();
  r.skip(4);  // total points
  if (r.overrun() || polys > r.remaining() / 4) return;
  std::vector<uint32_t> counts(polys);
  for (auto& c : counts) c = r.u32le();
  std::vector<Figure> figures(polys);
  for (uint32_t i = 0; i < polys; ++i) ReadPoints(r, counts[i], shorts, figures[i]);
  if (inPath_) {
    for (Figure& f : figures) {
      path_.push_back(std::move(f));
      pathClosed_.push_back(closed);
    }
    return;
  }
  if (closed) {
    Shape(figures, true, true);
  } else {
    for (const Figure& f : figures) StrokeFigure(f, false);
  }
}

void Renderer::Shape(const std::vector<Figure>& figures, bool fill, bool stroke) {
  if (fill && s_.brush.visible) FillFigures(figures, s_.brush.color, s_.winding);
  if (stroke && s_.pen.visible)
    for (const Figure& f : figures) StrokeFigure(f, true);
}

// Scan-line fill sampled at pixel centres, inside the clip rectangle.
void Renderer::FillFigures(const std::vector<Figure>& figures, TColor32 color, bool winding) {
  struct Edge {
    double x0, y0, x1, y1;
    int dir;
  };
  std::vector<Edge> edges;
  double top = 1e300, bottom = -1e300;
  for (const Figure& f : figures) {
    for (size_t i = 0; i < f.size(); ++i) {
      const Point a = f[i], b = f[(i + 1) % f.size()];
      if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y)) return;
      if (a.y == b.y) continue;
      edges.push_back(a.y < b.y ? Edge{a.x, a.y, b.x, b.y, 1} : Edge{b.x, b.y, a.x, a.y, -1});
      top = std::min(top, std::min(a.y, b.y));
      bottom = std::max(bottom, std::max(a.y, b.y));
    }
  }
  if (edges.empty() || timedOut_) return;
  const int y0 = std::max<int>(s_.clipTop, int(std::max(-1.0, std::floor(top))));
  const int y1 = std::min<int>(s_.clipBottom, int(std::min(1e9, std::ceil(bottom))));
  std::vector<std::pair<double, int>> crossings;
  for (int y = y0; y < y1; ++y) {
    if ((y - y0) % 32 == 31 && std::chrono::steady_clock::now() > deadline_) {
      timedOut_ = true;
      return;
    }
    const double cy = y + 0.5;
    crossings.clear();
    for (const Edge& e : edges)
      if (cy >= e.y0 && cy < e.y1)
        crossings.push_back({e.x0 + (cy - e.y0) * (e.x1 - e.x0) / (e.y1 - e.y0), e.dir});
    std::sort(crossings.begin(), crossings.end());
    int wind = 0;
    TColor32* row = canvas_.ScanLine(y);
    for (size_t i = 0; i + 1 < crossings.size(); ++i) {
      wind += crossings[i].second;
      const bool inside = winding ? wind != 0 : (i % 2) == 0;
      if (!inside) continue;
      const double xa = std::max<double>(s_.clipLeft, std::ceil(crossings[i].first - 0.5));
      const double xb = std::min<double>(s_.clipRight, std::ceil(crossings[i + 1].first - 0.5));
      for (int x = int(xa); x < int(xb); ++x) row[x] = color;
    }
  }
}

// Lines as filled quadrilaterals of the pen's width.
void Renderer::StrokeFigure(const Figure& f, bool closed) {
  if (!s_.pen.visible || f.empty()) return;
  const double half = PenPixels() / 2;
  const size_t segments = closed ? f.size() : f.size() - 1;
  std::vector<Figure> quads;
  for (size_t i = 0; i < segments; ++i) {
    const Point a = f[i], b = f[(i + 1) % f.size()];
    double dx = b.x - a.x, dy = b.y - a.y;
    const double len = std::hypot(dx, dy);
    if (len == 0 || !std::isfinite(len)) {
      dx = 1;
      dy = 0;
    } else {
      dx /= len;
      dy /= len;
    }
    const double nx = -dy * half, ny = dx * half;
    const double ex = dx * half, ey = dy * half;  // square caps
    quads.push_back({{a.x - ex + nx, a.y - ey + ny},
                     {b.x + ex + nx, b.y + ey + ny},
                     {b.x + ex - nx, b.y + ey - ny},
                     {a.x - ex - nx, a.y - ey - ny}});
  }
  for (const Figure& q : quads) FillFigures({q}, s_.pen.color, true);
}

void Renderer::FillPixelRect(Point a, Point b, TColor32 color) {
  const Figure r = {{a.x, a.y}, {b.x, a.y}, {b.x, b.y}, {a.x, b.y}};
  FillFigures({r}, color, true);
}

void Renderer::DrawBitmap(const TBitmap32& src, int sx, int sy, int sw, int sh, Point a, Point b,
                          uint32_t rop) {
  // Clip the source rectangle to the bitmap.
  sx = std::clamp(sx, 0, src.Width());
  sy = std::clamp(sy, 0, src.Height());
  sw = std::clamp(sw, 0, src.Width() - sx);
  sh = std::clamp(sh, 0, src.Height() - sy);
  if (sw == 0 || sh == 0) return;
  const bool flipX = b.x < a.x, flipY = b.y < a.y;
  const double left = std::min(a.x, b.x), right = std::max(a.x, b.x);
  const double top = std::min(a.y, b.y), bottom = std::max(a.y, b.y);
  if (!(right - left > 0 && bottom - top > 0) || !std::isfinite(right - left) || !std::isfinite(bottom - top))
    return;
  const int x0 = std::max<int>(s_.clipLeft, int(std::clamp(std::ceil(left - 0.5), -1e9, 1e9)));
  const int x1 = std::min<int>(s_.clipRight, int(std::clamp(std::ceil(right - 0.5), -1e9, 1e9)));
  const int y0 = std::max<int>(s_.clipTop, int(std::clamp(std::ceil(top - 0.5), -1e9, 1e9)));
  const int y1 = std::min<int>(s_.clipBottom, int(std::clamp(std::ceil(bottom - 0.5), -1e9, 1e9)));
  const double kx = sw / (right - left), ky = sh / (bottom - top);
  for (int y = y0; y < y1; ++y) {
    int v = int(std::clamp((y + 0.5 - top) * ky, 0.0, double(sh - 1)));
    if (flipY) v = sh - 1 - v;
    const TColor32* srow = src.ScanLine(sy + v);
    TColor32* drow = canvas_.ScanLine(y);
    for (int x = x0; x < x1; ++x) {
      int u = int(std::clamp((x + 0.5 - left) * kx, 0.0, double(sw - 1)));
      if (flipX) u = sw - 1 - u;
      const TColor32 s = srow[sx + u] | 0xFF000000u;
      TColor32& d = drow[x];
      switch (rop) {
        case kSrcPaint:
          d = d | s;
          break;
        case kSrcAnd:
          d = d & s;
          break;
        case kSrcInvert:
          d = (d ^ s) | 0xFF000000u;
          break;
        default:
          d = s;
          break;
      }
    }
  }
}

// A device-independent bitmap inside a record: its info header and colours
// at one offset, its pixels at another. They are joined behind a file header
// and read by the Windows bitmap reader.
bool ReadDib(std::span<const uint8_t> record, uint32_t offBmi, uint32_t cbBmi, uint32_t offBits,
             uint32_t cbBits, int32_t scanLines, TBitmap32& out, bool& bottomUp) {
  if (cbBmi < 12 || !RangeFits(offBmi, cbBmi, record.size()) || !RangeFits(offBits, cbBits, record.size()))
    return false;
  std::vector<uint8_t> file(14 + size_t(cbBmi) + cbBits);
  const uint32_t total = uint32_t(file.size());
  const uint32_t offset = 14 + cbBmi;
  const uint8_t header[14] = {
      'B', 'M', uint8_t(total),  uint8_t(total >> 8),  uint8_t(total >> 16),  uint8_t(total >> 24), 0, 0,
      0,   0,   uint8_t(offset), uint8_t(offset >> 8), uint8_t(offset >> 16), uint8_t(offset >> 24)};
  std::memcpy(file.data(), header, 14);
  std::memcpy(file.data() + 14, record.data() + offBmi, cbBmi);
  std::memcpy(file.data() + offset, record.data() + offBits, cbBits);
  ByteCursor info(std::span<const uint8_t>(file).subspan(14));
  const uint32_t infoSize = info.u32le();
  bottomUp = true;
  if (infoSize >= 40) {
    info.skip(4);
    const int32_t height = info.i32le();
    bottomUp = height > 0;
    // SetDIBitsToDevice may carry fewer lines than the header's height.
    if (scanLines > 0 && scanLines < std::abs(height)) {
      const int32_t lines = height > 0 ? scanLines : -scanLines;
      std::memcpy(file.data() + 14 + 8, &lines, 4);
    }
  }
  DecodedPicture picture;
  if (!DecodeBmp(file, DecodeHints{}, picture).ok()) return false;
  out.TakePixels(picture.bitmap);
  return true;
}

void Renderer::Blit(uint32_t type, ByteCursor& r, std::span<const uint8_t> record) {
  r.skip(16);  // bounds
  TBitmap32 dib;
  bool bottomUp = true;
  if (type == EMR_STRETCHDIBITS || type == EMR_SETDIBITSTODEVICE) {
    const int32_t xDest = r.i32le(), yDest = r.i32le(), xSrc = r.i32le(), ySrc = r.i32le();
    const int32_t cxSrc = r.i32le(), cySrc = r.i32le();
    const uint32_t offBmi = r.u32le(), cbBmi = r.u32le(), offBits = r.u32le(), cbBits = r.u32le();
    const uint32_t usage = r.u32le();
    uint32_t rop = kSrcCopy;
    int32_t cxDest = cxSrc, cyDest = cySrc, scans = 0;
    if (type == EMR_STRETCHDIBITS) {
      rop = r.u32le();
      cxDest = r.i32le();
      cyDest = r.i32le();
    } else {
      r.skip(4);  // first scan line
      scans = r.i32le();
    }
    if (r.overrun() || usage != 0) return;  // palette-index colours are not drawn
    if (!ReadDib(record, offBmi, cbBmi, offBits, cbBits, scans, dib, bottomUp)) return;
    // The source rectangle of a bottom-up bitmap is measured from its bottom line.
    const int64_t top = bottomUp ? int64_t(dib.Height()) - ySrc - cySrc : ySrc;
    DrawBitmap(dib, xSrc, int(std::clamp<int64_t>(top, -1, INT32_MAX)), cxSrc, cySrc,
               ToPixel({double(xDest), double(yDest)}),
               ToPixel({double(xDest) + cxDest, double(yDest) + cyDest}), rop);
    return;
  }
  // BitBlt and StretchBlt: the bitmap is the source area itself.
  const int32_t xDest = r.i32le(), yDest = r.i32le(), cxDest = r.i32le(), cyDest = r.i32le();
  const uint32_t rop = r.u32le();
  r.skip(8 + 24 + 4);  // source origin, source transform, background colour
  const uint32_t usage = r.u32le();
  const uint32_t offBmi = r.u32le(), cbBmi = r.u32le(), offBits = r.u32le(), cbBits = r.u32le();
  if (r.overrun()) return;
  const Point a = ToPixel({double(xDest), double(yDest)}),
              b = ToPixel({double(xDest) + cxDest, double(yDest) + cyDest});
  if (cbBmi == 0) {  // no source: a fill
    if (rop == kPatCopy && s_.brush.visible) FillPixelRect(a, b, s_.brush.color);
    if (rop == kBlackness) FillPixelRect(a, b, Color32(0, 0, 0));
    if (rop == kWhiteness) FillPixelRect(a, b, Color32(255, 255, 255));
    return;
  }
  if (usage != 0 || !ReadDib(record, offBmi, cbBmi, offBits, cbBits, 0, dib, bottomUp)) return;
  DrawBitmap(dib, 0, 0, dib.Width(), dib.Height(), a, b, rop);
}

void Renderer::Record(uint32_t type, ByteCursor& r, std::span<const uint8_t> record) {
  const auto point = [&r] {
    const double x = r.i32le();
    return Point{x, double(r.i32le())};
  };
  switch (type) {
    case EMR_SETMAPMODE:
      s_.mapMode = r.u32le();
      if (s_.mapMode < 1 || s_.mapMode > 8) s_.mapMode = 1;
      break;
    case EMR_SETWINDOWEXTEX:
      s_.windowExt = point();
      break;
    case EMR_SETWINDOWORGEX:
      s_.windowOrg = point();
      break;
    case EMR_SETVIEWPORTEXTEX:
      s_.viewportExt = point();
      break;
    case EMR_SETVIEWPORTORGEX:
      s_.viewportOrg = point();
      break;
    case EMR_SETPOLYFILLMODE:
      s_.winding = r.u32le() == 2;
      break;
    case EMR_SETWORLDTRANSFORM:
    case EMR_MODIFYWORLDTRANSFORM: {
      float f[6];
      for (float& v : f) {
        const uint32_t bits = r.u32le();
        std::memcpy(&v, &bits, 4);
      }
      const uint32_t mode = type == EMR_SETWORLDTRANSFORM ? 4 : r.u32le();
      if (r.overrun()) break;
      for (float v : f)
        if (!std::isfinite(v)) return;
      const Xform x{f[0], f[1], f[2], f[3], f[4], f[5]};
      Xform next = s_.world;
      if (mode == 1)
        next = Xform{};  // identity
      else if (mode == 2)
        next = x.Then(s_.world);  // left multiply
      else if (mode == 3)
        next = s_.world.Then(x);  // right multiply
      else if (mode == 4)
        next = x;  // set
      // Products of huge factors are refused: coordinates stay finite.
      const double limit = 1e30;
      if (std::abs(next.m11) < limit && std::abs(next.m12) < limit && std::abs(next.m21) < limit &&
          std::abs(next.m22) < limit && std::abs(next.dx) < limit && std::abs(next.dy) < limit)
        s_.world = next;
      break;
    }
    case EMR_SAVEDC:
      if (saved_.size() < 1024) saved_.push_back(s_);
      break;
    case EMR_RESTOREDC: {
      const int32_t which = r.i32le();
      if (which >= 0 || saved_.empty()) break;
      const size_t back = std::min<size_t>(saved_.size(), size_t(-int64_t(which)));
      s_ = saved_[saved_.size() - back];
      saved_.resize(saved_.size() - back);
      break;
    }
    case EMR_INTERSECTCLIPRECT: {
      const Point a = ToPixel(point()), b = ToPixel(point());
      const auto clampInt = [](double v, int lo, int hi) {
        return int(std::clamp(std::round(v), double(lo), double(hi)));
      };
      s_.clipLeft = std::max(s_.clipLeft, clampInt(std::min(a.x, b.x), 0, canvas_.Width()));
      s_.clipRight = std::min(s_.clipRight, clampInt(std::max(a.x, b.x), 0, canvas_.Width()));
      s_.clipTop = std::max(s_.clipTop, clampInt(std::min(a.y, b.y), 0, canvas_.Height()));
      s_.clipBottom = std::min(s_.clipBottom, clampInt(std::max(a.y, b.y), 0, canvas_.Height()));
      break;
    }
    case EMR_CREATEPEN:
    case EMR_EXTCREATEPEN:
    case EMR_CREATEBRUSHINDIRECT: {
      const uint32_t index = r.u32le();
      if (index == 0 || index > 65535) break;  // 0 is the metafile itself
      Object o;
      if (type == EMR_CREATEPEN) {
        o.kind = Object::kPen;
        const uint32_t style = r.u32le();
        o.pen.width = r.i32le();
        r.skip(4);
        o.pen.color = FromColorRef(r.u32le());
        o.pen.visible = (style & 0xF) != 5;  // PS_NULL
      } else if (type == EMR_EXTCREATEPEN) {
        o.kind = Object::kPen;
        r.skip(16);  // bitmap offsets and sizes
        const uint32_t style = r.u32le();
        o.pen.width = r.u32le();
        r.skip(4);  // brush style
        o.pen.color = FromColorRef(r.u32le());
        o.pen.visible = (style & 0xF) != 5;
      } else {
        o.kind = Object::kBrush;
        const uint32_t style = r.u32le();
        o.brush.color = FromColorRef(r.u32le());
        o.brush.visible = style != 1;  // BS_NULL; hatches are drawn solid
      }
      if (r.overrun()) break;
      if (objects_.size() <= index) objects_.resize(size_t(index) + 1);
      objects_[index] = o;
      break;
    }
    case EMR_SELECTOBJECT: {
      const uint32_t index = r.u32le();
      if (index & 0x80000000u) {  // stock objects
        switch (index & 0x7FFFFFFF) {
          case 0:
            s_.brush = {true, Color32(255, 255, 255)};
            break;
          case 1:
            s_.brush = {true, Color32(192, 192, 192)};
            break;
          case 2:
            s_.brush = {true, Color32(128, 128, 128)};
            break;
          case 3:
            s_.brush = {true, Color32(64, 64, 64)};
            break;
          case 4:
            s_.brush = {true, Color32(0, 0, 0)};
            break;
          case 5:
            s_.brush.visible = false;
            break;
          case 6:
            s_.pen = {true, 0, Color32(255, 255, 255)};
            break;
          case 7:
            s_.pen = {true, 0, Color32(0, 0, 0)};
            break;
          case 8:
            s_.pen.visible = false;
            break;
          default:
            break;
        }
      } else if (index < objects_.size()) {
        const Object& o = objects_[index];
        if (o.kind == Object::kPen) s_.pen = o.pen;
        if (o.kind == Object::kBrush) s_.brush = o.brush;
      }
      break;
    }
    case EMR_DELETEOBJECT: {
      const uint32_t index = r.u32le();
      if (index < objects_.size()) objects_[index] = Object{};
      break;
    }
    case EMR_RECTANGLE:
    case EMR_ELLIPSE: {
      const Point a = point(), b = point();
      if (r.overrun()) break;
      Figure f;
      if (type == EMR_RECTANGLE) {
        f = {ToPixel(a), ToPixel({b.x, a.y}), ToPixel(b), ToPixel({a.x, b.y})};
      } else {
        const double cx = (a.x + b.x) / 2, cy = (a.y + b.y) / 2, rx = (b.x - a.x) / 2, ry = (b.y - a.y) / 2;
        for (int k = 0; k < 64; ++k)
          f.push_back(ToPixel({cx + rx * std::cos(k * M_PI / 32), cy + ry * std::sin(k * M_PI / 32)}));
      }
      if (inPath_) {
        path_.push_back(f);
        pathClosed_.push_back(true);
      } else {
        Shape({f}, true, true);
      }
      break;
    }
    case EMR_POLYGON:
    case EMR_POLYGON16:
    case EMR_POLYLINE:
    case EMR_POLYLINE16:
    case EMR_POLYBEZIER:
    case EMR_POLYBEZIER16: {
      r.skip(16);
      const uint32_t count = r.u32le();
      const bool shorts = type == EMR_POLYGON16 || type == EMR_POLYLINE16 || type == EMR_POLYBEZIER16;
      Figure pts;
      ReadPoints(r, count, shorts, pts);
      if (pts.empty()) break;
      Figure f = pts;
      if (type == EMR_POLYBEZIER || type == EMR_POLYBEZIER16) {
        f.assign(1, pts.front());
        AddBeziers(f, Figure(pts.begin() + 1, pts.end()));
      }
      const bool closed = type == EMR_POLYGON || type == EMR_POLYGON16;
      if (inPath_) {
        path_.push_back(f);
        pathClosed_.push_back(closed);
      } else if (closed) {
        Shape({f}, true, true);
      } else {
        StrokeFigure(f, false);
      }
      break;
    }
    case EMR_POLYPOLYGON:
    case EMR_POLYPOLYGON16:
      Polys(r, type == EMR_POLYPOLYGON16, true);
      break;
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYLINE16:
      Polys(r, type == EMR_POLYPOLYLINE16, false);
      break;
    case EMR_MOVETOEX: {
      s_.position = point();
      if (inPath_) {
        path_.push_back({ToPixel(s_.position)});
        pathClosed_.push_back(false);
      }
      break;
    }
    case EMR_LINETO:
    case EMR_POLYLINETO:
    case EMR_POLYLINETO16:
    case EMR_POLYBEZIERTO:
    case EMR_POLYBEZIERTO16: {
      Figure pts;
      Point last;
      if (type == EMR_LINETO) {
        last = point();
        if (r.overrun()) break;
        pts.push_back(ToPixel(last));
      } else {
        r.skip(16);
        const uint32_t count = r.u32le();
        const bool shorts = type == EMR_POLYLINETO16 || type == EMR_POLYBEZIERTO16;
        const size_t at = r.position();
        ReadPoints(r, count, shorts, pts);
        if (pts.empty()) break;
        // The new current position, in logical units.
        ByteCursor again(record);
        again.seek(at + (pts.size() - 1) * (shorts ? 4 : 8));
        last = shorts ? Point{double(int16_t(again.u16le())), double(int16_t(again.u16le()))}
                      : Point{double(again.i32le()), double(again.i32le())};
      }
      const bool bezier = type == EMR_POLYBEZIERTO || type == EMR_POLYBEZIERTO16;
      if (inPath_) {
        if (path_.empty()) {
          path_.push_back({ToPixel(s_.position)});
          pathClosed_.push_back(false);
        }
        if (bezier)
          AddBeziers(path_.back(), pts);
        else
          path_.back().insert(path_.back().end(), pts.begin(), pts.end());
      } else {
        Figure f = {ToPixel(s_.position)};
        if (bezier)
          AddBeziers(f, pts);
        else
          f.insert(f.end(), pts.begin(), pts.end());
        StrokeFigure(f, false);
      }
      s_.position = last;
      break;
    }
    case EMR_BEGINPATH:
      inPath_ = true;
      path_.clear();
      pathClosed_.clear();
      break;
    case EMR_ENDPATH:
      inPath_ = false;
      break;
    case EMR_ABORTPATH:
      inPath_ = false;
      path_.clear();
      pathClosed_.clear();
      break;
    case EMR_CLOSEFIGURE:
      if (!pathClosed_.empty()) pathClosed_.back() = true;
      break;
    case EMR_FILLPATH:
    case EMR_STROKEPATH:
    case EMR_STROKEANDFILLPATH: {
      if (type != EMR_STROKEPATH && s_.brush.visible) FillFigures(path_, s_.brush.color, s_.winding);
      if (type != EMR_FILLPATH)
        for (size_t i = 0; i < path_.size(); ++i) StrokeFigure(path_[i], pathClosed_[i]);
      path_.clear();
      pathClosed_.clear();
      break;
    }
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
    case EMR_SETDIBITSTODEVICE:
    case EMR_STRETCHDIBITS:
      Blit(type, r, record);
      break;
    default:
      break;  // left out
  }
}

}  // namespace

Status DecodeEmf(std::span<const uint8_t> bytes, const DecodeHints&, DecodedPicture& out) {
  ByteCursor in(bytes);
  const uint32_t type = in.u32le(), size = in.u32le();
  const int32_t bl = in.i32le(), bt = in.i32le(), br = in.i32le(), bb = in.i32le();  // bounds, device pixels
  const int32_t fl = in.i32le(), ft = in.i32le(), fr = in.i32le(), fb = in.i32le();  // frame, 0.01 mm
  const uint32_t signature = in.u32le();
  if (in.overrun()) return bytes.size() >= 4 && bytes[0] != 1 ? InvalidFormat() : StreamError();
  if (type != EMR_HEADER || signature != kSignature) return InvalidFormat();
  if (size < 88 || size % 4 != 0 || size > bytes.size()) return StreamError();
  in.seek(72);
  const int32_t deviceX = in.i32le(), deviceY = in.i32le(), mmX = in.i32le(), mmY = in.i32le();
  // Reference device pixels per millimetre; 96 dpi when the header lacks them.
  double perMmX = kDotsPerInch / 25.4, perMmY = perMmX;
  if (deviceX > 0 && deviceY > 0 && mmX > 0 && mmY > 0) {
    perMmX = double(deviceX) / mmX;
    perMmY = double(deviceY) / mmY;
  }
  // Every record must fit and the last one must be the end record.
  {
    ByteCursor walk(bytes);
    bool ended = false;
    while (walk.remaining() >= 8) {
      const size_t start = walk.position();
      walk.skip(4);
      const uint32_t recordSize = walk.u32le();
      if (recordSize < 8 || recordSize % 4 != 0) return InvalidFormat();
      if (!RangeFits(start, recordSize, bytes.size())) return StreamError();
      if (ByteCursor(bytes.subspan(start, 4)).u32le() == EMR_EOF) {
        ended = true;
        break;
      }
      walk.seek(start + recordSize);
    }
    if (!ended) return StreamError();
  }

  // The picture's size: the frame at 96 dpi, or the bounds when the frame is empty.
  double w = (double(fr) - fl) / 100 * kDotsPerInch / 25.4;
  double h = (double(fb) - ft) / 100 * kDotsPerInch / 25.4;
  Point origin{double(fl) / 100 * perMmX, double(ft) / 100 * perMmY};  // the frame's corner, device pixels
  double deviceW = (double(fr) - fl) / 100 * perMmX, deviceH = (double(fb) - ft) / 100 * perMmY;
  if (!(w >= 1 && h >= 1)) {
    w = double(br) - bl + 1;
    h = double(bb) - bt + 1;
    origin = {double(bl), double(bt)};
    deviceW = w;
    deviceH = h;
  }
  if (!(w >= 1 && h >= 1) || !(deviceW > 0 && deviceH > 0)) return InvalidFormat();
  const double scale = std::min({1.0, std::sqrt(double(kMaxMetafilePixels) / (w * h)),
                                 double(kMaxPictureSide) / w, double(kMaxPictureSide) / h});
  const int width = std::max(1, int(std::lround(w * scale))),
            height = std::max(1, int(std::lround(h * scale)));
  VELMORA_TRY(CheckPictureSize(width, height, kName));
  VELMORA_TRY(out.bitmap.SetSize(width, height));
  out.bitmap.Fill(Color32(255, 255, 255));

  Renderer renderer(out.bitmap, width / deviceW, height / deviceH, origin, (perMmX + perMmY) / 2);
  bool timedOut = false;
  renderer.Play(bytes, std::chrono::steady_clock::now() + std::chrono::seconds(kDrawSeconds), timedOut);
  if (timedOut)
    return Status::Error(
        Format("Cannot load image. Drawing the %s file took longer than %d seconds.", kName, kDrawSeconds));
  return Status::Ok();
}

}  // namespace velmora
