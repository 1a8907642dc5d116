// Library photos read from their camera previews: photos without one make
// the very same mosaic either way, and the summary cache keeps what previews
// gave apart from what full decodes gave.
#include <gtest/gtest.h>

#include "support/EngineTestSupport.h"
#include "support/PreviewPhotos.h"

namespace velmora {
namespace {

void Create(Engine& e, const std::vector<std::string>& photos, bool previews, const std::string& cache = "") {
  testing::SetGrid(e, 10, 8, 24, 24);
  e.SetThreadCount(2);
  e.SetUsePreviews(previews);
  e.SetSummaryCacheFolder(cache);
  ASSERT_TRUE(LoadPictureFile(e.MainBitmap, testing::SamplePhotos(1)[0]).ok());
  e.PicList.Assign(photos);
  e.Rng.SetSeed(7);
  ASSERT_TRUE(e.CreateMosaic().ok());
}

TEST(CameraPreviews, PhotosWithoutOneMakeTheSameMosaicEitherWay) {
  const std::vector<std::string> photos = testing::SamplePhotos(24);
  Engine on, off;
  Create(on, photos, true);
  Create(off, photos, false);
  EXPECT_TRUE(testing::SamePixels(on.MosaicBitmap, off.MosaicBitmap));
}

TEST(CameraPreviews, TheSummaryCacheKeepsPreviewSummariesApart) {
  testing::ScratchFolder scratch;
  // Blue photos whose thumbnails are red, as a photo edited by a program
  // that left its old thumbnail would be: the pixels tell which was read.
  std::vector<std::string> photos;
  const std::vector<uint8_t> thumb = testing::JpegOf(testing::Filled(160, 120, Color32(230, 20, 20)), scratch);
  for (int i = 0; i < 6; ++i) {
    const std::vector<uint8_t> photo = testing::JpegOf(testing::Noisy(640 + 4 * i, 480 + 3 * i), scratch);
    const std::vector<uint8_t> file = testing::WithThumbnail(photo, thumb);
    photos.push_back(scratch / ("photo" + std::to_string(i) + ".jpg"));
    testing::WriteWholeFile(photos.back(), std::string(file.begin(), file.end()));
  }
  const std::string cache = scratch / "cache";
  std::filesystem::create_directories(cache);
  for (const bool previews : {true, false, true}) {
    SCOPED_TRACE(previews ? "previews" : "no previews");
    Engine e;
    Create(e, photos, previews, cache);
    // The second run must not take the first run's summaries, nor the third the second's.
    EXPECT_EQ(e.Library[0].Signature.Slot[0].Red > 150, previews);
  }
}

}  // namespace
}  // namespace velmora
