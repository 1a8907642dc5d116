#include "imaging/ColorLab.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

// Reference values from the CIE formulas for sRGB under D65.
TEST(ColorLab, KnownColoursAndDistances) {
  struct Case {
    uint8_t r, g, b;
    float l, a, bb;
  };
  const Case cases[] = {
      {0, 0, 0, 0.0f, 0.0f, 0.0f},           {255, 255, 255, 100.0f, 0.0f, 0.0f},
      {255, 0, 0, 53.24f, 80.09f, 67.20f},   {0, 255, 0, 87.73f, -86.18f, 83.18f},
      {0, 0, 255, 32.30f, 79.19f, -107.86f}, {128, 128, 128, 53.59f, 0.0f, 0.0f},
  };
  for (const Case& c : cases) {
    const LabColor lab = LabFromRgb(c.r, c.g, c.b);
    EXPECT_NEAR(lab.L, c.l, 0.05f) << int(c.r) << "," << int(c.g) << "," << int(c.b);
    EXPECT_NEAR(lab.A, c.a, 0.05f) << int(c.r) << "," << int(c.g) << "," << int(c.b);
    EXPECT_NEAR(lab.B, c.bb, 0.05f) << int(c.r) << "," << int(c.g) << "," << int(c.b);
    const LabColor viaFloat = LabFromRgbF(c.r, c.g, c.b);
    EXPECT_NEAR(DeltaE76(lab, viaFloat), 0.0f, 1e-3f);
  }
  EXPECT_NEAR(DeltaE76(LabFromRgb(0, 0, 0), LabFromRgb(255, 255, 255)), 100.0f, 1e-3f);
  EXPECT_NEAR(DeltaE76Squared(LabColor{3, 4, 0}, LabColor{}), 25.0f, 1e-4f);
}

}  // namespace
}  // namespace velmora
