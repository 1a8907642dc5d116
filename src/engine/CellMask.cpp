#include "engine/CellMask.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>

#include "engine/ProjectRecord.h"
#include "imaging/Parallel.h"
#include "imaging/PictureOps.h"

namespace velmora {
namespace {

constexpr std::array<const char*, kMaskShapeCount> kNames = {"rectangle", "circle", "hexagon", "rounded",
                                                             "diamond",   "heart",  "custom"};

// Samples per pixel side for the anti-aliased edge.
constexpr int kSub = 4;

// Whether the point (u, v), both -1..1 across the tile (v down), lies inside
// the named shape; halfW and halfH are the tile's half sides in pixels, for
// the rounded corners and the hexagon's way up.
bool Inside(MaskShape shape, double u, double v, double halfW, double halfH) {
  switch (shape) {
    case MaskShape::kCircle:
      return u * u + v * v <= 1.0;
    case MaskShape::kDiamond:
      return std::abs(u) + std::abs(v) <= 1.0;
    case MaskShape::kHexagon: {
      // Pointy-top in a tall tile, flat-top in a wide one, corners on the
      // tile's edges.
      const double a = std::abs(halfW >= halfH ? v : u);
      const double b = std::abs(halfW >= halfH ? u : v);
      return a <= 1.0 && b <= 1.0 - a / 2.0;
    }
    case MaskShape::kRounded: {
      // Corners of a fifth of the shorter side.
      const double r = 0.2 * std::min(halfW, halfH) * 2.0;
      const double x = std::max(0.0, std::abs(u) * halfW - (halfW - r));
      const double y = std::max(0.0, std::abs(v) * halfH - (halfH - r));
      return std::abs(u) <= 1.0 && std::abs(v) <= 1.0 && x * x + y * y <= r * r;
    }
    case MaskShape::kHeart: {
      // (x^2 + y^2 - 1)^3 <= x^2 y^3, which spans x -1.14..1.14 and
      // y -1..1.24 (y up), fitted to the tile.
      const double x = u * 1.14;
      const double y = 0.12 - v * 1.12;
      const double q = x * x + y * y - 1.0;
      return q * q * q <= x * x * y * y * y;
    }
    default:
      return std::abs(u) <= 1.0 && std::abs(v) <= 1.0;
  }
}

// The user's mask at (sx, sy) in its own pixels, bilinear, 0..255.
double SampleGrey(const GreyMask& m, double sx, double sy) {
  sx = std::clamp(sx - 0.5, 0.0, double(m.Width - 1));
  sy = std::clamp(sy - 0.5, 0.0, double(m.Height - 1));
  const int x0 = int(sx), y0 = int(sy);
  const int x1 = std::min(x0 + 1, m.Width - 1), y1 = std::min(y0 + 1, m.Height - 1);
  const double fx = sx - x0, fy = sy - y0;
  auto at = [&](int x, int y) { return double(m.Pixels[size_t(y) * size_t(m.Width) + size_t(x)]); };
  return (at(x0, y0) * (1 - fx) + at(x1, y0) * fx) * (1 - fy) +
         (at(x0, y1) * (1 - fx) + at(x1, y1) * fx) * fy;
}

uint8_t Level(double share) { return uint8_t(std::lround(std::clamp(share, 0.0, 1.0) * 255.0)); }

// One box blur pass of `radius` along rows (from `in` into `out`), the edge
// pixel repeated past the ends: each row is copied into a padded one first,
// so the running sum reads without a bound check.
void BoxRows(const TBitmap32& in, TBitmap32& out, int radius, int threads) {
  const int w = in.Width();
  const int n = 2 * radius + 1;
  ParallelFor(threads, in.Height(), [&](int, int y) {
    thread_local std::vector<TColor32> padded;
    padded.resize(size_t(w) + size_t(n));
    const TColor32* src = in.ScanLine(y);
    std::fill_n(padded.begin(), radius, src[0]);
    std::copy_n(src, w, padded.begin() + radius);
    std::fill(padded.begin() + radius + w, padded.end(), src[w - 1]);
    TColor32* dst = out.ScanLine(y);
    int b = 0, g = 0, r = 0;
    for (int x = 0; x < n; ++x) {
      const TColor32 c = padded[size_t(x)];
      b += BlueOf(c);
      g += GreenOf(c);
      r += RedOf(c);
    }
    const TColor32* gone = padded.data();
    const TColor32* come = padded.data() + n;
    for (int x = 0; x < w; ++x) {
      dst[x] = Color32(uint8_t((r + n / 2) / n), uint8_t((g + n / 2) / n), uint8_t((b + n / 2) / n));
      b += BlueOf(come[x]) - BlueOf(gone[x]);
      g += GreenOf(come[x]) - GreenOf(gone[x]);
      r += RedOf(come[x]) - RedOf(gone[x]);
    }
  });
}

// One box blur pass of `radius` down the columns, strips of columns shared
// among the threads: running sums per column, row by row.
void BoxColumns(const TBitmap32& in, TBitmap32& out, int radius, int threads) {
  const int w = in.Width(), h = in.Height();
  const int n = 2 * radius + 1;
  constexpr int kStrip = 64;
  ParallelFor(threads, (w + kStrip - 1) / kStrip, [&](int, int strip) {
    const int x0 = strip * kStrip, x1 = std::min(w, x0 + kStrip);
    int sum[kStrip][3] = {};
    auto row = [&](int y) { return in.ScanLine(std::clamp(y, 0, h - 1)); };
    for (int y = -radius; y <= radius; ++y) {
      const TColor32* r = row(y);
      for (int x = x0; x < x1; ++x) {
        sum[x - x0][0] += BlueOf(r[x]);
        sum[x - x0][1] += GreenOf(r[x]);
        sum[x - x0][2] += RedOf(r[x]);
      }
    }
    for (int y = 0; y < h; ++y) {
      TColor32* dst = out.ScanLine(y);
      const TColor32* gone = row(y - radius);
      const TColor32* come = row(y + radius + 1);
      for (int x = x0; x < x1; ++x) {
        int* s = sum[x - x0];
        dst[x] = Color32(uint8_t((s[2] + n / 2) / n), uint8_t((s[1] + n / 2) / n), uint8_t((s[0] + n / 2) / n));
        s[0] += BlueOf(come[x]) - BlueOf(gone[x]);
        s[1] += GreenOf(come[x]) - GreenOf(gone[x]);
        s[2] += RedOf(come[x]) - RedOf(gone[x]);
      }
    }
  });
}

}  // namespace

bool ParseMaskShape(const std::string& name, MaskShape& shape) {
  for (int i = 0; i < kMaskShapeCount; ++i)
    if (name == kNames[size_t(i)] && i != int(MaskShape::kCustom)) {
      shape = MaskShape(i);
      return true;
    }
  return false;
}

const char* MaskShapeName(MaskShape shape) {
  const size_t i = size_t(shape);
  return i < kNames.size() ? kNames[i] : "rectangle";
}

GreyMask GreyMaskOf(const TBitmap32& picture) {
  GreyMask m;
  if (picture.Empty()) return m;
  const int w = picture.Width(), h = picture.Height();
  const double scale = std::min(1.0, double(kMaxMaskSide) / std::max(w, h));
  m.Width = std::clamp(int(std::lround(w * scale)), 1, kMaxMaskSide);
  m.Height = std::clamp(int(std::lround(h * scale)), 1, kMaxMaskSide);
  m.Pixels.assign(size_t(m.Width) * size_t(m.Height), 0);
  // Each mask pixel the mean grey of the picture pixels whose centres fall
  // in it.
  std::vector<double> sum(m.Pixels.size(), 0.0);
  std::vector<int> count(m.Pixels.size(), 0);
  for (int y = 0; y < h; ++y) {
    const int my = std::min(m.Height - 1, int(int64_t(y) * m.Height / h));
    const TColor32* row = picture.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const int mx = std::min(m.Width - 1, int(int64_t(x) * m.Width / w));
      const size_t i = size_t(my) * size_t(m.Width) + size_t(mx);
      sum[i] += 0.299 * RedOf(row[x]) + 0.587 * GreenOf(row[x]) + 0.114 * BlueOf(row[x]);
      ++count[i];
    }
  }
  for (size_t i = 0; i < sum.size(); ++i)
    m.Pixels[i] = count[i] > 0 ? uint8_t(std::lround(std::clamp(sum[i] / count[i], 0.0, 255.0))) : 0;
  return m;
}

Status ReadMaskPicture(const std::string& path, GreyMask& mask) {
  TBitmap32 picture;
  try {
    VELMORA_TRY(LoadPictureFile(picture, path));
    mask = GreyMaskOf(picture);
  } catch (const std::bad_alloc&) {
    return Status::Error(path + ": Out of memory reading the tile shape");
  }
  if (mask.Empty()) return Status::Error(path + ": the tile shape picture has no pixels");
  return Status::Ok();
}

std::vector<uint8_t> ShapeCoverage(MaskShape shape, int w, int h, const GreyMask* custom) {
  std::vector<uint8_t> out;
  if (w <= 0 || h <= 0) return out;
  out.resize(size_t(w) * size_t(h));
  const bool grey = shape == MaskShape::kCustom && custom != nullptr && !custom->Empty();
  const double halfW = w / 2.0, halfH = h / 2.0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double share = 0;
      for (int sy = 0; sy < kSub; ++sy)
        for (int sx = 0; sx < kSub; ++sx) {
          const double px = x + (sx + 0.5) / kSub, py = y + (sy + 0.5) / kSub;
          if (grey)
            share += SampleGrey(*custom, px * custom->Width / w, py * custom->Height / h) / 255.0;
          else
            share += Inside(shape, px / halfW - 1.0, py / halfH - 1.0, halfW, halfH) ? 1.0 : 0.0;
        }
      out[size_t(y) * size_t(w) + size_t(x)] = Level(share / (kSub * kSub));
    }
  return out;
}

int HoneycombOverhang(bool pointy, int cw, int ch) { return ((pointy ? ch : cw) + 5) / 6; }

std::vector<uint8_t> HoneycombCoverage(bool pointy, int cw, int ch, double inset) {
  const int over = HoneycombOverhang(pointy, cw, ch);
  const int w = pointy ? cw : cw + 2 * over;
  const int h = pointy ? ch + 2 * over : ch;
  std::vector<uint8_t> out;
  if (cw <= 0 || ch <= 0) return out;
  out.resize(size_t(w) * size_t(h));
  // Centre, half of the flat-to-flat width (a) and half of the point-to-point
  // length (c), in the hexagon's own orientation: pointy-top measured as is,
  // flat-top with x and y swapped.
  const double cx = w / 2.0, cy = h / 2.0;
  const double a = (pointy ? cw : ch) / 2.0;
  const double c = (pointy ? ch : cw) * 2.0 / 3.0;
  // The slanted sides, from (0, c) to (a, c/2): n . (|x|, |y|) <= d.
  const double len = std::sqrt(c * c / 4 + a * a);
  const double nx = c / 2 / len, ny = a / len, d = a * c / len;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int hits = 0;
      for (int sy = 0; sy < kSub; ++sy)
        for (int sx = 0; sx < kSub; ++sx) {
          double px = std::abs(x + (sx + 0.5) / kSub - cx), py = std::abs(y + (sy + 0.5) / kSub - cy);
          if (!pointy) std::swap(px, py);
          if (px <= a - inset && nx * px + ny * py <= d - inset) ++hits;
        }
      out[size_t(y) * size_t(w) + size_t(x)] = Level(double(hits) / (kSub * kSub));
    }
  return out;
}

DetailWeights MaskDetailWeights(const TileMasking& masking, int cw, int ch, int stitch) {
  DetailWeights w = EvenDetailWeights();
  if (!masking.On() || cw <= 0 || ch <= 0) return w;
  // The coverage over the cell's own rectangle: the honeycomb's hexagon
  // without its points beyond the cell.
  std::vector<uint8_t> cover;
  const bool honey =
      masking.Shape == MaskShape::kHexagon && (stitch == kStitchPeyote || stitch == kStitchBrick);
  if (honey) {
    const bool pointy = stitch == kStitchPeyote;
    const int over = HoneycombOverhang(pointy, cw, ch);
    const std::vector<uint8_t> hex = HoneycombCoverage(pointy, cw, ch, 0.0);
    const int hw = pointy ? cw : cw + 2 * over;
    cover.resize(size_t(cw) * size_t(ch));
    for (int y = 0; y < ch; ++y)
      for (int x = 0; x < cw; ++x)
        cover[size_t(y) * size_t(cw) + size_t(x)] =
            hex[size_t(y + (pointy ? over : 0)) * size_t(hw) + size_t(x + (pointy ? 0 : over))];
  } else {
    cover = ShapeCoverage(masking.Shape, cw, ch, &masking.Custom);
  }
  constexpr int kSide = kDetailSide;
  double total = 0;
  std::array<double, kDetailSamples> sum{};
  for (int j = 0; j < kSide; ++j)
    for (int i = 0; i < kSide; ++i) {
      const int x0 = i * cw / kSide, x1 = std::max(x0 + 1, (i + 1) * cw / kSide);
      const int y0 = j * ch / kSide, y1 = std::max(y0 + 1, (j + 1) * ch / kSide);
      double s = 0;
      for (int y = y0; y < std::min(y1, ch); ++y)
        for (int x = x0; x < std::min(x1, cw); ++x) s += cover[size_t(y) * size_t(cw) + size_t(x)];
      sum[size_t(j * kSide + i)] = s / (255.0 * (y1 - y0) * (x1 - x0));
      total += sum[size_t(j * kSide + i)];
    }
  if (total <= 0) return w;
  for (size_t k = 0; k < w.size(); ++k) w[k] = float(sum[k] * kDetailSamples / total);
  return w;
}

TBitmap32 BlurredPicture(const TBitmap32& picture, int radius, int threads) {
  TBitmap32 a;
  a.Assign(picture);
  if (picture.Empty() || radius <= 0) return a;
  TBitmap32 b;
  if (!b.SetSizeForOverwrite(a.Width(), a.Height()).ok()) return a;
  for (int pass = 0; pass < 3; ++pass) {
    BoxRows(a, b, radius, threads);
    std::swap(a, b);
  }
  for (int pass = 0; pass < 3; ++pass) {
    BoxColumns(a, b, radius, threads);
    std::swap(a, b);
  }
  return a;
}

MaskRender::MaskRender(const TileMasking& masking, const TBitmap32& main, int finalW, int finalH, int cellsAcross,
                       int threads)
    : masking_(masking), color_(Color32FromBgrInt(masking.GapColor)) {
  if (masking.Gap != GapFill::kMain || main.Empty() || finalW <= 0 || finalH <= 0) return;
  // A large main picture is blurred at kGapPixelsPerCell pixels a cell: the
  // blur takes away any finer detail, and a photo of many megapixels would
  // cost more to blur than the tiles take to draw.
  constexpr int kGapPixelsPerCell = 16;
  const int cols = std::max(1, cellsAcross);
  const TBitmap32* source = &main;
  TBitmap32 small;
  if (int64_t(main.Width()) > int64_t(cols) * kGapPixelsPerCell) {
    const int w = cols * kGapPixelsPerCell;
    const int h = int(std::max<int64_t>(1, (int64_t(main.Height()) * w + main.Width() / 2) / main.Width()));
    if (small.SetSizeForOverwrite(w, h).ok()) {
      AreaStretch(main, main.BoundsRect(), small);
      source = &small;
    }
  }
  // About a quarter of a cell.
  const int radius = std::max(1, (source->Width() + 2 * cols) / (4 * cols));
  blurred_ = BlurredPicture(*source, radius, threads);
  const int mw = blurred_.Width(), mh = blurred_.Height();
  mapX_.resize(size_t(finalW));
  mapY_.resize(size_t(finalH));
  for (int x = 0; x < finalW; ++x)
    mapX_[size_t(x)] = std::min(mw - 1, int((int64_t(x) * 2 + 1) * mw / (int64_t(finalW) * 2)));
  for (int y = 0; y < finalH; ++y)
    mapY_[size_t(y)] = std::min(mh - 1, int((int64_t(y) * 2 + 1) * mh / (int64_t(finalH) * 2)));
}

const std::vector<uint8_t>& MaskRender::Coverage(int w, int h) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto& slot = masks_[{w, h}];
  if (!slot)
    slot = std::make_unique<std::vector<uint8_t>>(ShapeCoverage(masking_.Shape, w, h, &masking_.Custom));
  return *slot;
}

const std::vector<uint8_t>& MaskRender::Honeycomb(bool pointy, int cw, int ch, double inset) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto& slot = honey_[{pointy ? cw : -cw, ch}];
  if (!slot) slot = std::make_unique<std::vector<uint8_t>>(HoneycombCoverage(pointy, cw, ch, inset));
  return *slot;
}

void MaskRender::FillGap(TBitmap32& target, int top, int threads) const {
  ParallelFor(threads, target.Height(), [&](int, int y) {
    TColor32* row = target.ScanLine(y);
    if (blurred_.Empty()) {
      std::fill_n(row, target.Width(), color_);
      return;
    }
    const int my = mapY_[size_t(std::clamp(top + y, 0, int(mapY_.size()) - 1))];
    const TColor32* src = blurred_.ScanLine(my);
    const int w = std::min(target.Width(), int(mapX_.size()));
    for (int x = 0; x < w; ++x) row[x] = src[mapX_[size_t(x)]] | 0xFF000000u;
  });
}

void BlendMasked(const TBitmap32& tile, const std::vector<uint8_t>& coverage, int left, int top,
                 const TRect& clip, const MaskRender& gap, bool whole, TBitmap32& target, int bandTop) {
  const int w = tile.Width();
  if (coverage.size() != size_t(w) * size_t(tile.Height())) return;
  const int x0 = std::max({clip.Left, left, 0});
  const int x1 = std::min({clip.Right, left + w, target.Width()});
  const int y0 = std::max({clip.Top, top, bandTop});
  const int y1 = std::min({clip.Bottom, top + tile.Height(), bandTop + target.Height()});
  for (int y = y0; y < y1; ++y) {
    const TColor32* src = tile.ScanLine(y - top);
    const uint8_t* m = coverage.data() + size_t(y - top) * size_t(w);
    TColor32* dst = target.ScanLine(y - bandTop);
    for (int x = x0; x < x1; ++x) {
      const int k = m[x - left];
      if (k == 255) {
        dst[x] = src[x - left] | 0xFF000000u;
        continue;
      }
      if (k == 0 && !whole) continue;
      const TColor32 g = gap.GapAt(x, y);
      if (k == 0) {
        dst[x] = g;
        continue;
      }
      const TColor32 t = src[x - left];
      auto mix = [&](int shift) {
        const int a = int((g >> shift) & 0xFF), b = int((t >> shift) & 0xFF);
        return TColor32((a * 255 + (b - a) * k + 127) / 255) << shift;
      };
      dst[x] = mix(0) | mix(8) | mix(16) | 0xFF000000u;
    }
  }
}

}  // namespace velmora
