// Poster panels: sheet counts and the turn of the paper, each sheet's
// pixels with the shared strips, full coverage without a gap for many
// sizes, labels past Z, the texts, and the refusals of settings that leave
// no room.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

#include "output/PosterPanels.h"

namespace velmora {
namespace {

PanelSettings Settings(const char* paper, int dpi, double overlapMm, double marginMm = 10) {
  PanelSettings s;
  s.Paper = *ParsePaperSize(paper);
  s.Dpi = dpi;
  s.OverlapMm = overlapMm;
  s.MarginMm = marginMm;
  return s;
}

struct PlanCase {
  const char* name;
  const char* paper;
  int dpi;
  double overlapMm;
  int width, height;
  bool landscape;
  int printableWidth, printableHeight, overlap;
  int columns, rows;
  std::vector<TRect> sources;  // every sheet, row by row
};

class PlanCases : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanCases, GivesSheetsAndTheirPixels) {
  const PlanCase& c = GetParam();
  Result<PanelPlan> plan = PlanPosterPanels(c.width, c.height, Settings(c.paper, c.dpi, c.overlapMm));
  ASSERT_TRUE(plan.ok()) << plan.message();
  EXPECT_EQ(plan->Landscape, c.landscape);
  EXPECT_EQ(plan->PrintableWidth, c.printableWidth);
  EXPECT_EQ(plan->PrintableHeight, c.printableHeight);
  EXPECT_EQ(plan->Overlap, c.overlap);
  EXPECT_EQ(plan->Columns, c.columns);
  EXPECT_EQ(plan->Rows, c.rows);
  ASSERT_EQ(plan->Panels.size(), c.sources.size());
  for (size_t i = 0; i < c.sources.size(); ++i) {
    SCOPED_TRACE(plan->Panels[i].Label);
    EXPECT_EQ(plan->Panels[i].Source, c.sources[i]);
  }
}

// A4 with 10 mm margins leaves 190 x 277 mm: 748 x 1090 pixels at 100 dpi,
// 10 mm of overlap is 39 pixels, so each further sheet adds 709 (or 1051).
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    PosterPanels, PlanCases,
    ::testing::Values(
        PlanCase{"OneSheet", "A4", 100, 10, 700, 1000, false, 748, 1090, 39, 1, 1, {{0, 0, 700, 1000}}},
        PlanCase{"ExactlyOneSheetWide", "A4", 100, 10, 748, 1090, false, 748, 1090, 39, 1, 1, {{0, 0, 748, 1090}}},
        PlanCase{"OnePixelMoreTakesASecondSheet",
                 "A4", 100, 10, 749, 1090, false, 748, 1090, 39, 2, 1,
                 {{0, 0, 748, 1090}, {709, 0, 749, 1090}}},
        PlanCase{"PortraitNeedsFewer",
                 "A4", 100, 10, 2000, 1000, false, 748, 1090, 39, 3, 1,
                 {{0, 0, 748, 1000}, {709, 0, 1457, 1000}, {1418, 0, 2000, 1000}}},
        PlanCase{"LandscapeNeedsFewer",
                 "A4", 100, 10, 2100, 700, true, 1090, 748, 39, 2, 1,
                 {{0, 0, 1090, 700}, {1051, 0, 2100, 700}}},
        PlanCase{"GridOfFour",
                 "A4", 100, 10, 1400, 2000, false, 748, 1090, 39, 2, 2,
                 {{0, 0, 748, 1090}, {709, 0, 1400, 1090}, {0, 1051, 748, 2000}, {709, 1051, 1400, 2000}}},
        // Letter is 215.9 x 279.4 mm: 2313 x 3063 pixels inside the margins at 300 dpi.
        PlanCase{"LetterWithoutOverlap",
                 "letter", 300, 0, 4626, 3063, false, 2313, 3063, 0, 2, 1,
                 {{0, 0, 2313, 3063}, {2313, 0, 4626, 3063}}},
        // A square sheet is never turned.
        PlanCase{"SquarePaper", "300x300mm", 254, 5, 2800, 2800, false, 2800, 2800, 50, 1, 1, {{0, 0, 2800, 2800}}}),
    [](const ::testing::TestParamInfo<PlanCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST(PosterPanels, SheetsCoverThePictureWithoutGapAndShareExactlyTheOverlap) {
  const char* papers[] = {"A4", "A3", "letter", "120x90mm"};
  const int sizes[][2] = {{1, 1}, {63, 4000}, {999, 999}, {5000, 3001}, {16384, 16384}, {12345, 777}};
  for (const char* paper : papers)
    for (int dpi : {72, 150, 300})
      for (double overlapMm : {0.0, 7.5, 20.0})
        for (const auto& size : sizes) {
          SCOPED_TRACE(::testing::Message()
                       << paper << " " << dpi << " dpi " << overlapMm << " mm " << size[0] << "x" << size[1]);
          Result<PanelPlan> plan = PlanPosterPanels(size[0], size[1], Settings(paper, dpi, overlapMm));
          if (!plan) continue;  // too many sheets for a small sheet at a high resolution
          const PanelPlan& p = *plan;
          ASSERT_EQ(p.Panels.size(), size_t(p.Count()));
          for (int r = 0; r < p.Rows; ++r)
            for (int c = 0; c < p.Columns; ++c) {
              const TRect s = p.At(c, r).Source;
              ASSERT_EQ(p.At(c, r).Column, c);
              ASSERT_EQ(p.At(c, r).Row, r);
              ASSERT_LE(s.Width(), p.PrintableWidth);
              ASSERT_LE(s.Height(), p.PrintableHeight);
              // Every sheet brings pixels of its own beyond the shared strip.
              ASSERT_GT(s.Width(), c > 0 ? p.Overlap : 0);
              ASSERT_GT(s.Height(), r > 0 ? p.Overlap : 0);
              EXPECT_EQ(s.Left, c == 0 ? 0 : p.At(c - 1, r).Source.Right - p.Overlap);
              EXPECT_EQ(s.Top, r == 0 ? 0 : p.At(c, r - 1).Source.Bottom - p.Overlap);
              if (c + 1 == p.Columns) {
                EXPECT_EQ(s.Right, size[0]);
              }
              if (r + 1 == p.Rows) {
                EXPECT_EQ(s.Bottom, size[1]);
              }
              if (c + 1 < p.Columns) {
                EXPECT_EQ(s.Width(), p.PrintableWidth);
              }
              if (r + 1 < p.Rows) {
                EXPECT_EQ(s.Height(), p.PrintableHeight);
              }
            }
        }
}

TEST(PosterPanels, LabelsLetterColumnsAndNumberRows) {
  const std::pair<int, const char*> columns[] = {{0, "A"},   {1, "B"},   {25, "Z"},   {26, "AA"},  {27, "AB"},
                                                 {51, "AZ"}, {52, "BA"}, {701, "ZZ"}, {702, "AAA"}};
  for (const auto& [column, name] : columns) EXPECT_EQ(PanelColumnName(column), name) << column;
  EXPECT_EQ(PanelLabel(1, 2), "B3");
  EXPECT_EQ(PanelLabel(26, 9), "AA10");

  Result<PanelPlan> plan = PlanPosterPanels(1400, 2000, Settings("A4", 100, 10));
  ASSERT_TRUE(plan.ok());
  std::vector<std::string> labels;
  for (const Panel& p : plan->Panels) labels.push_back(p.Label);
  EXPECT_EQ(labels, (std::vector<std::string>{"A1", "B1", "A2", "B2"}));
}

TEST(PosterPanels, TextsGiveFinishedSizeAndSheetCount) {
  Result<PanelPlan> plan = PlanPosterPanels(2000, 1000, Settings("A4", 100, 10));
  ASSERT_TRUE(plan.ok());
  EXPECT_EQ(FinishedSizeText(*plan), "50.8 x 25.4 cm (20.00 x 10.00 in)");
  EXPECT_EQ(PanelCountText(*plan), "3 x 1 = 3 sheets of A4 portrait");
  plan = PlanPosterPanels(2100, 700, Settings("a4", 100, 10));
  ASSERT_TRUE(plan.ok());
  EXPECT_EQ(PanelCountText(*plan), "2 x 1 = 2 sheets of A4 landscape");
  plan = PlanPosterPanels(100, 100, Settings("300x400mm", 100, 10));
  ASSERT_TRUE(plan.ok());
  EXPECT_EQ(PanelCountText(*plan), "1 x 1 = 1 sheet of 300x400mm portrait");
}

TEST(PosterPanels, PaperNames) {
  struct Case {
    const char* text;
    bool ok;
    double w, h;
  } cases[] = {
      {"A4", true, 210, 297},
      {"a3", true, 297, 420},
      {"Letter", true, 215.9, 279.4},
      {"300x400mm", true, 300, 400},
      {"420X297", true, 420, 297},
      {"297.5x420mm", true, 297.5, 420},
      {"", false, 0, 0},
      {"A5", false, 0, 0},
      {"x400", false, 0, 0},
      {"300x", false, 0, 0},
      {"-300x400", false, 0, 0},
      {"1e3x400", false, 0, 0},
      {"30x400mm", false, 0, 0},
      {"300x6000mm", false, 0, 0},
      {"300x400cm", false, 0, 0},
      {"3.0.0x400", false, 0, 0},
      {"300x400x500", false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Result<PaperSize> paper = ParsePaperSize(c.text);
    ASSERT_EQ(paper.ok(), c.ok) << (paper.ok() ? "" : paper.message());
    if (!c.ok) {
      EXPECT_NE(paper.message().find("paper"), std::string::npos) << paper.message();
      continue;
    }
    EXPECT_DOUBLE_EQ(paper->WidthMm, c.w);
    EXPECT_DOUBLE_EQ(paper->HeightMm, c.h);
  }
}

TEST(PosterPanels, RefusesSettingsThatLeaveNoRoomWithAClearMessage) {
  struct Case {
    const char* name;
    int width, height;
    PanelSettings settings;
    const char* message;
  } cases[] = {
      {"NoPicture", 0, 100, Settings("A4", 100, 10), "no mosaic"},
      {"ZeroDpi", 100, 100, Settings("A4", 0, 10), "resolution must be from 1 to 2400 dpi, not 0"},
      {"NegativeDpi", 100, 100, Settings("A4", -72, 10), "not -72"},
      {"HugeDpi", 100, 100, Settings("A4", 2401, 10), "not 2401"},
      {"NegativeOverlap", 100, 100, Settings("A4", 100, -1), "overlap cannot be negative"},
      {"TinyMargin", 100, 100, Settings("A4", 100, 10, 4), "margin must be from 5 to 100 mm"},
      {"PaperWithinMargins", 100, 100, Settings("60x200mm", 100, 10, 30),
       "60x200mm sheet (60.0 x 200.0 mm) is no larger than its margins"},
      {"NotOnePixel", 100, 100, Settings("60x60mm", 1, 0, 25), "not one pixel fits"},
      {"OverlapOfHalfASheet", 5000, 5000, Settings("A4", 100, 95), "must be less than half"},
      {"TooManySheets", 65535, 65535, Settings("50x50mm", 2400, 0, 20), "at most 2000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Result<PanelPlan> plan = PlanPosterPanels(c.width, c.height, c.settings);
    ASSERT_FALSE(plan.ok());
    EXPECT_NE(plan.message().find(c.message), std::string::npos) << plan.message();
  }
}

// Too many sheets: the resolution the message asks for is the lowest that
// plans, in either way of the paper; past the highest, only the paper can
// change.
TEST(PosterPanels, TooManySheetsNamesTheLowestResolutionThatFits) {
  struct Case {
    const char* name;
    int width, height;
    PanelSettings settings;
  } cases[] = {
      {"OneDpiOnA4", 5120, 5120, Settings("A4", 1, 10)},
      {"LowDpiWithOverlap", 20000, 3000, Settings("A3", 12, 25)},
      {"TallOnLandscapePaper", 800, 30000, Settings("300x100mm", 7, 0, 5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result<PanelPlan> refused = PlanPosterPanels(c.width, c.height, c.settings);
    ASSERT_FALSE(refused.ok());
    const std::string& text = refused.message();
    const size_t at = text.find("Choose a higher resolution (at least ");
    ASSERT_NE(at, std::string::npos) << text;
    const int dpi = std::atoi(text.c_str() + at + 37);
    ASSERT_GT(dpi, c.settings.Dpi) << text;
    PanelSettings s = c.settings;
    s.Dpi = dpi;
    EXPECT_TRUE(PlanPosterPanels(c.width, c.height, s).ok()) << dpi;
    s.Dpi = dpi - 1;
    EXPECT_FALSE(PlanPosterPanels(c.width, c.height, s).ok()) << dpi - 1;
  }
  for (int dpi : {kMaxPanelDpi, 600}) {
    const Result<PanelPlan> refused = PlanPosterPanels(65535, 65535, Settings("50x50mm", dpi, 0, 20));
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.message().find("resolution (at least"), std::string::npos) << refused.message();
    EXPECT_NE(refused.message().find("Choose larger paper"), std::string::npos) << refused.message();
  }
}

}  // namespace
}  // namespace velmora
