// Kodak Photo CD pictures. The fixtures are written here from the published
// layout (2048-byte sectors, "PCD_IPI" at 0x800, the rotation code at 0xE02,
// the 768 x 512 base picture at 0x30000 as two luma lines and two half-width
// chroma lines per group): the one tool at hand that writes the format uses
// its own colour scaling rather than PhotoYCC's, so its files cannot show
// whether the colours are right.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "imaging/CraftedFiles.h"
#include "imaging/PictureReader.h"

namespace velmora {
namespace {

constexpr int kW = 768;
constexpr int kH = 512;
constexpr size_t kBase = 0x30000;

struct Ycc {
  uint8_t y, c1, c2;
};

// Four quadrants of known PhotoYCC colours: reference white, mid grey, a
// red and a blue, with a luma ramp along x in the upper half.
Ycc YccAt(int x, int y) {
  const bool right = x >= kW / 2, bottom = y >= kH / 2;
  if (!bottom && !right) return {uint8_t(x * 182 / (kW / 2)), 156, 137};
  if (!bottom) return {182, 156, 137};
  if (!right) return {90, 110, 220};
  return {60, 230, 120};
}

TColor32 Rgb(Ycc c) {
  const double l = 1.3584 * c.y, c1 = 2.2179 * (c.c1 - 156), c2 = 1.8215 * (c.c2 - 137);
  const auto clip = [](double v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); };
  return Color32(clip(l + c2), clip(l - 0.194 * c1 - 0.509 * c2), clip(l + c1));
}

std::vector<uint8_t> PcdFile(int rotation) {
  std::vector<uint8_t> f(kBase + size_t(kW) * kH * 3 / 2 + 0x800, 0);
  std::copy_n("PCD_IPI", 7, f.begin() + 0x800);
  f[0xE02] = uint8_t(rotation);
  size_t at = kBase;
  for (int y = 0; y < kH; y += 2) {
    for (int line = 0; line < 2; ++line)
      for (int x = 0; x < kW; ++x) f[at++] = YccAt(x, y + line).y;
    for (int x = 0; x < kW; x += 2) f[at++] = YccAt(x, y).c1;
    for (int x = 0; x < kW; x += 2) f[at++] = YccAt(x, y).c2;
  }
  return f;
}

bool Near(TColor32 a, TColor32 b) {
  const auto d = [](uint8_t p, uint8_t q) { return std::abs(int(p) - int(q)) <= 1; };
  return d(RedOf(a), RedOf(b)) && d(GreenOf(a), GreenOf(b)) && d(BlueOf(a), BlueOf(b));
}

TEST(PcdDecoder, PhotoYccColoursInEveryOrientation) {
  testing::DumpCrafted("quadrants.pcd", PcdFile(0));
  EXPECT_EQ(Rgb({182, 156, 137}), Color32(247, 247, 247));  // reference white
  for (int rotation = 0; rotation < 4; ++rotation) {
    SCOPED_TRACE(rotation);
    Result<DecodedPicture> r = DecodePicture("x.pcd", PcdFile(rotation));
    ASSERT_TRUE(r.ok()) << r.message();
    const bool quarter = rotation % 2 == 1;
    ASSERT_EQ(r->bitmap.Width(), quarter ? kH : kW);
    ASSERT_EQ(r->bitmap.Height(), quarter ? kW : kH);
    for (int y = 0; y < kH; y += 7)
      for (int x = 0; x < kW; x += 5) {
        // Where stored pixel (x, y) lands once turned upright.
        int ux = x, uy = y;
        if (rotation == 1) ux = y, uy = kW - 1 - x;  // a quarter counter-clockwise
        if (rotation == 2) ux = kW - 1 - x, uy = kH - 1 - y;
        if (rotation == 3) ux = kH - 1 - y, uy = x;  // a quarter clockwise
        ASSERT_TRUE(Near(r->bitmap.Pixel(ux, uy), Rgb(YccAt(x, y))))
            << x << "," << y << ": " << std::hex << r->bitmap.Pixel(ux, uy) << " " << Rgb(YccAt(x, y));
      }
  }
}

TEST(PcdDecoder, DamagedFilesFailWithTheirMessages) {
  const std::vector<uint8_t> good = PcdFile(0);
  testing::ExpectTruncationsFail("x.pcd", good, "Stream read error in PCD file.", false);
  // The base picture ends one sector before the file does.
  std::vector<uint8_t> cut(good.begin(), good.end() - 0x801);
  EXPECT_EQ(DecodePicture("x.pcd", cut).message(), "Stream read error in PCD file.");
  std::vector<uint8_t> other = good;
  other[0x800] = 'X';
  EXPECT_EQ(DecodePicture("x.pcd", other).message(),
            "Cannot load image. Invalid or unexpected PCD image format.");
}

}  // namespace
}  // namespace velmora
