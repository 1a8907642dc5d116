// The panels PDF: one page for the map and one per sheet, each sheet's page
// carrying its own part of the picture where the plan puts it (read back
// with pdftoppm when it is installed), a failed write keeping the file that
// was there, and a band source that lies about its rows refused.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "output/PanelPdf.h"
#include "support/PdfPages.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using testing::CountPdfPages;
using testing::ReadWholeFile;

// Blocks of 100 x 100 pixels, each its own colour.
TBitmap32 Blocks(int width, int height) {
  TBitmap32 b(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      b.Pixel(x, y) = Color32(uint8_t(x / 100 * 12), uint8_t(y / 100 * 25), 128);
  return b;
}

PanelPlan PlanFor(int width, int height, int dpi, double overlapMm) {
  PanelSettings s;
  s.Paper = *ParsePaperSize("A4");
  s.Dpi = dpi;
  s.OverlapMm = overlapMm;
  return *PlanPosterPanels(width, height, s);
}

// Page `page` (from 1) of `pdf` as RGB pixels at `dpi`; empty without pdftoppm.
std::string RenderPage(const std::string& pdf, int page, int dpi, const std::string& out, int& width) {
  const std::string line = Format("pdftoppm -q -singlefile -f %d -l %d -r %d '%s' '%s' 2>/dev/null", page,
                                  page, dpi, pdf.c_str(), out.c_str());
  if (std::system(line.c_str()) != 0) return std::string();
  const std::string ppm = ReadWholeFile(out + ".ppm");
  int w = 0, h = 0, max = 0, consumed = 0;
  if (std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &w, &h, &max, &consumed) != 3) return std::string();
  width = w;
  return ppm.substr(static_cast<size_t>(consumed) + 1);
}

TEST(PanelPdf, WritesTheMapAndOnePagePerSheetWithEachSheetsPixels) {
  testing::ScratchFolder dir;
  const TBitmap32 picture = Blocks(2000, 1000);
  const PanelPlan plan = PlanFor(2000, 1000, 100, 10);
  ASSERT_EQ(plan.Count(), 3);
  const std::string pdf = dir / "panels.pdf";
  ASSERT_TRUE(WritePanelPdf(pdf, plan, BandsOfBitmap(picture), "stripes.vm6").ok());
  const int pages = CountPdfPages(pdf);
  if (pages >= 0) {
    EXPECT_EQ(pages, 1 + plan.Count());
  }
  // Nothing is left beside the file: no temporary, no scratch file.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    files += entry.path() != pdf ? 1 : 0;
  EXPECT_EQ(files, 0);

  // At the plan's own resolution a page pixel is a picture pixel, offset by
  // the 10 mm margin (39.37 pixels at 100 dpi).
  for (int k = 0; k < plan.Count(); ++k) {
    const Panel& p = plan.Panels[size_t(k)];
    int width = 0;
    const std::string page = RenderPage(pdf, k + 2, 100, dir / "page", width);
    if (page.empty()) GTEST_SKIP() << "pdftoppm is not installed";
    for (int x = p.Source.Left / 100 * 100 + 150; x < p.Source.Right; x += 100)
      for (int y : {50, 450, 950}) {
        const int px = static_cast<int>(39.37 + (x - p.Source.Left)), py = static_cast<int>(39.37 + y);
        const auto* rgb = reinterpret_cast<const uint8_t*>(page.data() + (size_t(py) * width + px) * 3);
        const TColor32 want = picture.Pixel(x, y);
        SCOPED_TRACE(::testing::Message() << p.Label << " at " << x << "," << y);
        EXPECT_NEAR(rgb[0], RedOf(want), 2);
        EXPECT_NEAR(rgb[1], GreenOf(want), 2);
        EXPECT_NEAR(rgb[2], BlueOf(want), 2);
      }
  }
}

TEST(PanelPdf, FailedWriteKeepsThePreviousFile) {
  testing::ScratchFolder dir;
  const std::string pdf = dir / "panels.pdf";
  testing::WriteWholeFile(pdf, "the previous panels");
  const TBitmap32 picture = Blocks(800, 600);
  const PanelPlan plan = PlanFor(800, 600, 100, 10);
  int bands = 0;
  const PanelBandSource failing = [&](int bandRows, const PanelBandSink& sink) -> Status {
    TBitmap32 band(800, bandRows);
    VELMORA_TRY(sink(band, bandRows));
    ++bands;
    return Status::Error("Cannot read file \"lib/p3.jpg\".");
  };
  const Status s = WritePanelPdf(pdf, plan, failing, "");
  EXPECT_FALSE(s.ok());
  EXPECT_EQ(s.message(), "Cannot read file \"lib/p3.jpg\".");
  EXPECT_EQ(bands, 1);
  EXPECT_EQ(ReadWholeFile(pdf), "the previous panels");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(PanelPdf, RefusesBandsThatDoNotMatchThePicture) {
  testing::ScratchFolder dir;
  const PanelPlan plan = PlanFor(300, 200, 100, 10);
  struct Case {
    const char* name;
    PanelBandSource source;
    const char* message;
  } cases[] = {
      {"TooNarrow", [](int, const PanelBandSink& sink) { return sink(TBitmap32(299, 200), 200); },
       "rows do not match"},
      {"TooManyRows",
       [](int, const PanelBandSink& sink) {
         VELMORA_TRY(sink(TBitmap32(300, 150), 150));
         return sink(TBitmap32(300, 150), 150);
       },
       "rows do not match"},
      {"EndsEarly", [](int, const PanelBandSink& sink) { return sink(TBitmap32(300, 120), 120); },
       "ended after 120 of its 200 rows"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Status s = WritePanelPdf(dir / "p.pdf", plan, c.source, "");
    ASSERT_FALSE(s.ok());
    EXPECT_NE(s.message().find(c.message), std::string::npos) << s.message();
    EXPECT_FALSE(std::filesystem::exists(dir / "p.pdf"));
  }
  // A folder in the file's place is named in the message.
  std::filesystem::create_directory(dir / "folder.pdf");
  const TBitmap32 picture = Blocks(300, 200);
  const Status s = WritePanelPdf(dir / "folder.pdf", plan, BandsOfBitmap(picture), "");
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("folder.pdf"), std::string::npos) << s.message();
}

TEST(PanelPdf, AlignmentMarksSitWhereTheNeighboursPictureEdgeGoes) {
  const PanelPlan plan = PlanFor(2000, 2500, 100, 10);
  ASSERT_GE(plan.Columns, 2);
  ASSERT_GE(plan.Rows, 2);
  const double mmPerPixel = 25.4 / plan.Dpi;
  for (const Panel& p : plan.Panels) {
    SCOPED_TRACE(p.Label);
    const PanelSheet sheet = LayOutPanelSheet(plan, p);
    const double right = sheet.PictureLeft + sheet.PictureWidth,
                 bottom = sheet.PictureTop + sheet.PictureHeight;
    const int neighbours =
        (p.Column > 0) + (p.Column + 1 < plan.Columns) + (p.Row > 0) + (p.Row + 1 < plan.Rows);
    ASSERT_EQ(sheet.Marks.size(), size_t(2 * neighbours));
    for (const AlignmentMark& m : sheet.Marks) {
      // Outside the picture, inside the sheet.
      const bool inMarginX = m.X < sheet.PictureLeft || m.X > right;
      const bool inMarginY = m.Y < sheet.PictureTop || m.Y > bottom;
      EXPECT_TRUE(inMarginX != inMarginY) << m.X << "," << m.Y;
      EXPECT_GT(m.X - kAlignmentMarkRadiusMm, 0);
      EXPECT_LT(m.Y + kAlignmentMarkRadiusMm, plan.Paper.HeightMm);
      // The picture column (or row) the mark stands at is where the named
      // neighbour's picture begins or ends.
      const Panel* n = nullptr;
      for (const Panel& q : plan.Panels)
        if (q.Label == m.Neighbour) n = &q;
      ASSERT_NE(n, nullptr) << m.Neighbour;
      if (inMarginY) {
        const double x = p.Source.Left + (m.X - sheet.PictureLeft) / mmPerPixel;
        EXPECT_NEAR(x, n->Column < p.Column ? n->Source.Right : n->Source.Left, 1e-6);
      } else {
        const double y = p.Source.Top + (m.Y - sheet.PictureTop) / mmPerPixel;
        EXPECT_NEAR(y, n->Row < p.Row ? n->Source.Bottom : n->Source.Top, 1e-6);
      }
    }
    // The label keeps clear of the marks below the picture, or goes beside
    // the picture when it is wider than the room between them.
    for (const AlignmentMark& m : sheet.Marks)
      if (m.Y > bottom) {
        EXPECT_TRUE(m.X + kAlignmentMarkRadiusMm * 1.6 < sheet.LabelSpanLeft ||
                    m.X - kAlignmentMarkRadiusMm * 1.6 > sheet.LabelSpanRight)
            << m.X;
      }
    EXPECT_GT(sheet.LabelSpanLeft, sheet.PictureLeft);
    EXPECT_LT(sheet.LabelSpanRight, right);
    EXPECT_NEAR(PanelLabelLeft(sheet, 10), (sheet.LabelSpanLeft + sheet.LabelSpanRight - 10) / 2, 1e-9);
    EXPECT_GT(PanelLabelLeft(sheet, 1000), right);
    for (const SheetLine& l : sheet.CropMarks) {
      // Crop marks never reach into the picture.
      const bool beside = std::max(l.X0, l.X1) <= sheet.PictureLeft || std::min(l.X0, l.X1) >= right;
      const bool above = std::max(l.Y0, l.Y1) <= sheet.PictureTop || std::min(l.Y0, l.Y1) >= bottom;
      EXPECT_TRUE(beside || above);
      EXPECT_GE(std::min(l.X0, l.X1), 0);
      EXPECT_GE(std::min(l.Y0, l.Y1), 0);
    }
  }
}

}  // namespace
}  // namespace velmora
