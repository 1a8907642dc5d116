// Reduced copies of the mosaic for the zoomed-out view: level k is the
// picture halved k times (each pixel the mean of a 2 x 2 block of the level
// above it; at an odd edge the last row or column stands in for the missing
// one). The view draws the visible part of the level nearest above its scale,
// so a repaint never touches more than about twice the view's pixels, and an
// edit rebuilds only the pixels above the rectangle it changed.
#pragma once

#include <vector>

#include "imaging/Bitmap32.h"
#include "imaging/Geometry.h"

namespace velmora {

class ZoomPyramid {
public:
  // Levels stop once a level fits this many pixels each way, or at the view's
  // smallest scale (1/256).
  static constexpr int kSmallestSide = 64;
  static constexpr int kMaxLevels = 8;

  // Every level again from `picture` (level 0 is the picture itself and is
  // not copied).
  void Rebuild(const TBitmap32& picture, int threads = 1);
  // Only the pixels above `changed` (picture pixels), level by level.
  void Update(const TBitmap32& picture, const TRect& changed);
  void Clear();
  // Built for a picture of this size (and not cleared since).
  bool Matches(const TBitmap32& picture) const;

  int Levels() const { return static_cast<int>(levels_.size()); }
  // Level k, 1 <= k <= Levels().
  const TBitmap32& Level(int k) const { return levels_[static_cast<size_t>(k - 1)]; }
  size_t Bytes() const;

  // The level to draw a scale from: the smallest copy still at least as
  // large as the view needs (2^-k >= scale), at most `levels`.
  static int LevelFor(double scale, int levels);
  // ceil(size / 2^k).
  static int LevelSize(int size, int k);
  // The pixels of level k that cover the level-0 rectangle `r`.
  static TRect LevelRect(const TRect& r, int k);

private:
  std::vector<TBitmap32> levels_;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace velmora
