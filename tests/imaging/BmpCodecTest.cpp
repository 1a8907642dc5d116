// Windows bitmap reader and writer: files are built here field by field, so
// each case states exactly which bytes the decoder sees.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "imaging/PictureLimits.h"
#include "imaging/formats/BmpCodec.h"

// The file descriptions name only the fields that matter to a case; GCC warns
// about every member a designated initializer leaves at its default.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr const char* kInvalid = "Bitmap image is not valid";

constexpr TColor32 kRed = Color32(255, 0, 0);
constexpr TColor32 kGreen = Color32(0, 255, 0);
constexpr TColor32 kBlue = Color32(0, 0, 255);
constexpr TColor32 kWhite = Color32(255, 255, 255);
constexpr TColor32 kBlack = Color32(0, 0, 0);
constexpr TColor32 kGrey = Color32(9, 9, 9);  // palette entry 0 of the RLE cases
constexpr TColor32 kYellow = Color32(255, 255, 0);
constexpr TColor32 kMagenta = Color32(255, 0, 255);
constexpr TColor32 kCyan = Color32(0, 255, 255);
constexpr TColor32 k123 = Color32(1, 2, 3);

void Put16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v);
  Put16(b, v >> 16);
}

// A bitmap file described field by field; Build() lays it out.
struct BmpFile {
  uint32_t headerSize = 40;
  int32_t width = 1;
  int32_t height = 1;
  uint16_t bits = 24;
  uint32_t compression = 0;
  uint32_t colorsUsed = 0;
  std::array<uint32_t, 4> headerMasks{};   // the 52..124-byte headers' masks
  std::vector<uint32_t> masksAfterHeader;  // the 40-byte header's bit fields
  std::vector<TColor32> palette;           // BGRx, BGR after a core header
  Bytes gap;                               // between the palette and the pixels
  Bytes pixels;                            // as stored
  std::optional<uint32_t> offBits;         // default: where the pixels start

  Bytes Build() const {
    Bytes info;
    if (headerSize == 12) {
      Put32(info, 12);
      Put16(info, uint16_t(width));
      Put16(info, uint16_t(height));
      Put16(info, 1);
      Put16(info, bits);
    } else {
      Put32(info, headerSize);
      Put32(info, uint32_t(width));
      Put32(info, uint32_t(height));
      Put16(info, 1);
      Put16(info, bits);
      Put32(info, compression);
      Put32(info, uint32_t(pixels.size()));
      Put32(info, 2835);
      Put32(info, 2835);
      Put32(info, colorsUsed);
      Put32(info, 0);
      for (uint32_t m : headerMasks) Put32(info, m);
      info.resize(headerSize);  // cuts a short OS/2 header, pads the long ones
      if (headerSize >= 108) info[56] = 'B', info[57] = 'G', info[58] = 'R', info[59] = 's';  // LCS_sRGB
    }
    Bytes body = info;
    for (uint32_t m : masksAfterHeader) Put32(body, m);
    for (TColor32 c : palette) {
      body.insert(body.end(), {BlueOf(c), GreenOf(c), RedOf(c)});
      if (headerSize != 12) body.push_back(0);
    }
    body.insert(body.end(), gap.begin(), gap.end());
    Bytes file = {'B', 'M'};
    Put32(file, uint32_t(14 + body.size() + pixels.size()));
    Put32(file, 0);
    Put32(file, offBits.value_or(uint32_t(14 + body.size())));
    file.insert(file.end(), body.begin(), body.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
  }
};

// Stored rows, each padded to 4 bytes.
Bytes Rows(const std::vector<Bytes>& rows) {
  Bytes out;
  for (const Bytes& r : rows) {
    out.insert(out.end(), r.begin(), r.end());
    out.resize((out.size() + 3) / 4 * 4);
  }
  return out;
}

std::vector<TColor32> Ramp256() {
  std::vector<TColor32> p;
  for (int i = 0; i < 256; ++i) p.push_back(Color32(uint8_t(i), uint8_t(255 - i), 7));
  return p;
}

const std::vector<TColor32> kRlePalette = {kGrey, kRed, kGreen, kBlue, kWhite, kYellow, kMagenta, kCyan};

Result<DecodedPicture> Decode(const Bytes& bytes) {
  DecodedPicture out;
  Status s = DecodeBmp(bytes, {}, out);
  if (!s) return s;
  return out;
}

std::vector<TColor32> PixelsOf(const TBitmap32& b) { return {b.Pixels().begin(), b.Pixels().end()}; }

// ---------------------------------------------------------------------------
// Every layout the reader takes, with the picture it must give.

struct VariantCase {
  const char* name;
  BmpFile file;
  int width;
  int height;
  std::vector<TColor32> expected;  // top row first
  bool keepsAlpha = false;
};

std::vector<VariantCase> VariantCases() {
  const Bytes rgb24BottomUp = Rows({{0, 0, 255, 0, 255, 0, 255, 0, 0}, {255, 255, 255, 0, 0, 0, 3, 2, 1}});
  const Bytes rgb24TopDown = Rows({{255, 255, 255, 0, 0, 0, 3, 2, 1}, {0, 0, 255, 0, 255, 0, 255, 0, 0}});
  const std::vector<TColor32> rgb24Picture = {kWhite, kBlack, k123, kRed, kGreen, kBlue};
  const std::vector<TColor32> palette16 = {kRed,   kGreen, kBlue,  kWhite, kBlack, kBlack, kBlack, kBlack,
                                           kBlack, kBlack, kBlack, kBlack, kBlack, kBlack, kBlack, kBlack};
  const std::array<uint32_t, 4> bgra = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  return {
      {"Palette1",
       {.width = 3, .height = 2, .bits = 1, .palette = {kBlack, kWhite}, .pixels = Rows({{0xA0}, {0x40}})},
       3,
       2,
       {kBlack, kWhite, kBlack, kWhite, kBlack, kWhite}},
      {"Palette2",
       {.width = 3, .bits = 2, .palette = {kBlack, kRed, kGreen, kBlue}, .pixels = Rows({{0xC8}})},
       3,
       1,
       {kBlue, kBlack, kGreen}},
      {"Palette4ShortColorsUsed",
       {.width = 3,
        .height = 2,
        .bits = 4,
        .colorsUsed = 3,
        .palette = {kRed, kGreen, kBlue},
        .pixels = Rows({{0x01, 0x20}, {0x21, 0x00}})},
       3,
       2,
       {kBlue, kGreen, kRed, kRed, kGreen, kBlue}},
      {"Palette8Full",
       {.width = 2, .bits = 8, .palette = Ramp256(), .pixels = Rows({{200, 1}})},
       2,
       1,
       {Color32(200, 55, 7), Color32(1, 254, 7)}},
      {"IndexPastPaletteIsBlack",
       {.width = 3, .bits = 8, .colorsUsed = 2, .palette = {kRed, kGreen}, .pixels = Rows({{1, 7, 0}})},
       3,
       1,
       {kGreen, kBlack, kRed}},
      {"Rgb16Default555HighBitIgnored",
       {.width = 2,
        .height = 2,
        .bits = 16,
        .pixels = Rows({{0x00, 0x7C, 0xE0, 0x03}, {0x1F, 0x00, 0x10, 0xC2}})},
       2,
       2,
       {kBlue, Color32(132, 132, 132), kRed, kGreen}},
      {"Bitfields565AfterInfoHeader",
       {.width = 3,
        .bits = 16,
        .compression = 3,
        .masksAfterHeader = {0xF800, 0x07E0, 0x001F},
        .pixels = Rows({{0x00, 0xF8, 0xE0, 0x07, 0x10, 0x84}})},
       3,
       1,
       {kRed, kGreen, Color32(132, 130, 132)}},
      {"Bitfields565In52ByteHeader",
       {.headerSize = 52,
        .bits = 16,
        .compression = 3,
        .headerMasks = {0xF800, 0x07E0, 0x001F, 0},
        .pixels = Rows({{0xFF, 0x07}})},
       1,
       1,
       {kCyan}},
      {"V4Bitfields4444AlphaIgnoredAt16Bits",
       {.headerSize = 108,
        .width = 2,
        .bits = 16,
        .compression = 3,
        .headerMasks = {0x0F00, 0x00F0, 0x000F, 0xF000},
        .pixels = Rows({{0x00, 0x0F, 0x88, 0x08}})},
       2,
       1,
       {kRed, Color32(136, 136, 136)}},
      {"Rgb24OddWidthPadding", {.width = 3, .height = 2, .pixels = rgb24BottomUp}, 3, 2, rgb24Picture},
      {"Rgb24TopDown", {.width = 3, .height = -2, .pixels = rgb24TopDown}, 3, 2, rgb24Picture},
      {"Rgb24LastRowUnpadded", {.height = 2, .pixels = {0, 0, 255, 0, 255, 0, 0}}, 1, 2, {kBlue, kRed}},
      {"Rgb32KeepsFourthByteAsAlpha",
       {.width = 2, .bits = 32, .pixels = {0x10, 0x20, 0x30, 0x80, 0x01, 0x02, 0x03, 0x00}},
       2,
       1,
       {Color32(0x30, 0x20, 0x10, 0x80), Color32(3, 2, 1, 0)},
       true},
      {"Bitfields32WithoutAlphaMaskIsOpaque",
       {.bits = 32,
        .compression = 3,
        .masksAfterHeader = {0x00FF0000, 0x0000FF00, 0x000000FF},
        .pixels = {0x10, 0x20, 0x30, 0x12}},
       1,
       1,
       {Color32(0x30, 0x20, 0x10)}},
      {"Bitfields32TenBitChannels",
       {.bits = 32,
        .compression = 3,
        .masksAfterHeader = {0x3FF00000, 0x000FFC00, 0x000003FF},
        .pixels = {0x00, 0x00, 0xF8, 0x3F}},
       1,
       1,
       {Color32(255, 128, 0)}},
      {"AlphaBitfieldsAfterInfoHeader",
       {.bits = 32, .compression = 6, .masksAfterHeader = {bgra.begin(), bgra.end()}, .pixels = {1, 2, 3, 4}},
       1,
       1,
       {Color32(3, 2, 1, 4)},
       true},
      {"Bitfields32In56ByteHeaderWithAlpha",
       {.headerSize = 56, .bits = 32, .compression = 3, .headerMasks = bgra, .pixels = {1, 2, 3, 4}},
       1,
       1,
       {Color32(3, 2, 1, 4)},
       true},
      {"V5BitfieldsRgbaOrder",
       {.headerSize = 124,
        .bits = 32,
        .compression = 3,
        .headerMasks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000},
        .pixels = {0x11, 0x22, 0x33, 0x44}},
       1,
       1,
       {Color32(0x11, 0x22, 0x33, 0x44)},
       true},
      {"V5RgbIgnoresHeaderMasks",
       {.headerSize = 124, .bits = 32, .headerMasks = {0xFF, 0xFF00, 0xFF0000, 0}, .pixels = {1, 2, 3, 4}},
       1,
       1,
       {Color32(3, 2, 1, 4)},
       true},
      {"CoreHeaderPalette8",
       {.headerSize = 12, .width = 2, .bits = 8, .palette = Ramp256(), .pixels = Rows({{5, 250}})},
       2,
       1,
       {Color32(5, 250, 7), Color32(250, 5, 7)}},
      {"CoreHeaderShortPaletteBeforeOffset",
       {.headerSize = 12, .width = 3, .bits = 8, .palette = {kRed, kGreen}, .pixels = Rows({{1, 0, 2}})},
       3,
       1,
       {kGreen, kRed, kBlack}},
      {"CoreHeaderRgb24",
       {.headerSize = 12, .height = 2, .pixels = Rows({{0, 0, 255}, {255, 0, 0}})},
       1,
       2,
       {kBlue, kRed}},
      {"Os2ShortHeader16", {.headerSize = 16, .pixels = Rows({{3, 2, 1}})}, 1, 1, {k123}},
      {"Os2Header64Palette4",
       {.headerSize = 64, .width = 2, .bits = 4, .palette = palette16, .pixels = Rows({{0x32}})},
       2,
       1,
       {kWhite, kBlue}},
      {"ZeroOffsetMeansAfterPalette",
       {.width = 2,
        .bits = 8,
        .colorsUsed = 2,
        .palette = {kRed, kGreen},
        .pixels = Rows({{1, 0}}),
        .offBits = 0},
       2,
       1,
       {kGreen, kRed}},
      {"OffsetSlightlyPastEndMeansAfterPalette",
       {.width = 2,
        .bits = 8,
        .colorsUsed = 2,
        .palette = {kRed, kGreen},
        .pixels = Rows({{1, 0}}),
        .offBits = 66 + 1024},
       2,
       1,
       {kGreen, kRed}},
      {"ZeroOffsetMeansAfterBitfieldMasks",
       {.bits = 16,
        .compression = 3,
        .masksAfterHeader = {0xF800, 0x07E0, 0x001F},
        .pixels = Rows({{0x1F, 0xF8}}),
        .offBits = 0},
       1,
       1,
       {kMagenta}},
      {"OffsetSkipsGap", {.gap = Bytes(6, 0xEE), .pixels = Rows({{3, 2, 1}})}, 1, 1, {k123}},
      {"PaletteOf24BitPictureSkipped",
       {.colorsUsed = 2, .palette = {kRed, kGreen}, .pixels = Rows({{3, 2, 1}}), .offBits = 0},
       1,
       1,
       {k123}},
      {"Rle8RunsAbsoluteDeltaEndOfLine",
       {.width = 4,
        .height = 3,
        .bits = 8,
        .compression = 1,
        .colorsUsed = 8,
        .palette = kRlePalette,
        .pixels = {0x03, 0x01, 0x00, 0x00,                                      // bottom row
                   0x00, 0x03, 0x02, 0x03, 0x01, 0x00, 0x01, 0x02, 0x00, 0x00,  // middle row
                   0x00, 0x02, 0x02, 0x00, 0x02, 0x03, 0x00, 0x01}},            // top row
       4,
       3,
       {kGrey, kGrey, kBlue, kBlue, kGreen, kBlue, kRed, kGreen, kRed, kRed, kRed, kGrey}},
      {"Rle8DeltaUpThenEarlyEnd",
       {.width = 3,
        .height = 3,
        .bits = 8,
        .compression = 1,
        .colorsUsed = 8,
        .palette = kRlePalette,
        .pixels = {0x01, 0x01, 0x00, 0x02, 0x01, 0x01, 0x01, 0x02, 0x00, 0x01}},
       3,
       3,
       {kGrey, kGrey, kGrey, kGrey, kGrey, kGreen, kRed, kGrey, kGrey}},
      {"Rle8ClipsAtRowEndWithoutWrapping",
       {.width = 2,
        .height = 3,
        .bits = 8,
        .compression = 1,
        .colorsUsed = 8,
        .palette = kRlePalette,
        .pixels = {0x05, 0x01, 0x00, 0x00, 0x00, 0x03, 0x01, 0x02, 0x03, 0x00, 0x00, 0x00, 0x01, 0x04, 0x00,
                   0x01}},
       2,
       3,
       {kWhite, kGrey, kRed, kGreen, kRed, kRed}},
      {"Rle4ClipsAtRowEndWithoutWrapping",
       {.width = 3,
        .height = 2,
        .bits = 4,
        .compression = 2,
        .colorsUsed = 8,
        .palette = kRlePalette,
        .pixels = {0x00, 0x05, 0x12, 0x34, 0x50, 0x00, 0x00, 0x00, 0x01, 0x70, 0x00, 0x01}},
       3,
       2,
       {kCyan, kGrey, kGrey, kRed, kGreen, kBlue}},
      {"Rle4RunsAndAbsolute",
       {.width = 5,
        .height = 2,
        .bits = 4,
        .compression = 2,
        .colorsUsed = 8,
        .palette = kRlePalette,
        .pixels = {0x05, 0x12, 0x00, 0x00, 0x00, 0x03, 0x34, 0x50, 0x02, 0x67, 0x00, 0x01}},
       5,
       2,
       {kBlue, kWhite, kYellow, kMagenta, kCyan, kRed, kGreen, kRed, kGreen, kRed}},
      {"Rle4AbsoluteOddBytesPadded",
       {.width = 6,
        .bits = 4,
        .compression = 2,
        .colorsUsed = 8,
        .palette = kRlePalette,
        .pixels = {0x00, 0x05, 0x12, 0x34, 0x50, 0x00, 0x01, 0x60, 0x00, 0x01}},
       6,
       1,
       {kRed, kGreen, kBlue, kWhite, kYellow, kMagenta}},
  };
}

void PrintTo(const VariantCase& c, std::ostream* os) { *os << c.name; }

class BmpVariant : public testing::TestWithParam<VariantCase> {};

TEST_P(BmpVariant, DecodesToKnownPixels) {
  const VariantCase& c = GetParam();
  Result<DecodedPicture> pic = Decode(c.file.Build());
  ASSERT_TRUE(pic.ok()) << pic.message();
  EXPECT_EQ(pic->bitmap.Width(), c.width);
  EXPECT_EQ(pic->bitmap.Height(), c.height);
  EXPECT_EQ(pic->storedWidth, c.width);
  EXPECT_EQ(pic->storedHeight, c.height);
  EXPECT_EQ(pic->keepsAlpha, c.keepsAlpha);
  EXPECT_EQ(PixelsOf(pic->bitmap), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Layouts, BmpVariant, testing::ValuesIn(VariantCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BmpDecode, TopDownAndBottomUpGiveTheSamePicture) {
  std::vector<Bytes> rows;  // in stored order, bottom row first
  for (int r = 0; r < 4; ++r) rows.push_back({uint8_t(r), uint8_t(10 * r), 3, 4, uint8_t(255 - r)});
  BmpFile file{.width = 5, .height = 4, .bits = 8, .palette = Ramp256(), .pixels = Rows(rows)};
  Result<DecodedPicture> bottomUp = Decode(file.Build());
  file.height = -4;
  file.pixels = Rows({rows.rbegin(), rows.rend()});
  Result<DecodedPicture> topDown = Decode(file.Build());
  ASSERT_TRUE(bottomUp.ok() && topDown.ok());
  EXPECT_EQ(PixelsOf(bottomUp->bitmap), PixelsOf(topDown->bitmap));
  EXPECT_EQ(bottomUp->bitmap.Pixel(0, 3), Color32(0, 255, 7));  // the first stored row is the bottom one
}

// Every field value must get its own level, from 0 up to a full 255.
TEST(BmpDecode, BitfieldChannelsScaleToTheFullByteRange) {
  struct Field {
    uint32_t mask;
    int levels;
    uint8_t (*channel)(TColor32);
    std::array<uint32_t, 4> masks;
  };
  const Field fields[] = {
      {0x7C00, 32, RedOf, {0x7C00, 0x03E0, 0x001F, 0}},    // 5-5-5 red
      {0x07E0, 64, GreenOf, {0xF800, 0x07E0, 0x001F, 0}},  // 5-6-5 green
      {0x001F, 32, BlueOf, {0xF800, 0x07E0, 0x001F, 0}},   // 5-6-5 blue
  };
  for (const Field& f : fields) {
    BmpFile file{.headerSize = 52, .width = f.levels, .bits = 16, .compression = 3, .headerMasks = f.masks};
    const int shift = std::countr_zero(f.mask);
    for (int v = 0; v < f.levels; ++v) Put16(file.pixels, uint32_t(v) << shift);
    Result<DecodedPicture> pic = Decode(file.Build());
    ASSERT_TRUE(pic.ok()) << pic.message();
    EXPECT_EQ(f.channel(pic->bitmap.Pixel(0, 0)), 0);
    EXPECT_EQ(f.channel(pic->bitmap.Pixel(f.levels - 1, 0)), 255) << std::hex << f.mask;
    for (int v = 1; v < f.levels; ++v)
      EXPECT_GT(f.channel(pic->bitmap.Pixel(v, 0)), f.channel(pic->bitmap.Pixel(v - 1, 0))) << v;
    EXPECT_NEAR(f.channel(pic->bitmap.Pixel(f.levels / 2, 0)), 128, 5);
  }
}

// ---------------------------------------------------------------------------
// Damaged files: one message, and the caller's picture is left as it was.

struct DamagedCase {
  const char* name;
  Bytes bytes;
};

Bytes With32(Bytes b, size_t offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[offset + i] = uint8_t(v >> (8 * i));
  return b;
}
Bytes Cut(Bytes b, size_t size) {
  b.resize(size);
  return b;
}

std::vector<DamagedCase> DamagedCases() {
  const Bytes valid = BmpFile{.width = 2, .height = 2, .pixels = Bytes(16, 0x55)}.Build();
  const BmpFile rle{.width = 4, .height = 2, .bits = 8, .compression = 1, .palette = kRlePalette};
  auto withRle = [&](Bytes stream) {
    BmpFile f = rle;
    f.pixels = std::move(stream);
    return f.Build();
  };
  Bytes signature = valid;
  signature[1] = 'A';  // an OS/2 bitmap array
  Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01};
  jpeg.resize(200, 0);
  Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  png.resize(200, 0);
  return {
      {"Empty", {}},
      {"SignatureOnly", {'B', 'M'}},
      {"BitmapArraySignature", signature},
      {"JpegNamedBmp", jpeg},
      {"PngNamedBmp", png},
      {"TruncatedFileHeader", Cut(valid, 10)},
      {"TruncatedInfoHeader", Cut(valid, 30)},
      {"HeaderSize0", With32(valid, 14, 0)},
      {"HeaderSize13", With32(valid, 14, 13)},
      {"HeaderSize100", With32(valid, 14, 100)},
      {"HeaderLongerThanFile", With32(valid, 14, 124)},
      {"Bits0", BmpFile{.bits = 0, .pixels = Bytes(4)}.Build()},
      {"Bits3", BmpFile{.bits = 3, .pixels = Bytes(4)}.Build()},
      {"Bits48", BmpFile{.bits = 48, .pixels = Bytes(8)}.Build()},
      {"EmbeddedJpeg", BmpFile{.compression = 4, .pixels = Bytes(4)}.Build()},
      {"EmbeddedPng", BmpFile{.compression = 5, .pixels = Bytes(4)}.Build()},
      {"CmykCompression", BmpFile{.bits = 32, .compression = 11, .pixels = Bytes(4)}.Build()},
      {"Rle8With4Bits", BmpFile{.bits = 4, .compression = 1, .pixels = {0, 1}}.Build()},
      {"Rle4With8Bits", BmpFile{.bits = 8, .compression = 2, .pixels = {0, 1}}.Build()},
      {"RleTopDown", BmpFile{.height = -1, .bits = 8, .compression = 1, .pixels = {0, 1}}.Build()},
      {"BitfieldsWith24Bits",
       BmpFile{.compression = 3, .masksAfterHeader = {0xFF0000, 0xFF00, 0xFF}, .pixels = Bytes(4)}.Build()},
      {"Os2HuffmanCompression",
       BmpFile{.headerSize = 64, .bits = 1, .compression = 3, .pixels = Bytes(4)}.Build()},
      {"BitfieldMasksMissing", BmpFile{.bits = 16, .compression = 3}.Build()},
      {"ZeroWidth", BmpFile{.width = 0, .height = 2, .pixels = Bytes(4)}.Build()},
      {"ZeroHeight", BmpFile{.width = 2, .height = 0, .pixels = Bytes(8)}.Build()},
      {"NegativeWidth", BmpFile{.width = -2, .pixels = Bytes(8)}.Build()},
      {"PixelsCutShort", Cut(valid, valid.size() - 3)},
      {"RowsBeyondFile", BmpFile{.width = 16000, .height = 16000, .pixels = Bytes(16)}.Build()},
      {"PaletteBeyondFile", BmpFile{.bits = 8, .offBits = 0}.Build()},
      {"OffsetFarPastEnd", BmpFile{.width = 2,
                                   .bits = 8,
                                   .colorsUsed = 2,
                                   .palette = {kRed, kGreen},
                                   .pixels = Rows({{1, 0}}),
                                   .offBits = 0xFFFF0000}
                               .Build()},
      {"ColorsUsedAbovePaletteBits",
       BmpFile{.bits = 4, .colorsUsed = 17, .palette = std::vector<TColor32>(17, kRed), .pixels = Bytes(4)}
           .Build()},
      {"ColorsUsedBeyondFile", BmpFile{.colorsUsed = 0x7FFFFFFF, .pixels = Rows({{3, 2, 1}})}.Build()},
      {"RleAbsoluteRunCut", withRle({0x00, 0x04, 0x01, 0x02})},
      {"RleDeltaCut", withRle({0x00, 0x02, 0x01})},
      {"RleEndsBeforePicture", withRle({0x04, 0x01, 0x00, 0x00})},
      {"RleEmpty", withRle({})},
  };
}

void PrintTo(const DamagedCase& c, std::ostream* os) { *os << c.name; }

class BmpDamaged : public testing::TestWithParam<DamagedCase> {};

TEST_P(BmpDamaged, FailsAndLeavesThePictureAlone) {
  DecodedPicture out;
  ASSERT_TRUE(out.bitmap.SetSize(2, 3).ok());
  out.bitmap.Fill(kRed);
  const Status s = DecodeBmp(GetParam().bytes, {}, out);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.message(), kInvalid);
  EXPECT_EQ(out.bitmap.Width(), 2);
  EXPECT_EQ(out.bitmap.Height(), 3);
  EXPECT_EQ(out.bitmap.Pixel(1, 2), kRed);
}

INSTANTIATE_TEST_SUITE_P(Files, BmpDamaged, testing::ValuesIn(DamagedCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The size limit is checked before anything is allocated, compressed or not.
TEST(BmpDecode, HugeHeaderFailsWithTheLimitMessage) {
  const std::string limit = CheckPictureSize(100000, 100000, "BMP").message();
  for (uint32_t compression : {0u, 1u}) {
    const Bytes file = BmpFile{
        .width = 100000,
        .height = 100000,
        .bits = 8,
        .compression = compression,
        .palette = {kRed},
        .pixels = {0, 1}}.Build();
    Result<DecodedPicture> pic = Decode(file);
    ASSERT_FALSE(pic.ok());
    EXPECT_EQ(pic.message(), limit);
  }
}

// Files committed under tests/data/bad/bmp; the fuzzer's findings go there too.
TEST(BmpDecode, DamagedCorpusFails) {
  const fs::path dir = fs::path(VELMORA_TEST_DATA) / "bad" / "bmp";
  ASSERT_TRUE(fs::is_directory(dir)) << dir;
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const Bytes bytes{std::istreambuf_iterator<char>(in), {}};
    Result<DecodedPicture> pic = Decode(bytes);
    ASSERT_FALSE(pic.ok()) << entry.path();
    if (entry.path().filename().string().starts_with("huge-"))
      EXPECT_NE(pic.message().find("larger than the limit"), std::string::npos) << entry.path();
    else
      EXPECT_EQ(pic.message(), kInvalid) << entry.path();
    ++files;
  }
  EXPECT_GE(files, 3);
}

// ---------------------------------------------------------------------------
// The writer.

TBitmap32 Sample(int width, int height) {
  TBitmap32 b(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      b.Pixel(x, y) =
          Color32(uint8_t(40 * x + 1), uint8_t(70 * y + 2), uint8_t(x ^ y), uint8_t(x * 13 + y * 101));
  return b;
}

uint32_t Read32(const Bytes& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

class BmpRoundTrip : public testing::TestWithParam<std::pair<int, int>> {};

TEST_P(BmpRoundTrip, KeepsSizeAndAllFourBytes) {
  const auto [width, height] = GetParam();
  const TBitmap32 source = Sample(width, height);
  const Bytes file = EncodeBmp32(source);
  ASSERT_EQ(file.size(), 54u + 4u * width * height);
  Result<DecodedPicture> pic = Decode(file);
  ASSERT_TRUE(pic.ok()) << pic.message();
  EXPECT_TRUE(pic->keepsAlpha);
  EXPECT_EQ(pic->bitmap.Width(), width);
  EXPECT_EQ(pic->bitmap.Height(), height);
  EXPECT_EQ(PixelsOf(pic->bitmap), PixelsOf(source));
}

INSTANTIATE_TEST_SUITE_P(Sizes, BmpRoundTrip,
                         testing::Values(std::pair{1, 1}, std::pair{3, 2}, std::pair{7, 5}, std::pair{64, 3}),
                         [](const auto& info) {
                           return std::to_string(info.param.first) + "x" + std::to_string(info.param.second);
                         });

TEST(BmpEncode, HeaderFieldsAndBottomUpRows) {
  const TBitmap32 source = Sample(3, 2);
  const Bytes f = EncodeBmp32(source);
  ASSERT_EQ(f.size(), 78u);
  EXPECT_EQ(f[0], 'B');
  EXPECT_EQ(f[1], 'M');
  EXPECT_EQ(Read32(f, 2), 78u);   // file size
  EXPECT_EQ(Read32(f, 10), 54u);  // pixel offset
  EXPECT_EQ(Read32(f, 14), 40u);  // info header size
  EXPECT_EQ(Read32(f, 18), 3u);
  EXPECT_EQ(Read32(f, 22), 2u);                  // positive: bottom-up
  EXPECT_EQ(Read32(f, 26), 1u | 32u << 16);      // planes, bits
  EXPECT_EQ(Read32(f, 30), 0u);                  // no compression
  EXPECT_EQ(Read32(f, 34), 24u);                 // pixel bytes
  EXPECT_EQ(Read32(f, 38), 0u);                  // resolution left unstated
  EXPECT_EQ(Read32(f, 46), 0u);                  // no colour table
  EXPECT_EQ(Read32(f, 54), source.Pixel(0, 1));  // bottom-left first, as B, G, R, A
}

TEST(BmpEncode, EmptyBitmapMakesA54ByteFileThatReadsBackEmpty) {
  const Bytes f = EncodeBmp32(TBitmap32());
  ASSERT_EQ(f.size(), 54u);
  EXPECT_EQ(Read32(f, 2), 54u);
  EXPECT_EQ(Read32(f, 18), 0u);
  EXPECT_EQ(Read32(f, 22), 0u);
  DecodedPicture out;
  ASSERT_TRUE(out.bitmap.SetSize(4, 4).ok());
  ASSERT_TRUE(DecodeBmp(f, {}, out).ok());
  EXPECT_TRUE(out.bitmap.Empty());
  EXPECT_EQ(out.storedWidth, 0);
}

TEST(BmpEncode, RefusesPicturesPastTheFourGigabyteSizeField) {
  EXPECT_EQ(*Bmp32FileBytes(32767, 32768), 54u + 4u * 32767u * 32768u);
  EXPECT_EQ(*Bmp32FileBytes(0, 9), 54u);
  const Result<uint32_t> tooLarge = Bmp32FileBytes(32768, 32768);
  ASSERT_FALSE(tooLarge.ok());
  EXPECT_NE(tooLarge.message().find("32768 x 32768"), std::string::npos) << tooLarge.message();
  EXPECT_FALSE(Bmp32FileBytes(65535, 65535).ok());
}

class BmpFileTest : public testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("velmora-bmp-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  Bytes ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  fs::path dir_;
};

TEST_F(BmpFileTest, WritesTheEncodedBytesAndReplacesAnOldFile) {
  const fs::path path = dir_ / "mosaic.bmp";
  std::ofstream(path) << "old content";
  const TBitmap32 source = Sample(5, 3);
  ASSERT_TRUE(WriteBmpFile(source, path.string()).ok());
  EXPECT_EQ(ReadAll(path), EncodeBmp32(source));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);  // no temporary left
}

TEST_F(BmpFileTest, FailedWriteReportsThePath) {
  const std::string path = (dir_ / "missing" / "mosaic.bmp").string();
  const Status s = WriteBmpFile(Sample(2, 2), path);
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find(path), std::string::npos) << s.message();
}

}  // namespace
}  // namespace velmora
