// Filter kernels and mapping tables of the kernel resampler. Everything here
// is single precision on purpose: the last bit of each centre and kernel value
// decides ties in the rounding of the weights, so no step may be widened to
// double.
#include "imaging/ResampleKernels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace velmora::resample {
namespace {

constexpr float kPi = 3.14159265358979f;

float Sinc(float u) {
  if (u == 0.0f) return 1.0f;
  const float pu = kPi * u;
  return std::sin(pu) / pu;
}

// Below this scale every shrinking weight s * K * 256 is under 0.5 (|K| <= 1
// for all kernels), so every tap rounds to 0 and is dropped; skipping the
// loop then gives the same table without walking a window of millions of
// source pixels when a huge source rectangle lands on a few target pixels.
constexpr float kSilentScale = 1.0f / 1024.0f;

float BoxKernel(float x) { return (x > -0.5f && x <= 0.5f) ? 1.0f : 0.0f; }

float LinearKernel(float x) {
  const float t = std::fabs(x);
  return t < 1.0f ? 1.0f - t : 0.0f;
}

float CosineKernel(float x) { return std::fabs(x) < 1.0f ? (std::cos(kPi * x) + 1.0f) / 2.0f : 0.0f; }

float SplineKernel(float x) {
  const float t = std::fabs(x);
  if (t < 1.0f) return t * t * t / 2.0f - t * t + 2.0f / 3.0f;
  if (t < 2.0f) {
    const float u = 2.0f - t;
    return u * u * u / 6.0f;
  }
  return 0.0f;
}

float LanczosKernel(float x) {
  const float t = std::fabs(x);
  return t < 3.0f ? Sinc(t) * Sinc(t / 3.0f) : 0.0f;
}

float MitchellKernel(float x) {
  const float t = std::fabs(x);
  if (t < 1.0f) return (7.0f * t * t * t - 12.0f * t * t + 16.0f / 3.0f) / 6.0f;
  if (t < 2.0f) return (-(7.0f / 3.0f) * t * t * t + 12.0f * t * t - 20.0f * t + 32.0f / 3.0f) / 6.0f;
  return 0.0f;
}

// Calls `fill` with the kernel of `filter` as a lambda of its own type, so
// the table loop is compiled once per kernel with the kernel inlined.
template <typename Fill>
void WithKernel(TStretchFilter filter, Fill&& fill) {
  switch (filter) {
    case sfNearest:
      return fill([](float x) { return BoxKernel(x); });
    case sfDraft:
    case sfLinear:
      return fill([](float x) { return LinearKernel(x); });
    case sfCosine:
      return fill([](float x) { return CosineKernel(x); });
    case sfSpline:
      return fill([](float x) { return SplineKernel(x); });
    case sfLanczos:
      return fill([](float x) { return LanczosKernel(x); });
    case sfMitchell:
      return fill([](float x) { return MitchellKernel(x); });
  }
  return fill([](float x) { return LinearKernel(x); });
}

}  // namespace

float KernelValue(TStretchFilter filter, float x) {
  float value = 0.0f;
  WithKernel(filter, [&](auto kernel) { value = kernel(x); });
  return value;
}

float KernelSupport(TStretchFilter filter) {
  switch (filter) {
    case sfSpline:
    case sfMitchell:
      return 2.0f;
    case sfLanczos:
      return 3.0f;
    default:
      return 1.0f;
  }
}

void BuildKernelTable(TStretchFilter filter, int64_t lo, int64_t hi, int64_t targetSize, int64_t firstIndex,
                      int64_t count, int32_t limit, TapTable& table) {
  table.first.clear();
  table.taps.clear();
  table.minPos = table.maxPos = 0;
  table.maxAbsSum = 0;
  if (count <= 0) return;

  const auto clampPos = [&](int64_t j) {
    j = std::clamp<int64_t>(j, lo, hi - 1);
    return static_cast<int32_t>(std::clamp<int64_t>(j, 0, limit - 1));
  };

  const int64_t sw = hi - lo;
  table.first.reserve(static_cast<size_t>(count) + 1);
  if (sw == 1) {
    table.taps.assign(static_cast<size_t>(count), Tap{clampPos(lo), 256});
    for (int64_t m = 0; m <= count; ++m) table.first.push_back(static_cast<uint32_t>(m));
    table.minPos = table.maxPos = clampPos(lo);
    table.maxAbsSum = 256;
    return;
  }

  // s: target pixels per source pixel, edges of the two spans aligned.
  const float s = static_cast<float>(targetSize) / static_cast<float>(sw);
  const bool enlarging = s >= 1.0f;
  const float window = enlarging ? KernelSupport(filter) : KernelSupport(filter) / s;
  const bool silent = !enlarging && s < kSilentScale;
  const float flo = static_cast<float>(lo);
  // Enough for every enlarging table; wide shrinking windows grow as needed.
  if (!silent) table.taps.reserve(static_cast<size_t>(count) * std::min<size_t>(2 * size_t(window) + 3, 64));

  int32_t minPos = std::numeric_limits<int32_t>::max();
  int32_t maxPos = std::numeric_limits<int32_t>::min();
  WithKernel(filter, [&](auto kernel) {
    for (int64_t m = 0; m < count; ++m) {
      table.first.push_back(static_cast<uint32_t>(table.taps.size()));
      const size_t begin = table.taps.size();
      // Centre of target pixel i in source coordinates, evaluated left to
      // right as ((i + 0.5) / s + lo) - 0.5 with every step rounded to float.
      const float c = (static_cast<float>(firstIndex + m) + 0.5f) / s + flo - 0.5f;
      int32_t sum = 0;
      if (!silent) {
        const auto j0 = static_cast<int64_t>(std::floor(c - window));
        const auto j1 = static_cast<int64_t>(std::ceil(c + window));
        for (int64_t j = j0; j <= j1; ++j) {
          const float d = c - static_cast<float>(j);
          const float w = enlarging ? kernel(d) * 256.0f : s * kernel(d * s) * 256.0f;
          // nearbyint rounds ties to even in the default rounding mode.
          const auto weight = static_cast<int32_t>(std::nearbyint(w));
          if (weight == 0) continue;
          table.taps.push_back(Tap{clampPos(j), weight});
          sum += weight;
        }
      }
      const size_t n = table.taps.size() - begin;
      if (n == 0) {
        table.taps.push_back(Tap{clampPos(static_cast<int64_t>(std::floor(c))), 256});
      } else {
        // The rounding error goes to the middle tap (the first of two middles).
        table.taps[begin + (n - 1) / 2].weight -= sum - 256;
      }
      int64_t absSum = 0;
      for (size_t k = begin; k < table.taps.size(); ++k) {
        minPos = std::min(minPos, table.taps[k].pos);
        maxPos = std::max(maxPos, table.taps[k].pos);
        absSum += std::abs(table.taps[k].weight);
      }
      table.maxAbsSum = std::max(table.maxAbsSum, absSum);
    }
  });
  table.first.push_back(static_cast<uint32_t>(table.taps.size()));
  table.minPos = minPos;
  table.maxPos = maxPos;
}

}  // namespace velmora::resample
