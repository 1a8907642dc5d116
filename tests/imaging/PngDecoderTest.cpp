// PNG decoding: every colour type and bit depth, palettes with transparency
// and Adam7 interlacing decode exactly; damaged files give the reader's
// messages by cause. Fixtures are written in memory with libpng.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "imaging/PictureLimits.h"
#include "imaging/formats/PngDecoder.h"

namespace velmora {
namespace {

struct PngCase {
  const char* name;
  int colorType;
  int bitDepth;
  bool interlaced;
  bool transparency;  // tRNS chunk (palette entries, or one key colour)
};

constexpr int kWidth = 13;  // odd sizes: partial bytes at 1..4 bits, short Adam7 passes
constexpr int kHeight = 7;

int Channels(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
      return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    case PNG_COLOR_TYPE_RGB:
      return 3;
    default:
      return 4;
  }
}

// Sample c of pixel (x, y) at the given depth: a pattern that reaches 0 and
// the maximum and varies in every channel.
uint32_t SampleAt(int x, int y, int c, int bitDepth) {
  const uint32_t max = (1u << bitDepth) - 1;
  const uint32_t v = static_cast<uint32_t>(x * 37 + y * 91 + c * 53) * (bitDepth == 16 ? 4099u : 7u);
  if ((x + y + c) % 5 == 0) return max;
  if ((x + 2 * y + c) % 7 == 0) return 0;
  return v % (max + 1);
}

uint8_t PaletteRed(int i) { return uint8_t(i * 13 + 5); }
uint8_t PaletteGreen(int i) { return uint8_t(255 - i * 7); }
uint8_t PaletteBlue(int i) { return uint8_t(i * 29); }

// 8-bit value of a stored sample: low depths fill the range (v x 255 / max),
// 16-bit samples are rounded (v / 257).
uint8_t To8(uint32_t v, int bitDepth) {
  if (bitDepth == 16) return uint8_t((v + 128) / 257);
  return uint8_t(v * 255 / ((1u << bitDepth) - 1));
}

TColor32 ExpectedPixel(const PngCase& pc, int x, int y) {
  if (pc.colorType == PNG_COLOR_TYPE_PALETTE) {
    const int i = int(SampleAt(x, y, 0, pc.bitDepth));
    return Color32(PaletteRed(i), PaletteGreen(i), PaletteBlue(i));
  }
  if ((pc.colorType & PNG_COLOR_MASK_COLOR) == 0) {
    const uint8_t g = To8(SampleAt(x, y, 0, pc.bitDepth), pc.bitDepth);
    return Color32(g, g, g);
  }
  return Color32(To8(SampleAt(x, y, 0, pc.bitDepth), pc.bitDepth),
                 To8(SampleAt(x, y, 1, pc.bitDepth), pc.bitDepth),
                 To8(SampleAt(x, y, 2, pc.bitDepth), pc.bitDepth));
}

void WriteToVector(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void FlushNothing(png_structp) {}

std::vector<uint8_t> WritePng(const PngCase& pc, int width = kWidth, int height = kHeight) {
  std::vector<uint8_t> bytes;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    ADD_FAILURE() << "fixture writer failed";
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &bytes, WriteToVector, FlushNothing);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), pc.bitDepth, pc.colorType,
               pc.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (pc.colorType == PNG_COLOR_TYPE_PALETTE) {
    const int entries = 1 << pc.bitDepth;
    std::vector<png_color> palette(static_cast<size_t>(entries));
    for (int i = 0; i < entries; ++i) palette[size_t(i)] = {PaletteRed(i), PaletteGreen(i), PaletteBlue(i)};
    png_set_PLTE(png, info, palette.data(), entries);
    if (pc.transparency) {
      std::vector<png_byte> alpha(static_cast<size_t>(entries));
      for (int i = 0; i < entries; ++i) alpha[size_t(i)] = png_byte(i * 3);
      png_set_tRNS(png, info, alpha.data(), entries, nullptr);
    }
  } else if (pc.transparency) {
    png_color_16 key{};
    key.gray = key.red = png_uint_16(SampleAt(0, 1, 0, pc.bitDepth));
    key.green = png_uint_16(SampleAt(0, 1, 1, pc.bitDepth));
    key.blue = png_uint_16(SampleAt(0, 1, 2, pc.bitDepth));
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  png_write_info(png, info);
  const int channels = Channels(pc.colorType);
  const size_t rowBytes = (size_t(width) * channels * pc.bitDepth + 7) / 8;
  std::vector<std::vector<png_byte>> rows(size_t(height), std::vector<png_byte>(rowBytes, 0));
  for (int y = 0; y < height; ++y) {
    png_byte* row = rows[size_t(y)].data();
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < channels; ++c) {
        const uint32_t v = SampleAt(x, y, c, pc.bitDepth);
        const size_t bit = (size_t(x) * channels + c) * pc.bitDepth;
        if (pc.bitDepth == 16) {
          row[bit / 8] = png_byte(v >> 8);
          row[bit / 8 + 1] = png_byte(v);
        } else {
          row[bit / 8] |= png_byte(v << (8 - pc.bitDepth - bit % 8));
        }
      }
  }
  std::vector<png_bytep> pointers;
  for (auto& r : rows) pointers.push_back(r.data());
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return bytes;
}

Result<DecodedPicture> Decode(const std::vector<uint8_t>& bytes) {
  DecodedPicture out;
  Status s = DecodePng(bytes, {}, out);
  if (!s.ok()) return s;
  return out;
}

class PngFormats : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngFormats, DecodesExactlyAndOpaque) {
  const PngCase& pc = GetParam();
  auto decoded = Decode(WritePng(pc));
  ASSERT_TRUE(decoded.ok()) << decoded.message();
  ASSERT_EQ(decoded->bitmap.Width(), kWidth);
  ASSERT_EQ(decoded->bitmap.Height(), kHeight);
  EXPECT_EQ(decoded->storedWidth, kWidth);
  EXPECT_EQ(decoded->storedHeight, kHeight);
  EXPECT_FALSE(decoded->keepsAlpha);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      ASSERT_EQ(decoded->bitmap.Pixel(x, y), ExpectedPixel(pc, x, y)) << "pixel " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(
    PngDecoder, PngFormats,
    ::testing::Values(PngCase{"Palette1", PNG_COLOR_TYPE_PALETTE, 1, false, false},
                      PngCase{"Palette2", PNG_COLOR_TYPE_PALETTE, 2, false, false},
                      PngCase{"Palette4", PNG_COLOR_TYPE_PALETTE, 4, false, true},
                      PngCase{"Palette8", PNG_COLOR_TYPE_PALETTE, 8, false, false},
                      PngCase{"Palette8Transparent", PNG_COLOR_TYPE_PALETTE, 8, false, true},
                      PngCase{"Palette8Interlaced", PNG_COLOR_TYPE_PALETTE, 8, true, true},
                      PngCase{"Grey1", PNG_COLOR_TYPE_GRAY, 1, false, false},
                      PngCase{"Grey2", PNG_COLOR_TYPE_GRAY, 2, false, false},
                      PngCase{"Grey4", PNG_COLOR_TYPE_GRAY, 4, false, false},
                      PngCase{"Grey8", PNG_COLOR_TYPE_GRAY, 8, false, false},
                      PngCase{"Grey8KeyColour", PNG_COLOR_TYPE_GRAY, 8, false, true},
                      PngCase{"Grey16", PNG_COLOR_TYPE_GRAY, 16, false, false},
                      PngCase{"Grey2Interlaced", PNG_COLOR_TYPE_GRAY, 2, true, false},
                      PngCase{"GreyAlpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false},
                      PngCase{"GreyAlpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, false},
                      PngCase{"Rgb8", PNG_COLOR_TYPE_RGB, 8, false, false},
                      PngCase{"Rgb8KeyColour", PNG_COLOR_TYPE_RGB, 8, false, true},
                      PngCase{"Rgb16", PNG_COLOR_TYPE_RGB, 16, false, false},
                      PngCase{"Rgb8Interlaced", PNG_COLOR_TYPE_RGB, 8, true, false},
                      PngCase{"Rgba8", PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false},
                      PngCase{"Rgba16", PNG_COLOR_TYPE_RGB_ALPHA, 16, false, false},
                      PngCase{"Rgba16Interlaced", PNG_COLOR_TYPE_RGB_ALPHA, 16, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- damaged files ----

struct Chunk {
  size_t offset;  // of the length field
  uint32_t length;
  std::string type;
};

std::vector<Chunk> Chunks(const std::vector<uint8_t>& bytes) {
  std::vector<Chunk> chunks;
  size_t at = 8;
  while (at + 12 <= bytes.size()) {
    const uint32_t length = (uint32_t(bytes[at]) << 24) | (uint32_t(bytes[at + 1]) << 16) |
                            (uint32_t(bytes[at + 2]) << 8) | bytes[at + 3];
    chunks.push_back({at, length, std::string(bytes.begin() + long(at) + 4, bytes.begin() + long(at) + 8)});
    at += 12 + length;
  }
  return chunks;
}

const Chunk& Find(const std::vector<Chunk>& chunks, const std::string& type) {
  for (const Chunk& c : chunks)
    if (c.type == type) return c;
  ADD_FAILURE() << "no " << type;
  return chunks.front();
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}

void FixCrc(std::vector<uint8_t>& bytes, const Chunk& c) {
  const uLong crc = crc32(0, bytes.data() + c.offset + 4, uInt(c.length + 4));
  PutU32(bytes, c.offset + 8 + c.length, uint32_t(crc));
}

std::vector<uint8_t> MakeChunk(const std::string& type, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out(12 + data.size(), 0);
  PutU32(out, 0, uint32_t(data.size()));
  for (size_t i = 0; i < 4; ++i) out[4 + i] = uint8_t(type[i]);
  std::copy(data.begin(), data.end(), out.begin() + 8);
  FixCrc(out, Chunk{0, uint32_t(data.size()), type});
  return out;
}

const PngCase kRgb{"Rgb8", PNG_COLOR_TYPE_RGB, 8, false, false};
const PngCase kPalette{"Palette8", PNG_COLOR_TYPE_PALETTE, 8, false, false};

TEST(PngDecoder, CrcErrorInACriticalChunk) {
  const auto original = WritePng(kRgb);
  const auto chunks = Chunks(original);
  // The header is checked whole before it is used.
  auto bytes = original;
  bytes[Find(chunks, "IHDR").offset + 8 + 11] ^= 0x01;
  EXPECT_EQ(Decode(bytes).message(), "Cannot load image. CRC error found in PNG file.");
  // The pixel data is inflated as it streams in, so its checksum is what
  // fails when only the checksum is wrong.
  bytes = original;
  const Chunk idat = Find(chunks, "IDAT");
  bytes[idat.offset + 8 + idat.length] ^= 0x01;
  EXPECT_EQ(Decode(bytes).message(), "Cannot load image. CRC error found in PNG file.");
}

TEST(PngDecoder, DamagedPixelDataIsACompressionError) {
  auto bytes = WritePng(kRgb);
  const Chunk idat = Find(Chunks(bytes), "IDAT");
  bytes[idat.offset + 8] = 0x78;
  bytes[idat.offset + 9] = 0x00;  // zlib header whose check bits are wrong
  FixCrc(bytes, idat);
  EXPECT_EQ(Decode(bytes).message(), "Cannot load image. Compression error found in PNG file.");
}

TEST(PngDecoder, UnknownCriticalChunk) {
  auto bytes = WritePng(kRgb);
  const Chunk idat = Find(Chunks(bytes), "IDAT");
  const auto chunk = MakeChunk("VLMa", {1, 2, 3});  // upper-case first letter: critical
  bytes.insert(bytes.begin() + long(idat.offset), chunk.begin(), chunk.end());
  EXPECT_EQ(Decode(bytes).message(), "Cannot load PNG image. Unexpected but critical chunk detected.");
}

TEST(PngDecoder, UnknownAncillaryChunkIsSkipped) {
  auto bytes = WritePng(kRgb);
  const Chunk idat = Find(Chunks(bytes), "IDAT");
  const auto chunk = MakeChunk("vlMa", {1, 2, 3});
  bytes.insert(bytes.begin() + long(idat.offset), chunk.begin(), chunk.end());
  EXPECT_TRUE(Decode(bytes).ok());
}

TEST(PngDecoder, InvalidPalette) {
  auto bytes = WritePng(kPalette);
  const Chunk plte = Find(Chunks(bytes), "PLTE");
  // A palette whose length is not a multiple of three.
  std::vector<uint8_t> data(bytes.begin() + long(plte.offset) + 8,
                            bytes.begin() + long(plte.offset) + 8 + long(plte.length) - 1);
  const auto broken = MakeChunk("PLTE", data);
  bytes.erase(bytes.begin() + long(plte.offset), bytes.begin() + long(plte.offset) + 12 + long(plte.length));
  bytes.insert(bytes.begin() + long(plte.offset), broken.begin(), broken.end());
  EXPECT_EQ(Decode(bytes).message(), "Cannot load image. Palette in PNG file is invalid.");
}

TEST(PngDecoder, MissingPalette) {
  auto bytes = WritePng(kPalette);
  const Chunk plte = Find(Chunks(bytes), "PLTE");
  bytes.erase(bytes.begin() + long(plte.offset), bytes.begin() + long(plte.offset) + 12 + long(plte.length));
  EXPECT_EQ(Decode(bytes).message(), "Cannot load image. Palette in PNG file is invalid.");
}

TEST(PngDecoder, TruncatedFileIsAStreamReadError) {
  const auto whole = WritePng(kRgb, 64, 64);
  const Chunk idat = Find(Chunks(whole), "IDAT");
  for (size_t cut : {size_t(20), idat.offset + 4, idat.offset + 8 + idat.length / 2, whole.size() - 13}) {
    std::vector<uint8_t> bytes(whole.begin(), whole.begin() + long(cut));
    EXPECT_EQ(Decode(bytes).message(), "Stream read error in PNG file.") << "cut at " << cut;
  }
}

TEST(PngDecoder, MissingEndChunkIsAccepted) {
  auto bytes = WritePng(kRgb);
  bytes.resize(bytes.size() - 12);  // IEND
  EXPECT_TRUE(Decode(bytes).ok());
}

TEST(PngDecoder, NotAPngFile) {
  const std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0};
  EXPECT_EQ(Decode(jpeg).message(), "Cannot load image. Invalid or unexpected PNG image format.");
  EXPECT_EQ(Decode({}).message(), "Cannot load image. Invalid or unexpected PNG image format.");
}

std::vector<uint8_t> WithHeaderSize(std::vector<uint8_t> bytes, uint32_t width, uint32_t height) {
  const Chunk ihdr = Find(Chunks(bytes), "IHDR");
  PutU32(bytes, ihdr.offset + 8, width);
  PutU32(bytes, ihdr.offset + 12, height);
  FixCrc(bytes, ihdr);
  return bytes;
}

TEST(PngDecoder, HugeHeaderIsRefusedBeforeAllocating) {
  const auto bytes = WritePng(kRgb);
  EXPECT_EQ(Decode(WithHeaderSize(bytes, 100000, 100000)).message(),
            CheckPictureSize(100000, 100000, "PNG").message());
  EXPECT_EQ(Decode(WithHeaderSize(bytes, 30000, 30000)).message(),
            CheckPictureSize(30000, 30000, "PNG").message());
  EXPECT_EQ(Decode(WithHeaderSize(bytes, 0, 5)).message(), CheckPictureSize(0, 5, "PNG").message());
}

TEST(PngDecoder, HeaderLargerThanTheDataCanHoldIsRefused) {
  // Within the pixel limit, but no deflate stream of this file's length can
  // give 16000 x 16000 x 3 bytes.
  const auto bytes = WritePng(kRgb);
  EXPECT_EQ(Decode(WithHeaderSize(bytes, 16000, 16000)).message(), "Stream read error in PNG file.");
}

TEST(PngDecoder, MutatedFilesNeverCrash) {
  for (const PngCase& pc : {kRgb, kPalette, PngCase{"i", PNG_COLOR_TYPE_RGB_ALPHA, 16, true, false}}) {
    const auto original = WritePng(pc, 40, 30);
    std::mt19937 rng(99);
    for (int round = 0; round < 300; ++round) {
      auto bytes = original;
      const int flips = 1 + static_cast<int>(rng() % 3);
      for (int i = 0; i < flips; ++i) bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
      // Fixing every CRC lets the damage reach libpng's decoding proper.
      if (round % 2 == 0)
        for (const Chunk& c : Chunks(bytes))
          if (c.offset + 12 + c.length <= bytes.size()) FixCrc(bytes, c);
      if (round % 7 == 0) bytes.resize(rng() % bytes.size());
      DecodedPicture out;
      Status s = DecodePng(bytes, {}, out);
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
