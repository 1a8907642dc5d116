// Internal to the resampled draw: the seven filter kernels and the per-axis
// mapping tables of the kernel resampler. Weights are integers in units of
// 1/256; a position's weights always sum to exactly 256. Exposed in a header
// so the tests can pin the tables themselves, not only the pictures.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/Bitmap32.h"

namespace velmora::resample {

// K(x) in single precision, x being the distance from the sample centre in
// source pixels. sfDraft shares the linear kernel.
float KernelValue(TStretchFilter filter, float x);
// Half-width W of the kernel's support, in source pixels.
float KernelSupport(TStretchFilter filter);
// Kernels with negative lobes, whose sums must be clamped into 0..255.
constexpr bool KernelHasNegativeLobes(TStretchFilter filter) {
  return filter == sfLanczos || filter == sfMitchell;
}

struct Tap {
  int32_t pos;     // bitmap coordinate, already clamped into the bitmap
  int32_t weight;  // 1/256 units; negative in the lobes of Lanczos and Mitchell
};

// Taps of target positions firstIndex .. firstIndex + count - 1 (counted from
// the target rectangle's edge), tap k of position m at taps[first[m] + k].
struct TapTable {
  std::vector<uint32_t> first;  // count + 1 entries
  std::vector<Tap> taps;
  int32_t minPos = 0;  // smallest and largest tap position over the table
  int32_t maxPos = 0;
  int64_t maxAbsSum = 0;  // largest sum of |weight| over one position's taps

  int count() const { return first.empty() ? 0 : static_cast<int>(first.size() - 1); }
};

// One axis of the kernel resampler: the source span [lo, hi) (source-rect
// coordinates, which may reach outside the bitmap), the full target span
// targetSize, and the bitmap's size on this axis (limit >= 1). Positions are
// clamped into [lo, hi - 1] so edge pixels repeat, and then into
// [0, limit - 1] so a source rectangle reaching outside the bitmap never reads
// outside it. Requires hi > lo, targetSize >= 1 and count >= 0.
void BuildKernelTable(TStretchFilter filter, int64_t lo, int64_t hi, int64_t targetSize, int64_t firstIndex,
                      int64_t count, int32_t limit, TapTable& table);

}  // namespace velmora::resample
