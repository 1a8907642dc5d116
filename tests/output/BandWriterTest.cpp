// Band by band into the file: BMP and JPEG give the bytes of the
// whole-picture writers, TIFF the same pixels; a refused size or an
// abandoned write leaves no file behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "imaging/PictureReader.h"
#include "imaging/formats/BmpCodec.h"
#include "output/BandWriter.h"
#include "output/FreeSpace.h"
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
  // 409,600 pixels a side is half a terabyte before deflate: refused before
  // a byte is written, not when the disk is full.
  const auto huge = OpenBandWriter(dir / "huge.tif", 409600, 409600, 75, false);
  ASSERT_FALSE(huge.ok());
  EXPECT_NE(huge.message().find("Not enough disk space"), std::string::npos) << huge.message();
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

TEST(FreeSpace, RefusalsGiveBothFiguresAndSayWhenTheSizeIsOnlyABound) {
  struct Case {
    uint64_t needed;
    SizeBound bound;
    std::optional<uint64_t> available;
    const char* expect;  // nullptr: accepted
  } cases[] = {
      {1000, SizeBound::Exact, 1000, nullptr},
      {1000, SizeBound::Exact, std::nullopt, nullptr},  // unknown free space: go ahead
      {1001, SizeBound::Exact, 1000,
       "Not enough disk space for \"/d/p.bmp\": the picture needs 1,001 bytes (0.0 GiB), and its file system "
       "has "
       "1,000 bytes (0.0 GiB) free."},
      {uint64_t(503316893696), SizeBound::Uncompressed, uint64_t(85899345920),
       "the picture may need up to its uncompressed size of 503,316,893,696 bytes (468.8 GiB), and its file "
       "system "
       "has 85,899,345,920 bytes (80.0 GiB) free. Compression usually makes the file smaller"},
  };
  for (const Case& c : cases) {
    const Status s = CheckFreeSpace("/d/p.bmp", c.needed, c.bound, c.available);
    if (c.expect == nullptr) {
      EXPECT_TRUE(s.ok()) << s.message();
    } else {
      ASSERT_FALSE(s.ok()) << c.needed;
      EXPECT_NE(s.message().find(c.expect), std::string::npos) << s.message();
    }
  }
  EXPECT_TRUE(FreeBytesFor("relative-name.tif").has_value());
  EXPECT_FALSE(FreeBytesFor("/no/such/folder/x.tif").has_value());
}

}  // namespace
}  // namespace velmora
