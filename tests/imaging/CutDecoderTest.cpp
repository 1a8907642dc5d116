// Dr. Halo pictures and their palette files. No tool at hand writes them, so
// the fixtures are written here from the published description (6-byte
// header, per line a byte count and run codes ending in 0; the palette file's
// 40-byte "AH" header and 16-bit levels in 512-byte blocks); files written
// this way were also checked against another program's reader.
#include <gtest/gtest.h>

#include "imaging/CraftedFiles.h"
#include "imaging/PictureReader.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using testing::Bytes;

constexpr int kW = 140;  // longer than one 127-pixel run
constexpr int kH = 4;
constexpr int kColors = 100;  // entries 85.. cross a 512-byte block boundary

uint8_t IndexAt(int x, int y) { return uint8_t(testing::Pattern(x, y, 0, kColors - 1)); }

Bytes CutFile(int w = kW, int h = kH) {
  Bytes f;
  f.u16le(uint32_t(w)).u16le(uint32_t(h)).u16le(0);
  for (int y = 0; y < h; ++y) {
    std::vector<uint8_t> line;
    for (int x = 0; x < w; ++x) line.push_back(IndexAt(x, y));
    Bytes coded;
    testing::EncodeRuns(
        line, 127, [&](size_t n, uint8_t v) { coded.u8(0x80 | uint32_t(n)).u8(v); },
        [&](const uint8_t* p, size_t n) {
          coded.u8(uint32_t(n));
          for (size_t i = 0; i < n; ++i) coded.u8(p[i]);
        });
    coded.u8(0);
    f.u16le(uint32_t(coded.size())).append(coded.data);
  }
  return f;
}

uint16_t PalLevel(int i, int k) { return uint16_t((i * 5 + k * 31) % 64); }

Bytes PalFile(int colors = kColors) {
  Bytes f;
  f.text("AH").u16le(0x0300).u16le(0).u8(10).u8(0).u16le(0).u16le(0);
  f.u16le(uint32_t(colors - 1)).u16le(63).u16le(63).u16le(63).text("Dr. Halo").fill(12);
  for (int i = 0; i < colors; ++i) {
    if (f.size() % 512 > 512 - 6) f.fill(512 - f.size() % 512);
    for (int k = 0; k < 3; ++k) f.u16le(PalLevel(i, k));
  }
  return f;
}

class CutDecoderFiles : public ::testing::Test {
protected:
  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = scratch_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data.data()), std::streamsize(bytes.size()));
    return path;
  }
  velmora::testing::ScratchFolder scratch_;
};

TEST_F(CutDecoderFiles, ColoursComeFromThePaletteBeside) {
  testing::DumpCrafted("halo.cut", CutFile().data);
  testing::DumpCrafted("halo.pal", PalFile().data);
  // The palette's spelling follows the picture's: PIC.CUT finds PIC.PAL.
  for (const auto& [cut, pal] : {std::pair{"pic.cut", "pic.pal"}, std::pair{"PIC.CUT", "PIC.PAL"}}) {
    const std::string path = Write(cut, CutFile());
    Write(pal, PalFile());
    Result<DecodedPicture> r = ReadPicture(path);
    ASSERT_TRUE(r.ok()) << r.message();
    ASSERT_EQ(r->bitmap.Width(), kW);
    ASSERT_EQ(r->bitmap.Height(), kH);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const int i = IndexAt(x, y);
        const auto c = [&](int k) { return uint8_t((PalLevel(i, k) * 255 + 31) / 63); };
        ASSERT_EQ(r->bitmap.Pixel(x, y), Color32(c(0), c(1), c(2))) << x << "," << y;
      }
  }
}

TEST_F(CutDecoderFiles, GreyWithoutAPalette) {
  // Bytes alone, a file without a .pal beside it, and a .pal of another kind.
  const std::string alone = Write("alone.cut", CutFile());
  const std::string other = Write("other.cut", CutFile());
  Bytes riff;
  riff.text("RIFF").fill(60);
  Write("other.pal", riff);
  for (const Result<DecodedPicture>& r :
       {DecodePicture("x.cut", CutFile().data), ReadPicture(alone), ReadPicture(other)}) {
    ASSERT_TRUE(r.ok()) << r.message();
    for (int x = 0; x < kW; ++x) {
      const uint8_t v = IndexAt(x, 1);  // more than 16 indices: the index is the level
      ASSERT_EQ(r->bitmap.Pixel(x, 1), Color32(v, v, v)) << x;
    }
  }
  // Two indices are black and white.
  Bytes two;
  two.u16le(3).u16le(1).u16le(0).u16le(4).u8(3).u8(0).u8(1).u8(1).u8(0);
  Result<DecodedPicture> r = DecodePicture("x.cut", two.data);
  ASSERT_TRUE(r.ok()) << r.message();
  EXPECT_EQ(r->bitmap.Pixel(0, 0), Color32(0, 0, 0));
  EXPECT_EQ(r->bitmap.Pixel(1, 0), Color32(255, 255, 255));
}

TEST_F(CutDecoderFiles, DamagedFilesFailWithTheirMessages) {
  const std::string stream = "Stream read error in CUT file.";
  const std::string palette = "Cannot load image. Palette in CUT file is invalid.";
  testing::ExpectTruncationsFail("x.cut", CutFile().data, stream);
  EXPECT_EQ(DecodePicture("x.cut", CutFile(0, kH).data).message(),
            "Cannot load image. Invalid or unexpected CUT image format.");
  EXPECT_EQ(DecodePicture("x.cut", CutFile(kW, 0).data).message(),
            "Cannot load image. Invalid or unexpected CUT image format.");
  Bytes tall = CutFile();  // 65535 lines in a file of 4
  tall.put16le(2, 65535);
  EXPECT_EQ(DecodePicture("x.cut", tall.data).message(), stream);
  Bytes overflow;  // a run of 5 on a line of 3
  overflow.u16le(3).u16le(1).u16le(0).u16le(3).u8(0x85).u8(7).u8(0);
  EXPECT_EQ(DecodePicture("x.cut", overflow.data).message(),
            "Cannot load image. Compression error found in CUT file.");

  // Indices past the palette's last entry, and a palette file cut short.
  const std::string small = Write("small.cut", CutFile());
  Write("small.pal", PalFile(16));
  EXPECT_EQ(ReadPicture(small).message(), small + ": " + palette);
  const std::string cut = Write("cut.cut", CutFile());
  Bytes shortPal = PalFile();
  shortPal.data.resize(300);
  Write("cut.pal", shortPal);
  EXPECT_EQ(ReadPicture(cut).message(), cut + ": " + palette);
}

}  // namespace
}  // namespace velmora
