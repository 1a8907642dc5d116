// The picture reader: the registered format table and the dialog filters
// built from it, the choice of decoder by extension alone, the messages for
// unknown, undecodable, missing and damaged files, and every sample photo.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/PictureReader.h"
#include "imaging/formats/JpegDecoder.h"
#include "imaging/formats/PngDecoder.h"
#include "imaging/formats/TiffDecoder.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

const fs::path kSamples = VELMORA_SAMPLE_IMAGES;

std::vector<uint8_t> FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A scratch folder per test, removed afterwards.
class PictureReaderFiles : public ::testing::Test {
protected:
  std::string PathOf(const std::string& name) const { return scratch_ / name; }
  velmora::testing::ScratchFolder scratch_;
  const fs::path& dir_ = scratch_.path();
};

std::vector<uint8_t> SampleJpeg() { return FileBytes(kSamples / "lib0001.jpg"); }

// ---- the table ----

TEST(PictureReader, FormatTableInDialogOrder) {
  const auto& formats = PictureFormats();
  ASSERT_EQ(formats.size(), 36u);
  EXPECT_EQ(formats.front().description, "Windows bitmaps");
  EXPECT_EQ(formats[2].description, "Device independant Windows bitmaps");
  EXPECT_EQ(formats[10].description, "Truevision images");
  EXPECT_EQ(formats[13].description, "GFI fax images");
  EXPECT_EQ(formats[30].description, "Portable network graphic images");
  EXPECT_EQ(formats.back().description, "Camera raw images");
  for (const PictureFormat& f : formats) {
    EXPECT_FALSE(f.extensions.empty());
    EXPECT_FALSE(f.name.empty());
    for (std::string_view ext : f.extensions)
      EXPECT_EQ(FindPictureFormat("x." + std::string(ext)), &f) << ext;
  }
}

TEST(PictureReader, DialogFilters) {
  const auto filters = PictureDialogFilters();
  ASSERT_EQ(filters.size(), PictureFormats().size() + 1);
  EXPECT_EQ(
      filters[0],
      "All pictures (*.bmp *.rle *.dib *.ico *.wmf *.emf *.jfif *.jpg *.jpe *.jpeg *.win *.vst *.vda *.tga "
      "*.icb *.tiff *.tif *.fax *.eps *.pcx *.pcc *.scr *.rpf *.rla *.sgi *.rgba *.rgb *.bw *.psd *.pdd "
      "*.ppm "
      "*.pgm *.pbm *.cel *.pic *.pcd *.cut *.psp *.png *.webp *.heic *.heif *.avif *.jxl *.cr2 *.cr3 *.nef *.arw "
      "*.dng *.orf *.rw2 *.raf)");
  EXPECT_EQ(filters[1], "Windows bitmaps (*.bmp)");
  EXPECT_EQ(filters[11], "Truevision images (*.win *.vst *.vda *.tga *.icb)");
  EXPECT_EQ(filters[31], "Portable network graphic images (*.png)");
}

TEST(PictureReader, ExtensionOfTheLastComponent) {
  EXPECT_EQ(ExtensionOf("photo.JPG"), "JPG");
  EXPECT_EQ(ExtensionOf("/home/u/pictures/archive.tar.gz"), "gz");
  EXPECT_EQ(ExtensionOf("/home/u/my.pictures/photo"), "");
  EXPECT_EQ(ExtensionOf("photo"), "");
  EXPECT_EQ(ExtensionOf("photo."), "");
  EXPECT_EQ(ExtensionOf(""), "");
  EXPECT_EQ(ExtensionOf(".png"), "png");
}

TEST(PictureReader, ExtensionsCompareWithoutCase) {
  const PictureFormat* lower = FindPictureFormat("photo.jpg");
  ASSERT_NE(lower, nullptr);
  EXPECT_EQ(FindPictureFormat("PHOTO.JPG"), lower);
  EXPECT_EQ(FindPictureFormat("Photo.JpG"), lower);
  EXPECT_EQ(lower->decode, &DecodeJpeg);
  EXPECT_EQ(FindPictureFormat("scan.TiF")->decode, &DecodeTiff);
  EXPECT_EQ(FindPictureFormat("page.FAX")->decode, &DecodeTiff);
  EXPECT_EQ(FindPictureFormat("x.PNG")->decode, &DecodePng);
  EXPECT_EQ(FindPictureFormat("picture.gif"), nullptr);
  EXPECT_EQ(FindPictureFormat("jpg"), nullptr);  // a name, not an extension
}

// ---- messages decided by the name ----

TEST(PictureReader, UnknownExtension) {
  const std::vector<uint8_t> bytes = SampleJpeg();
  EXPECT_EQ(DecodePicture("picture.gif", bytes).message(), "Unknown picture file extension (.gif)");
  EXPECT_EQ(DecodePicture("PICTURE.GIF", bytes).message(), "Unknown picture file extension (.GIF)");
  EXPECT_EQ(DecodePicture("picture", bytes).message(), "Unknown picture file extension (.)");
  EXPECT_EQ(DecodePicture("my.photos/picture", bytes).message(), "Unknown picture file extension (.)");
  // The name decides before the disk is asked: a missing file says the same.
  EXPECT_EQ(ReadPicture("/no/such/folder/picture.gif").message(),
            "/no/such/folder/picture.gif: Unknown picture file extension (.gif)");
}

TEST(PictureReader, EveryRegisteredFormatDecodesAndRefusesAnEmptyFile) {
  for (const PictureFormat& f : PictureFormats()) {
    EXPECT_NE(f.decode, nullptr) << f.name;
    for (std::string_view ext : f.extensions) {
      const Status empty = DecodePicture("a." + std::string(ext), {}).status();
      EXPECT_FALSE(empty.ok()) << ext;
      EXPECT_FALSE(empty.message().empty()) << ext;
    }
  }
  EXPECT_EQ(DecodePicture("a.pic", {}).message(), "Stream read error in Autodesk file.");
}

// ---- files ----

TEST_F(PictureReaderFiles, MissingFileNamesIt) {
  const std::string path = PathOf("absent.jpg");
  EXPECT_EQ(ReadPicture(path).message(), "Cannot open file \"" + path + "\". No such file or directory");
}

TEST_F(PictureReaderFiles, FolderAndFifoAreRefused) {
  fs::create_directory(PathOf("folder.jpg"));
  EXPECT_EQ(ReadPicture(PathOf("folder.jpg")).message(),
            "Cannot open file \"" + PathOf("folder.jpg") + "\". Is a directory");
  ASSERT_EQ(::mkfifo(PathOf("pipe.png").c_str(), 0600), 0);
  // Must not block waiting for a writer.
  EXPECT_EQ(ReadPicture(PathOf("pipe.png")).message(),
            "Cannot open file \"" + PathOf("pipe.png") + "\". Not a regular file (a named pipe)");
}

TEST_F(PictureReaderFiles, CaseOfTheNameDoesNotMatter) {
  WriteFile(PathOf("PHOTO.JPG"), SampleJpeg());
  WriteFile(PathOf("photo.jpg"), SampleJpeg());
  auto upper = ReadPicture(PathOf("PHOTO.JPG"));
  auto lower = ReadPicture(PathOf("photo.jpg"));
  ASSERT_TRUE(upper.ok()) << upper.message();
  ASSERT_TRUE(lower.ok()) << lower.message();
  EXPECT_EQ(upper->bitmap.Width(), 270);
  EXPECT_EQ(upper->bitmap.Height(), 405);
  EXPECT_TRUE(std::equal(upper->bitmap.Pixels().begin(), upper->bitmap.Pixels().end(),
                         lower->bitmap.Pixels().begin(), lower->bitmap.Pixels().end()));
}

// Unless hints.readByContent asks (see PhotoDecodersTest).
// Every failure starts with the file's path and says in words, on one line,
// what is wrong; the content never decides the decoder.
TEST_F(PictureReaderFiles, FailuresStartWithThePathAndSayWhatIsWrong) {
  auto damagedJpeg = SampleJpeg();
  damagedJpeg[0] = 0x00;  // no start-of-image marker
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string after;  // the message behind "path: "
  } cases[] = {
      {"photo.bmp", SampleJpeg(), "Bitmap image is not valid"},
      {"photo.png", SampleJpeg(), "Cannot load image. Invalid or unexpected PNG image format."},
      {"photo.tif", SampleJpeg(), "Cannot load image. Invalid or unexpected TIFF image format."},
      {"damaged.jpeg", damagedJpeg, "JPEG error: Not a JPEG file: starts with 0x00 0xd8"},
      {"photo.xyz", SampleJpeg(), "Unknown picture file extension (.xyz)"},
  };
  for (const auto& c : cases) {
    WriteFile(PathOf(c.name), c.bytes);
    const std::string message = ReadPicture(PathOf(c.name)).message();
    EXPECT_EQ(message, PathOf(c.name) + ": " + c.after);
    EXPECT_EQ(message.find_first_of("\r\n"), std::string::npos) << message;
  }
  EXPECT_NE(ReadPicture("").message().find("without a name"), std::string::npos);
}

// ---- the sample library ----

struct SampleSize {
  int width, height;
};

// file name -> size, from the manifest that comes with the sample photos.
std::map<std::string, SampleSize> ManifestSizes() {
  std::map<std::string, SampleSize> sizes;
  std::ifstream in(kSamples / "MANIFEST.tsv");
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream ss(line);
    for (std::string f; std::getline(ss, f, '\t');) fields.push_back(f);
    if (fields.size() >= 11) sizes[fields[0]] = {std::stoi(fields[9]), std::stoi(fields[10])};
  }
  return sizes;
}

TEST(PictureReader, EverySamplePhotoDecodesAtItsSize) {
  const auto sizes = ManifestSizes();
  ASSERT_EQ(sizes.size(), 100u);
  int greyscale = 0;
  for (const auto& [name, size] : sizes) {
    auto decoded = ReadPicture((kSamples / name).string());
    ASSERT_TRUE(decoded.ok()) << name << ": " << decoded.message();
    EXPECT_EQ(decoded->bitmap.Width(), size.width) << name;
    EXPECT_EQ(decoded->bitmap.Height(), size.height) << name;
    EXPECT_EQ(decoded->storedWidth, size.width) << name;
    bool allGrey = true, allOpaque = true;
    for (TColor32 p : decoded->bitmap.Pixels()) {
      allOpaque &= AlphaOf(p) == 255;
      allGrey &= RedOf(p) == GreenOf(p) && GreenOf(p) == BlueOf(p);
    }
    EXPECT_TRUE(allOpaque) << name;
    greyscale += allGrey;

    // The reduced decode a 32 x 32 summary needs: the smallest scale of at
    // least 64 x 64, or the full size for a picture smaller than that.
    DecodeHints hints;
    hints.acceptScaled = [](int w, int h) { return w >= 64 && h >= 64; };
    auto scaled = ReadPicture((kSamples / name).string(), hints);
    ASSERT_TRUE(scaled.ok()) << name;
    const int w = scaled->bitmap.Width(), h = scaled->bitmap.Height();
    const bool full = w == size.width && h == size.height;
    EXPECT_TRUE(full || (w >= 64 && h >= 64)) << name << " " << w << "x" << h;
    EXPECT_EQ(scaled->storedWidth, size.width);
    EXPECT_EQ(scaled->storedHeight, size.height);
  }
  EXPECT_GT(greyscale, 0);  // the library includes one-channel JPEGs
}

}  // namespace
}  // namespace velmora
