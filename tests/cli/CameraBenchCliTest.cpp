// velmora-cli bench --camera-library on a small camera folder: the photos
// of its subfolders are counted by format, the JPEG photos' EXIF thumbnails
// are found for the limit (and a photo without one is told apart), and every
// run's figures reach the line scripts read. No time is checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "imaging/Bitmap32.h"
#include "output/SavePicture.h"
#include "support/ChildRun.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> JpegBytes(const TBitmap32& picture, const testing::ScratchFolder& scratch) {
  const std::string path = scratch / "encoded.jpg";
  EXPECT_TRUE(WriteJpegFile(picture, path, 90, false).ok());
  const std::string bytes = testing::ReadWholeFile(path);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// `photo` with an EXIF APP1 segment in front whose second directory holds
// `thumb`, as cameras write it (big-endian, as many do).
std::vector<uint8_t> WithExifThumbnail(const std::vector<uint8_t>& photo, const std::vector<uint8_t>& thumb) {
  std::vector<uint8_t> tiff = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0};  // IFD0 at 8, no entries
  auto put = [&](uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) tiff.push_back(uint8_t(v >> (8 * i)));
  };
  put(14, 4);  // IFD1 follows
  put(2, 2);
  const uint32_t data = 14 + 2 + 2 * 12 + 4;
  put(0x0201, 2), put(4, 2), put(1, 4), put(data, 4);
  put(0x0202, 2), put(4, 2), put(1, 4), put(uint32_t(thumb.size()), 4);
  put(0, 4);
  tiff.insert(tiff.end(), thumb.begin(), thumb.end());
  std::vector<uint8_t> out = {0xFF, 0xD8, 0xFF, 0xE1, uint8_t((tiff.size() + 8) >> 8), uint8_t(tiff.size() + 8),
                              'E', 'x', 'i', 'f', 0, 0};
  out.insert(out.end(), tiff.begin(), tiff.end());
  out.insert(out.end(), photo.begin() + 2, photo.end());
  return out;
}

TEST(CameraBenchCli, CountsFormatsFindsThumbnailsAndPrintsEveryRun) {
  testing::ScratchFolder scratch;
  const fs::path camera = scratch.path() / "DCIM";
  const struct {
    const char* name;
    TColor32 colour;
    bool thumbnail;
  } photos[] = {{"100CAMERA/IMG_0001.JPG", Color32(200, 40, 40), true},
                {"100CAMERA/IMG_0002.JPG", Color32(40, 200, 40), true},
                {"101CAMERA/IMG_0003.JPG", Color32(40, 40, 200), true},
                {"101CAMERA/IMG_0004.JPG", Color32(220, 220, 40), false}};
  for (const auto& p : photos) {
    TBitmap32 picture(640, 480), thumb(160, 120);
    for (TColor32& c : picture.Pixels()) c = p.colour;
    for (TColor32& c : thumb.Pixels()) c = p.colour;
    std::vector<uint8_t> bytes = JpegBytes(picture, scratch);
    if (p.thumbnail) bytes = WithExifThumbnail(bytes, JpegBytes(thumb, scratch));
    fs::create_directories((camera / p.name).parent_path());
    testing::WriteWholeFile(camera / p.name, std::string(bytes.begin(), bytes.end()));
  }
  TBitmap32 main(320, 240);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) *(main.ScanLine(y) + x) = Color32(uint8_t(x * 255 / 319), uint8_t(y), 120);
  ASSERT_TRUE(WriteJpegFile(main, scratch / "main.jpg", 90, false).ok());
  const testing::ChildRun run =
      testing::RunChild({VELMORA_CLI, "bench", "--camera-library", camera.string(), "--main",
                         scratch / "main.jpg", "--cells", "8x8", "--threads", "2"},
                        scratch, {"XDG_CACHE_HOME=" + (scratch / "cache")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("4 photos (4 JPEG, 0 HEIC, 0 other), 8 x 8 cells of 32 x 32 px, 2 threads"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("JPEG: 3 EXIF thumbnails from the files' first segments"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(", 1 without one;"), std::string::npos) << run.out;
  for (const char* row : {"previews, cold", "previews, warm", "no previews, cold", "no previews, warm"})
    EXPECT_NE(run.out.find(std::string("  ") + row + " "), std::string::npos) << row;
  // A cold run decodes all four photos, a warm one none.
  EXPECT_TRUE(std::regex_search(run.out, std::regex(R"(no previews, cold .* 0\.0 %)"))) << run.out;
  EXPECT_TRUE(std::regex_search(run.out, std::regex(R"(no previews, warm .* - +[0-9])"))) << run.out;
  EXPECT_TRUE(std::regex_search(
      run.out, std::regex(R"(figures: cold=[0-9.]+ warm=[0-9.]+ cold_full=[0-9.]+ warm_full=[0-9.]+ served=[0-9.]+ )"
                          R"(limit=[0-9.]+ limit_share=[0-9.]+ de=[0-9.]+ de_full=[0-9.]+ peak_mib=[0-9.]+ )"
                          R"(peak_full_mib=[0-9.]+\n)")))
      << run.out;
  // The bench's caches are its own, and gone afterwards.
  EXPECT_FALSE(fs::exists(scratch.path() / "cache" / "velmora"));
}

}  // namespace
}  // namespace velmora
