// Windows enhanced metafiles. quadrants.emf and circle.emf were written by
// pstoedit (its OpenOffice-compatible EMF output) from quadrants.eps and
// circle-source.eps.txt; it writes no bitmaps, so the bitmap records are
// written here from the published record layouts (StretchDIBits,
// SetDIBitsToDevice, BitBlt, StretchBlt with their bitmap info and bits
// inside the record).
#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/CraftedFiles.h"
#include "imaging/PictureReader.h"
#include "imaging/formats/WmfDecoder.h"

namespace velmora {
namespace {

using testing::Bytes;

const std::filesystem::path kData = std::filesystem::path(VELMORA_TEST_DATA) / "emf";

constexpr int kW = 48, kH = 24;

// Records are padded to a multiple of four bytes.
Bytes RecordOf(uint32_t type, const Bytes& body) {
  Bytes r;
  const size_t padding = (4 - body.size() % 4) % 4;
  r.u32le(type).u32le(uint32_t(8 + body.size() + padding)).append(body.data).fill(padding);
  return r;
}

// The header: a 48 x 24 pixel frame on a 96-dpi reference device, so one
// logical unit (MM_TEXT) is one pixel of the picture.
Bytes Header() {
  Bytes b;
  b.u32le(0).u32le(0).u32le(kW - 1).u32le(kH - 1);                  // bounds
  b.u32le(0).u32le(0).u32le(kW * 2540 / 96).u32le(kH * 2540 / 96);  // frame, 0.01 mm
  b.u32le(0x464D4520).u32le(0x10000).u32le(0).u32le(0).u16le(4).u16le(0).u32le(0).u32le(0).u32le(0);
  b.u32le(960).u32le(960).u32le(254).u32le(254);  // device pixels, millimetres
  return RecordOf(1, b);
}

// A bitmap info header (and colours) and its pixel rows.
struct Dib {
  Bytes info, bits;
};

// 4 x 2, 24 bits, bottom-up: top row red, green, blue, white; bottom row
// black, yellow, cyan, magenta.
Dib Dib24() {
  Dib d;
  d.info.u32le(40).u32le(4).u32le(2).u16le(1).u16le(24).u32le(0).u32le(24).fill(16);
  const uint8_t bottom[] = {0, 0, 0, 0, 255, 255, 255, 255, 0, 255, 0, 255};
  const uint8_t top[] = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255};
  for (uint8_t v : bottom) d.bits.u8(v);
  for (uint8_t v : top) d.bits.u8(v);
  return d;
}

// 4 x 2, 8 bits with a 3-colour table, top-down: 0 1 2 0 / 2 2 1 1.
Dib Dib8() {
  Dib d;
  d.info.u32le(40).u32le(4).u32le(uint32_t(-2)).u16le(1).u16le(8).u32le(0).u32le(8).fill(8).u32le(3).u32le(0);
  d.info.u32le(0x00808080).u32le(0x000080FF).u32le(0x00FF8000);  // grey, (0,128,255), (255,128,0)
  for (uint8_t v : {0, 1, 2, 0, 2, 2, 1, 1}) d.bits.u8(v);
  return d;
}

Bytes StretchDiBits(int x, int y, int cx, int cy, const Dib& d, int sx = 0, int sy = 0, int scx = 4,
                    int scy = 2) {
  Bytes b;
  b.fill(16).u32le(uint32_t(x)).u32le(uint32_t(y)).u32le(uint32_t(sx)).u32le(uint32_t(sy));
  b.u32le(uint32_t(scx)).u32le(uint32_t(scy));
  const uint32_t offBmi = 80, offBits = uint32_t(80 + d.info.size());
  b.u32le(offBmi).u32le(uint32_t(d.info.size())).u32le(offBits).u32le(uint32_t(d.bits.size()));
  b.u32le(0).u32le(0x00CC0020).u32le(uint32_t(cx)).u32le(uint32_t(cy));
  return RecordOf(81, b.append(d.info.data).append(d.bits.data));
}

Bytes SetDiBitsToDevice(int x, int y, const Dib& d) {
  Bytes b;
  b.fill(16).u32le(uint32_t(x)).u32le(uint32_t(y)).u32le(0).u32le(0).u32le(4).u32le(2);
  b.u32le(76)
      .u32le(uint32_t(d.info.size()))
      .u32le(uint32_t(76 + d.info.size()))
      .u32le(uint32_t(d.bits.size()));
  b.u32le(0).u32le(0).u32le(2);
  return RecordOf(80, b.append(d.info.data).append(d.bits.data));
}

Bytes Blt(bool stretch, int x, int y, int cx, int cy, uint32_t rop, const Dib* d) {
  Bytes b;
  b.fill(16).u32le(uint32_t(x)).u32le(uint32_t(y)).u32le(uint32_t(cx)).u32le(uint32_t(cy)).u32le(rop);
  b.u32le(0).u32le(0).fill(24).u32le(0xFFFFFF).u32le(0);
  const uint32_t fixed = stretch ? 108 : 100;
  if (d != nullptr)
    b.u32le(fixed)
        .u32le(uint32_t(d->info.size()))
        .u32le(uint32_t(fixed + d->info.size()))
        .u32le(uint32_t(d->bits.size()));
  else
    b.u32le(0).u32le(0).u32le(0).u32le(0);
  if (stretch) b.u32le(4).u32le(2);
  if (d != nullptr) b.append(d->info.data).append(d->bits.data);
  return RecordOf(stretch ? 77 : 76, b);
}

Bytes Brush(uint32_t index, uint32_t colorRef) {
  return RecordOf(39, Bytes().u32le(index).u32le(0).u32le(colorRef).u32le(0));
}
Bytes Select(uint32_t index) { return RecordOf(37, Bytes().u32le(index)); }

Bytes EmfFile(const std::vector<Bytes>& records) {
  Bytes f = Header();
  for (const Bytes& r : records) f.append(r.data);
  return f.append(RecordOf(14, Bytes().u32le(0).u32le(16).u32le(20)).data);
}

Bytes Scene() {
  const Dib d24 = Dib24(), d8 = Dib8();
  return EmfFile({StretchDiBits(0, 0, 16, 8, d24), SetDiBitsToDevice(20, 0, d8),
                  Blt(false, 30, 10, 4, 2, 0x00CC0020, &d24), Blt(true, 36, 10, 8, 4, 0x00CC0020, &d24),
                  Brush(1, 0x000000FF), Select(1), Blt(false, 0, 16, 10, 8, 0x00F00021, nullptr),
                  Brush(2, 0x00FF0000), Select(2), Select(0x80000008),  // null pen
                  RecordOf(43, Bytes().u32le(40).u32le(16).u32le(48).u32le(24))});
}

TEST(EmfDecoder, BitmapRecordsAndFills) {
  const Bytes file = Scene();
  testing::DumpCrafted("bitmaps.emf", file.data);
  Result<DecodedPicture> r = DecodePicture("x.emf", file.data);
  ASSERT_TRUE(r.ok()) << r.message();
  ASSERT_EQ(r->bitmap.Width(), kW);
  ASSERT_EQ(r->bitmap.Height(), kH);
  const auto& b = r->bitmap;
  const TColor32 red = Color32(255, 0, 0), green = Color32(0, 255, 0), blue = Color32(0, 0, 255);
  const TColor32 white = Color32(255, 255, 255), black = Color32(0, 0, 0);
  const TColor32 yellow = Color32(255, 255, 0), cyan = Color32(0, 255, 255), magenta = Color32(255, 0, 255);
  // StretchDIBits: 4 x 2 stretched to 16 x 8, top row first.
  const TColor32 stretched[2][4] = {{red, green, blue, white}, {black, yellow, cyan, magenta}};
  for (int v = 0; v < 2; ++v)
    for (int u = 0; u < 4; ++u) EXPECT_EQ(b.Pixel(u * 4 + 2, v * 4 + 2), stretched[v][u]) << u << "," << v;
  // SetDIBitsToDevice: the 8-bit top-down bitmap at 1:1.
  const TColor32 grey = Color32(128, 128, 128), sky = Color32(0, 128, 255), orange = Color32(255, 128, 0);
  const TColor32 indexed[2][4] = {{grey, sky, orange, grey}, {orange, orange, sky, sky}};
  for (int v = 0; v < 2; ++v)
    for (int u = 0; u < 4; ++u) EXPECT_EQ(b.Pixel(20 + u, v), indexed[v][u]) << u << "," << v;
  // BitBlt at 1:1 and StretchBlt at twice the size.
  EXPECT_EQ(b.Pixel(30, 10), red);
  EXPECT_EQ(b.Pixel(33, 11), magenta);
  EXPECT_EQ(b.Pixel(36, 10), red);
  EXPECT_EQ(b.Pixel(43, 13), magenta);
  // The pattern fill with the selected brush, the rectangle, the white ground.
  EXPECT_EQ(b.Pixel(5, 20), red);
  EXPECT_EQ(b.Pixel(44, 20), blue);
  EXPECT_EQ(b.Pixel(25, 20), white);
}

TEST(EmfDecoder, VectorFilesFromAnotherProgram) {
  Result<DecodedPicture> r = ReadPicture((kData / "quadrants.emf").string());
  ASSERT_TRUE(r.ok()) << r.message();
  EXPECT_EQ(r->bitmap.Width(), 47);
  EXPECT_EQ(r->bitmap.Height(), 24);
  EXPECT_EQ(r->bitmap.Pixel(10, 5), Color32(255, 0, 0));
  EXPECT_EQ(r->bitmap.Pixel(36, 5), Color32(0, 0, 255));
  EXPECT_EQ(r->bitmap.Pixel(10, 18), Color32(0, 255, 0));
  EXPECT_EQ(r->bitmap.Pixel(36, 18), Color32(255, 255, 255));
  // A yellow ground, a blue disc (a polygon) and a thick red line.
  r = ReadPicture((kData / "circle.emf").string());
  ASSERT_TRUE(r.ok()) << r.message();
  EXPECT_EQ(r->bitmap.Width(), 71);
  EXPECT_EQ(r->bitmap.Height(), 46);
  EXPECT_EQ(r->bitmap.Pixel(2, 2), Color32(255, 255, 0));
  EXPECT_EQ(r->bitmap.Pixel(35, 12), Color32(0, 0, 255));
  EXPECT_EQ(r->bitmap.Pixel(35, 23), Color32(255, 0, 0));
  EXPECT_EQ(r->bitmap.Pixel(60, 40), Color32(255, 255, 0));
}

TEST(EmfDecoder, DamagedFilesFailWithTheirMessagesOrLeaveRecordsOut) {
  const std::string stream = "Stream read error in EMF file.";
  const std::string invalid = "Cannot load image. Invalid or unexpected EMF image format.";
  const Bytes good = Scene();
  testing::ExpectTruncationsFail("x.emf", good.data, stream);
  Bytes empty = good;  // no frame and no bounds
  for (size_t at = 8; at < 40; at += 4) empty.put32le(at, 0);
  empty.put32le(16, uint32_t(-1));
  EXPECT_EQ(DecodePicture("x.emf", empty.data).message(), invalid);
  Bytes negative = good;
  negative.put32le(32, uint32_t(-500));
  negative.put32le(16, uint32_t(-500));
  EXPECT_EQ(DecodePicture("x.emf", negative.data).message(), invalid);
  Bytes zeroRecord = good;  // the record after the header claims no size
  zeroRecord.put32le(88 + 4, 0);
  EXPECT_EQ(DecodePicture("x.emf", zeroRecord.data).message(), invalid);
  Bytes huge = good;  // a frame of 2 km: drawn smaller
  huge.put32le(32, 200000000);
  Result<DecodedPicture> r = DecodePicture("x.emf", huge.data);
  ASSERT_TRUE(r.ok()) << r.message();
  EXPECT_LE(int64_t(r->bitmap.Width()) * r->bitmap.Height(), kMaxMetafilePixels);
  Bytes wmf;
  wmf.u32le(0x9AC6CDD7).fill(100);
  EXPECT_EQ(DecodePicture("x.emf", wmf.data).message(), invalid);

  // Bitmap records whose bitmap is cut short or lies outside the record are
  // left out and the rest of the picture is drawn; an index past the colour
  // table is black, as in the Windows bitmap reader.
  Dib badIndex = Dib8();
  badIndex.bits.data[0] = 200;  // past the 3-colour table
  Dib shortBits = Dib24();
  shortBits.bits.data.resize(5);
  Bytes outside = StretchDiBits(0, 0, 16, 8, Dib24());
  outside.put32le(8 + 16 + 24, 5000);  // offBmi past the record
  const Bytes file =
      EmfFile({SetDiBitsToDevice(0, 0, badIndex), StretchDiBits(0, 0, 16, 8, shortBits), outside,
               Brush(1, 0x000000FF), Select(1), Blt(false, 40, 0, 8, 8, 0x00F00021, nullptr)});
  r = DecodePicture("x.emf", file.data);
  ASSERT_TRUE(r.ok()) << r.message();
  EXPECT_EQ(r->bitmap.Pixel(0, 0), Color32(0, 0, 0));
  EXPECT_EQ(r->bitmap.Pixel(10, 5), Color32(255, 255, 255));
  EXPECT_EQ(r->bitmap.Pixel(44, 4), Color32(255, 0, 0));
}

}  // namespace
}  // namespace velmora
