// The wizard's "Mosaic Size" page: sizes and label texts for a set of spin
// edit values, the ranges applied before use, the memory figures.
#include "project/WizardSizes.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(WizardSizes, LabelsShowTruncatedSizesWithoutTrailingZeros) {
  const struct {
    WizardSizeInput in;
    const char *pixels, *inch, *cm, *aspect, *need;
  } cases[] = {
      {{48, 48, 32, 32, 72, false}, "1536 Pixels", "21.33 Inch", "54.18 CM",
       "Aspect Ratio of final mosaic : 100 / 100", "You need 6.75 MB memory to create this project."},
      {{48, 48, 32, 32, 300, false}, "1536 Pixels", "5.12 Inch", "13 CM",
       "Aspect Ratio of final mosaic : 100 / 100", "You need 6.75 MB memory to create this project."},
      {{45, 45, 32, 32, 72, false}, "1440 Pixels", "20 Inch", "50.8 CM",
       "Aspect Ratio of final mosaic : 100 / 100", "You need 5.93 MB memory to create this project."},
      {{64, 48, 32, 32, 72, false}, "2048 Pixels", "28.44 Inch", "72.24 CM",
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
