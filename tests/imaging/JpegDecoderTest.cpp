// JPEG decoding: colour spaces (grey, YCbCr, RGB, CMYK straight and Adobe
// inverted, YCCK), the coding variants, DCT scaling, damaged and hostile
// files. Fixtures are written in memory with libjpeg; lossy paths are
// compared within a small tolerance on flat areas.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

// jpeglib.h uses size_t and FILE without including their headers.
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "imaging/PictureLimits.h"
#include "imaging/formats/JpegDecoder.h"

namespace velmora {
namespace {

enum class Coding { kBaseline444, kBaseline420, kProgressive, kArithmetic, kRestartMarkers };

struct JpegFixture {
  int width = 32;
  int height = 32;
  int components = 3;
  J_COLOR_SPACE input = JCS_RGB;     // what the samples are
  J_COLOR_SPACE stored = JCS_YCbCr;  // what the file holds
  bool adobeMarker = true;           // only meaningful for CMYK/YCCK
  Coding coding = Coding::kBaseline444;
  int quality = 100;
  std::vector<jpeg_scan_info> scans;  // a scan script of its own, when not empty
};

struct WriterError {
  jpeg_error_mgr pub;
};

[[noreturn]] void WriterErrorExit(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  cinfo->err->format_message(cinfo, text);
  std::fprintf(stderr, "fixture writer: %s\n", text);
  std::abort();
}

// Writes samples (components bytes per pixel, rows from the top) as a JPEG.
std::vector<uint8_t> WriteJpeg(const JpegFixture& fixture, const std::vector<uint8_t>& samples) {
  jpeg_compress_struct cinfo{};
  WriterError err{};
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = WriterErrorExit;
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(fixture.width);
  cinfo.image_height = static_cast<JDIMENSION>(fixture.height);
  cinfo.input_components = fixture.components;
  cinfo.in_color_space = fixture.input;
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, fixture.stored);
  jpeg_set_quality(&cinfo, fixture.quality, TRUE);
  if (fixture.stored == JCS_CMYK || fixture.stored == JCS_YCCK)
    cinfo.write_Adobe_marker = fixture.adobeMarker;
  const bool subsample = fixture.coding == Coding::kBaseline420;
  for (int c = 0; c < cinfo.num_components; ++c) {
    cinfo.comp_info[c].h_samp_factor = (c == 0 && subsample) ? 2 : 1;
    cinfo.comp_info[c].v_samp_factor = (c == 0 && subsample) ? 2 : 1;
  }
  if (fixture.coding == Coding::kProgressive) jpeg_simple_progression(&cinfo);
  if (fixture.coding == Coding::kArithmetic) cinfo.arith_code = TRUE;
  if (fixture.coding == Coding::kRestartMarkers) cinfo.restart_in_rows = 1;
  if (!fixture.scans.empty()) {
    cinfo.scan_info = fixture.scans.data();
    cinfo.num_scans = static_cast<int>(fixture.scans.size());
  }
  jpeg_start_compress(&cinfo, TRUE);
  const size_t stride = static_cast<size_t>(fixture.width) * fixture.components;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(samples.data() + cinfo.next_scanline * stride);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> bytes(buffer, buffer + size);
  std::free(buffer);
  return bytes;
}

struct Rgb {
  int r, g, b;
};

// Four flat quadrants; the centre of each is far enough from the edges that
// block and chroma artefacts stay within a few levels.
constexpr Rgb kQuadrants[4] = {{200, 40, 30}, {20, 180, 60}, {40, 50, 220}, {240, 230, 20}};

const Rgb& QuadrantAt(int x, int y, int w, int h) {
  return kQuadrants[(y >= h / 2 ? 2 : 0) + (x >= w / 2 ? 1 : 0)];
}

std::vector<uint8_t> RgbQuadrants(int w, int h) {
  std::vector<uint8_t> s;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Rgb& c = QuadrantAt(x, y, w, h);
      s.insert(s.end(), {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)});
    }
  return s;
}

void ExpectNear(TColor32 got, Rgb want, int tolerance, const std::string& where) {
  EXPECT_NEAR(RedOf(got), want.r, tolerance) << where;
  EXPECT_NEAR(GreenOf(got), want.g, tolerance) << where;
  EXPECT_NEAR(BlueOf(got), want.b, tolerance) << where;
  EXPECT_EQ(AlphaOf(got), 255) << where;
}

void ExpectQuadrantCentres(const TBitmap32& bmp, int tolerance) {
  const int w = bmp.Width(), h = bmp.Height();
  for (int q = 0; q < 4; ++q) {
    const int x = (q % 2) * w / 2 + w / 4, y = (q / 2) * h / 2 + h / 4;
    ExpectNear(bmp.Pixel(x, y), kQuadrants[q], tolerance, "quadrant " + std::to_string(q));
  }
}

Result<DecodedPicture> Decode(const std::vector<uint8_t>& bytes, const DecodeHints& hints = {}) {
  DecodedPicture out;
  Status s = DecodeJpeg(bytes, hints, out);
  if (!s.ok()) return s;
  return out;
}

// The decoder says it wrote alpha 255 everywhere, and the pictures of every
// layout it does that for bear it out: nobody sets alpha after it.
void ExpectAlphaWritten(const DecodedPicture& decoded) {
  EXPECT_TRUE(decoded.alphaWritten);
  for (TColor32 p : decoded.bitmap.Pixels()) ASSERT_EQ(AlphaOf(p), 255);
}

std::string CodingName(const ::testing::TestParamInfo<Coding>& info) {
  static const char* const names[] = {"Baseline444", "Baseline420", "Progressive", "Arithmetic",
                                      "RestartMarkers"};
  return names[static_cast<int>(info.param)];
}

class JpegCoding : public ::testing::TestWithParam<Coding> {};

TEST_P(JpegCoding, ColourQuadrantsSurvive) {
  JpegFixture fixture;
  fixture.coding = GetParam();
  auto decoded = Decode(WriteJpeg(fixture, RgbQuadrants(fixture.width, fixture.height)));
  ASSERT_TRUE(decoded.ok()) << decoded.message();
  EXPECT_EQ(decoded->bitmap.Width(), 32);
  EXPECT_EQ(decoded->bitmap.Height(), 32);
  EXPECT_EQ(decoded->storedWidth, 32);
  EXPECT_EQ(decoded->storedHeight, 32);
  EXPECT_FALSE(decoded->keepsAlpha);
  ExpectAlphaWritten(*decoded);
  ExpectQuadrantCentres(decoded->bitmap, 4);
}

INSTANTIATE_TEST_SUITE_P(JpegDecoder, JpegCoding,
                         ::testing::Values(Coding::kBaseline444, Coding::kBaseline420, Coding::kProgressive,
                                           Coding::kArithmetic, Coding::kRestartMarkers),
                         CodingName);

TEST(JpegDecoder, GreyscaleComesOutInAllThreeChannels) {
  JpegFixture fixture;
  fixture.width = 24;
  fixture.height = 16;
  fixture.components = 1;
  fixture.input = fixture.stored = JCS_GRAYSCALE;
  std::vector<uint8_t> samples;
  // One flat value per 8 x 8 block, so the only error is quantisation.
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 24; ++x) samples.push_back(uint8_t(30 + 40 * (x / 8) + 90 * (y / 8)));
  auto decoded = Decode(WriteJpeg(fixture, samples));
  ASSERT_TRUE(decoded.ok()) << decoded.message();
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 24; ++x) {
      const TColor32 p = decoded->bitmap.Pixel(x, y);
      EXPECT_NEAR(RedOf(p), samples[size_t(y) * 24 + x], 2);
      EXPECT_EQ(RedOf(p), GreenOf(p));
      EXPECT_EQ(RedOf(p), BlueOf(p));
    }
  ExpectAlphaWritten(*decoded);
}

TEST(JpegDecoder, RgbStoredWithoutColourTransform) {
  JpegFixture fixture;
  fixture.stored = JCS_RGB;
  auto decoded = Decode(WriteJpeg(fixture, RgbQuadrants(32, 32)));
  ASSERT_TRUE(decoded.ok()) << decoded.message();
  ExpectQuadrantCentres(decoded->bitmap, 3);
}

// CMYK inks for the quadrant colours: K takes the common part, so every
// channel is exercised.
std::vector<uint8_t> CmykQuadrants(int w, int h, bool inverted) {
  std::vector<uint8_t> s;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Rgb& c = QuadrantAt(x, y, w, h);
      const int maxc = std::max({c.r, c.g, c.b});
      const int k = 255 - maxc;
      auto ink = [&](int v) { return maxc == 0 ? 0 : (maxc - v) * 255 / maxc; };
      uint8_t v[4] = {uint8_t(ink(c.r)), uint8_t(ink(c.g)), uint8_t(ink(c.b)), uint8_t(k)};
      for (uint8_t& b : v)
        if (inverted) b = uint8_t(255 - b);
      s.insert(s.end(), v, v + 4);
    }
  return s;
}

struct CmykCase {
  const char* name;
  J_COLOR_SPACE stored;
  bool adobeMarker;
};

class JpegCmyk : public ::testing::TestWithParam<CmykCase> {};

TEST_P(JpegCmyk, ConvertsInksToRgb) {
  JpegFixture fixture;
  fixture.components = 4;
  fixture.input = JCS_CMYK;
  fixture.stored = GetParam().stored;
  fixture.adobeMarker = GetParam().adobeMarker;
  // Adobe-marked files hold inverted inks, as Adobe's programs write them.
  auto decoded = Decode(WriteJpeg(fixture, CmykQuadrants(32, 32, fixture.adobeMarker)));
  ASSERT_TRUE(decoded.ok()) << decoded.message();
  ExpectAlphaWritten(*decoded);
  ExpectQuadrantCentres(decoded->bitmap, 5);
}

INSTANTIATE_TEST_SUITE_P(JpegDecoder, JpegCmyk,
                         ::testing::Values(CmykCase{"PlainCmyk", JCS_CMYK, false},
                                           CmykCase{"AdobeInvertedCmyk", JCS_CMYK, true},
                                           CmykCase{"AdobeYcck", JCS_YCCK, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JpegDecoder, ScaledDecodeTakesTheSmallestAcceptedScale) {
  JpegFixture fixture;
  fixture.width = 64;
  fixture.height = 48;
  const auto bytes = WriteJpeg(fixture, RgbQuadrants(64, 48));

  std::vector<std::pair<int, int>> offered;
  DecodeHints hints;
  hints.acceptScaled = [&](int w, int h) {
    offered.emplace_back(w, h);
    return w >= 20 && h >= 15;
  };
  auto decoded = Decode(bytes, hints);
  ASSERT_TRUE(decoded.ok()) << decoded.message();
  // 1/8 and 2/8 are too small; 3/8 of 64 x 48 is 24 x 18.
  const std::vector<std::pair<int, int>> expected = {{8, 6}, {16, 12}, {24, 18}};
  EXPECT_EQ(offered, expected);
  EXPECT_EQ(decoded->bitmap.Width(), 24);
  EXPECT_EQ(decoded->bitmap.Height(), 18);
  EXPECT_EQ(decoded->storedWidth, 64);
  EXPECT_EQ(decoded->storedHeight, 48);
  ExpectAlphaWritten(*decoded);
  ExpectQuadrantCentres(decoded->bitmap, 5);
}

TEST(JpegDecoder, ScaledDecodeSizes) {
  JpegFixture fixture;
  fixture.width = 100;  // not a multiple of 8: scaled sizes round up
  fixture.height = 60;
  const auto bytes = WriteJpeg(fixture, RgbQuadrants(100, 60));
  struct Case {
    int minWidth, wantW, wantH;
  };
  for (const Case& c :
       {Case{1, 13, 8}, Case{14, 25, 15}, Case{50, 50, 30}, Case{88, 88, 53}, Case{1000, 100, 60}}) {
    DecodeHints hints;
    hints.acceptScaled = [&](int w, int) { return w >= c.minWidth; };
    auto decoded = Decode(bytes, hints);
    ASSERT_TRUE(decoded.ok()) << decoded.message();
    EXPECT_EQ(decoded->bitmap.Width(), c.wantW) << "min width " << c.minWidth;
    EXPECT_EQ(decoded->bitmap.Height(), c.wantH) << "min width " << c.minWidth;
  }
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

TEST(JpegDecoder, TruncatedFileDecodesWithTheRestFilled) {
  JpegFixture fixture;
  fixture.width = fixture.height = 64;
  fixture.quality = 90;
  auto bytes = WriteJpeg(fixture, RgbQuadrants(64, 64));
  auto whole = Decode(bytes);
  ASSERT_TRUE(whole.ok()) << whole.message();
  EXPECT_EQ(whole->warning, "");
  // Cut halfway through the scan data, past the start-of-scan marker.
  size_t scan = 0;
  for (size_t i = 0; i + 1 < bytes.size() && scan == 0; ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) scan = i;
  ASSERT_GT(scan, 0u);
  bytes.resize(scan + (bytes.size() - scan) / 2);
  auto decoded = Decode(bytes);
  ASSERT_TRUE(decoded.ok()) << decoded.message();
  EXPECT_EQ(decoded->bitmap.Width(), 64);
  EXPECT_EQ(decoded->bitmap.Height(), 64);
  ExpectAlphaWritten(*decoded);
  ExpectNear(decoded->bitmap.Pixel(16, 16), kQuadrants[0], 5, "top left, still present");
  // Said in the library's words, for the windows to pass on.
  EXPECT_NE(Lower(decoded->warning).find("premature end of"), std::string::npos) << decoded->warning;
}

TEST(JpegDecoder, DamagedFilesGiveTheLibrarysWords) {
  EXPECT_EQ(Decode({}).message(), "JPEG error: Empty input file");
  const std::vector<uint8_t> notJpeg = {'B', 'M', 1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(Decode(notJpeg).message(), "JPEG error: Not a JPEG file: starts with 0x42 0x4d");
  // Only the start of the header: the picture's frame never arrives.
  auto bytes = WriteJpeg(JpegFixture{}, RgbQuadrants(32, 32));
  bytes.resize(20);
  EXPECT_EQ(Decode(bytes).message(), "JPEG error: JPEG datastream contains no image");
}

// Offset of the first baseline or progressive frame header's height field.
size_t FrameSizeOffset(const std::vector<uint8_t>& bytes) {
  for (size_t i = 2; i + 9 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && (bytes[i + 1] == 0xC0 || bytes[i + 1] == 0xC2)) return i + 5;
  ADD_FAILURE() << "no frame header";
  return 0;
}

std::vector<uint8_t> WithFrameSize(std::vector<uint8_t> bytes, int width, int height) {
  const size_t at = FrameSizeOffset(bytes);
  bytes[at] = uint8_t(height >> 8);
  bytes[at + 1] = uint8_t(height);
  bytes[at + 2] = uint8_t(width >> 8);
  bytes[at + 3] = uint8_t(width);
  return bytes;
}

TEST(JpegDecoder, HugeFrameIsRefusedBeforeAllocating) {
  const auto bytes = WriteJpeg(JpegFixture{}, RgbQuadrants(32, 32));
  auto decoded = Decode(WithFrameSize(bytes, 65000, 65000));
  ASSERT_FALSE(decoded.ok());
  EXPECT_EQ(decoded.message(), CheckPictureSize(65000, 65000, "JPEG").message());
}

TEST(JpegDecoder, FrameTooLargeForTheFileIsRefused) {
  // 8000 x 8000 is within the pixel limit, but a file of a few hundred bytes
  // cannot hold it; the library would fill it all with grey.
  const auto bytes = WriteJpeg(JpegFixture{}, RgbQuadrants(32, 32));
  auto decoded = Decode(WithFrameSize(bytes, 8000, 8000));
  ASSERT_FALSE(decoded.ok());
  EXPECT_NE(decoded.message().find("too short"), std::string::npos) << decoded.message();
}

TEST(JpegDecoder, EndlessScanScriptIsRefused) {
  // A valid progressive file with about 2,000 scans: every AC coefficient of
  // every component in its own band, refined bit by bit.
  JpegFixture fixture;
  fixture.width = fixture.height = 8;
  constexpr int kTopBit = 10;
  fixture.scans.push_back({3, {0, 1, 2, 0}, 0, 0, 0, kTopBit});
  for (int al = kTopBit - 1; al >= 0; --al) fixture.scans.push_back({3, {0, 1, 2, 0}, 0, 0, al + 1, al});
  for (int c = 0; c < 3; ++c)
    for (int k = 1; k <= 63; ++k) {
      fixture.scans.push_back({1, {c, 0, 0, 0}, k, k, 0, kTopBit});
      for (int al = kTopBit - 1; al >= 0; --al) fixture.scans.push_back({1, {c, 0, 0, 0}, k, k, al + 1, al});
    }
  ASSERT_GT(fixture.scans.size(), size_t(kMaxJpegScans));
  auto decoded = Decode(WriteJpeg(fixture, RgbQuadrants(8, 8)));
  ASSERT_FALSE(decoded.ok());
  EXPECT_EQ(decoded.message(),
            Format("Cannot load image. The JPEG file has more than %d scans.", kMaxJpegScans));
}

TEST(JpegDecoder, MutatedFilesNeverCrash) {
  JpegFixture fixture;
  fixture.width = fixture.height = 40;
  fixture.quality = 75;
  for (Coding coding : {Coding::kBaseline420, Coding::kProgressive, Coding::kArithmetic}) {
    fixture.coding = coding;
    const auto original = WriteJpeg(fixture, RgbQuadrants(40, 40));
    std::mt19937 rng(1234 + static_cast<int>(coding));
    for (int round = 0; round < 300; ++round) {
      auto bytes = original;
      const int flips = 1 + static_cast<int>(rng() % 4);
      for (int i = 0; i < flips; ++i) bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
      if (round % 5 == 0) bytes.resize(rng() % bytes.size());
      DecodeHints hints;
      if (round % 2 == 1) hints.acceptScaled = [](int w, int h) { return w >= 10 && h >= 10; };
      DecodedPicture out;
      Status s = DecodeJpeg(bytes, hints, out);
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
