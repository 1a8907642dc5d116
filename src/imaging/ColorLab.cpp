#include "imaging/ColorLab.h"

#include <array>
#include <cmath>

namespace velmora {
namespace {

float Linearise(float v255) {
  const float c = v255 / 255.0f;
  return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
}

const std::array<float, 256>& LinearTable() {
  static const std::array<float, 256> table = [] {
    std::array<float, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = Linearise(static_cast<float>(i));
    return t;
  }();
  return table;
}

float LabF(float t) {
  constexpr float kEpsilon = 216.0f / 24389.0f;
  constexpr float kKappa = 24389.0f / 27.0f;
  return t > kEpsilon ? std::cbrt(t) : (kKappa * t + 16.0f) / 116.0f;
}

LabColor LabFromLinear(float r, float g, float b) {
  // sRGB to XYZ, divided by the D65 white point.
  const float x = (0.4124564f * r + 0.3575761f * g + 0.1804375f * b) / 0.95047f;
  const float y = 0.2126729f * r + 0.7151522f * g + 0.0721750f * b;
  const float z = (0.0193339f * r + 0.1191920f * g + 0.9503041f * b) / 1.08883f;
  const float fx = LabF(x), fy = LabF(y), fz = LabF(z);
  return {116.0f * fy - 16.0f, 500.0f * (fx - fy), 200.0f * (fy - fz)};
}

}  // namespace

LabColor LabFromRgb(uint8_t red, uint8_t green, uint8_t blue) {
  const auto& lin = LinearTable();
  return LabFromLinear(lin[red], lin[green], lin[blue]);
}

LabColor LabFromRgbF(float red, float green, float blue) {
  return LabFromLinear(Linearise(red), Linearise(green), Linearise(blue));
}

float DeltaE76Squared(const LabColor& a, const LabColor& b) {
  const float dl = a.L - b.L, da = a.A - b.A, db = a.B - b.B;
  return dl * dl + da * da + db * db;
}

float DeltaE76(const LabColor& a, const LabColor& b) { return std::sqrt(DeltaE76Squared(a, b)); }

}  // namespace velmora
