// Paint Shop Pro pictures. No tool at hand writes them, so the fixtures are
// written here from the published description of the file format (version 3
// files as the program's version 5 wrote them, and version 5 files with the
// chunk lengths of version 4 on): blocks "~BK\0" + id + length, the general
// attributes, the palette, and a layer bank whose layers hold channel blocks,
// uncompressed (rows padded to four bytes), run-length or LZ77 (zlib) coded.
// Three files the program wrote itself (versions 3, 5 and 6) are compared
// with GIMP's rendering of them.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "imaging/CraftedFiles.h"
#include "imaging/PictureReader.h"

namespace velmora {
namespace {

using testing::Bytes;

constexpr int kW = 37;  // not a multiple of 4: padded uncompressed rows
constexpr int kH = 9;

struct Layer {
  int left = 0, top = 0, width = kW, height = kH;
  uint8_t opacity = 255;
  bool visible = true;
  bool mask = false;                                         // a transparency mask channel
  std::function<uint8_t(int x, int y, int channel)> sample;  // channel 3 is the mask
};

struct PspSpec {
  int major = 5;
  int compression = 0;  // 0 none, 1 RLE, 2 LZ77
  int depth = 24;       // 24, or 8 with grey or a palette
  bool grey = false;
  int paletteSize = 0;
  bool bitmapChunk = true;  // from version 4 on
  std::vector<Layer> layers;
};

Bytes Block(int major, int id, const Bytes& body) {
  Bytes b;
  b.text(std::string_view("~BK\0", 4)).u16le(uint32_t(id));
  if (major <= 3) b.u32le(uint32_t(body.size()));
  b.u32le(uint32_t(body.size())).append(body.data);
  return b;
}

// A chunk of fixed fields: from version 4 on it starts with its length.
Bytes Chunk(int major, const Bytes& fields) {
  Bytes c;
  if (major >= 4) c.u32le(uint32_t(fields.size() + 4));
  return c.append(fields.data);
}

Bytes Compress(int compression, const std::vector<uint8_t>& samples, int width) {
  Bytes out;
  if (compression == 0) {
    for (size_t y = 0; y < samples.size() / size_t(width); ++y) {
      out.data.insert(out.data.end(), samples.begin() + std::ptrdiff_t(y * size_t(width)),
                      samples.begin() + std::ptrdiff_t((y + 1) * size_t(width)));
      out.fill((4 - size_t(width) % 4) % 4, 0xEE);
    }
  } else if (compression == 1) {
    testing::EncodeRuns(
        samples, 127, [&](size_t n, uint8_t v) { out.u8(uint32_t(128 + n)).u8(v); },
        [&](const uint8_t* p, size_t n) {
          out.u8(uint32_t(n));
          for (size_t i = 0; i < n; ++i) out.u8(p[i]);
        });
  } else {
    uLongf size = compressBound(uLong(samples.size()));
    out.data.resize(size);
    compress2(out.data.data(), &size, samples.data(), uLong(samples.size()), 9);
    out.data.resize(size);
  }
  return out;
}

Bytes Channel(const PspSpec& s, const Layer& l, int bitmapType, int channelType, int source) {
  std::vector<uint8_t> samples;
  for (int y = 0; y < l.height; ++y)
    for (int x = 0; x < l.width; ++x) samples.push_back(l.sample(x, y, source));
  const Bytes data = Compress(s.compression, samples, l.width);
  Bytes fields;
  fields.u32le(uint32_t(data.size())).u32le(uint32_t(samples.size())).u16le(uint32_t(bitmapType));
  fields.u16le(uint32_t(channelType));
  return Block(s.major, 5, Chunk(s.major, fields).append(data.data));
}

Bytes PspFile(const PspSpec& s) {
  Bytes f;
  f.text("Paint Shop Pro Image File\n\x1a").fill(32 - 27).u16le(uint32_t(s.major)).u16le(0);
  Bytes attr;
  attr.u32le(kW).u32le(kH).fill(8).u8(1).u16le(uint32_t(s.compression)).u16le(uint32_t(s.depth)).u16le(1);
  attr.u32le(s.depth == 24 ? 1u << 24 : 256).u8(s.grey ? 1 : 0).u32le(kW * kH * 3).u32le(0);
  attr.u16le(uint32_t(s.layers.size()));
  if (s.major >= 4) attr.u32le(1);  // graphic contents
  f.append(Block(s.major, 0, Chunk(s.major, attr)).data);
  if (s.paletteSize > 0) {
    Bytes pal = Chunk(s.major, Bytes().u32le(uint32_t(s.paletteSize)));
    for (int i = 0; i < s.paletteSize; ++i)
      pal.u8(uint32_t(i * 3)).u8(uint32_t(255 - i)).u8(uint32_t(i * 7)).u8(0);
    f.append(Block(s.major, 2, pal).data);
  }
  Bytes bank;
  for (const Layer& l : s.layers) {
    Bytes info;
    if (s.major >= 4)
      info.u16le(5).text("Layer").u8(1);  // name, raster layer
    else
      info.text("Layer").fill(251).u8(0);
    info.u32le(uint32_t(l.left))
        .u32le(uint32_t(l.top))
        .u32le(uint32_t(l.left + l.width))
        .u32le(uint32_t(l.top + l.height));
    info.u32le(0).u32le(0).u32le(uint32_t(l.width)).u32le(uint32_t(l.height));
    info.u8(l.opacity).u8(0).u8(l.visible ? 1 : 0).u8(0).u8(0).fill(32).u8(0).u8(0).u8(0);
    info.u16le(5).fill(40);  // blend ranges
    const int colorChannels = s.depth == 24 ? 3 : 1;
    Bytes counts;
    counts.u16le(l.mask ? 2 : 1).u16le(uint32_t(colorChannels + (l.mask ? 1 : 0)));
    // Version 3 ends the information with the counts; later versions give
    // them a chunk of their own, which some writers leave out.
    if (s.major <= 3) info.append(counts.data);
    Bytes layer = Chunk(s.major, info);
    if (s.major >= 4 && s.bitmapChunk) layer.append(Chunk(s.major, counts).data);
    for (int c = 0; c < colorChannels; ++c)
      layer.append(Channel(s, l, 0, colorChannels == 3 ? c + 1 : 0, c).data);
    if (l.mask) layer.append(Channel(s, l, 1, 0, 3).data);
    bank.append(Block(s.major, 4, layer).data);
  }
  f.append(Block(s.major, 3, bank).data);
  return f;
}

uint8_t Sample(int x, int y, int c) { return uint8_t(testing::Pattern(x, y, c, 255)); }

TColor32 PaletteColor(int i) { return Color32(uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 3)); }

TEST(PspDecoder, SingleLayerInEveryVersionCompressionAndDepth) {
  for (int major : {3, 5, 6, 0})  // 0: version 5 without the bitmap chunk
    for (int compression : {0, 1, 2})
      for (int kind = 0; kind < 3; ++kind) {  // RGB, grey, palette
        SCOPED_TRACE(::testing::Message()
                     << "version " << major << " compression " << compression << " kind " << kind);
        PspSpec s;
        s.major = major == 0 ? 5 : major;
        s.bitmapChunk = major != 0;
        s.compression = compression;
        s.depth = kind == 0 ? 24 : 8;
        s.grey = kind == 1;
        s.paletteSize = kind == 2 ? 200 : 0;
        Layer l;
        l.sample = [kind](int x, int y, int c) {
          return kind == 2 ? uint8_t(Sample(x, y, c) % 200) : Sample(x, y, c);
        };
        s.layers.push_back(l);
        const Bytes file = PspFile(s);
        if (major != 0)
          testing::DumpCrafted("v" + std::to_string(major) + "-c" + std::to_string(compression) + "-k" +
                                   std::to_string(kind) + ".psp",
                               file.data);
        Result<DecodedPicture> r = DecodePicture("x.psp", file.data);
        ASSERT_TRUE(r.ok()) << r.message();
        ASSERT_EQ(r->bitmap.Width(), kW);
        ASSERT_EQ(r->bitmap.Height(), kH);
        EXPECT_FALSE(r->keepsAlpha);
        for (int y = 0; y < kH; ++y)
          for (int x = 0; x < kW; ++x) {
            const uint8_t v = l.sample(x, y, 0);
            const TColor32 want = kind == 0   ? Color32(v, Sample(x, y, 1), Sample(x, y, 2))
                                  : kind == 1 ? Color32(v, v, v)
                                              : PaletteColor(v);
            ASSERT_EQ(r->bitmap.Pixel(x, y), want) << x << "," << y;
          }
      }
}

TEST(PspDecoder, LayersAreFlattenedWithOpacityMaskAndVisibility) {
  PspSpec s;
  s.compression = 1;
  Layer background;
  background.sample = [](int, int, int c) { return uint8_t(c == 2 ? 200 : 0); };  // blue
  Layer half;  // red at half opacity, moved right and down, partly off the canvas
  half.left = 30;
  half.top = 5;
  half.width = 10;
  half.height = 6;
  half.opacity = 128;
  half.sample = [](int, int, int c) { return uint8_t(c == 0 ? 255 : 0); };
  Layer masked;  // green, opaque where its mask is set (the left half)
  masked.width = 4;
  masked.height = 2;
  masked.mask = true;
  masked.sample = [](int x, int, int c) { return uint8_t(c == 1 ? 255 : c == 3 ? (x < 2 ? 255 : 0) : 0); };
  Layer hidden;
  hidden.visible = false;
  hidden.sample = [](int, int, int) { return uint8_t(99); };
  s.layers = {background, half, masked, hidden};
  const Bytes file = PspFile(s);
  testing::DumpCrafted("layers.psp", file.data);
  Result<DecodedPicture> r = DecodePicture("x.psp", file.data);
  ASSERT_TRUE(r.ok()) << r.message();
  EXPECT_FALSE(r->keepsAlpha);
  EXPECT_EQ(r->bitmap.Pixel(20, 2), Color32(0, 0, 200));
  EXPECT_EQ(r->bitmap.Pixel(0, 0), Color32(0, 255, 0));
  EXPECT_EQ(r->bitmap.Pixel(1, 1), Color32(0, 255, 0));
  EXPECT_EQ(r->bitmap.Pixel(2, 0), Color32(0, 0, 200));
  EXPECT_EQ(r->bitmap.Pixel(30, 5), Color32(128, 0, 100));
  EXPECT_EQ(r->bitmap.Pixel(36, 8), Color32(128, 0, 100));
  EXPECT_EQ(r->bitmap.Pixel(29, 5), Color32(0, 0, 200));

  // Without the background the half-opaque layer stays half transparent.
  s.layers = {half};
  r = DecodePicture("x.psp", PspFile(s).data);
  ASSERT_TRUE(r.ok()) << r.message();
  EXPECT_TRUE(r->keepsAlpha);
  EXPECT_EQ(r->bitmap.Pixel(30, 5), Color32(255, 0, 0, 128));
  EXPECT_EQ(AlphaOf(r->bitmap.Pixel(0, 0)), 0);
}

// Pictures the program itself wrote (see tests/data/psp/SOURCES), against
// GIMP's rendering of them (scripts/psp-reference.sh). Where a pixel is fully
// transparent its colour means nothing, so only the alpha is compared there.
std::vector<uint8_t> ReadData(const std::string& name) {
  std::ifstream in(std::filesystem::path(VELMORA_TEST_DATA) / "psp" / name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The program's PNG reader drops the alpha channel, which the comparison needs.
TBitmap32 ReadReference(const std::string& name) {
  const std::vector<uint8_t> bytes = ReadData(name);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  TBitmap32 bitmap;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return bitmap;
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) return bitmap;
  if (!bitmap.SetSize(int(image.width), int(image.height)).ok()) return bitmap;
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) {
      const uint8_t* p = &rgba[(size_t(y) * image.width + size_t(x)) * 4];
      bitmap.ScanLine(y)[x] = Color32(p[0], p[1], p[2], p[3]);
    }
  return bitmap;
}

TEST(PspDecoder, FilesWrittenByTheProgramMatchTheirReference) {
  struct Case {
    const char* file;
    int width, height;
    bool alpha;     // whether some pixel is not opaque
    int tolerance;  // per channel
  };
  // The picture list reads only ".psp"; the second file keeps the name it came with.
  for (const Case& c : {Case{"plml.psp", 240, 52, false, 0}, Case{"openfile.pspimage", 36, 37, true, 1},
                        Case{"observer.psp", 72, 55, true, 0}}) {
    SCOPED_TRACE(c.file);
    const std::vector<uint8_t> bytes = ReadData(c.file);
    ASSERT_FALSE(bytes.empty());
    Result<DecodedPicture> r = DecodePicture("x.psp", bytes);
    ASSERT_TRUE(r.ok()) << r.message();
    const TBitmap32 ref = ReadReference(std::string(c.file) + ".png");
    ASSERT_EQ(r->bitmap.Width(), c.width);
    ASSERT_EQ(r->bitmap.Height(), c.height);
    ASSERT_EQ(ref.Width(), c.width);
    ASSERT_EQ(ref.Height(), c.height);
    EXPECT_EQ(r->keepsAlpha, c.alpha);
    int opaque = 0, clear = 0, differ = 0, worst = 0;
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x) {
        const TColor32 got = r->bitmap.Pixel(x, y), want = ref.Pixel(x, y);
        int delta = std::abs(AlphaOf(got) - AlphaOf(want));
        if (AlphaOf(want) != 0)  // a clear pixel's colour means nothing
          delta = std::max({delta, std::abs(RedOf(got) - RedOf(want)), std::abs(GreenOf(got) - GreenOf(want)),
                            std::abs(BlueOf(got) - BlueOf(want))});
        differ += delta != 0;
        worst = std::max(worst, delta);
        opaque += AlphaOf(want) == 255;
        clear += AlphaOf(want) == 0;
      }
    std::printf("%s: %d of %d pixels differ, by at most %d\n", c.file, differ, c.width * c.height, worst);
    EXPECT_LE(worst, c.tolerance);
    testing::ExpectTruncationsFail("x.psp", bytes, "Stream read error in PSP file.");
    EXPECT_GT(opaque, 0);
    EXPECT_EQ(clear > 0, c.alpha);
  }
}

TEST(PspDecoder, DamagedFilesFailWithTheirMessages) {
  const std::string stream = "Stream read error in PSP file.";
  const std::string invalid = "Cannot load image. Invalid or unexpected PSP image format.";
  PspSpec s;
  s.compression = 2;
  Layer l;
  l.sample = Sample;
  s.layers.push_back(l);
  const Bytes good = PspFile(s);
  testing::ExpectTruncationsFail("x.psp", good.data, stream);

  const size_t widthAt = 36 + 10 + 4;  // file header, block header, chunk length
  Bytes zero = good;
  zero.put32le(widthAt, 0);
  EXPECT_EQ(DecodePicture("x.psp", zero.data).message(), invalid);
  Bytes negative = good;
  negative.put32le(widthAt + 4, uint32_t(-5));
  EXPECT_EQ(DecodePicture("x.psp", negative.data).message(), invalid);
  Bytes huge = good;
  huge.put32le(widthAt, 1u << 20);
  EXPECT_NE(DecodePicture("x.psp", huge.data).message().find("larger than the limit"), std::string::npos);
  Bytes big = good;  // allowed by the limits, far more than the file can make
  big.put32le(widthAt, 16000);
  big.put32le(widthAt + 4, 16000);
  EXPECT_EQ(DecodePicture("x.psp", big.data).message(), stream);

  // The bitmap chunk of the layer claiming more bytes than the layer holds,
  // or fewer than its own length field.
  const std::vector<uint8_t> counts = {8, 0, 0, 0, 1, 0, 3, 0};
  const auto at = std::search(good.data.begin(), good.data.end(), counts.begin(), counts.end());
  ASSERT_NE(at, good.data.end());
  for (uint32_t length : {1u << 20, 2u}) {
    Bytes bad = good;
    bad.put32le(size_t(at - good.data.begin()), length);
    EXPECT_EQ(DecodePicture("x.psp", bad.data).message(), stream) << length;
  }

  // A run past the layer's end; indices past the palette.
  s.compression = 1;
  s.layers[0].sample = [](int, int, int) { return uint8_t(7); };  // runs only, the last one of 79
  Bytes runs = PspFile(s);
  runs.data[runs.size() - 2] = 128 + 127;
  EXPECT_EQ(DecodePicture("x.psp", runs.data).message(),
            "Cannot load image. Compression error found in PSP file.");
  s.layers[0].sample = Sample;
  s.depth = 8;
  s.paletteSize = 16;
  s.compression = 0;
  EXPECT_EQ(DecodePicture("x.psp", PspFile(s).data).message(),
            "Cannot load image. Palette in PSP file is invalid.");
  s.depth = 4;
  EXPECT_EQ(DecodePicture("x.psp", PspFile(s).data).message(), "Invalid color format in PSP file.");
  Bytes other;
  other.text("GIF89a").fill(100);
  EXPECT_EQ(DecodePicture("x.psp", other.data).message(), invalid);
}

}  // namespace
}  // namespace velmora
