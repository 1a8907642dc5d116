// Saving pictures: the name rules, the JPEG file's size, orientation and
// settings (read back with libjpeg), the BMP of an empty picture, and saves
// that fail without harming an existing file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "imaging/PictureReader.h"
#include "output/SavePicture.h"
#include "support/ScratchFolder.h"

// clang-format off
#include <jpeglib.h>
// clang-format on

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;
using testing::ScratchFolder;
using testing::WriteWholeFile;

struct NameCase {
  const char* typed;
  int kind;
  const char* written;
};

class PictureName : public ::testing::TestWithParam<NameCase> {};

TEST_P(PictureName, ExtensionIsAppendedUnlessAlreadyThere) {
  EXPECT_EQ(PictureFileName(GetParam().typed, GetParam().kind), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    SavePicture, PictureName,
    ::testing::Values(
        NameCase{"result", kPictureBmp, "result.bmp"}, NameCase{"result", kPictureJpeg, "result.jpg"},
        NameCase{"result.JPG", kPictureJpeg, "result.JPG"}, NameCase{"result.Bmp", kPictureBmp, "result.Bmp"},
        NameCase{"result.bmp", kPictureJpeg, "result.bmp.jpg"},
        NameCase{"result.jpg", kPictureBmp, "result.jpg.bmp"},
        NameCase{"result.jpeg", kPictureJpeg, "result.jpeg.jpg"}, NameCase{"pic.", kPictureBmp, "pic..bmp"},
        NameCase{"/home/my.pics/result", kPictureBmp, "/home/my.pics/result.bmp"},
        NameCase{"/home/my.jpg/result", kPictureJpeg, "/home/my.jpg/result.jpg"},
        NameCase{"/home/.bmp", kPictureBmp, "/home/.bmp"}, NameCase{"result", kPicturePng, "result.png"},
        NameCase{"result.PNG", kPicturePng, "result.PNG"},
        NameCase{"result.jpg", kPicturePng, "result.jpg.png"}, NameCase{"result", kPictureTiff, "result.tif"},
        NameCase{"result.TIF", kPictureTiff, "result.TIF"},
        NameCase{"result.tiff", kPictureTiff, "result.tiff.tif"}));

// Left half red and right half blue on top, green below: orientation and
// mirroring both show in the corners.
TBitmap32 Quarters(int width, int height) {
  TBitmap32 b(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      b.Pixel(x, y) =
          y < height / 2 ? (x < width / 2 ? Color32(255, 0, 0) : Color32(0, 0, 255)) : Color32(0, 255, 0);
  return b;
}

struct DecodedJpeg {
  int width = 0;
  int height = 0;
  bool progressive = false;
  int lumaH = 0, lumaV = 0, chromaH = 0, chromaV = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* At(int x, int y) const { return rgb.data() + (size_t(y) * width + x) * 3; }
};

DecodedJpeg DecodeJpegFile(const std::string& path) {
  const std::string bytes = ReadWholeFile(path);
  DecodedJpeg out;
  jpeg_decompress_struct info;
  jpeg_error_mgr error;
  info.err = jpeg_std_error(&error);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_read_header(&info, TRUE);
  out.progressive = jpeg_has_multiple_scans(&info);
  out.lumaH = info.comp_info[0].h_samp_factor;
  out.lumaV = info.comp_info[0].v_samp_factor;
  out.chromaH = info.comp_info[1].h_samp_factor;
  out.chromaV = info.comp_info[1].v_samp_factor;
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  out.width = int(info.output_width);
  out.height = int(info.output_height);
  out.rgb.resize(size_t(out.width) * out.height * 3);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out.rgb.data() + size_t(info.output_scanline) * out.width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return out;
}

void ExpectNear(const uint8_t* rgb, int r, int g, int b) {
  EXPECT_NEAR(rgb[0], r, 12);
  EXPECT_NEAR(rgb[1], g, 12);
  EXPECT_NEAR(rgb[2], b, 12);
}

TEST(SavePicture, JpegHasThePictureSizeAndIsUpright) {
  ScratchFolder dir;
  const TBitmap32 picture = Quarters(67, 45);
  const Result<std::string> name = SavePictureFile(picture, dir / "mosaic", kPictureJpeg);
  ASSERT_TRUE(name.ok()) << name.message();
  EXPECT_EQ(*name, dir / "mosaic.jpg");

  const DecodedJpeg jpeg = DecodeJpegFile(*name);
  ASSERT_EQ(jpeg.width, 67);
  ASSERT_EQ(jpeg.height, 45);
  EXPECT_FALSE(jpeg.progressive);
  EXPECT_EQ(jpeg.lumaH, 2);
  EXPECT_EQ(jpeg.lumaV, 2);
  EXPECT_EQ(jpeg.chromaH, 1);
  EXPECT_EQ(jpeg.chromaV, 1);
  ExpectNear(jpeg.At(2, 2), 255, 0, 0);
  ExpectNear(jpeg.At(64, 2), 0, 0, 255);
  ExpectNear(jpeg.At(64, 42), 0, 255, 0);
}

// PNG and TIFF go through the band writers; read back by the program's own
// reader they give the exact pixels, and a failed save keeps the old file.
TEST(SavePicture, PngAndTiffKeepEveryPixel) {
  ScratchFolder dir;
  const TBitmap32 picture = Quarters(37, 21);
  for (int kind : {kPicturePng, kPictureTiff}) {
    SCOPED_TRACE(kind);
    const Result<std::string> saved = SavePictureFile(picture, dir / "mosaic", kind);
    ASSERT_TRUE(saved.ok()) << saved.message();
    const Result<DecodedPicture> back = ReadPicture(*saved);
    ASSERT_TRUE(back.ok()) << back.message();
    ASSERT_EQ(back->bitmap.Width(), 37);
    ASSERT_EQ(back->bitmap.Height(), 21);
    EXPECT_TRUE(std::equal(picture.Pixels().begin(), picture.Pixels().end(), back->bitmap.Pixels().begin()));

    // Into a folder that does not exist: fails, names the file.
    const Result<std::string> failed = SavePictureFile(picture, dir / "missing/mosaic", kind);
    EXPECT_FALSE(failed.ok());
    EXPECT_NE(failed.message().find("missing/mosaic"), std::string::npos) << failed.message();
  }
  EXPECT_EQ(SavePictureFile(TBitmap32(), dir / "empty", kPicturePng).message(), "No image to save");
}

TEST(SavePicture, ProgressiveSwitchGivesAProgressiveFile) {
  ScratchFolder dir;
  const TBitmap32 picture = Quarters(40, 40);
  ASSERT_TRUE(WriteJpegFile(picture, dir / "p.jpg", 75, true).ok());
  EXPECT_TRUE(DecodeJpegFile(dir / "p.jpg").progressive);
  ExpectNear(DecodeJpegFile(dir / "p.jpg").At(1, 1), 255, 0, 0);
}

TEST(SavePicture, EmptyPictureIsNoJpegButAZeroByZeroBmp) {
  ScratchFolder dir;
  const TBitmap32 empty;
  const Result<std::string> jpeg = SavePictureFile(empty, dir / "e.jpg", kPictureJpeg);
  ASSERT_FALSE(jpeg.ok());
  EXPECT_EQ(jpeg.message(), "No image to save");
  EXPECT_FALSE(fs::exists(dir / "e.jpg"));

  const Result<std::string> bmp = SavePictureFile(empty, dir / "e", kPictureBmp);
  ASSERT_TRUE(bmp.ok()) << bmp.message();
  const std::string bytes = ReadWholeFile(dir / "e.bmp");
  ASSERT_EQ(bytes.size(), 54u);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(bytes.substr(18, 8), std::string(8, '\0'));  // width and height 0
}

TEST(SavePicture, UnknownKindWritesNothing) {
  ScratchFolder dir;
  EXPECT_FALSE(SavePictureFile(Quarters(4, 4), dir / "x", 5).ok());
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(SavePicture, EncoderFailureKeepsTheOldFileAndNamesItOnOneLine) {
  ScratchFolder dir;
  const std::string path = dir / "wide.jpg";
  WriteWholeFile(path, "old picture");
  // Wider than a JPEG frame can be (65500).
  const Status status = WriteJpegFile(TBitmap32(65536, 1), path, 75, false);
  ASSERT_FALSE(status.ok());
  // One line, starting with the file, in the encoder's words and number.
  EXPECT_EQ(status.message().rfind(path + ": Error saving image: Maximum supported image dimension is 65500 "
                                          "pixels (JPEG library error number ",
                                   0),
            0u)
      << status.message();
  EXPECT_EQ(status.message().find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(ReadWholeFile(path), "old picture");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace velmora
