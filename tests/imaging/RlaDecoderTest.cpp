// Alias/Wavefront run-length pictures. No tool at hand writes this format, so
// the fixtures are written here from the published description (740-byte
// header, bottom-first line offsets, per channel a byte count and signed run
// codes, wide channels as one run per byte plane, high byte first); the
// files written this way were also checked against another program's reader.
#include <gtest/gtest.h>

#include "imaging/CraftedFiles.h"
#include "imaging/PictureReader.h"
#include "imaging/formats/RlaDecoder.h"

namespace velmora {
namespace {

using testing::Bytes;
using testing::Pattern;

struct RlaCase {
  const char* name;
  int colorChannels;
  int colorBits;
  int matteChannels;
  int matteBits;
};

constexpr int kW = 150;  // longer than one 128-sample run
constexpr int kH = 5;

uint32_t MaxOf(int bits) { return (1u << bits) - 1; }
uint8_t To8(uint32_t v, int bits) { return uint8_t((v * 255 + MaxOf(bits) / 2) / MaxOf(bits)); }

void PutPlane(Bytes& out, const std::vector<uint8_t>& plane) {
  testing::EncodeRuns(
      plane, 128, [&](size_t n, uint8_t v) { out.u8(uint32_t(n - 1)).u8(v); },
      [&](const uint8_t* p, size_t n) {
        out.u8(uint32_t(256 - n));
        for (size_t i = 0; i < n; ++i) out.u8(p[i]);
      });
}

Bytes RlaFile(const RlaCase& c, int w = kW, int h = kH, int colorType = -1) {
  Bytes f;
  f.u16be(0).u16be(w - 1).u16be(0).u16be(h - 1);  // window
  f.u16be(0).u16be(w - 1).u16be(0).u16be(h - 1);  // active window
  f.u16be(1);                                     // frame
  f.u16be(colorType >= 0 ? colorType : c.colorBits > 8 ? 1 : 0);
  f.u16be(c.colorChannels).u16be(c.matteChannels).u16be(0).u16be(0xFFFE);
  f.fill(658 - f.size());
  f.u16be(c.colorBits).u16be(c.matteBits > 8 ? 1 : 0).u16be(c.matteBits).u16be(0).u16be(0);
  f.fill(740 - f.size());
  const size_t table = f.size();
  f.fill(size_t(h) * 4);
  for (int i = 0; i < h; ++i) {
    const int y = h - 1 - i;  // the table starts with the bottom line
    f.put32be(table + size_t(i) * 4, uint32_t(f.size()));
    const int channels = c.colorChannels + c.matteChannels;
    for (int ch = 0; ch < channels; ++ch) {
      const int bits = ch < c.colorChannels ? c.colorBits : c.matteBits;
      Bytes record;
      for (int plane = bits > 8 ? 1 : 0; plane >= 0; --plane) {
        std::vector<uint8_t> samples;
        for (int x = 0; x < w; ++x) samples.push_back(uint8_t(Pattern(x, y, ch, MaxOf(bits)) >> (8 * plane)));
        PutPlane(record, samples);
      }
      f.u16be(uint32_t(record.size())).append(record.data);
    }
  }
  return f;
}

TColor32 Expected(const RlaCase& c, int x, int y) {
  const auto s = [&](int ch) { return To8(Pattern(x, y, ch, MaxOf(c.colorBits)), c.colorBits); };
  const uint8_t a =
      c.matteChannels > 0 ? To8(Pattern(x, y, c.colorChannels, MaxOf(c.matteBits)), c.matteBits) : 255;
  if (c.colorChannels == 1) return Color32(s(0), s(0), s(0), a);
  return Color32(s(0), s(1), s(2), a);
}

const RlaCase kCases[] = {
    {"grey8", 1, 8, 0, 0},           {"rgb8", 3, 8, 0, 0},
    {"rgb8_matte8", 3, 8, 1, 8},     {"rgb16_matte16", 3, 16, 1, 16},
    {"rgb10_matte10", 3, 10, 1, 10}, {"grey16_matte8", 1, 16, 1, 8},
};

TEST(RlaDecoder, EveryVariantDecodesToItsPixels) {
  for (const RlaCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const Bytes file = RlaFile(c);
    testing::DumpCrafted(std::string(c.name) + ".rla", file.data);
    Result<DecodedPicture> r = DecodePicture("x.rla", file.data);
    ASSERT_TRUE(r.ok()) << r.message();
    ASSERT_EQ(r->bitmap.Width(), kW);
    ASSERT_EQ(r->bitmap.Height(), kH);
    EXPECT_EQ(r->keepsAlpha, c.matteChannels > 0);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) ASSERT_EQ(r->bitmap.Pixel(x, y), Expected(c, x, y)) << x << "," << y;
  }
  // rpf is the same format.
  EXPECT_TRUE(DecodePicture("X.RPF", RlaFile(kCases[1]).data).ok());
}

TEST(RlaDecoder, DamagedFilesFailWithTheirMessages) {
  const std::string stream = "Stream read error in RLA file.";
  const std::string invalid = "Cannot load image. Invalid or unexpected RLA image format.";
  const Bytes good = RlaFile(kCases[2]);
  testing::ExpectTruncationsFail("x.rla", good.data, stream);

  Bytes zero = good;  // right edge one left of the left edge: zero columns
  zero.put16be(10, 0xFFFF);
  EXPECT_EQ(DecodePicture("x.rla", zero.data).message(), invalid);
  Bytes negative = good;  // top below bottom
  negative.put16be(14, 0xFFF0);
  EXPECT_EQ(DecodePicture("x.rla", negative.data).message(), invalid);
  Bytes huge = good;  // 65536 x 5: past the side limit, refused before any allocation
  huge.put16be(8, 0x8000);
  huge.put16be(10, 0x7FFF);
  EXPECT_NE(DecodePicture("x.rla", huge.data).message().find("larger than the limit"), std::string::npos);
  Bytes tall = good;  // 30000 lines claimed by a file that holds 5
  tall.put16be(14, 29999);
  EXPECT_EQ(DecodePicture("x.rla", tall.data).message(), stream);

  Bytes offset = good;  // a line offset past the end of the file
  offset.put32be(740, uint32_t(good.size() + 10));
  EXPECT_EQ(DecodePicture("x.rla", offset.data).message(), stream);

  // A run that passes the end of the line.
  Bytes overflow = RlaFile(kCases[0], 4, 1);
  const size_t record = 740 + 4 + 2;
  overflow.data[record] = 9;  // 10 copies of the next byte for a line of 4
  EXPECT_EQ(DecodePicture("x.rla", overflow.data).message(),
            "Cannot load image. Compression error found in RLA file.");

  EXPECT_EQ(DecodePicture("x.rla", RlaFile(kCases[0], kW, kH, 4).data).message(),
            "Invalid color format in RLA file.");
  // Not sniffed: a Windows bitmap named .rla is a damaged RLA file.
  Bytes bmp;
  bmp.text("BM").fill(800);
  EXPECT_EQ(DecodePicture("x.rla", bmp.data).message(), invalid);
}

}  // namespace
}  // namespace velmora
