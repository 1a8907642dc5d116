#include "match/DetailMatch.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "imaging/PictureOps.h"

namespace velmora {
namespace {

// The sample of the picture a cell sample is compared with, per orientation.
constexpr std::array<std::array<uint8_t, kDetailSamples>, 4> kSampleOf = [] {
  std::array<std::array<uint8_t, kDetailSamples>, 4> t{};
  for (int o = 0; o < 4; ++o)
    for (int y = 0; y < kDetailSide; ++y)
      for (int x = 0; x < kDetailSide; ++x) {
        const int px = (o & 1) ? kDetailSide - 1 - x : x;
        const int py = (o & 2) ? kDetailSide - 1 - y : y;
        t[o][y * kDetailSide + x] = uint8_t(py * kDetailSide + px);
      }
  return t;
}();

LabColor MeanOf(const std::array<LabColor, kDetailSamples>& s) {
  LabColor m;
  for (const LabColor& c : s) {
    m.L += c.L;
    m.A += c.A;
    m.B += c.B;
  }
  return {m.L / kDetailSamples, m.A / kDetailSamples, m.B / kDetailSamples};
}

float Sane(float v, float lo, float hi) { return std::isfinite(v) ? std::clamp(v, lo, hi) : 0.0f; }

}  // namespace

void PutDetailBytes(const DetailSummary& summary, uint8_t* out) {
  for (int i = 0; i < kDetailSamples; ++i) {
    const float v[3] = {summary.Sample[size_t(i)].L, summary.Sample[size_t(i)].A,
                        summary.Sample[size_t(i)].B};
    for (int c = 0; c < 3; ++c) {
      uint32_t bits = 0;
      std::memcpy(&bits, &v[c], 4);
      for (int b = 0; b < 4; ++b) *out++ = uint8_t(bits >> (8 * b));
    }
  }
}

DetailSummary DetailFromBytes(const uint8_t* bytes) {
  DetailSummary s;
  auto next = [&bytes] {
    const uint32_t bits =
        uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
    bytes += 4;
    float v = 0;
    std::memcpy(&v, &bits, 4);
    return v;
  };
  for (LabColor& c : s.Sample) {
    c.L = Sane(next(), 0.0f, 100.0f);
    c.A = Sane(next(), -200.0f, 200.0f);
    c.B = Sane(next(), -200.0f, 200.0f);
  }
  s.Mean = MeanOf(s.Sample);
  return s;
}

DetailSummary ComputeDetailSummary(const TBitmap32& picture) {
  DetailSummary s;
  if (picture.Empty()) return s;
  Bitmap24 grid(kDetailSide, kDetailSide);
  AreaStretch(picture, picture.BoundsRect(), grid);
  return DetailOfCell(grid, 0, 0);
}

DetailSummary DetailOfCell(const Bitmap24& grid, int x, int y) {
  DetailSummary s;
  if (x < 0 || y < 0 || int64_t(x + 1) * kDetailSide > grid.Width() ||
      int64_t(y + 1) * kDetailSide > grid.Height())
    return s;
  for (int j = 0; j < kDetailSide; ++j) {
    const uint8_t* p = grid.PixelAddress(x * kDetailSide, y * kDetailSide + j);
    for (int i = 0; i < kDetailSide; ++i, p += 3)
      s.Sample[size_t(j * kDetailSide + i)] = LabFromRgb(p[2], p[1], p[0]);
  }
  s.Mean = MeanOf(s.Sample);
  return s;
}

int DetailDistance(const DetailSummary& picture, const DetailSummary& cell, int enhance, int orientation,
                   int bound, const DetailWeights* weights) {
  const float t = std::clamp(enhance, 0, 100) / 100.0f;
  // The renderer moves the picture `enhance` percent toward the cell's mean.
  const float sL = (picture.Mean.L - cell.Mean.L) * t;
  const float sA = (picture.Mean.A - cell.Mean.A) * t;
  const float sB = (picture.Mean.B - cell.Mean.B) * t;
  const auto& map = kSampleOf[size_t(orientation & 3)];
  const float limit = bound == INT_MAX ? 3.0e38f : float(bound) / kDetailScale;
  float sum = 0;
  for (int row = 0; row < kDetailSide; ++row) {
    for (int i = row * kDetailSide; i < (row + 1) * kDetailSide; ++i) {
      const LabColor& p = picture.Sample[map[size_t(i)]];
      const LabColor& c = cell.Sample[size_t(i)];
      const float dL = p.L - sL - c.L;
      const float dA = p.A - sA - c.A;
      const float dB = p.B - sB - c.B;
      // A weight of 1 leaves the root as it is, bit for bit.
      const float root = std::sqrt(dL * dL + dA * dA + dB * dB);
      sum += weights != nullptr ? (*weights)[size_t(i)] * root : root;
    }
    if (sum >= limit) return bound;
  }
  const float scaled = sum * kDetailScale + 0.5f;
  return scaled >= float(bound) ? bound : static_cast<int>(scaled);
}

ShownMeanLook::ShownMeanLook(const ColorSignature& cell, int enhance, int alphaMain)
    : weight_((1.0f - std::clamp(enhance, 0, 100) / 100.0f) *
              (1.0f - std::clamp(alphaMain, 0, 255) / 255.0f)) {
  constexpr float kStep = 12.0f;
  const SigColor& m = cell.Mean();
  const float rgb[3] = {float(m.Red), float(m.Green), float(m.Blue)};
  lab_ = LabFromRgb(m.Red, m.Green, m.Blue);
  for (int ch = 0; ch < 3; ++ch) {
    mean_[ch] = rgb[ch];
    float lo[3] = {rgb[0], rgb[1], rgb[2]};
    float hi[3] = {rgb[0], rgb[1], rgb[2]};
    lo[ch] = std::max(0.0f, rgb[ch] - kStep);
    hi[ch] = std::min(255.0f, rgb[ch] + kStep);
    const LabColor a = LabFromRgbF(lo[0], lo[1], lo[2]);
    const LabColor b = LabFromRgbF(hi[0], hi[1], hi[2]);
    const float per = weight_ / (hi[ch] - lo[ch]);
    slope_[0][ch] = (b.L - a.L) * per;
    slope_[1][ch] = (b.A - a.A) * per;
    slope_[2][ch] = (b.B - a.B) * per;
  }
}

int32_t ShownMeanLook::Distance(const SigColor& picture) const {
  auto shown = [this](int channel, int value) {
    return mean_[channel] + (float(value) - mean_[channel]) * weight_;
  };
  const LabColor lab = LabFromRgbF(shown(0, picture.Red), shown(1, picture.Green), shown(2, picture.Blue));
  return static_cast<int32_t>(DeltaE76(lab, lab_) * kShownMeanScale + 0.5f);
}

int32_t ShownMeanLook::Estimate(const SigColor& picture) const {
  const float d[3] = {float(picture.Red) - mean_[0], float(picture.Green) - mean_[1],
                      float(picture.Blue) - mean_[2]};
  float sum = 0;
  for (int i = 0; i < 3; ++i) {
    const float v = slope_[i][0] * d[0] + slope_[i][1] * d[1] + slope_[i][2] * d[2];
    sum += v * v;
  }
  return static_cast<int32_t>(std::sqrt(sum) * kShownMeanScale + 0.5f);
}

int DetailBestOrientation(const DetailSummary& picture, const DetailSummary& cell, int enhance, bool allowH,
                          bool allowV, int* orientation, const DetailWeights* weights) {
  int best = DetailDistance(picture, cell, enhance, 0, INT_MAX, weights);
  int chosen = 0;
  for (int o = 1; o < 4; ++o) {
    if ((o & 1) && !allowH) continue;
    if ((o & 2) && !allowV) continue;
    // Strictly smaller only: on a tie the earlier orientation stays.
    const int d = DetailDistance(picture, cell, enhance, o, best, weights);
    if (d < best) {
      best = d;
      chosen = o;
    }
  }
  if (orientation) *orientation = chosen;
  return best;
}

std::vector<int> FirstOfSame(const std::vector<const DetailSummary*>& summaries) {
  static_assert(sizeof(DetailSummary) == (kDetailSamples + 1) * 3 * sizeof(float), "no padding to compare");
  std::vector<int> first(summaries.size());
  // Each hash keeps the first summary that had it; a later one with the
  // same hash but other bytes simply counts as new.
  std::unordered_map<uint64_t, int> seen;
  seen.reserve(summaries.size());
  for (size_t i = 0; i < summaries.size(); ++i) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(summaries[i]);
    uint64_t h = 1469598103934665603ull;
    for (size_t b = 0; b < sizeof(DetailSummary); ++b) h = (h ^ bytes[b]) * 1099511628211ull;
    const auto [at, added] = seen.emplace(h, int(i));
    first[i] = !added && std::memcmp(summaries[size_t(at->second)], summaries[i], sizeof(DetailSummary)) == 0
                   ? at->second
                   : int(i);
  }
  return first;
}

}  // namespace velmora
