#include "imaging/ColorLab.h"

#include <array>
#include <cmath>
#include <numbers>

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

double DeltaE2000(const LabColor& lab1, const LabColor& lab2) {
  constexpr double kPi = std::numbers::pi;
  constexpr double kDeg = kPi / 180.0;
  const double l1 = lab1.L, a1 = lab1.A, b1 = lab1.B;
  const double l2 = lab2.L, a2 = lab2.A, b2 = lab2.B;
  const double pow25to7 = 6103515625.0;  // 25^7
  const double cMean = (std::hypot(a1, b1) + std::hypot(a2, b2)) / 2.0;
  const double c7 = std::pow(cMean, 7.0);
  const double g = 0.5 * (1.0 - std::sqrt(c7 / (c7 + pow25to7)));
  const double a1p = (1.0 + g) * a1, a2p = (1.0 + g) * a2;
  const double c1p = std::hypot(a1p, b1), c2p = std::hypot(a2p, b2);
  // Hue angles in 0..2 pi; 0 for a grey.
  auto hue = [&](double b, double ap) {
    if (b == 0 && ap == 0) return 0.0;
    const double h = std::atan2(b, ap);
    return h < 0 ? h + 2 * kPi : h;
  };
  const double h1p = hue(b1, a1p), h2p = hue(b2, a2p);

  const double dLp = l2 - l1;
  const double dCp = c2p - c1p;
  double dhp = 0;
  if (c1p * c2p != 0) {
    dhp = h2p - h1p;
    if (dhp > kPi) dhp -= 2 * kPi;
    else if (dhp < -kPi) dhp += 2 * kPi;
  }
  const double dHp = 2.0 * std::sqrt(c1p * c2p) * std::sin(dhp / 2.0);

  const double lMean = (l1 + l2) / 2.0;
  const double cpMean = (c1p + c2p) / 2.0;
  double hMean = h1p + h2p;
  if (c1p * c2p != 0) {
    if (std::fabs(h1p - h2p) <= kPi) hMean /= 2.0;
    else if (h1p + h2p < 2 * kPi) hMean = (hMean + 2 * kPi) / 2.0;
    else hMean = (hMean - 2 * kPi) / 2.0;
  }
  const double t = 1.0 - 0.17 * std::cos(hMean - 30 * kDeg) + 0.24 * std::cos(2 * hMean) +
                   0.32 * std::cos(3 * hMean + 6 * kDeg) - 0.20 * std::cos(4 * hMean - 63 * kDeg);
  const double dTheta = 30 * kDeg * std::exp(-std::pow((hMean / kDeg - 275.0) / 25.0, 2.0));
  const double cp7 = std::pow(cpMean, 7.0);
  const double rc = 2.0 * std::sqrt(cp7 / (cp7 + pow25to7));
  const double l50 = (lMean - 50.0) * (lMean - 50.0);
  const double sl = 1.0 + 0.015 * l50 / std::sqrt(20.0 + l50);
  const double sc = 1.0 + 0.045 * cpMean;
  const double sh = 1.0 + 0.015 * cpMean * t;
  const double rt = -std::sin(2 * dTheta) * rc;
  const double tl = dLp / sl, tc = dCp / sc, th = dHp / sh;
  return std::sqrt(tl * tl + tc * tc + th * th + rt * tc * th);
}

}  // namespace velmora
