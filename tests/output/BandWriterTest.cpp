// Band by band into the file: BMP and JPEG give the bytes of the
// whole-picture writers, TIFF the same pixels; a refused size or an
// abandoned write leaves no file behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "imaging/PictureReader.h"
#include "imaging/formats/BmpCodec.h"
#include "output/BandWriter.h"
#include "output/SavePicture.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using testing::ReadWholeFile;

TBitmap32 Picture(int w, int h) {
  std::mt19937 rng(7);
  TBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.Pixel(x, y) = Color32(uint8_t(x * 3 + (rng() & 15)), uint8_t(y * 5), uint8_t(rng()));
  return b;
}

// Writes `picture` through a band writer in bands of `bandRows` rows.
Status WriteInBands(const TBitmap32& picture, const std::string& path, int bandRows, bool finish = true) {
  auto writer = OpenBandWriter(path, picture.Width(), picture.Height(), 85, false);
  if (!writer) return writer.status();
  TBitmap32 band(picture.Width(), bandRows);
  for (int top = 0; top < picture.Height(); top += bandRows) {
    const int rows = std::min(bandRows, picture.Height() - top);
    for (int r = 0; r < rows; ++r) std::copy_n(picture.ScanLine(top + r), picture.Width(), band.ScanLine(r));
    VELMORA_TRY((*writer)->WriteRows(band, rows));
  }
  return finish ? (*writer)->Finish() : Status::Ok();
}

TEST(BandWriter, SameFilesOrPixelsAsTheWholePictureWriters) {
  testing::ScratchFolder dir;
  const TBitmap32 picture = Picture(53, 41);
  ASSERT_TRUE(WriteBmpFile(picture, dir / "whole.bmp").ok());
  ASSERT_TRUE(WriteJpegFile(picture, dir / "whole.jpg", 85, false).ok());
  for (int bandRows : {1, 16, 41}) {
    ASSERT_TRUE(WriteInBands(picture, dir / "bands.bmp", bandRows).ok());
    EXPECT_EQ(ReadWholeFile(dir / "bands.bmp"), ReadWholeFile(dir / "whole.bmp")) << bandRows;
    ASSERT_TRUE(WriteInBands(picture, dir / "bands.jpg", bandRows).ok());
    EXPECT_EQ(ReadWholeFile(dir / "bands.jpg"), ReadWholeFile(dir / "whole.jpg")) << bandRows;
    for (const char* name : {"bands.tif", "bands.png"}) {
      ASSERT_TRUE(WriteInBands(picture, dir / name, bandRows).ok());
      auto read = ReadPicture(dir / name);
      ASSERT_TRUE(read.ok()) << read.message();
      EXPECT_TRUE(
          std::equal(read->bitmap.Pixels().begin(), read->bitmap.Pixels().end(), picture.Pixels().begin()))
          << name;
    }
  }
}

TEST(BandWriter, RefusalsAndAbandonedWritesLeaveNoFile) {
  testing::ScratchFolder dir;
  EXPECT_FALSE(OpenBandWriter(dir / "big.jpg", 70000, 10, 75, false).ok());
  EXPECT_FALSE(OpenBandWriter(dir / "big.bmp", 40000, 40000, 75, false).ok());
  EXPECT_FALSE(OpenBandWriter(dir / "mosaic.gif", 10, 10, 75, false).ok());
  const TBitmap32 picture = Picture(20, 12);
  for (const char* name : {"a.jpg", "a.bmp", "a.tif", "a.png"}) {
    ASSERT_TRUE(WriteInBands(picture, dir / name, 5, false).ok());
    ASSERT_TRUE(WriteInBands(picture, dir / "keep.bmp", 5).ok());
  }
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    left.push_back(entry.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"keep.bmp"});
}

}  // namespace
}  // namespace velmora
