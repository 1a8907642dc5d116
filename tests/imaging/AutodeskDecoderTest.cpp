// Autodesk Animator cels and pictures. No tool at hand writes them, so the
// fixtures are written here from the published description: a 32-byte
// header with the magic 0x9119, 768 bytes of palette, one index per pixel.
#include <gtest/gtest.h>

#include "imaging/CraftedFiles.h"
#include "imaging/PictureReader.h"

namespace velmora {
namespace {

using testing::Bytes;

constexpr int kW = 19;
constexpr int kH = 6;

uint8_t Level(int i, int k, bool sixBit) {
  const int v = (i * 7 + k * 71) % 256;
  return uint8_t(sixBit ? v % 64 : v);
}
uint8_t IndexAt(int x, int y) { return uint8_t(x * 13 + y * 29); }

Bytes CelFile(bool sixBit, int w = kW, int h = kH, int bits = 8) {
  Bytes f;
  f.u16le(0x9119).u16le(uint32_t(w)).u16le(uint32_t(h)).u16le(10).u16le(20).u8(uint32_t(bits)).u8(0);
  f.u32le(uint32_t(w * h)).fill(16);
  for (int i = 0; i < 256; ++i)
    for (int k = 0; k < 3; ++k) f.u8(Level(i, k, sixBit));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) f.u8(IndexAt(x, y));
  return f;
}

TEST(AutodeskDecoder, CelsAndPicturesWithTheirPalettes) {
  for (bool sixBit : {true, false}) {
    SCOPED_TRACE(sixBit ? "6-bit palette" : "8-bit palette");
    const Bytes file = CelFile(sixBit);
    testing::DumpCrafted(sixBit ? "vga.cel" : "full.pic", file.data);
    for (const char* name : {"x.cel", "X.PIC"}) {
      Result<DecodedPicture> r = DecodePicture(name, file.data);
      ASSERT_TRUE(r.ok()) << r.message();
      ASSERT_EQ(r->bitmap.Width(), kW);
      ASSERT_EQ(r->bitmap.Height(), kH);
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
          const int i = IndexAt(x, y);
          const auto c = [&](int k) {
            const uint8_t v = Level(i, k, sixBit);
            return sixBit ? uint8_t((v * 255 + 31) / 63) : v;
          };
          ASSERT_EQ(r->bitmap.Pixel(x, y), Color32(c(0), c(1), c(2))) << x << "," << y;
        }
    }
  }
}

TEST(AutodeskDecoder, DamagedFilesFailWithTheirMessages) {
  const std::string stream = "Stream read error in Autodesk file.";
  const std::string invalid = "Cannot load image. Invalid or unexpected Autodesk image format.";
  testing::ExpectTruncationsFail("x.cel", CelFile(true).data, stream);
  EXPECT_EQ(DecodePicture("x.cel", CelFile(true, 0, kH).data).message(), invalid);
  EXPECT_EQ(DecodePicture("x.cel", CelFile(true, kW, 0).data).message(), invalid);
  // 65535 x 65535 is past the pixel limit; 4000 x 4000 is allowed but the
  // file cannot hold it.
  Bytes huge = CelFile(true);
  huge.put16le(2, 65535);
  huge.put16le(4, 65535);
  EXPECT_NE(DecodePicture("x.cel", huge.data).message().find("larger than the limit"), std::string::npos);
  Bytes big = CelFile(true);
  big.put16le(2, 4000);
  big.put16le(4, 4000);
  EXPECT_EQ(DecodePicture("x.cel", big.data).message(), stream);
  EXPECT_EQ(DecodePicture("x.cel", CelFile(true, kW, kH, 24).data).message(),
            "Invalid color format in Autodesk file.");
  Bytes png;
  png.u8(0x89).text("PNG\r\n\x1a\n").fill(900);
  EXPECT_EQ(DecodePicture("x.pic", png.data).message(), invalid);
}

}  // namespace
}  // namespace velmora
