// The wizard's "Mosaic Size" page: sizes and label texts for a set of spin
// edit values, the ranges applied before use, the memory figures.
#include "project/WizardSizes.h"

#include "engine/PaperSize.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(WizardSizes, LabelsShowRoundedSizesWithoutTrailingZeros) {
  const struct {
    WizardSizeInput in;
    const char *pixels, *inch, *cm, *aspect, *need;
  } cases[] = {
      {{48, 48, 32, 32, 72, false}, "1536 Pixels", "21.33 Inch", "54.19 CM",
       "Aspect Ratio of final mosaic : 100 / 100", "You need 6.75 MB memory to create this project."},
      {{48, 48, 32, 32, 300, false}, "1536 Pixels", "5.12 Inch", "13 CM",
       "Aspect Ratio of final mosaic : 100 / 100", "You need 6.75 MB memory to create this project."},
      {{45, 45, 32, 32, 72, false}, "1440 Pixels", "20 Inch", "50.8 CM",
       "Aspect Ratio of final mosaic : 100 / 100", "You need 5.93 MB memory to create this project."},
      {{64, 48, 32, 32, 72, false}, "2048 Pixels", "28.44 Inch", "72.25 CM",
       "Aspect Ratio of final mosaic : 75 / 100", "You need 9.00 MB memory to create this project."},
  };
  for (const auto& c : cases) {
    tmosaicproject p = DefaultProject();
    const WizardSizeLabels l = ComputeWizardSizes(c.in, 0, 0, 0, p);
    EXPECT_EQ(l.LBMWP, c.pixels);
    EXPECT_EQ(l.lbmwi, c.inch);
    EXPECT_EQ(l.lbmwm, c.cm);
    EXPECT_EQ(l.lbaspect, c.aspect);
    EXPECT_EQ(l.LBMBneed, c.need);
    EXPECT_EQ(l.lbaspect2, "");  // no main picture yet
    EXPECT_EQ(p.FinalWidth, c.in.CellsAcross * c.in.CellWidth);
  }
}

TEST(WizardSizes, PaperSizesAreRoundedExactlyWithHalvesUp) {
  const struct {
    int64_t count, perInch;
    PaperUnit unit;
    const char *text, *shortText;
  } cases[] = {
      {1536, 72, PaperUnit::Cm, "54.19", "54.19"},  // 54.1866...
      {1536, 72, PaperUnit::Inch, "21.33", "21.33"},
      {225, 100, PaperUnit::Cm, "5.72", "5.72"},  // 5.715: the half goes up
      {1, 200, PaperUnit::Inch, "0.01", "0.01"},  // 0.005
      {1, 201, PaperUnit::Inch, "0.00", "0"},
      {1536, 300, PaperUnit::Cm, "13.00", "13"},
      {1440, 72, PaperUnit::Cm, "50.80", "50.8"},
      {5, 0, PaperUnit::Cm, "0.00", "0"},  // no resolution
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.count) + " at " + std::to_string(c.perInch));
    EXPECT_EQ(PaperSizeText(c.count, c.perInch, c.unit), c.text);
    EXPECT_EQ(PaperSizeShortText(c.count, c.perInch, c.unit), c.shortText);
  }
}

TEST(WizardSizes, RatiosMatchWithinHalfACell) {
  const struct {
    int across, down, cellWidth, cellHeight, mainWidth, mainHeight;
    bool match;
  } cases[] = {
      {48, 36, 32, 32, 800, 600, true},   // exactly 4:3
      {48, 37, 32, 32, 800, 600, false},  // a cell too high
      {48, 36, 32, 32, 800, 605, true},   // 9.6 pixels short of 1161.6: less than half a cell
      {48, 37, 32, 32, 800, 605, false},  // 22.4 pixels over
      {48, 37, 32, 64, 800, 605, false},  // 2368 high: far too high whatever the cells
      {50, 8, 8, 40, 800, 600, true},     // 320 of 300 high: half a 40-pixel cell is 20
      {48, 48, 32, 32, 0, 0, true},       // no picture: nothing to compare
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.across) + " x " + std::to_string(c.down));
    tmosaicproject p = DefaultProject();
    (void)ComputeWizardSizes({c.across, c.down, c.cellWidth, c.cellHeight, 72, false}, 0, 0, 0, p);
    EXPECT_EQ(AspectRatiosMatch(p, c.mainWidth, c.mainHeight), c.match);
    EXPECT_EQ(ComputeWizardSizes({c.across, c.down, c.cellWidth, c.cellHeight, 72, false}, c.mainWidth,
                                 c.mainHeight, 0, p)
                  .RatiosDiffer,
              !c.match);
  }
}

TEST(WizardSizes, MainPictureAndMemoryFigures) {
  tmosaicproject p = DefaultProject();
  const WizardSizeLabels l = ComputeWizardSizes({}, 800, 600, uint64_t(1) << 30, p);
  EXPECT_EQ(l.lbaspect2, "Aspect Ratio of main image : 75 / 100");
  EXPECT_EQ(l.LBMBphy, "Your Computer has 1024.00MB Memory Installed.  ");
  EXPECT_GT(PhysicalMemoryBytes(), 0u);
}

TEST(WizardSizes, TypedValuesOutsideTheRangesAreLimitedBeforeUse) {
  tmosaicproject p = DefaultProject();
  (void)ComputeWizardSizes({900, 3, 0, 700, 0, true}, 0, 0, 0, p);
  EXPECT_EQ(p.CellsAcross, 640);
  EXPECT_EQ(p.CellsDown, 8);
  EXPECT_EQ(p.CellWidth, 8);
  EXPECT_EQ(p.CellHeight, 640);
  EXPECT_EQ(p.Dpi, 30);
  EXPECT_TRUE(p.CropMainImage);
  EXPECT_EQ(p.FinalWidth, 640 * 8);
}

}  // namespace
}  // namespace velmora
