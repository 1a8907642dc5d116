// Encapsulated PostScript: rendering through Ghostscript (skipped when gs is
// not installed), the TIFF preview of a binary header when rendering is not
// possible, and the messages for what cannot be read. quadrants.eps is
// written by hand; preview.tif, the same quadrants, was written by
// ImageMagick; the binary header around them is put together here from the
// published layout (magic C5 D0 D3 C6, offsets and lengths of the
// PostScript, metafile and TIFF parts).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "imaging/CraftedFiles.h"
#include "imaging/PictureReader.h"
#include "imaging/formats/EpsDecoder.h"

namespace velmora {
namespace {

using testing::Bytes;

const std::filesystem::path kData = std::filesystem::path(VELMORA_TEST_DATA) / "eps";

std::vector<uint8_t> BinaryEps(const std::vector<uint8_t>& ps, const std::vector<uint8_t>& tiff) {
  Bytes f;
  f.u8(0xC5).u8(0xD0).u8(0xD3).u8(0xC6);
  f.u32le(30).u32le(uint32_t(ps.size())).u32le(0).u32le(0);
  f.u32le(tiff.empty() ? 0 : uint32_t(30 + ps.size())).u32le(uint32_t(tiff.size())).u16le(0xFFFF);
  return f.append(ps).append(tiff).data;
}

// Red, blue / green, white quadrants of 20 x 10 pixels.
void ExpectQuadrants(const Result<DecodedPicture>& r) {
  ASSERT_TRUE(r.ok()) << r.message();
  ASSERT_EQ(r->bitmap.Width(), 40);
  ASSERT_EQ(r->bitmap.Height(), 20);
  EXPECT_EQ(r->bitmap.Pixel(5, 5), Color32(255, 0, 0));
  EXPECT_EQ(r->bitmap.Pixel(35, 5), Color32(0, 0, 255));
  EXPECT_EQ(r->bitmap.Pixel(5, 15), Color32(0, 255, 0));
  EXPECT_EQ(r->bitmap.Pixel(35, 15), Color32(255, 255, 255));
}

DecodeHints NoPrograms() {
  DecodeHints hints;
  hints.allowExternalPrograms = false;
  return hints;
}

TEST(EpsDecoder, RendersThroughGhostscriptAtItsOwnSize) {
  if (FindGhostscript().empty()) GTEST_SKIP() << "Ghostscript (gs) is not installed";
  ExpectQuadrants(ReadPicture((kData / "quadrants.eps").string()));
  const auto ps = testing::FileBytes(kData / "quadrants.eps");
  // The binary form renders its PostScript, not its preview.
  ExpectQuadrants(DecodePicture("x.eps", BinaryEps(ps, {})));
}

// The bounding box is optional: without one the page is Ghostscript's, its
// default or the one the PostScript asks for, as long as it is within the
// pixel limit.
TEST(EpsDecoder, WithoutBoundingBoxRendersOnThePage) {
  if (FindGhostscript().empty()) GTEST_SKIP() << "Ghostscript (gs) is not installed";
  const auto eps = [](const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); };
  const std::string redCorner = "1 0 0 setrgbcolor 0 0 10 10 rectfill showpage\n";
  auto asked = DecodePicture(
      "x.eps", eps("%!PS-Adobe-3.0 EPSF-3.0\n<< /PageSize [1000 500] >> setpagedevice\n" + redCorner));
  ASSERT_TRUE(asked.ok()) << asked.message();
  EXPECT_EQ(asked->bitmap.Width(), 1000);
  EXPECT_EQ(asked->bitmap.Height(), 500);
  EXPECT_EQ(asked->bitmap.Pixel(5, 495), Color32(255, 0, 0));  // PostScript's origin is bottom left
  EXPECT_EQ(asked->bitmap.Pixel(500, 250), Color32(255, 255, 255));
  auto standard = DecodePicture("x.eps", eps("%!PS-Adobe-3.0 EPSF-3.0\n" + redCorner));
  ASSERT_TRUE(standard.ok()) << standard.message();
  EXPECT_GE(standard->bitmap.Width(), 500);  // letter, A4 or whatever gs is set up for
  EXPECT_EQ(standard->bitmap.Pixel(5, standard->bitmap.Height() - 5), Color32(255, 0, 0));
}

TEST(EpsDecoder, TiffPreviewWhenItCannotRender) {
  const auto ps = testing::FileBytes(kData / "quadrants.eps");
  const auto tiff = testing::FileBytes(kData / "preview.tif");
  const std::vector<uint8_t> file = BinaryEps(ps, tiff);
  testing::DumpCrafted("preview.eps", file);
  ExpectQuadrants(DecodePicture("x.eps", file, NoPrograms()));
  // PostScript that Ghostscript refuses: the preview stands in.
  if (!FindGhostscript().empty()) {
    const std::string bad = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 40 20\nnosuchoperator\n";
    ExpectQuadrants(DecodePicture("x.eps", BinaryEps(std::vector<uint8_t>(bad.begin(), bad.end()), tiff)));
  }
}

TEST(EpsDecoder, FailuresNameTheirCause) {
  const auto ps = testing::FileBytes(kData / "quadrants.eps");
  EXPECT_EQ(DecodePicture("x.eps", ps, NoPrograms()).message(),
            "Cannot load image. PostScript without Ghostscript not supported for EPS files.");
  const std::string stream = "Stream read error in EPS file.";
  const std::string invalid = "Cannot load image. Invalid or unexpected EPS image format.";
  std::vector<uint8_t> file = BinaryEps(ps, testing::FileBytes(kData / "preview.tif"));
  EXPECT_EQ(DecodePicture("x.eps", std::vector<uint8_t>(file.begin(), file.begin() + 20)).message(), stream);
  EXPECT_EQ(
      DecodePicture("x.eps", std::vector<uint8_t>(file.begin(), file.end() - 1), NoPrograms()).message(),
      stream);
  std::vector<uint8_t> cutPreview = file;  // a preview that is not a TIFF file
  std::fill(cutPreview.begin() + std::ptrdiff_t(30 + ps.size()), cutPreview.end(), uint8_t(0));
  EXPECT_EQ(DecodePicture("x.eps", cutPreview, NoPrograms()).message(), invalid);
  const std::vector<uint8_t> jpegBytes = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'};
  EXPECT_EQ(DecodePicture("x.eps", jpegBytes).message(), invalid);
  EXPECT_EQ(DecodePicture("x.eps", {}).message(), stream);

  if (FindGhostscript().empty()) return;
  // A bounding box past the pixel limit is refused before Ghostscript runs;
  // an empty one and PostScript that fails give the format message.
  const auto eps = [](const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); };
  EXPECT_NE(DecodePicture("x.eps", eps("%!PS\n%%BoundingBox: 0 0 90000 90000\nshowpage\n"))
                .message()
                .find("larger than the limit"),
            std::string::npos);
  EXPECT_EQ(DecodePicture("x.eps", eps("%!PS\n%%BoundingBox: 0 0 0 0\nshowpage\n")).message(), invalid);
  EXPECT_EQ(DecodePicture("x.eps", eps("%!PS\n%%BoundingBox: 0 0 10 10\nnosuchoperator\n")).message(),
            invalid);
  // -dSAFER: the PostScript cannot delete or write files.
  const std::string victim =
      (std::filesystem::temp_directory_path() / ("velmora-eps-safer-check-" + std::to_string(::getpid())))
          .string();
  { std::ofstream(victim) << "keep"; }
  (void)DecodePicture("x.eps", eps("%!PS\n%%BoundingBox: 0 0 10 10\n(" + victim + ") deletefile showpage\n"));
  EXPECT_TRUE(std::filesystem::exists(victim));
  std::filesystem::remove(victim);
}

}  // namespace
}  // namespace velmora
