#include "project/TileShapePreview.h"

#include <algorithm>
#include <vector>

#include "imaging/PictureOps.h"

namespace velmora {
namespace {

// A grey ramp, light to dark across and down, for a preview without a picture.
TBitmap32 Ramp(int side) {
  TBitmap32 ramp(side, side);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      const auto g = static_cast<uint8_t>(220 - (x + y) * 140 / std::max(1, 2 * side - 2));
      ramp.Pixel(x, y) = Color32(g, g, g);
    }
  return ramp;
}

uint8_t Mix(uint8_t tile, uint8_t gap, int cover) {
  return static_cast<uint8_t>((tile * cover + gap * (255 - cover) + 127) / 255);
}

}  // namespace

TBitmap32 TileShapePreview(const TileMasking& masking, const TBitmap32& photo, const TBitmap32& main, int side) {
  side = std::clamp(side, 4, 512);
  const int whole = 2 * side;
  TBitmap32 tile;
  if (photo.Empty()) {
    tile = Ramp(side);
  } else {
    TBitmap32 square;
    CropToAspect(photo, square, 1, 1);
    StretchToSize(square, tile, side, side);
  }
  TBitmap32 gap;
  if (masking.Gap == GapFill::kMain) {
    TBitmap32 shrunk;
    if (main.Empty())
      shrunk = Ramp(whole);
    else
      StretchToSize(main, shrunk, whole, whole);
    gap = BlurredPicture(shrunk, std::max(1, side / 4), 1);
  } else {
    gap = TBitmap32(whole, whole);
    gap.Fill(Color32FromBgrInt(masking.GapColor));
  }
  const std::vector<uint8_t> cover =
      masking.On() ? ShapeCoverage(masking.Shape, side, side, &masking.Custom) : std::vector<uint8_t>();
  TBitmap32 out(whole, whole);
  for (int y = 0; y < whole; ++y)
    for (int x = 0; x < whole; ++x) {
      const int tx = x % side, ty = y % side;
      const int c = cover.empty() ? 255 : cover[size_t(ty) * size_t(side) + size_t(tx)];
      const TColor32 t = tile.Pixel(tx, ty), g = gap.Pixel(x, y);
      out.Pixel(x, y) =
          Color32(Mix(RedOf(t), RedOf(g), c), Mix(GreenOf(t), GreenOf(g), c), Mix(BlueOf(t), BlueOf(g), c));
    }
  return out;
}

void MaskPattern(const TileMasking& masking, int zoom, Bitmap24& pattern) {
  if (!masking.On() || zoom < 1 || pattern.Width() < zoom || pattern.Height() < zoom) return;
  const std::vector<uint8_t> cover = ShapeCoverage(masking.Shape, zoom, zoom, &masking.Custom);
  if (cover.size() != size_t(zoom) * size_t(zoom)) return;
  const int cols = pattern.Width() / zoom, rows = pattern.Height() / zoom;
  // Each square's colour (its centre pixel, before any edge line) first.
  std::vector<uint8_t> colour(size_t(cols) * size_t(rows) * 3);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c)
      std::copy_n(pattern.PixelAddress(c * zoom + zoom / 2, r * zoom + zoom / 2), 3,
                  &colour[(size_t(r) * size_t(cols) + size_t(c)) * 3]);
  const auto at = [&](int c, int r, int i) {
    c = std::clamp(c, 0, cols - 1);
    r = std::clamp(r, 0, rows - 1);
    return int(colour[(size_t(r) * size_t(cols) + size_t(c)) * 3 + size_t(i)]);
  };
  const auto g = static_cast<uint32_t>(masking.GapColor);
  const uint8_t gapBgr[3] = {uint8_t((g >> 16) & 0xFF), uint8_t((g >> 8) & 0xFF), uint8_t(g & 0xFF)};
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      uint8_t gap[3];
      for (int i = 0; i < 3; ++i)
        gap[i] = masking.Gap == GapFill::kMain
                     ? uint8_t((at(c, r, i) + at(c - 1, r, i) + at(c + 1, r, i) + at(c, r - 1, i) + at(c, r + 1, i) + 2) / 5)
                     : gapBgr[i];
      for (int y = 0; y < zoom; ++y) {
        uint8_t* p = pattern.PixelAddress(c * zoom, r * zoom + y);
        for (int x = 0; x < zoom; ++x, p += 3) {
          const int k = cover[size_t(y) * size_t(zoom) + size_t(x)];
          for (int i = 0; i < 3; ++i) p[i] = Mix(p[i], gap[i], k);
        }
      }
    }
}

}  // namespace velmora
