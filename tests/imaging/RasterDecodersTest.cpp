// The raster decoders behind ico, tga, pcx/scr, sgi, psd and the portable
// any-maps. The files under tests/data/{ico,tga,pcx,sgi,psd,pnm} were written
// by ImageMagick and netpbm (tests/data/make-raster-fixtures.sh) from the
// source pictures computed below; variants those tools do not write are built
// here byte by byte from the formats' published descriptions.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/PictureLimits.h"
#include "imaging/PictureReader.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------
// The source pictures of the fixture files (7 x 5 but for Big).

constexpr uint8_t S5(int k) { return uint8_t((k << 3) | (k >> 2)); }  // exact at 5 bits

TColor32 Palette16(int i) {
  static const int levels[16][3] = {{31, 0, 0},   {0, 31, 0},   {0, 0, 31},   {31, 31, 0},
                                    {31, 0, 31},  {0, 31, 31},  {31, 31, 31}, {0, 0, 0},
                                    {16, 8, 4},   {4, 16, 8},   {8, 4, 16},   {24, 12, 20},
                                    {12, 24, 28}, {20, 28, 12}, {28, 20, 24}, {10, 10, 10}};
  return Color32(S5(levels[i][0]), S5(levels[i][1]), S5(levels[i][2]));
}
int Index(int x, int y) { return (std::max(x - 2, 0) + 3 * y) % 16; }
uint8_t AlphaAt(int x, int y) { return std::array<uint8_t, 4>{255, 192, 128, 64}[(x + y) % 4]; }
bool MaskedAt(int x, int y) { return (x + 2 * y) % 5 == 0; }  // the icons' AND mask

enum class Source { kColour, kRgba, kGrey, kMono, kMany, kManyMasked, kColourMasked, kBig };

TColor32 Expected(Source s, int x, int y) {
  switch (s) {
    case Source::kColour:
      return Palette16(Index(x, y));
    case Source::kRgba:
      return (Palette16(Index(x, y)) & 0xFFFFFF) | TColor32(AlphaAt(x, y)) << 24;
    case Source::kGrey: {
      const uint8_t g = uint8_t(17 * Index(x, y));
      return Color32(g, g, g);
    }
    case Source::kMono:
      return (x * x + y) % 3 == 0 ? Color32(255, 255, 255) : Color32(0, 0, 0);
    case Source::kMany:
    case Source::kManyMasked: {
      const TColor32 c = Color32(uint8_t(40 * x), uint8_t(60 * y), uint8_t(255 - 7 * (x + 7 * y)));
      return s == Source::kManyMasked && MaskedAt(x, y) ? c & 0xFFFFFF : c;
    }
    case Source::kColourMasked:
      return MaskedAt(x, y) ? Palette16(Index(x, y)) & 0xFFFFFF : Palette16(Index(x, y));
    case Source::kBig:
      return (Palette16(Index(x % 7, y % 5)) & 0xFFFFFF) | TColor32(AlphaAt(x, y)) << 24;
  }
  return 0;
}

Bytes ReadFixture(const std::string& relative) {
  std::ifstream in(fs::path(VELMORA_TEST_DATA) / relative, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Every pixel within `tolerance` per colour channel; alpha compared only when
// the picture keeps it (otherwise it must be 255).
void ExpectPixels(const DecodedPicture& pic, int width, int height, bool alpha, int tolerance,
                  const std::function<TColor32(int, int)>& want) {
  ASSERT_EQ(pic.bitmap.Width(), width);
  ASSERT_EQ(pic.bitmap.Height(), height);
  EXPECT_EQ(pic.keepsAlpha, alpha);
  int wrong = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const TColor32 got = pic.bitmap.Pixel(x, y);
      const TColor32 w = want(x, y);
      const bool close =
          std::abs(RedOf(got) - RedOf(w)) <= tolerance && std::abs(GreenOf(got) - GreenOf(w)) <= tolerance &&
          std::abs(BlueOf(got) - BlueOf(w)) <= tolerance && AlphaOf(got) == (alpha ? AlphaOf(w) : 255);
      if (!close && ++wrong <= 3)
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << got << ", want " << w;
    }
  EXPECT_EQ(wrong, 0);
}

// ---------------------------------------------------------------------------
// Fixture files: every one decodes to its source, and every one cut short
// (inside the header, in the middle, by its last byte) fails with the
// format's read error.

struct FixtureCase {
  const char* file;  // under tests/data
  Source source;
  bool alpha;
  int tolerance;
  const char* name;        // the format's name in messages
  bool plainText = false;  // a cut last byte may only drop white space
};

std::vector<FixtureCase> FixtureCases() {
  return {
      {"ico/colour-4bit-mask.ico", Source::kColourMasked, true, 0, "ICO"},
      {"ico/many-8bit-mask.ico", Source::kManyMasked, true, 0, "ICO"},
      {"ico/rgba-32bit.ico", Source::kRgba, true, 0, "ICO"},
      {"ico/rgba-32bit-and-big-png.ico", Source::kBig, true, 0, "ICO"},
      {"tga/colour-24.tga", Source::kColour, false, 0, "TGA"},
      {"tga/colour-24.vst", Source::kColour, false, 0, "TGA"},
      {"tga/colour-24-rle.tga", Source::kColour, false, 0, "TGA"},
      {"tga/rgba-32.tga", Source::kRgba, true, 0, "TGA"},
      {"tga/rgba-32-rle.tga", Source::kRgba, true, 0, "TGA"},
      {"tga/colour-mapped.tga", Source::kColour, false, 0, "TGA"},
      {"tga/colour-mapped-rle.tga", Source::kColour, false, 0, "TGA"},
      {"tga/grey-8.tga", Source::kGrey, false, 0, "TGA"},
      {"tga/grey-8-rle.tga", Source::kGrey, false, 0, "TGA"},
      {"pcx/mono-1bit.pcx", Source::kMono, false, 0, "PCX"},
      {"pcx/colour-4planes.pcx", Source::kColour, false, 0, "PCX"},
      {"pcx/colour-4bit-packed.pcx", Source::kColour, false, 0, "PCX"},
      {"pcx/colour-8bit.pcx", Source::kColour, false, 0, "PCX"},
      {"pcx/colour-8bit.scr", Source::kColour, false, 0, "SCR"},
      {"pcx/colour-24bit.pcx", Source::kColour, false, 0, "PCX"},
      {"pcx/rgba-32bit.pcx", Source::kRgba, true, 0, "PCX"},
      {"sgi/colour-verbatim.sgi", Source::kColour, false, 0, "SGI"},
      {"sgi/colour-rle.rgb", Source::kColour, false, 0, "SGI"},
      {"sgi/grey-rle.bw", Source::kGrey, false, 0, "SGI"},
      {"sgi/grey-verbatim.bw", Source::kGrey, false, 0, "SGI"},
      {"sgi/colour-16bit-rle.sgi", Source::kColour, false, 0, "SGI"},
      {"sgi/colour-16bit-verbatim.sgi", Source::kColour, false, 0, "SGI"},
      {"sgi/rgba-rle.rgba", Source::kRgba, true, 0, "SGI"},
      {"sgi/rgba-16bit-verbatim.rgba", Source::kRgba, true, 0, "SGI"},
      {"psd/colour-raw.psd", Source::kColour, false, 0, "PSD"},
      {"psd/colour-rle.psd", Source::kColour, false, 0, "PSD"},
      {"psd/colour-16bit-rle.psd", Source::kColour, false, 0, "PSD"},
      {"psd/grey-rle.psd", Source::kGrey, false, 0, "PSD"},
      {"psd/grey-16bit-raw.psd", Source::kGrey, false, 0, "PSD"},
      {"psd/colour-indexed-rle.psd", Source::kColour, false, 0, "PSD"},
      {"psd/colour-cmyk-rle.psd", Source::kColour, false, 2, "PSD"},
      {"psd/colour-cmyk-16bit-raw.psd", Source::kColour, false, 2, "PSD"},
      {"psd/rgba-rle.psd", Source::kRgba, true, 0, "PSD"},
      {"psd/colour-two-layers.pdd", Source::kColour, false, 0, "PSD"},
      {"pnm/mono-p4.pbm", Source::kMono, false, 0, "PBM"},
      {"pnm/mono-p1.pbm", Source::kMono, false, 0, "PBM", true},
      {"pnm/grey-p5.pgm", Source::kGrey, false, 0, "PGM"},
      {"pnm/grey-p2.pgm", Source::kGrey, false, 0, "PGM", true},
      {"pnm/grey-p2-65535.pgm", Source::kGrey, false, 0, "PGM", true},
      {"pnm/grey-p5-named.ppm", Source::kGrey, false, 0, "PPM"},
      {"pnm/colour-p6.ppm", Source::kColour, false, 0, "PPM"},
      {"pnm/colour-p3.ppm", Source::kColour, false, 0, "PPM", true},
      {"pnm/colour-p6-65535.ppm", Source::kColour, false, 0, "PPM"},
      {"pnm/colour-p6-1000.ppm", Source::kColour, false, 1, "PPM"},
  };
}

class RasterFixture : public testing::TestWithParam<FixtureCase> {};

TEST_P(RasterFixture, DecodesToItsSource) {
  const FixtureCase& c = GetParam();
  const Bytes bytes = ReadFixture(c.file);
  ASSERT_FALSE(bytes.empty()) << c.file;
  Result<DecodedPicture> pic = DecodePicture(c.file, bytes);
  ASSERT_TRUE(pic.ok()) << pic.message();
  const int side = c.source == Source::kBig ? 256 : 0;
  ExpectPixels(*pic, side ? side : 7, side ? side : 5, c.alpha, c.tolerance,
               [&](int x, int y) { return Expected(c.source, x, y); });
}

TEST_P(RasterFixture, CutShortFailsWithTheReadError) {
  const FixtureCase& c = GetParam();
  const Bytes bytes = ReadFixture(c.file);
  const std::string want = std::string("Stream read error in ") + c.name + " file.";
  std::vector<size_t> lengths = {0, 10, bytes.size() / 2};
  if (!c.plainText) lengths.push_back(bytes.size() - 1);
  for (size_t length : lengths) {
    Result<DecodedPicture> pic =
        DecodePicture(c.file, Bytes(bytes.begin(), bytes.begin() + ptrdiff_t(length)));
    ASSERT_FALSE(pic.ok()) << "cut to " << length;
    EXPECT_EQ(pic.message(), want) << "cut to " << length;
  }
}

INSTANTIATE_TEST_SUITE_P(Files, RasterFixture, testing::ValuesIn(FixtureCases()), [](const auto& info) {
  std::string n = info.param.file;
  for (char& ch : n)
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return n;
});

// The content is not sniffed: another format's file under each extension
// fails with that extension's message.
TEST(RasterDecoders, OtherFormatsUnderTheseExtensionsFailWithTheirMessage) {
  const Bytes png = ReadFixture("tga/colour-24.tga");
  const Bytes bmpLike = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  const std::pair<const char*, const char*> cases[] = {
      {"x.ico", "Cannot load image. Invalid or unexpected ICO image format."},
      {"x.pcx", "Cannot load image. Invalid or unexpected PCX image format."},
      {"x.scr", "Cannot load image. Invalid or unexpected SCR image format."},
      {"x.sgi", "Cannot load image. Invalid or unexpected SGI image format."},
      {"x.psd", "Cannot load image. Invalid or unexpected PSD image format."},
      {"x.ppm", "Cannot load image. Invalid or unexpected PPM image format."},
      {"x.PGM", "Cannot load image. Invalid or unexpected PGM image format."},
      {"x.pbm", "Cannot load image. Invalid or unexpected PBM image format."},
      {"x.TGA", "Cannot load image. Invalid or unexpected TGA image format."},
  };
  for (const auto& [name, message] : cases)
    EXPECT_EQ(DecodePicture(name, bmpLike).message(), message) << name;
  EXPECT_EQ(DecodePicture("x.pcx", ReadFixture("psd/colour-rle.psd")).message(),
            "Cannot load image. Invalid or unexpected PCX image format.");
  EXPECT_EQ(DecodePicture("x.psd", png).message(),
            "Cannot load image. Invalid or unexpected PSD image format.");
}

// ---------------------------------------------------------------------------
// Built here: the variants the tools above do not write, and damaged files.

void Put8(Bytes& b, uint32_t v) { b.push_back(uint8_t(v)); }
void Put16le(Bytes& b, uint32_t v) {
  Put8(b, v);
  Put8(b, v >> 8);
}
void Put32le(Bytes& b, uint32_t v) {
  Put16le(b, v);
  Put16le(b, v >> 16);
}
void Put16be(Bytes& b, uint32_t v) {
  Put8(b, v >> 8);
  Put8(b, v);
}
void Put32be(Bytes& b, uint32_t v) {
  Put16be(b, v >> 16);
  Put16be(b, v);
}
void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// Truevision: the 18-byte header, then the colour map and the pixels.
Bytes Tga(uint8_t type, int width, int height, uint8_t bits, uint8_t descriptor, const Bytes& pixels,
          const Bytes& map = {}, uint16_t mapFirst = 0, uint16_t mapLength = 0, uint8_t mapBits = 0) {
  Bytes b;
  Put8(b, 0);
  Put8(b, mapLength ? 1 : 0);
  Put8(b, type);
  Put16le(b, mapFirst);
  Put16le(b, mapLength);
  Put8(b, mapBits);
  Put32le(b, 0);
  Put16le(b, uint32_t(width));
  Put16le(b, uint32_t(height));
  Put8(b, bits);
  Put8(b, descriptor);
  Append(b, map);
  Append(b, pixels);
  return b;
}

// ZSoft: the 128-byte header and the stream (with a 256-colour palette when given).
Bytes Pcx(int width, int height, uint8_t bits, uint8_t planes, uint16_t bytesPerLine, const Bytes& stream) {
  Bytes b(128, 0);
  b[0] = 0x0A;
  b[1] = 5;
  b[2] = 1;
  b[3] = bits;
  b[8] = uint8_t(width - 1);
  b[9] = uint8_t((width - 1) >> 8);
  b[10] = uint8_t(height - 1);
  b[11] = uint8_t((height - 1) >> 8);
  b[65] = planes;
  b[66] = uint8_t(bytesPerLine);
  b[67] = uint8_t(bytesPerLine >> 8);
  Append(b, stream);
  return b;
}

// SGI: the 512-byte header; `body` follows it (tables and rows).
Bytes Sgi(uint8_t storage, uint8_t bpc, int width, int height, int channels, const Bytes& body) {
  Bytes b;
  Put16be(b, 474);
  Put8(b, storage);
  Put8(b, bpc);
  Put16be(b, 3);
  Put16be(b, uint32_t(width));
  Put16be(b, uint32_t(height));
  Put16be(b, uint32_t(channels));
  b.resize(512, 0);
  Append(b, body);
  return b;
}

// Photoshop: header, empty sections but the colour-mode data, then the merged image.
Bytes Psd(uint16_t channels, int width, int height, uint16_t depth, uint16_t mode, uint16_t compression,
          const Bytes& image, const Bytes& modeData = {}) {
  Bytes b = {'8', 'B', 'P', 'S'};
  Put16be(b, 1);
  b.resize(b.size() + 6, 0);
  Put16be(b, channels);
  Put32be(b, uint32_t(height));
  Put32be(b, uint32_t(width));
  Put16be(b, depth);
  Put16be(b, mode);
  Put32be(b, uint32_t(modeData.size()));
  Append(b, modeData);
  Put32be(b, 0);
  Put32be(b, 0);
  Put16be(b, compression);
  Append(b, image);
  return b;
}

// An icon of one device-independent bitmap entry (rows bottom-up, then the mask).
Bytes Ico(int width, int height, uint16_t bits, const std::vector<TColor32>& palette,
          const Bytes& rowsAndMask) {
  Bytes dib;
  Put32le(dib, 40);
  Put32le(dib, uint32_t(width));
  Put32le(dib, uint32_t(2 * height));
  Put16le(dib, 1);
  Put16le(dib, bits);
  Put32le(dib, 0);
  Put32le(dib, 0);
  Put32le(dib, 0);
  Put32le(dib, 0);
  Put32le(dib, uint32_t(palette.size()));
  Put32le(dib, 0);
  for (TColor32 c : palette) Put32le(dib, c & 0xFFFFFF);
  Append(dib, rowsAndMask);
  Bytes b;
  Put16le(b, 0);
  Put16le(b, 1);
  Put16le(b, 1);
  Put8(b, uint8_t(width));
  Put8(b, uint8_t(height));
  Put16le(b, 0);
  Put16le(b, 1);
  Put16le(b, bits);
  Put32le(b, uint32_t(dib.size()));
  Put32le(b, 22);
  Append(b, dib);
  return b;
}

constexpr TColor32 kR = Color32(255, 0, 0);
constexpr TColor32 kG = Color32(0, 255, 0);
constexpr TColor32 kB = Color32(0, 0, 255);
constexpr TColor32 kW = Color32(255, 255, 255);
constexpr TColor32 kK = Color32(0, 0, 0);

struct CraftedCase {
  const char* name;
  const char* file;  // the extension picks the decoder
  Bytes bytes;
  int width;
  int height;
  bool alpha;
  std::vector<TColor32> pixels;  // top row first
  int tolerance = 0;
};

std::vector<CraftedCase> CraftedCases() {
  // A 2 x 2 picture: red, green on top; blue, white below; stored in each corner order.
  const Bytes bottomUp = {255, 0, 0, 255, 255, 255, 0, 0, 255, 0, 255, 0};
  const Bytes topDown = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255};
  const Bytes bottomUpMirrored = {255, 255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255};
  const Bytes topDownMirrored = {0, 255, 0, 0, 0, 255, 255, 255, 255, 255, 0, 0};
  const std::vector<TColor32> rgbw = {kR, kG, kB, kW};
  // 5-5-5 words: red, green with the attribute bit; blue, white without.
  const Bytes words = {0x1F, 0x00, 0xFF, 0x7F, 0x00, 0xFC, 0xE0, 0x83};
  Bytes psdLab;  // L, a, b planes of white, black, (50, 80, -60)-ish, mid grey
  Append(psdLab, {255, 0, 128, 119});
  Append(psdLab, {128, 128, 208, 128});
  Append(psdLab, {128, 128, 68, 128});
  return {
      {"TgaTopLeft", "a.tga", Tga(2, 2, 2, 24, 0x20, topDown), 2, 2, false, rgbw},
      {"TgaBottomLeft", "a.tga", Tga(2, 2, 2, 24, 0x00, bottomUp), 2, 2, false, rgbw},
      {"TgaBottomRight", "a.win", Tga(2, 2, 2, 24, 0x10, bottomUpMirrored), 2, 2, false, rgbw},
      {"TgaTopRight", "a.icb", Tga(2, 2, 2, 24, 0x30, topDownMirrored), 2, 2, false, rgbw},
      {"Tga16WithAttributeBit",
       "a.tga",
       Tga(2, 2, 2, 16, 0x01, words),
       2,
       2,
       true,
       {kR, kG, kB & 0xFFFFFF, kW & 0xFFFFFF}},
      {"Tga15", "a.vda", Tga(2, 2, 2, 15, 0x00, words), 2, 2, false, {kR, kG, kB, kW}},
      {"Tga32WithoutAlphaBitsKeepsAlpha",
       "a.tga",
       Tga(2, 2, 1, 32, 0x20, {0, 0, 255, 0, 0, 255, 0, 7}),
       2,
       1,
       true,
       {kR & 0xFFFFFF, (kG & 0xFFFFFF) | 0x07000000}},
      {"Tga32AllZeroAlphaIsOpaque",
       "a.tga",
       Tga(2, 2, 1, 32, 0x28, {0, 0, 255, 0, 0, 255, 0, 0}),
       2,
       1,
       false,
       {kR, kG}},
      {"TgaGreyWithAlpha",
       "a.tga",
       Tga(3, 2, 1, 16, 0x28, {10, 255, 200, 100}),
       2,
       1,
       true,
       {Color32(10, 10, 10), Color32(200, 200, 200, 100)}},
      {"TgaMapFrom100With16BitEntries",
       "a.tga",
       Tga(1, 2, 1, 8, 0x20, {101, 100}, {0x1F, 0x00, 0x00, 0x7C}, 100, 2, 16),
       2,
       1,
       false,
       {kR, kB}},
      {"TgaMapped16BitIndices",
       "a.tga",
       Tga(1, 2, 1, 16, 0x20, {1, 0, 0, 0}, {0, 0, 255, 255, 0, 0}, 0, 2, 24),
       2,
       1,
       false,
       {kB, kR}},
      {"TgaRlePacketsCrossRows",
       "a.tga",
       Tga(10, 2, 2, 24, 0x20, {0x82, 0, 0, 255, 0x00, 255, 255, 255}),
       2,
       2,
       false,
       {kR, kR, kR, kW}},
      {"Pcx2BitPacked",
       "a.pcx",
       [] {
         Bytes b = Pcx(4, 1, 2, 1, 2, {0x1B, 0x00});
         b[16 + 3] = 255;  // entry 1 red; 2 green; 3 blue
         b[16 + 7] = 255;
         b[16 + 11] = 255;
         return b;
       }(),
       4,
       1,
       false,
       {kK, kR, kG, kB}},
      {"PcxMonoWithoutPaletteIsBlackAndWhite",
       "a.pcx",
       Pcx(3, 1, 1, 1, 2, {0xA0, 0x00}),
       3,
       1,
       false,
       {kW, kK, kW}},
      {"Pcx8BitWithoutPaletteIsGrey",
       "a.pcc",
       Pcx(2, 1, 8, 1, 2, {0xC2, 77}),
       2,
       1,
       false,
       {Color32(77, 77, 77), Color32(77, 77, 77)}},
      {"PcxRunCrossesLines",
       "a.pcx",
       Pcx(2, 2, 8, 3, 2, {0xC2, 255, 0xC8, 0, 0xC2, 0}),
       2,
       2,
       false,
       {kR, kR, kK, kK}},
      {"SgiGreyWithAlpha",
       "a.sgi",
       Sgi(0, 1, 2, 1, 2, {10, 200, 255, 100}),
       2,
       1,
       true,
       {Color32(10, 10, 10), Color32(200, 200, 200, 100)}},
      {"SgiRowsShareData", "a.bw",
       [] {
         Bytes body;
         Put32be(body, 512 + 16);
         Put32be(body, 512 + 16);
         Put32be(body, 3);
         Put32be(body, 3);
         Append(body, {0x02, 99, 0x00});
         return Sgi(1, 1, 2, 2, 1, body);
       }(),
       2, 2, false, std::vector<TColor32>(4, Color32(99, 99, 99))},
      {"PsdBitmap",
       "a.psd",
       Psd(1, 10, 1, 1, 0, 0, {0xA0, 0x40}),
       10,
       1,
       false,
       {kK, kW, kK, kW, kW, kW, kW, kW, kW, kK}},
      {"PsdDuotoneReadsAsGrey",
       "a.psd",
       Psd(1, 2, 1, 8, 8, 0, {30, 220}),
       2,
       1,
       false,
       {Color32(30, 30, 30), Color32(220, 220, 220)}},
      {"PsdRleNoOpByte",
       "a.psd",
       [] {
         Bytes image;
         Put16be(image, 3);
         Append(image, {0x80, 0xFF, 9});  // no-op, then a run of two 9s
         return Psd(1, 2, 1, 8, 1, 1, image);
       }(),
       2,
       1,
       false,
       {Color32(9, 9, 9), Color32(9, 9, 9)}},
      {"PsdLab",
       "a.pdd",
       Psd(3, 4, 1, 8, 9, 0, psdLab),
       4,
       1,
       false,
       {kW, kK, Color32(205, 18, 225), Color32(111, 111, 111)},
       2},
      {"PnmComments",
       "a.ppm",
       [] {
         const std::string s = "P3 # colour\n# width next\n2 #w\n1\n255\n255 0 0 # red\n0 0 #x\n255\n";
         return Bytes(s.begin(), s.end());
       }(),
       2,
       1,
       false,
       {kR, kB}},
      {"PbmPlainWithoutSeparators",
       "a.pbm",
       [] {
         const std::string s = "P1\n3 2\n010\n1 1 0";
         return Bytes(s.begin(), s.end());
       }(),
       3,
       2,
       false,
       {kW, kK, kW, kK, kK, kW}},
      {"Pgm16BitBinary",
       "a.pgm",
       Bytes{'P', '5', ' ', '2', ' ', '1', ' ', '6', '5', '5', '3', '5', '\n', 0xFF, 0xFF, 0x80, 0x80},
       2,
       1,
       false,
       {kW, Color32(128, 128, 128)}},
      {"Ico1BitWithMask",
       "a.ico",
       Ico(3, 2, 1, {kK, kW}, {0x40, 0, 0, 0, 0xA0, 0, 0, 0, 0x00, 0, 0, 0, 0x20, 0, 0, 0}),
       3,
       2,
       true,
       {kW, kK, kW & 0xFFFFFF, kK, kW, kK}},
      {"Ico24Bit", "a.ico", Ico(1, 1, 24, {}, {0, 0, 255, 0, 0, 0, 0, 0}), 1, 1, true, {kR}},
  };
}

class RasterCrafted : public testing::TestWithParam<CraftedCase> {};

TEST_P(RasterCrafted, Decodes) {
  const CraftedCase& c = GetParam();
  Result<DecodedPicture> pic = DecodePicture(c.file, c.bytes);
  ASSERT_TRUE(pic.ok()) << pic.message();
  ExpectPixels(*pic, c.width, c.height, c.alpha, c.tolerance,
               [&](int x, int y) { return c.pixels[size_t(y) * c.width + x]; });
}

INSTANTIATE_TEST_SUITE_P(Built, RasterCrafted, testing::ValuesIn(CraftedCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Of equal sizes the deepest entry is read, of different sizes the largest.
TEST(RasterDecoders, IconTakesTheLargestThenDeepestEntry) {
  const Bytes shallow = Ico(1, 1, 1, {kG, kG}, {0, 0, 0, 0, 0, 0, 0, 0});
  const Bytes deep = Ico(1, 1, 24, {}, {0, 0, 255, 0, 0, 0, 0, 0});
  // Both entries in one directory, the deeper one second.
  Bytes b;
  Put16le(b, 0);
  Put16le(b, 1);
  Put16le(b, 2);
  const size_t firstData = 6 + 32;
  const size_t firstLength = shallow.size() - 22;
  for (const auto& [length, offset] :
       {std::pair{firstLength, firstData}, std::pair{deep.size() - 22, firstData + firstLength}}) {
    b.insert(b.end(), 8, 0);
    Put32le(b, uint32_t(length));
    Put32le(b, uint32_t(offset));
  }
  b.insert(b.end(), shallow.begin() + 22, shallow.end());
  b.insert(b.end(), deep.begin() + 22, deep.end());
  Result<DecodedPicture> pic = DecodePicture("two.ico", b);
  ASSERT_TRUE(pic.ok()) << pic.message();
  EXPECT_EQ(pic->bitmap.Pixel(0, 0), kR);
}

// The same file with its left edge moved (the right edge stays).
Bytes WithXMin(Bytes pcx, uint16_t xMin) {
  pcx[4] = uint8_t(xMin);
  pcx[5] = uint8_t(xMin >> 8);
  return pcx;
}

struct DamagedCase {
  const char* name;
  const char* file;
  Bytes bytes;
  std::string message;  // %s: the format's name
  const char* format;
};

std::vector<DamagedCase> DamagedCases() {
  const char* stream = "Stream read error in %s file.";
  const char* invalid = "Cannot load image. Invalid or unexpected %s image format.";
  const char* compression = "Cannot load image. Compression error found in %s file.";
  const char* palette = "Cannot load image. Palette in %s file is invalid.";
  const char* colour = "Invalid color format in %s file.";
  auto huge = [](int64_t w, int64_t h) { return CheckPictureSize(w, h, "%s").message(); };
  return {
      {"TgaZeroWidth", "a.tga", Tga(2, 0, 2, 24, 0, Bytes(12)), invalid, "TGA"},
      {"TgaHuge", "a.tga", Tga(10, 65535, 65535, 24, 0, Bytes(64)), huge(65535, 65535), "TGA"},
      {"TgaBigWithTinyRle", "a.tga", Tga(10, 16000, 16000, 24, 0, {0xFF, 1, 2, 3}), stream, "TGA"},
      {"TgaIndexPastMap", "a.tga", Tga(1, 2, 1, 8, 0, {0, 2}, {1, 2, 3, 4, 5, 6}, 0, 2, 24), palette, "TGA"},
      {"TgaIndexBelowMapStart", "a.tga", Tga(1, 1, 1, 8, 0, {4}, {1, 2, 3}, 5, 1, 24), palette, "TGA"},
      {"TgaMappedWithoutMap", "a.tga", Tga(1, 1, 1, 8, 0, {0}), palette, "TGA"},
      {"TgaRunPastPicture", "a.tga", Tga(10, 2, 1, 24, 0, {0x82, 1, 2, 3}), compression, "TGA"},
      {"TgaLiteralPastPicture", "a.tga", Tga(11, 1, 1, 8, 0, {0x01, 1, 2}), compression, "TGA"},
      {"TgaDepth12", "a.tga", Tga(2, 1, 1, 12, 0, Bytes(4)), colour, "TGA"},
      {"TgaUnknownType", "a.tga", Tga(7, 1, 1, 24, 0, Bytes(4)), invalid, "TGA"},
      {"PcxZeroWidth", "a.pcx", WithXMin(Pcx(1, 1, 8, 1, 2, {0, 0}), 1), invalid, "PCX"},
      {"PcxNegativeWidth", "a.pcx", WithXMin(Pcx(1, 1, 8, 1, 2, {0, 0}), 10), invalid, "PCX"},
      {"PcxLineShorterThanWidth", "a.pcx", Pcx(8, 1, 8, 1, 4, Bytes(8)), invalid, "PCX"},
      {"PcxRunPastPicture", "a.pcx", Pcx(2, 1, 8, 3, 2, {0xC5, 1, 0xC2, 3}), compression, "PCX"},
      {"PcxHugeWithTinyStream", "a.pcx", Pcx(16000, 16000, 8, 1, 16000, {0xFF, 1}), stream, "PCX"},
      {"Pcx8BitThreePlanesOf4Bits", "a.pcx", Pcx(2, 1, 4, 3, 2, Bytes(6)), colour, "PCX"},
      {"SgiBadMagic", "a.sgi", Bytes(600, 0), invalid, "SGI"},
      {"SgiRunPastRow", "a.sgi",
       [] {
         Bytes body;
         Put32be(body, 512 + 8);
         Put32be(body, 3);
         Append(body, {0x03, 7, 0x00});
         return Sgi(1, 1, 2, 1, 1, body);
       }(),
       compression, "SGI"},
      {"SgiLiteralPastRow", "a.sgi",
       [] {
         Bytes body;
         Put32be(body, 512 + 8);
         Put32be(body, 5);
         Append(body, {0x83, 7, 8, 9, 0x00});
         return Sgi(1, 1, 2, 1, 1, body);
       }(),
       compression, "SGI"},
      {"SgiRowOffsetPastEnd", "a.sgi",
       [] {
         Bytes body;
         Put32be(body, 0x7FFFFFFF);
         Put32be(body, 3);
         return Sgi(1, 1, 2, 1, 1, body);
       }(),
       stream, "SGI"},
      {"SgiFiveChannels", "a.sgi", Sgi(0, 1, 1, 1, 5, Bytes(5)), colour, "SGI"},
      {"SgiZeroWidth", "a.sgi", Sgi(0, 1, 0, 1, 1, Bytes(5)), invalid, "SGI"},
      {"SgiHugeWithTinyTables", "a.sgi", Sgi(1, 1, 65535, 4000, 1, Bytes(32000)), stream, "SGI"},
      {"PsdRunPastRow", "a.psd",
       [] {
         Bytes image;
         Put16be(image, 2);
         Append(image, {0xFD, 9});  // a run of four into a row of two
         return Psd(1, 2, 1, 8, 1, 1, image);
       }(),
       compression, "PSD"},
      {"PsdLiteralPastRow", "a.psd",
       [] {
         Bytes image;
         Put16be(image, 4);
         Append(image, {0x02, 1, 2, 3});
         return Psd(1, 2, 1, 8, 1, 1, image);
       }(),
       compression, "PSD"},
      {"PsdZeroHeight", "a.psd", Psd(1, 2, 0, 8, 1, 0, {}), invalid, "PSD"},
      {"PsdHuge", "a.psd", Psd(3, 100000, 100000, 8, 3, 1, Bytes(16)), huge(100000, 100000), "PSD"},
      {"PsdHugeWithTinyRows", "a.psd",
       [] {
         Bytes image;
         for (int i = 0; i < 16000; ++i) Put16be(image, 2);
         image.insert(image.end(), 32000, 0);
         return Psd(1, 16000, 16000, 8, 1, 1, image);
       }(),
       compression, "PSD"},
      {"PsdIndexedWithoutPalette", "a.psd", Psd(1, 1, 1, 8, 2, 0, {0}), palette, "PSD"},
      {"PsdDepth4", "a.psd", Psd(1, 1, 1, 4, 1, 0, {0}), colour, "PSD"},
      {"PsdRgbWithTwoChannels", "a.psd", Psd(2, 1, 1, 8, 3, 0, {0, 0}), colour, "PSD"},
      {"PnmSampleAboveMaxval", "a.pgm", Bytes{'P', '5', ' ', '1', ' ', '1', ' ', '9', '\n', 10}, invalid,
       "PGM"},
      {"PnmPlainSampleAboveMaxval", "a.ppm",
       [] {
         const std::string s = "P3 1 1 9 1 2 10";
         return Bytes(s.begin(), s.end());
       }(),
       invalid, "PPM"},
      {"PnmMaxvalZero", "a.pgm", Bytes{'P', '5', ' ', '1', ' ', '1', ' ', '0', '\n', 0}, invalid, "PGM"},
      {"PnmMaxvalTooLarge", "a.pgm",
       Bytes{'P', '5', ' ', '1', ' ', '1', ' ', '7', '0', '0', '0', '0', '\n', 0, 0}, invalid, "PGM"},
      {"PnmZeroWidth", "a.pbm", Bytes{'P', '4', ' ', '0', ' ', '1', '\n', 0}, invalid, "PBM"},
      {"PnmNegativeWidth", "a.pbm", Bytes{'P', '4', ' ', '-', '1', ' ', '1', '\n', 0}, invalid, "PBM"},
      {"PnmHuge", "a.pbm", Bytes{'P', '4', ' ', '9', '9', '9', '9', '9', ' ', '9', '\n', 0}, huge(99999, 9),
       "PBM"},
      {"PnmHugeWithFewBytes", "a.ppm",
       [] {
         const std::string s = "P6 16000 16000 255\nabc";
         return Bytes(s.begin(), s.end());
       }(),
       stream, "PPM"},
      {"PnmBadBitChar", "a.pbm", Bytes{'P', '1', ' ', '1', ' ', '1', ' ', '2'}, invalid, "PBM"},
      {"PnmP7", "a.ppm", Bytes{'P', '7', '\n'}, invalid, "PPM"},
      {"IcoNoEntries", "a.ico", Bytes{0, 0, 1, 0, 0, 0}, invalid, "ICO"},
      {"IcoIndexPastPalette", "a.ico", Ico(1, 1, 8, {kR, kG}, {5, 0, 0, 0, 0, 0, 0, 0}), palette, "ICO"},
      {"IcoColoursAboveBits", "a.ico", Ico(1, 1, 1, {kR, kG, kB}, {0, 0, 0, 0, 0, 0, 0, 0}), palette, "ICO"},
      {"IcoDepth7", "a.ico", Ico(1, 1, 7, {}, Bytes(8)), colour, "ICO"},
      {"IcoEntryPastEnd", "a.ico",
       [] {
         Bytes b = Ico(1, 1, 24, {}, {0, 0, 255, 0, 0, 0, 0, 0});
         b[14] = 0xFF;  // the directory's length
         return b;
       }(),
       stream, "ICO"},
      {"IcoHugePng", "a.ico",
       [] {
         Bytes b;
         Put16le(b, 0);
         Put16le(b, 1);
         Put16le(b, 1);
         b.insert(b.end(), 8, 0);
         Put32le(b, 33);
         Put32le(b, 22);
         Append(b, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'});
         Put32be(b, 60000);
         Put32be(b, 4000);
         Append(b, {8, 6, 0, 0, 0, 0, 0, 0, 0});
         return b;
       }(),
       stream, "ICO"},
  };
}

class RasterDamaged : public testing::TestWithParam<DamagedCase> {};

TEST_P(RasterDamaged, FailsWithItsMessage) {
  const DamagedCase& c = GetParam();
  Result<DecodedPicture> pic = DecodePicture(c.file, c.bytes);
  ASSERT_FALSE(pic.ok());
  EXPECT_EQ(pic.message(), Format(c.message.c_str(), c.format));
}

INSTANTIATE_TEST_SUITE_P(Built, RasterDamaged, testing::ValuesIn(DamagedCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Files committed under tests/data/bad/<format>: fixtures damaged by hand
// (named by the damage) and any fuzzing findings. Each must fail, with its
// format's name in the message.
TEST(RasterDecoders, DamagedCorpusFails) {
  const std::pair<const char*, const char*> dirs[] = {{"ico", "ICO"}, {"tga", "TGA"}, {"pcx", "PCX"},
                                                      {"sgi", "SGI"}, {"psd", "PSD"}, {"pnm", "PPM"}};
  for (const auto& [dir, name] : dirs) {
    const fs::path path = fs::path(VELMORA_TEST_DATA) / "bad" / dir;
    ASSERT_TRUE(fs::is_directory(path)) << path;
    for (const auto& entry : fs::directory_iterator(path)) {
      const Bytes bytes = ReadFixture(fs::relative(entry.path(), VELMORA_TEST_DATA).string());
      Result<DecodedPicture> pic = DecodePicture(entry.path().string(), bytes);
      ASSERT_FALSE(pic.ok()) << entry.path();
      EXPECT_NE(pic.message().find(name), std::string::npos) << pic.message();
    }
  }
}

}  // namespace
}  // namespace velmora
