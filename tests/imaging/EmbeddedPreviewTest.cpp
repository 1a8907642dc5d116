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
#include "support/PreviewPhotos.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using testing::Filled;
using testing::JpegOf;
using testing::Noisy;
using testing::ScratchFolder;
using testing::WithThumbnail;

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
