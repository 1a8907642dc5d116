// Camera previews: a JPEG whose EXIF data carries a thumbnail is decoded from
// it when the thumbnail shows the photo's shape and serves the size asked
// for, and in full otherwise. The photos are made here: a grey-blue photo
// with a red thumbnail, so the pixels tell which one was decoded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <string>
#include <vector>

#include "imaging/EmbeddedPreview.h"
#include "imaging/PictureReader.h"
#include "imaging/formats/JpegDecoder.h"
#include "output/SavePicture.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using testing::ScratchFolder;

std::vector<uint8_t> JpegOf(const TBitmap32& picture, const ScratchFolder& scratch, int quality = 90) {
  const std::string path = scratch / "encoded.jpg";
  EXPECT_TRUE(WriteJpegFile(picture, path, quality, false).ok());
  const std::string bytes = testing::ReadWholeFile(path);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

TBitmap32 Filled(int w, int h, TColor32 colour) {
  TBitmap32 b(w, h);
  for (TColor32& c : b.Pixels()) c = colour;
  return b;
}

// Noise, so that a big photo's file really is big (its head alone holds no picture).
TBitmap32 Noisy(int w, int h) {
  TBitmap32 b(w, h);
  uint32_t seed = 12345;
  for (TColor32& c : b.Pixels()) {
    seed = seed * 1664525 + 1013904223;
    c = Color32(uint8_t(60 + (seed >> 28)), uint8_t(90 + (seed >> 27 & 15)), uint8_t(200 + (seed >> 26 & 15)));
  }
  return b;
}

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// `photo` with an APP1 segment in front of its own segments: IFD0 with the
// orientation tag (when not 1), IFD1 pointing at `thumb`. `offsetShift`
// moves the thumbnail's offset (damaged files).
std::vector<uint8_t> WithThumbnail(const std::vector<uint8_t>& photo, const std::vector<uint8_t>& thumb,
                                   int orientation = 1, int64_t offsetShift = 0) {
  std::vector<uint8_t> tiff = {'I', 'I', 42, 0};
  Put32(tiff, 8);
  const bool tagged = orientation != 1;
  Put16(tiff, tagged ? 1 : 0);
  if (tagged) {
    Put16(tiff, 0x0112);
    Put16(tiff, 3);
    Put32(tiff, 1);
    Put16(tiff, uint32_t(orientation));
    Put16(tiff, 0);
  }
  const uint32_t ifd1 = uint32_t(tiff.size() + 4);
  Put32(tiff, ifd1);
  Put16(tiff, 2);
  const uint32_t data = ifd1 + 2 + 2 * 12 + 4;
  Put16(tiff, 0x0201);
  Put16(tiff, 4);
  Put32(tiff, 1);
  Put32(tiff, uint32_t(int64_t(data) + offsetShift));
  Put16(tiff, 0x0202);
  Put16(tiff, 4);
  Put32(tiff, 1);
  Put32(tiff, uint32_t(thumb.size()));
  Put32(tiff, 0);
  tiff.insert(tiff.end(), thumb.begin(), thumb.end());

  std::vector<uint8_t> out = {0xFF, 0xD8, 0xFF, 0xE1};
  const size_t length = 2 + 6 + tiff.size();
  out.push_back(uint8_t(length >> 8));
  out.push_back(uint8_t(length));
  for (char c : std::string("Exif\0\0", 6)) out.push_back(uint8_t(c));
  out.insert(out.end(), tiff.begin(), tiff.end());
  out.insert(out.end(), photo.begin() + 2, photo.end());  // the photo without its SOI
  return out;
}

bool Reddish(TColor32 c) { return RedOf(c) > 180 && BlueOf(c) < 90; }

DecodeHints Wanting(int side, bool previews = true) {
  DecodeHints hints;
  hints.acceptScaled = [side](int w, int h) { return w >= side && h >= side; };
  hints.usePreviews = previews;
  return hints;
}

TEST(EmbeddedPreview, ServesOnlyWhenItShowsThePhotoLargeEnough) {
  ScratchFolder scratch;
  const TColor32 red = Color32(230, 20, 20);
  const std::vector<uint8_t> photo43 = JpegOf(Filled(640, 480, Color32(70, 100, 210)), scratch);
  const std::vector<uint8_t> photo169 = JpegOf(Filled(640, 360, Color32(70, 100, 210)), scratch);
  const std::vector<uint8_t> small = JpegOf(Filled(120, 90, Color32(70, 100, 210)), scratch);
  const std::vector<uint8_t> thumb43 = JpegOf(Filled(160, 120, red), scratch);
  const std::vector<uint8_t> thumbSquare = JpegOf(Filled(120, 120, red), scratch);
  // A 16:9 picture in a 4:3 thumbnail: 90 rows of red between black bars.
  TBitmap32 boxed = Filled(160, 120, Color32(0, 0, 0));
  for (int y = 15; y < 105; ++y)
    for (int x = 0; x < 160; ++x) boxed.Pixel(x, y) = red;
  const std::vector<uint8_t> thumbBoxed = JpegOf(boxed, scratch, 95);

  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    DecodeHints hints;
    bool fromPreview;
    int width, height;  // of the decoded bitmap
  } cases[] = {
      {"present", WithThumbnail(photo43, thumb43), Wanting(64), true, 160, 120},
      {"missing", photo43, Wanting(64), false, 160, 120},
      {"previews off", WithThumbnail(photo43, thumb43), Wanting(64, false), false, 160, 120},
      {"too small for the cell", WithThumbnail(photo43, thumb43), Wanting(200), false, 320, 240},
      {"wrong shape", WithThumbnail(photo43, thumbSquare), Wanting(64), false, 160, 120},
      {"letterboxed", WithThumbnail(photo169, thumbBoxed), Wanting(64), true, 160, 90},
      {"turned a quarter", WithThumbnail(photo43, thumb43, 6), Wanting(64), true, 120, 160},
      {"larger than the photo", WithThumbnail(small, thumb43), Wanting(16), false, 30, 23},
      {"offset past the data", WithThumbnail(photo43, thumb43, 1, 1 << 20), Wanting(64), false, 160, 120},
      {"offset into the thumbnail", WithThumbnail(photo43, thumb43, 1, 7), Wanting(64), false, 160, 120},
      {"cut short", WithThumbnail(photo43, std::vector<uint8_t>(thumb43.begin(), thumb43.begin() + 300)),
       Wanting(64), false, 160, 120},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DecodedPicture out;
    ASSERT_TRUE(DecodeJpeg(c.file, c.hints, out).ok());
    EXPECT_EQ(out.fromPreview, c.fromPreview);
    EXPECT_EQ(out.bitmap.Width(), c.width);
    EXPECT_EQ(out.bitmap.Height(), c.height);
    const TColor32 middle = out.bitmap.Pixel(out.bitmap.Width() / 2, out.bitmap.Height() / 2);
    EXPECT_EQ(Reddish(middle), c.fromPreview);
    if (c.fromPreview) {
      // Trimmed bars leave no dark edge behind (JPEG softens the edge rows a little).
      for (const TColor32 corner : {out.bitmap.Pixel(0, 0), out.bitmap.Pixel(c.width - 1, c.height - 1)})
        EXPECT_GT(RedOf(corner), 150) << std::hex << corner;
      EXPECT_EQ(out.storedWidth * c.height, out.storedHeight * c.width);
    }
  }
}

TEST(EmbeddedPreview, WithoutAServingPreviewThePixelsAreThoseOfAPlainDecode) {
  ScratchFolder scratch;
  const std::vector<uint8_t> photo = JpegOf(Noisy(320, 240), scratch);
  const std::vector<uint8_t> withThumb = WithThumbnail(photo, JpegOf(Filled(160, 120, Color32(230, 20, 20)), scratch));
  DecodedPicture reference;
  ASSERT_TRUE(DecodeJpeg(photo, Wanting(32, false), reference).ok());
  // Previews off on a photo that has one; previews on for a photo without one.
  const std::pair<const std::vector<uint8_t>*, bool> runs[] = {{&withThumb, false}, {&photo, true}};
  for (const auto& [file, previews] : runs) {
    DecodedPicture out;
    ASSERT_TRUE(DecodeJpeg(*file, Wanting(32, previews), out).ok());
    EXPECT_FALSE(out.fromPreview);
    ASSERT_EQ(out.bitmap.Width(), reference.bitmap.Width());
    ASSERT_EQ(out.bitmap.Height(), reference.bitmap.Height());
    EXPECT_TRUE(std::equal(out.bitmap.Pixels().begin(), out.bitmap.Pixels().end(),
                           reference.bitmap.Pixels().begin()));
  }
}

TEST(EmbeddedPreview, ABigFileIsServedFromItsHead) {
  ScratchFolder scratch;
  const std::vector<uint8_t> file = WithThumbnail(JpegOf(Noisy(1600, 1200), scratch, 98),
                                                  JpegOf(Filled(160, 120, Color32(230, 20, 20)), scratch));
  ASSERT_GT(file.size(), 300u * 1024);  // far more than the head read first
  const std::string path = scratch / "photo.jpg";
  testing::WriteWholeFile(path, std::string(file.begin(), file.end()));
  Result<DecodedPicture> served = ReadPicture(path, Wanting(64));
  ASSERT_TRUE(served.ok()) << served.message();
  EXPECT_TRUE(served->fromPreview);
  EXPECT_EQ(served->storedWidth, 1600);
  // The same file named .heic, as phones' transfer tools write them, read by its content.
  const std::string misnamed = scratch / "photo.heic";
  testing::WriteWholeFile(misnamed, std::string(file.begin(), file.end()));
  DecodeHints byContent = Wanting(64);
  byContent.readByContent = true;
  Result<DecodedPicture> sniffed = ReadPicture(misnamed, byContent);
  ASSERT_TRUE(sniffed.ok()) << sniffed.message();
  EXPECT_TRUE(sniffed->fromPreview);
  EXPECT_EQ(sniffed->contentFormat, "JPEG");
  // Asked for more than the thumbnail holds, the rest of the file is read.
  Result<DecodedPicture> full = ReadPicture(path, Wanting(400));
  ASSERT_TRUE(full.ok());
  EXPECT_FALSE(full->fromPreview);
  EXPECT_EQ(full->bitmap.Width(), 600);
}

TEST(EmbeddedPreview, ExifThumbnailNeverReadsOutsideTheSegment) {
  ScratchFolder scratch;
  const std::vector<uint8_t> thumb = JpegOf(Filled(32, 24, Color32(1, 2, 3)), scratch);
  const std::vector<uint8_t> file = WithThumbnail(JpegOf(Filled(64, 48, 0), scratch), thumb);
  // The segment's length counts its own two bytes.
  const std::span<const uint8_t> app1(file.data() + 6, (size_t(file[4]) << 8 | file[5]) - 2);
  ASSERT_EQ(ExifThumbnail(app1).size(), thumb.size());
  // Every shorter payload: the thumbnail whole or nothing, and no read past the end.
  for (size_t cut = 0; cut < app1.size(); cut += 7) {
    const std::vector<uint8_t> copy(app1.begin(), app1.begin() + cut);
    const std::span<const uint8_t> found = ExifThumbnail(copy);
    EXPECT_TRUE(found.empty() || found.size() == thumb.size()) << cut;
  }
}

}  // namespace
}  // namespace velmora
