// Upright pictures: the eight orientation fixtures (made with Debian's
// jpegtran, pamflip and exiftool) decode to the same upright pixels, the
// switch gives the stored pixels back, and the EXIF reading survives
// damaged segments.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/Orientation.h"
#include "imaging/PictureReader.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

const std::string kDir = std::string(VELMORA_TEST_DATA) + "/orientation/";

// The plain-text PPM the fixtures were made from.
TBitmap32 Upright() {
  std::istringstream in(testing::ReadWholeFile(kDir + "upright.ppm"));
  std::string magic;
  int w = 0, h = 0, max = 0;
  in >> magic >> w >> h >> max;
  TBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int r = 0, g = 0, bl = 0;
      in >> r >> g >> bl;
      b.Pixel(x, y) = Color32(uint8_t(r), uint8_t(g), uint8_t(bl));
    }
  return b;
}

// Largest channel difference, or 256 when the sizes differ.
int Difference(const TBitmap32& a, const TBitmap32& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return 256;
  int worst = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      for (int shift : {0, 8, 16})
        worst = std::max(
            worst, std::abs(int((a.Pixel(x, y) >> shift) & 0xFF) - int((b.Pixel(x, y) >> shift) & 0xFF)));
  return worst;
}

TEST(Orientation, EveryTagGivesTheSameUprightPixels) {
  const TBitmap32 upright = Upright();
  ASSERT_EQ(upright.Width(), 24);
  for (int n = 1; n <= 8; ++n)
    for (const char* ext : {"jpg", "tif"}) {
      const std::string path = kDir + "orientation-" + std::to_string(n) + "." + ext;
      auto read = ReadPicture(path);
      ASSERT_TRUE(read.ok()) << path << ": " << read.message();
      EXPECT_EQ(read->orientation, n) << path;
      EXPECT_EQ(read->storedWidth, 24) << path;
      // TIFF is exact; the JPEGs (quality 100, flat 8 x 8 blocks) nearly so.
      EXPECT_LE(Difference(read->bitmap, upright), std::string(ext) == "tif" ? 0 : 4) << path;

      // Switched off: the pixels as stored, which for every tag but 1 is not
      // the upright picture (5 to 8 not even its size).
      DecodeHints asStored;
      asStored.applyOrientation = false;
      auto stored = ReadPicture(path, asStored);
      ASSERT_TRUE(stored.ok()) << path;
      EXPECT_EQ(stored->orientation, 1);
      EXPECT_EQ(stored->bitmap.Width(), OrientationSwapsSides(n) ? 16 : 24) << path;
      if (n != 1 && std::string(ext) == "jpg") {
        EXPECT_GT(Difference(stored->bitmap, upright), 100) << path;
      }
    }
}

TEST(Orientation, ScaledDecodeIsOfferedTheUprightSize) {
  std::vector<std::pair<int, int>> offered;
  DecodeHints hints;
  hints.acceptScaled = [&](int w, int h) {
    offered.emplace_back(w, h);
    return false;
  };
  ASSERT_TRUE(ReadPicture(kDir + "orientation-6.jpg", hints).ok());
  ASSERT_FALSE(offered.empty());
  EXPECT_EQ(offered.front(), std::make_pair(3, 2));  // 1/8 of 24 x 16, upright
}

// An APP1 payload: "Exif\0\0", a TIFF header and one IFD with the given
// entries (tag, type, count, value), in either byte order.
std::vector<uint8_t> Exif(bool little, const std::vector<std::array<uint32_t, 4>>& entries, uint32_t ifd = 8,
                          int claimedEntries = -1) {
  std::vector<uint8_t> b = {'E', 'x', 'i', 'f', 0, 0};
  auto put16 = [&](uint32_t v) {
    if (little) {
      b.push_back(uint8_t(v));
      b.push_back(uint8_t(v >> 8));
    } else {
      b.push_back(uint8_t(v >> 8));
      b.push_back(uint8_t(v));
    }
  };
  auto put32 = [&](uint32_t v) {
    if (little) {
      put16(v & 0xFFFF);
      put16(v >> 16);
    } else {
      put16(v >> 16);
      put16(v & 0xFFFF);
    }
  };
  b.push_back(little ? 'I' : 'M');
  b.push_back(little ? 'I' : 'M');
  put16(42);
  put32(ifd);
  put16(claimedEntries < 0 ? uint32_t(entries.size()) : uint32_t(claimedEntries));
  for (const auto& e : entries) {
    put16(e[0]);
    put16(e[1]);
    put32(e[2]);
    put16(e[3]);
    put16(0);
  }
  put32(0);
  return b;
}

TEST(Orientation, ExifReadingTrustsNothing) {
  const std::array<uint32_t, 4> other = {0x010F, 2, 4, 0};
  const std::array<uint32_t, 4> six = {0x0112, 3, 1, 6};
  EXPECT_EQ(ExifOrientation(Exif(true, {other, six})), 6);
  EXPECT_EQ(ExifOrientation(Exif(false, {six})), 6);
  struct Bad {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  const std::vector<uint8_t> good = Exif(true, {other, six});
  const Bad bad[] = {
      {"no entry", Exif(true, {other})},
      {"value 9", Exif(true, {{0x0112, 3, 1, 9}})},
      {"value 0", Exif(true, {{0x0112, 3, 1, 0}})},
      {"wrong type", Exif(true, {{0x0112, 4, 1, 6}})},
      {"IFD past the end", Exif(true, {six}, 4000)},
      {"more entries than bytes", Exif(true, {six}, 8, 5000)},
      {"not EXIF", std::vector<uint8_t>(good.begin() + 1, good.end())},
      {"empty", {}},
  };
  for (const Bad& c : bad) EXPECT_EQ(ExifOrientation(c.bytes), 1) << c.what;
  // Cut anywhere, the segment gives 1 or (once the entry is whole) 6.
  for (size_t n = 0; n < good.size(); ++n) {
    const int o = ExifOrientation(std::vector<uint8_t>(good.begin(), good.begin() + long(n)));
    EXPECT_TRUE(o == 1 || o == 6) << n;
  }
}

}  // namespace
}  // namespace velmora
