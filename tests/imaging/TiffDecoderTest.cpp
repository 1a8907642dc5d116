// TIFF decoding: strips and tiles, the lossless compressions, bilevel fax
// pages, palette, grey and RGB at 8 and 16 bits, unassociated alpha and
// orientation decode exactly; hostile headers fail with clear messages.
// Fixtures are written with libtiff into a temporary file and read back.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "imaging/PictureLimits.h"
#include "imaging/formats/TiffDecoder.h"

namespace velmora {
namespace {

enum class Kind { kRgb, kRgba, kGrey, kPalette, kBilevelWhite, kBilevelBlack };

struct TiffCase {
  const char* name;
  Kind kind;
  int bits;
  uint16_t compression;
  bool tiled = false;
  bool planarSeparate = false;
  uint16_t orientation = ORIENTATION_TOPLEFT;
};

constexpr int kWidth = 37;  // not a multiple of the 16 x 16 tiles, nor of 8 for bilevel rows
constexpr int kHeight = 21;

uint32_t Sample(int x, int y, int c, int bits) {
  const uint32_t max = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
  if ((x + y + c) % 6 == 0) return max;
  if ((2 * x + y + c) % 7 == 0) return 0;
  return (uint32_t(x) * 2711 + uint32_t(y) * 7919 + uint32_t(c) * 104729) % (max + 1);
}

bool BilevelOn(int x, int y) { return ((x / 3) + (y / 2)) % 3 == 0; }

uint8_t PaletteRed(int i) { return uint8_t(i * 13 + 5); }
uint8_t PaletteGreen(int i) { return uint8_t(255 - i * 7); }
uint8_t PaletteBlue(int i) { return uint8_t(i * 29); }

int SamplesPerPixel(Kind k) {
  switch (k) {
    case Kind::kRgb:
      return 3;
    case Kind::kRgba:
      return 4;
    default:
      return 1;
  }
}

// What libtiff's RGBA interface makes of 16-bit samples: RGB rounds (v / 257),
// grey takes the high byte.
uint8_t Rgb16To8(uint32_t v) { return uint8_t((v + 128) / 257); }

TColor32 Expected(const TiffCase& tc, int x, int y) {
  switch (tc.kind) {
    case Kind::kRgb:
    case Kind::kRgba:
      if (tc.bits == 16)
        return Color32(Rgb16To8(Sample(x, y, 0, 16)), Rgb16To8(Sample(x, y, 1, 16)),
                       Rgb16To8(Sample(x, y, 2, 16)));
      return Color32(uint8_t(Sample(x, y, 0, 8)), uint8_t(Sample(x, y, 1, 8)), uint8_t(Sample(x, y, 2, 8)));
    case Kind::kGrey: {
      const uint8_t g = uint8_t(tc.bits == 16 ? Sample(x, y, 0, 16) >> 8 : Sample(x, y, 0, 8));
      return Color32(g, g, g);
    }
    case Kind::kPalette: {
      const int i = int(Sample(x, y, 0, tc.bits));
      return Color32(PaletteRed(i), PaletteGreen(i), PaletteBlue(i));
    }
    case Kind::kBilevelWhite:
    case Kind::kBilevelBlack:
      return BilevelOn(x, y) ? Color32(0, 0, 0) : Color32(255, 255, 255);
  }
  return 0;
}

std::vector<uint8_t> ReadBack(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::filesystem::remove(path);
  return bytes;
}

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("velmora-tiff-" + std::to_string(::getpid()) + "-" + name + ".tif"))
      .string();
}

// One row of stored bytes for sample plane `plane` (-1: all samples interleaved).
std::vector<uint8_t> StoredRowBytes(const TiffCase& tc, int y, int plane) {
  const int spp = SamplesPerPixel(tc.kind);
  const int first = plane < 0 ? 0 : plane, count = plane < 0 ? spp : 1;
  const size_t rowBytes = (size_t(kWidth) * count * tc.bits + 7) / 8;
  std::vector<uint8_t> row(rowBytes, 0);
  for (int x = 0; x < kWidth; ++x)
    for (int c = first; c < first + count; ++c) {
      uint32_t v = 0;
      if (tc.kind == Kind::kBilevelWhite)
        v = BilevelOn(x, y) ? 1 : 0;  // 1 = black
      else if (tc.kind == Kind::kBilevelBlack)
        v = BilevelOn(x, y) ? 0 : 1;
      else
        v = Sample(x, y, c, tc.bits);
      const size_t bit = (size_t(x) * count + (c - first)) * tc.bits;
      if (tc.bits == 16) {
        const uint16_t s = uint16_t(v);
        std::memcpy(&row[bit / 8], &s, 2);  // libtiff takes native-order samples
      } else {
        row[bit / 8] |= uint8_t(v << (8 - tc.bits - bit % 8));
      }
    }
  return row;
}

std::vector<uint8_t> WriteTiff(const TiffCase& tc) {
  const std::string path = TempPath(tc.name);
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) {
    ADD_FAILURE() << "cannot write " << path;
    return {};
  }
  const int spp = SamplesPerPixel(tc.kind);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(kWidth));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(kHeight));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(tc.bits));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(spp));
  TIFFSetField(tif, TIFFTAG_COMPRESSION, tc.compression);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, tc.orientation);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, tc.planarSeparate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
  uint16_t photometric = PHOTOMETRIC_RGB;
  if (tc.kind == Kind::kGrey || tc.kind == Kind::kBilevelBlack) photometric = PHOTOMETRIC_MINISBLACK;
  if (tc.kind == Kind::kBilevelWhite) photometric = PHOTOMETRIC_MINISWHITE;
  if (tc.kind == Kind::kPalette) photometric = PHOTOMETRIC_PALETTE;
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
  if (tc.kind == Kind::kRgba) {
    const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
  }
  std::vector<uint16_t> red, green, blue;
  if (tc.kind == Kind::kPalette) {
    for (int i = 0; i < (1 << tc.bits); ++i) {
      red.push_back(uint16_t(PaletteRed(i) * 257));
      green.push_back(uint16_t(PaletteGreen(i) * 257));
      blue.push_back(uint16_t(PaletteBlue(i) * 257));
    }
    TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
  }
  if (tc.compression == COMPRESSION_CCITTFAX3)
    TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, uint32_t(GROUP3OPT_2DENCODING));

  const int planes = tc.planarSeparate ? spp : 1;
  if (tc.tiled) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, uint32_t(16));
    TIFFSetField(tif, TIFFTAG_TILELENGTH, uint32_t(16));
    const size_t tileSize = size_t(TIFFTileSize(tif));
    const size_t pixelBits = size_t(tc.planarSeparate ? 1 : spp) * tc.bits;
    for (int p = 0; p < planes; ++p)
      for (int ty = 0; ty < kHeight; ty += 16)
        for (int tx = 0; tx < kWidth; tx += 16) {
          std::vector<uint8_t> tile(tileSize, 0);
          const size_t tileRow = tileSize / 16;
          for (int y = ty; y < std::min(ty + 16, kHeight); ++y) {
            const auto row = StoredRowBytes(tc, y, tc.planarSeparate ? p : -1);
            const size_t from = size_t(tx) * pixelBits / 8;
            const size_t n = std::min(tileRow, row.size() - from);
            std::memcpy(&tile[size_t(y - ty) * tileRow], &row[from], n);
          }
          TIFFWriteTile(tif, tile.data(), uint32_t(tx), uint32_t(ty), 0, uint16_t(p));
        }
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(5));
    for (int p = 0; p < planes; ++p)
      for (int row = 0; row < kHeight; ++row) {
        // Row `row` of the file holds picture row y.
        int y = row;
        if (tc.orientation == ORIENTATION_BOTLEFT) y = kHeight - 1 - row;
        auto bytes = StoredRowBytes(tc, y, tc.planarSeparate ? p : -1);
        TIFFWriteScanline(tif, bytes.data(), uint32_t(row), uint16_t(p));
      }
  }
  TIFFClose(tif);
  return ReadBack(path);
}

Result<DecodedPicture> Decode(const std::vector<uint8_t>& bytes) {
  DecodedPicture out;
  Status s = DecodeTiff(bytes, {}, out);
  if (!s.ok()) return s;
  return out;
}

class TiffFormats : public ::testing::TestWithParam<TiffCase> {};

TEST_P(TiffFormats, DecodesExactlyTopRowFirst) {
  const TiffCase& tc = GetParam();
  auto decoded = Decode(WriteTiff(tc));
  ASSERT_TRUE(decoded.ok()) << decoded.message();
  ASSERT_EQ(decoded->bitmap.Width(), kWidth);
  ASSERT_EQ(decoded->bitmap.Height(), kHeight);
  EXPECT_EQ(decoded->storedWidth, kWidth);
  EXPECT_FALSE(decoded->keepsAlpha);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      ASSERT_EQ(decoded->bitmap.Pixel(x, y), Expected(tc, x, y)) << "pixel " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(
    TiffDecoder, TiffFormats,
    ::testing::Values(TiffCase{"RgbNone", Kind::kRgb, 8, COMPRESSION_NONE},
                      TiffCase{"RgbLzw", Kind::kRgb, 8, COMPRESSION_LZW},
                      TiffCase{"RgbDeflate", Kind::kRgb, 8, COMPRESSION_ADOBE_DEFLATE},
                      TiffCase{"RgbPackBits", Kind::kRgb, 8, COMPRESSION_PACKBITS},
                      TiffCase{"RgbTiledLzw", Kind::kRgb, 8, COMPRESSION_LZW, true},
                      TiffCase{"RgbTiledDeflate", Kind::kRgb, 8, COMPRESSION_ADOBE_DEFLATE, true},
                      TiffCase{"RgbPlanarSeparate", Kind::kRgb, 8, COMPRESSION_LZW, false, true},
                      TiffCase{"RgbBottomUp", Kind::kRgb, 8, COMPRESSION_NONE, false, false,
                               ORIENTATION_BOTLEFT},
                      TiffCase{"Rgb16", Kind::kRgb, 16, COMPRESSION_DEFLATE},
                      TiffCase{"RgbaUnassociated", Kind::kRgba, 8, COMPRESSION_LZW},
                      TiffCase{"Rgba16Unassociated", Kind::kRgba, 16, COMPRESSION_NONE},
                      TiffCase{"Grey8", Kind::kGrey, 8, COMPRESSION_PACKBITS},
                      TiffCase{"Grey16", Kind::kGrey, 16, COMPRESSION_NONE},
                      TiffCase{"Grey8Tiled", Kind::kGrey, 8, COMPRESSION_NONE, true},
                      TiffCase{"Palette8", Kind::kPalette, 8, COMPRESSION_LZW},
                      TiffCase{"Palette4", Kind::kPalette, 4, COMPRESSION_NONE},
                      TiffCase{"BilevelMinIsWhite", Kind::kBilevelWhite, 1, COMPRESSION_NONE},
                      TiffCase{"BilevelMinIsBlack", Kind::kBilevelBlack, 1, COMPRESSION_PACKBITS},
                      TiffCase{"FaxGroup4", Kind::kBilevelWhite, 1, COMPRESSION_CCITTFAX4},
                      TiffCase{"FaxGroup3TwoD", Kind::kBilevelWhite, 1, COMPRESSION_CCITTFAX3},
                      TiffCase{"FaxModifiedHuffman", Kind::kBilevelWhite, 1, COMPRESSION_CCITTRLE}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TiffDecoder, JpegCompressedWithinTolerance) {
  const TiffCase tc{"Jpeg", Kind::kRgb, 8, COMPRESSION_JPEG};
  const std::string path = TempPath(tc.name);
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  constexpr int w = 32, h = 32;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(w));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(h));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
  TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 95);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(16));
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  for (int y = 0; y < h; ++y) {
    std::vector<uint8_t> row;
    for (int x = 0; x < w; ++x)
      row.insert(row.end(), {uint8_t(x < 16 ? 200 : 30), uint8_t(y < 16 ? 40 : 220), 90});
    TIFFWriteScanline(tif, row.data(), uint32_t(y), 0);
  }
  TIFFClose(tif);
  auto decoded = Decode(ReadBack(path));
  ASSERT_TRUE(decoded.ok()) << decoded.message();
  const TColor32 p = decoded->bitmap.Pixel(24, 8);
  EXPECT_NEAR(RedOf(p), 30, 6);
  EXPECT_NEAR(GreenOf(p), 40, 6);
  EXPECT_NEAR(BlueOf(p), 90, 6);
}

// A little-endian TIFF built by hand, for headers libtiff would not write.
struct Entry {
  uint16_t tag, type;
  uint32_t count, value;
};

std::vector<uint8_t> HandMadeTiff(const std::vector<Entry>& entries, size_t pixelBytes) {
  std::vector<uint8_t> b = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto put16 = [&](uint16_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); };
  auto put32 = [&](uint32_t v) {
    b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
  };
  put16(uint16_t(entries.size()));
  for (const Entry& e : entries) {
    put16(e.tag);
    put16(e.type);
    put32(e.count);
    put32(e.value);
  }
  put32(0);
  b.resize(b.size() + pixelBytes, 0x55);
  return b;
}

constexpr uint16_t kShort = 3, kLong = 4;

// Grey 8-bit, one strip at offset `dataAt` of `byteCount` bytes.
std::vector<uint8_t> GreyTiff(uint32_t width, uint32_t height, uint16_t compression, uint32_t byteCount,
                              size_t pixelBytes) {
  const uint32_t dataAt = 8 + 2 + 9 * 12 + 4;
  return HandMadeTiff({{256, kLong, 1, width},
                       {257, kLong, 1, height},
                       {258, kShort, 1, 8},
                       {259, kShort, 1, compression},
                       {262, kShort, 1, PHOTOMETRIC_MINISBLACK},
                       {273, kLong, 1, dataAt},
                       {277, kShort, 1, 1},
                       {278, kLong, 1, height},
                       {279, kLong, 1, byteCount}},
                      pixelBytes);
}

TEST(TiffDecoder, HandMadeFileDecodes) {
  auto decoded = Decode(GreyTiff(10, 10, COMPRESSION_NONE, 100, 100));
  ASSERT_TRUE(decoded.ok()) << decoded.message();
  EXPECT_EQ(decoded->bitmap.Pixel(9, 9), Color32(0x55, 0x55, 0x55));
}

TEST(TiffDecoder, HugeHeaderIsRefusedBeforeAllocating) {
  EXPECT_EQ(Decode(GreyTiff(100000, 100000, COMPRESSION_NONE, 100, 100)).message(),
            CheckPictureSize(100000, 100000, "TIFF").message());
  EXPECT_EQ(Decode(GreyTiff(30000, 30000, COMPRESSION_LZW, 100, 100)).message(),
            CheckPictureSize(30000, 30000, "TIFF").message());
}

TEST(TiffDecoder, PixelDataMissingFromTheFile) {
  // 10 x 10 uncompressed needs 100 bytes; the file has 40.
  EXPECT_EQ(Decode(GreyTiff(10, 10, COMPRESSION_NONE, 100, 40)).message(), "Stream read error in TIFF file.");
  // 12000 x 12000 is within the pixel limit, but 100 bytes of deflate data
  // cannot give 144 million bytes.
  EXPECT_EQ(Decode(GreyTiff(12000, 12000, COMPRESSION_ADOBE_DEFLATE, 100, 100)).message(),
            "Stream read error in TIFF file.");
}

TEST(TiffDecoder, FaxPageLongerThanItsDataCanCode) {
  // Group 4 needs at least a bit per line: 9240 lines cannot come out of 4
  // bytes, however blank the page (libtiff would fill it all in).
  const uint32_t dataAt = 8 + 2 + 9 * 12 + 4;
  const auto bytes = HandMadeTiff({{256, kLong, 1, 13824},
                                   {257, kLong, 1, 9240},
                                   {258, kShort, 1, 1},
                                   {259, kShort, 1, COMPRESSION_CCITTFAX4},
                                   {262, kShort, 1, PHOTOMETRIC_MINISWHITE},
                                   {273, kLong, 1, dataAt},
                                   {277, kShort, 1, 1},
                                   {278, kLong, 1, 9240},
                                   {279, kLong, 1, 4}},
                                  4);
  EXPECT_EQ(Decode(bytes).message(), "Stream read error in TIFF file.");
}

TEST(TiffDecoder, UnknownCompressionScheme) {
  EXPECT_EQ(Decode(GreyTiff(10, 10, 34712, 100, 100)).message(),
            "Cannot load image. Compression scheme 34712 not supported for TIFF files.");
}

TEST(TiffDecoder, DamagedCompressedData) {
  EXPECT_EQ(Decode(GreyTiff(10, 10, COMPRESSION_ADOBE_DEFLATE, 100, 100)).message(),
            "Cannot load image. Compression error found in TIFF file.");
}

TEST(TiffDecoder, NotATiffFile) {
  EXPECT_EQ(Decode({}).message(), "Cannot load image. Invalid or unexpected TIFF image format.");
  const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13};
  EXPECT_EQ(Decode(png).message(), "Cannot load image. Invalid or unexpected TIFF image format.");
}

TEST(TiffDecoder, OnlyTheFirstPageIsRead) {
  const std::string path = TempPath("pages");
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  for (int page = 0; page < 2; ++page) {
    const uint32_t w = page == 0 ? 4 : 9;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(3));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    std::vector<uint8_t> row(w, uint8_t(page == 0 ? 10 : 250));
    for (uint32_t y = 0; y < 3; ++y) TIFFWriteScanline(tif, row.data(), y, 0);
    TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
  auto decoded = Decode(ReadBack(path));
  ASSERT_TRUE(decoded.ok()) << decoded.message();
  EXPECT_EQ(decoded->bitmap.Width(), 4);
  EXPECT_EQ(decoded->bitmap.Pixel(0, 0), Color32(10, 10, 10));
}

TEST(TiffDecoder, MutatedFilesNeverCrash) {
  const TiffCase cases[] = {{"m1", Kind::kRgb, 8, COMPRESSION_LZW},
                            {"m2", Kind::kPalette, 8, COMPRESSION_PACKBITS, true},
                            {"m3", Kind::kBilevelWhite, 1, COMPRESSION_CCITTFAX4},
                            {"m4", Kind::kRgb, 16, COMPRESSION_ADOBE_DEFLATE, false, true}};
  for (const TiffCase& tc : cases) {
    const auto original = WriteTiff(tc);
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
      auto bytes = original;
      const int flips = 1 + static_cast<int>(rng() % 4);
      for (int i = 0; i < flips; ++i) bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
      if (round % 6 == 0) bytes.resize(rng() % bytes.size());
      DecodedPicture out;
      Status s = DecodeTiff(bytes, {}, out);
      if (s.ok()) {
        EXPECT_EQ(static_cast<size_t>(out.bitmap.Width()) * out.bitmap.Height(), out.bitmap.Pixels().size());
      } else {
        EXPECT_FALSE(s.message().empty());
      }
    }
  }
}

}  // namespace
}  // namespace velmora
