#include "imaging/ColorTransfer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace velmora {

namespace {

struct LumaTables {
  std::array<double, 256> red, green, blue;
  LumaTables() {
    for (int v = 0; v < 256; ++v) {
      red[size_t(v)] = 0.299 * v;
      green[size_t(v)] = 0.587 * v;
      blue[size_t(v)] = 0.114 * v;
    }
  }
};

}  // namespace

ColorStats StatsOf(const TBitmap32& picture, const TRect& rect) {
  const int left = std::max(rect.Left, 0);
  const int top = std::max(rect.Top, 0);
  const int right = std::min(rect.Right, picture.Width());
  const int bottom = std::min(rect.Bottom, picture.Height());
  if (left >= right || top >= bottom) return {};
  // Each channel's share of the luminance, the same products the sum below
  // would make pixel by pixel.
  static const LumaTables shares;
  // Integer sums: a cell never holds enough pixels to overflow 64 bits.
  uint64_t r = 0, g = 0, b = 0;
  double luma = 0, luma2 = 0;
  for (int y = top; y < bottom; ++y) {
    const TColor32* row = picture.ScanLine(y);
    for (int x = left; x < right; ++x) {
      const TColor32 c = row[x];
      const int cr = RedOf(c), cg = GreenOf(c), cb = BlueOf(c);
      r += uint64_t(cr);
      g += uint64_t(cg);
      b += uint64_t(cb);
      const double l = shares.red[cr] + shares.green[cg] + shares.blue[cb];
      luma += l;
      luma2 += l * l;
    }
  }
  const double n = double(right - left) * double(bottom - top);
  const double mean = luma / n;
  ColorStats s;
  s.Red = float(double(r) / n);
  s.Green = float(double(g) / n);
  s.Blue = float(double(b) / n);
  s.Spread = float(std::sqrt(std::max(0.0, luma2 / n - mean * mean)));
  return s;
}

ColorStats StatsOf(const TBitmap32& picture) {
  return StatsOf(picture, TRect{0, 0, picture.Width(), picture.Height()});
}

float TransferSpreadFactor(float tile, float cell, float keep) {
  // A flat picture has no light and dark to scale: it only moves.
  if (!(tile > 0.5f)) return 1.0f;
  const float toward = std::clamp(cell / tile, kTransferSpreadMin, kTransferSpreadMax);
  const float shown = keep > 0.0f ? toward / keep : toward;
  return std::clamp(shown, kTransferSpreadMin, kTransferSpreadMax);
}

// Below 256 the part cut off by the truncation is exact in a float.
uint8_t RoundToByte(float x) {
  if (!(x > 0.0f)) return 0;
  if (x >= 255.0f) return 255;
  const int whole = static_cast<int>(x);
  return static_cast<uint8_t>(whole + (x - static_cast<float>(whole) >= 0.5f ? 1 : 0));
}

namespace {

// The table of one channel: v' = v + t (target - mean + (s - 1)(v - mean)),
// rounded and clamped to 0..255.
std::array<uint8_t, 256> ChannelTable(float mean, float target, float s, float t) {
  std::array<uint8_t, 256> table{};
  for (int v = 0; v < 256; ++v) {
    const float full = target + s * (float(v) - mean);
    table[size_t(v)] = RoundToByte(float(v) + t * (full - float(v)));
  }
  return table;
}

}  // namespace

void TransferAndFlip(const TBitmap32& source, TBitmap32& target, const ColorStats& tile, const ColorStats& cell,
                     float spreadFactor, int strength, bool horizontal, bool vertical) {
  if (&source == &target) return;
  if (!target.SetSize(source.Width(), source.Height()).ok()) return;
  const float t = float(std::clamp(strength, 0, 100)) / 100.0f;
  const auto red = ChannelTable(tile.Red, cell.Red, spreadFactor, t);
  const auto green = ChannelTable(tile.Green, cell.Green, spreadFactor, t);
  const auto blue = ChannelTable(tile.Blue, cell.Blue, spreadFactor, t);
  const int w = source.Width();
  const int h = source.Height();
  // One pixel at a time through a pointer that steps either way: vectorised,
  // the table lookups were put together through the stack at a stall per
  // pixel.
  const ptrdiff_t step = horizontal ? -1 : 1;
  for (int y = 0; y < h; ++y) {
    const TColor32* in = source.ScanLine(y);
    TColor32* out = target.ScanLine(vertical ? h - 1 - y : y) + (horizontal ? w - 1 : 0);
    for (int x = 0; x < w; ++x, out += step) {
      const TColor32 c = in[x];
      *out = 0xFF000000u | (TColor32(red[RedOf(c)]) << 16) | (TColor32(green[GreenOf(c)]) << 8) |
             TColor32(blue[BlueOf(c)]);
    }
  }
}

}  // namespace velmora
