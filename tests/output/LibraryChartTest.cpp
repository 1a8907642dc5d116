// The library check's chart: its rows follow the report, it is written as a
// PNG that reads back, and the built-in font draws what it is given.
#include <gtest/gtest.h>

#include "imaging/PictureReader.h"
#include "output/LibraryChart.h"
#include "output/PixelFont.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using testing::ScratchFolder;

LibraryReport ReportWith(int families) {
  LibraryReport r;
  r.CellsAcross = 4;
  r.CellsDown = 4;
  for (int i = 0; i < families; ++i) {
    ColorFamily f;
    f.Name = FamilyName(i);
    f.Cells = 10 - i;
    f.Swatch = Color32(uint8_t(40 * i), 0, 200);
    f.NearestError = i == 0 ? 50.0f : -1.0f;  // past the scale, and no photos
    r.Families.push_back(f);
  }
  return r;
}

bool HasColor(const TBitmap32& b, TColor32 c) {
  for (TColor32 p : b.Pixels())
    if ((p | 0xFF000000u) == (c | 0xFF000000u)) return true;
  return false;
}

TEST(LibraryChart, GrowsWithTheFamiliesAndShowsTheirSwatches) {
  const TBitmap32 one = DrawLibraryChart(ReportWith(1));
  const TBitmap32 three = DrawLibraryChart(ReportWith(3));
  EXPECT_EQ(one.Width(), three.Width());
  EXPECT_GT(three.Height(), one.Height());
  EXPECT_TRUE(HasColor(three, Color32(80, 0, 200)));
  EXPECT_FALSE(DrawLibraryChart(ReportWith(0)).Empty()) << "an empty report still draws its notes";
}

TEST(LibraryChart, SavesAPngThatReadsBackOrFailsWithAMessage) {
  ScratchFolder dir;
  const LibraryReport report = ReportWith(2);
  const std::string path = dir / "chart.png";
  ASSERT_TRUE(SaveLibraryChartPng(report, path).ok());
  Result<DecodedPicture> back = ReadPicture(path);
  ASSERT_TRUE(back.ok()) << back.message();
  const TBitmap32 drawn = DrawLibraryChart(report);
  EXPECT_EQ(back->bitmap.Width(), drawn.Width());
  EXPECT_EQ(back->bitmap.Height(), drawn.Height());

  const Status failed = SaveLibraryChartPng(report, dir / "missing/chart.png");
  ASSERT_FALSE(failed.ok());
  EXPECT_NE(failed.message().find("chart.png"), std::string::npos) << failed.message();
}

TEST(PixelFont, DrawsGlyphsAtScaleAndClipsAtTheEdges) {
  TBitmap32 b(40, 20);
  b.Fill(Color32(255, 255, 255));
  DrawPixelText(b, 0, 0, "I", Color32(0, 0, 0), 2);
  // "I" has its top bar from column 1 to 3 of 5, at scale 2 pixels 2..7.
  EXPECT_EQ(b.Pixel(2, 0), Color32(0, 0, 0));
  EXPECT_EQ(b.Pixel(0, 0), Color32(255, 255, 255));
  EXPECT_EQ(PixelTextWidth(3, 2), 36);
  DrawPixelText(b, 35, 15, "wide text past the edge \x01", Color32(0, 0, 0), 3);  // clipped, no crash
  DrawPixelText(b, -100, -100, "x", Color32(0, 0, 0), 1);
}

}  // namespace
}  // namespace velmora
