// The library check's chart: its rows follow the report, its text is drawn,
// the near-duplicate groups show their photos' thumbnails, and it is written
// as a PNG that reads back.
#include <gtest/gtest.h>

#include <algorithm>

#include "imaging/PictureReader.h"
#include "output/LibraryChart.h"
#include "output/LibraryThumbnails.h"
#include "output/SavePicture.h"
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

// Adds groups of near-duplicates of the given sizes, photo k named photo-k.jpg.
void AddDuplicates(LibraryReport& r, const std::vector<int>& sizes) {
  for (int size : sizes) {
    DuplicateGroup g;
    for (int i = 0; i < size; ++i) {
      g.Photos.push_back(static_cast<int>(r.Photos.size()));
      r.Photos.push_back(
          CheckedPhoto{"/library/photo-" + std::to_string(r.Photos.size()) + ".jpg", {}, true, {}});
    }
    r.Duplicates.push_back(g);
  }
  r.PhotoCount = static_cast<int>(r.Photos.size());
}

// A colour no swatch, verdict or text of the charts below has.
TColor32 PhotoColor(int k) { return Color32(255, uint8_t(20 + 9 * k), 0); }

Bitmap24 Solid(TColor32 c, int w, int h) {
  Bitmap24 b(w, h);
  b.Fill(RedOf(c), GreenOf(c), BlueOf(c));
  return b;
}

int CountColor(const TBitmap32& b, TColor32 c, int fromRow = 0) {
  int n = 0;
  for (int y = fromRow; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) n += (b.Pixel(x, y) | 0xFF000000u) == (c | 0xFF000000u);
  return n;
}

// Pixels of dark text (or frames) in rows [top, bottom).
int CountDark(const TBitmap32& b, int top, int bottom) {
  int n = 0;
  for (int y = top; y < std::min(bottom, b.Height()); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const TColor32 p = b.Pixel(x, y);
      n += std::max({RedOf(p), GreenOf(p), BlueOf(p)}) < 120;
    }
  return n;
}

// The first row below every family's swatch.
int BelowTheTable(const TBitmap32& b, const LibraryReport& r) {
  int below = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      for (const ColorFamily& f : r.Families)
        if ((b.Pixel(x, y) | 0xFF000000u) == (f.Swatch | 0xFF000000u)) below = y + 1;
  return below;
}

TEST(LibraryChart, GrowsWithTheFamiliesAndShowsTheirSwatches) {
  const Result<TBitmap32> one = DrawLibraryChart(ReportWith(1));
  const Result<TBitmap32> three = DrawLibraryChart(ReportWith(3));
  ASSERT_TRUE(one.ok()) << one.message();
  ASSERT_TRUE(three.ok()) << three.message();
  EXPECT_EQ(one->Width(), three->Width());
  EXPECT_GT(three->Height(), one->Height());
  EXPECT_TRUE(CountColor(*three, Color32(80, 0, 200)) > 0);
}

TEST(LibraryChart, DrawsItsTextAndEveryThumbnailOfTheGroups) {
  struct Case {
    const char* name;
    int families;
    std::vector<int> groups;
  } cases[] = {
      {"an empty report", 0, {}},
      {"families without duplicates", 3, {}},
      {"duplicates without families", 0, {2}},
      {"two groups", 2, {3, 2}},
      {"a group wider than a row", 1, {11}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LibraryReport report = ReportWith(c.families);
    AddDuplicates(report, c.groups);
    DuplicateThumbnails thumbnails;
    int k = 0;
    for (const DuplicateGroup& g : report.Duplicates) {
      thumbnails.emplace_back();
      // Upright and lying pictures, fitted as the loader fits them.
      for (size_t i = 0; i < g.Photos.size(); ++i, ++k)
        thumbnails.back().push_back(Solid(PhotoColor(k), k % 2 ? 30 : 48, k % 2 ? 48 : 36));
    }
    const Result<TBitmap32> chart = DrawLibraryChart(report, thumbnails);
    ASSERT_TRUE(chart.ok()) << chart.message();
    EXPECT_GT(CountDark(*chart, 0, 40), 200) << "the title is drawn";

    const int table = BelowTheTable(*chart, report);
    k = 0;
    for (const std::vector<Bitmap24>& group : thumbnails)
      for (const Bitmap24& t : group) {
        EXPECT_EQ(CountColor(*chart, PhotoColor(k), table), t.Width() * t.Height()) << "photo " << k;
        EXPECT_EQ(CountColor(*chart, PhotoColor(k)), CountColor(*chart, PhotoColor(k), table));
        ++k;
      }
  }
}

TEST(LibraryChart, ReadsTheThumbnailsFromTheLibraryFittedToTheirSquares) {
  ScratchFolder dir;
  LibraryReport report = ReportWith(1);
  AddDuplicates(report, {3});
  struct Photo {
    int width, height;  // 0: no file
    int fittedWidth, fittedHeight;
  } photos[] = {{200, 100, 48, 24}, {60, 90, 32, 48}, {0, 0, 0, 0}};
  for (int i = 0; i < 3; ++i) {
    report.Photos[size_t(i)].Path = dir / ("photo-" + std::to_string(i) + ".png");
    if (photos[i].width == 0) continue;
    TBitmap32 picture(photos[i].width, photos[i].height);
    picture.Fill(PhotoColor(i));
    ASSERT_TRUE(SavePictureFile(picture, report.Photos[size_t(i)].Path, kPicturePng).ok());
  }

  const DuplicateThumbnails thumbnails = LoadDuplicateThumbnails(report, true);
  ASSERT_EQ(thumbnails.size(), 1u);
  ASSERT_EQ(thumbnails[0].size(), 3u);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(thumbnails[0][size_t(i)].Width(), photos[i].fittedWidth);
    EXPECT_EQ(thumbnails[0][size_t(i)].Height(), photos[i].fittedHeight);
  }

  const std::string path = dir / "chart.png";
  ASSERT_TRUE(SaveLibraryChartPng(report, thumbnails, path).ok());
  Result<DecodedPicture> back = ReadPicture(path);
  ASSERT_TRUE(back.ok()) << back.message();
  EXPECT_EQ(CountColor(back->bitmap, PhotoColor(0)), 48 * 24);
  EXPECT_EQ(CountColor(back->bitmap, PhotoColor(1)), 32 * 48);
}

TEST(LibraryChart, SavesAPngThatReadsBackOrFailsWithAMessage) {
  ScratchFolder dir;
  const LibraryReport report = ReportWith(2);
  const std::string path = dir / "chart.png";
  ASSERT_TRUE(SaveLibraryChartPng(report, {}, path).ok());
  Result<DecodedPicture> back = ReadPicture(path);
  ASSERT_TRUE(back.ok()) << back.message();
  const Result<TBitmap32> drawn = DrawLibraryChart(report);
  ASSERT_TRUE(drawn.ok()) << drawn.message();
  EXPECT_EQ(back->bitmap.Width(), drawn->Width());
  EXPECT_EQ(back->bitmap.Height(), drawn->Height());

  const Status failed = SaveLibraryChartPng(report, {}, dir / "missing/chart.png");
  ASSERT_FALSE(failed.ok());
  EXPECT_NE(failed.message().find("chart.png"), std::string::npos) << failed.message();
}

}  // namespace
}  // namespace velmora
