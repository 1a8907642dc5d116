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

// Pairs from Sharma, Wu and Dalal's CIEDE2000 test data, chosen to cover the
// hue-angle wrap, greys, the blue region's rotation term and large and small
// differences; expected values to 4 decimals.
TEST(ColorLab, DeltaE2000MatchesPublishedPairs) {
  struct Case {
    int pair;
    LabColor a, b;
    double expected;
  };
  const Case cases[] = {
      {1, {50.0000f, 2.6772f, -79.7751f}, {50.0000f, 0.0000f, -82.7485f}, 2.0425},
      {4, {50.0000f, -1.3802f, -84.2814f}, {50.0000f, 0.0000f, -82.7485f}, 1.0000},
      {7, {50.0000f, 0.0000f, 0.0000f}, {50.0000f, -1.0000f, 2.0000f}, 2.3669},
      {8, {50.0000f, -1.0000f, 2.0000f}, {50.0000f, 0.0000f, 0.0000f}, 2.3669},
      {14, {50.0000f, 2.4900f, -0.0010f}, {50.0000f, -2.4900f, 0.0011f}, 7.2195},
      {17, {50.0000f, 2.5000f, 0.0000f}, {73.0000f, 25.0000f, -18.0000f}, 27.1492},
      {19, {50.0000f, 2.5000f, 0.0000f}, {56.0000f, -27.0000f, -3.0000f}, 31.9030},
      {22, {50.0000f, 2.5000f, 0.0000f}, {50.0000f, 3.1736f, 0.5854f}, 1.0000},
      {25, {60.2574f, -34.0099f, 36.2677f}, {60.4626f, -34.1751f, 39.4387f}, 1.2644},
      {28, {35.0831f, -44.1164f, 3.7933f}, {35.0232f, -40.0716f, 1.5901f}, 1.8645},
      {31, {90.8027f, -2.0831f, 1.4410f}, {91.1528f, -1.6435f, 0.0447f}, 1.4441},
      {34, {2.0776f, 0.0795f, -1.1350f}, {0.9033f, -0.0636f, -0.5514f}, 0.9082},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(DeltaE2000(c.a, c.b), c.expected, 5e-5) << "pair " << c.pair;
    EXPECT_NEAR(DeltaE2000(c.b, c.a), c.expected, 5e-5) << "pair " << c.pair << " reversed";
  }
  EXPECT_EQ(DeltaE2000(LabColor{40, 10, -20}, LabColor{40, 10, -20}), 0.0);
}

}  // namespace
}  // namespace velmora
