#include "view/ZoomPyramid.h"

#include <algorithm>
#include <cmath>

#include "imaging/Parallel.h"

namespace velmora {
namespace {

// The mean of four pixels, channel by channel, rounded; alpha 255. Red and
// blue are summed in one word, alpha and green in another: four bytes sum to
// at most 1020, which fits the eight spare bits above each field.
inline TColor32 Mean4(TColor32 a, TColor32 b, TColor32 c, TColor32 d) {
  constexpr uint32_t kMask = 0x00FF00FF;
  const uint32_t rb = (a & kMask) + (b & kMask) + (c & kMask) + (d & kMask) + 0x00020002;
  const uint32_t g = ((a >> 8) & 0xFF) + ((b >> 8) & 0xFF) + ((c >> 8) & 0xFF) + ((d >> 8) & 0xFF) + 2;
  return 0xFF000000u | ((rb >> 2) & kMask) | (((g >> 2) & 0xFF) << 8);
}

// Rows [top, bottom) and columns [left, right) of `dst` from `src`, which is
// twice its size (rounded up).
void HalveRows(const TBitmap32& src, TBitmap32& dst, int left, int right, int top, int bottom) {
  const int sw = src.Width();
  const int sh = src.Height();
  for (int y = top; y < bottom; ++y) {
    const TColor32* r0 = src.ScanLine(2 * y);
    const TColor32* r1 = src.ScanLine(std::min(2 * y + 1, sh - 1));
    TColor32* out = dst.ScanLine(y);
    for (int x = left; x < right; ++x) {
      const int x0 = 2 * x;
      const int x1 = std::min(x0 + 1, sw - 1);
      out[x] = Mean4(r0[x0], r0[x1], r1[x0], r1[x1]);
    }
  }
}

}  // namespace

int ZoomPyramid::LevelSize(int size, int k) {
  if (size <= 0) return 0;
  const int64_t step = int64_t(1) << k;
  return static_cast<int>((size + step - 1) / step);
}

TRect ZoomPyramid::LevelRect(const TRect& r, int k) {
  const int step = 1 << k;
  auto down = [&](int v) { return v >= 0 ? v / step : -((-v + step - 1) / step); };
  auto up = [&](int v) { return v >= 0 ? static_cast<int>((int64_t(v) + step - 1) / step) : -(-v / step); };
  return TRect{down(r.Left), down(r.Top), up(r.Right), up(r.Bottom)};
}

int ZoomPyramid::LevelFor(double scale, int levels) {
  if (!(scale > 0) || scale >= 1) return 0;
  // Largest k with 2^-k >= scale, with a little slack for a scale that is
  // a step in name but not quite in binary.
  const int k = static_cast<int>(std::floor(std::log2(1 / scale) + 1e-9));
  return std::clamp(k, 0, levels);
}

void ZoomPyramid::Clear() {
  levels_.clear();
  width_ = 0;
  height_ = 0;
}

bool ZoomPyramid::Matches(const TBitmap32& picture) const {
  return width_ == picture.Width() && height_ == picture.Height() && width_ > 0 && height_ > 0;
}

size_t ZoomPyramid::Bytes() const {
  size_t bytes = 0;
  for (const TBitmap32& level : levels_) bytes += level.Pixels().size() * sizeof(TColor32);
  return bytes;
}

void ZoomPyramid::Rebuild(const TBitmap32& picture, int threads) {
  Clear();
  if (picture.Empty()) return;
  width_ = picture.Width();
  height_ = picture.Height();
  levels_.reserve(kMaxLevels);  // `above` points into it while levels are added
  const TBitmap32* above = &picture;
  for (int k = 1; k <= kMaxLevels; ++k) {
    if (std::max(above->Width(), above->Height()) <= kSmallestSide) break;
    TBitmap32 level;
    if (!level.SetSize(LevelSize(width_, k), LevelSize(height_, k)).ok()) break;  // fewer levels, still drawn
    levels_.push_back(std::move(level));
    TBitmap32& dst = levels_.back();
    constexpr int kRowsPerTask = 32;
    const int tasks = (dst.Height() + kRowsPerTask - 1) / kRowsPerTask;
    ParallelFor(threads, tasks, [&](int, int t) {
      HalveRows(*above, dst, 0, dst.Width(), t * kRowsPerTask,
                std::min(dst.Height(), (t + 1) * kRowsPerTask));
    });
    above = &dst;
  }
}

void ZoomPyramid::Update(const TBitmap32& picture, const TRect& changed) {
  if (!Matches(picture)) {
    Rebuild(picture);
    return;
  }
  const TBitmap32* above = &picture;
  for (int k = 1; k <= Levels(); ++k) {
    TBitmap32& dst = levels_[static_cast<size_t>(k - 1)];
    const TRect r = Intersect(LevelRect(changed, k), dst.BoundsRect());
    if (r.IsEmpty()) return;
    HalveRows(*above, dst, r.Left, r.Right, r.Top, r.Bottom);
    above = &dst;
  }
}

}  // namespace velmora
