// TBitmap32: the program's true-colour picture. Pixels are 32-bit ARGB values
// (alpha in the top byte, blue in the lowest), stored row by row from the top,
// pixel (x, y) at element y * width + x. The four drawing properties belong to
// the bitmap being drawn (the source of DrawTo), not to the target.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "imaging/Geometry.h"
#include "imaging/Status.h"

namespace velmora {

using TColor32 = uint32_t;

enum TDrawMode : uint8_t { dmOpaque, dmBlend, dmCustom };
enum TCombineMode : uint8_t { cmBlend, cmMerge };
// Numbered as the ResampleKernel option stores them (0..6).
enum TStretchFilter : uint8_t { sfNearest, sfDraft, sfLinear, sfCosine, sfSpline, sfLanczos, sfMitchell };
constexpr int kStretchFilterCount = 7;

constexpr uint8_t AlphaOf(TColor32 c) { return static_cast<uint8_t>(c >> 24); }
constexpr uint8_t RedOf(TColor32 c) { return static_cast<uint8_t>(c >> 16); }
constexpr uint8_t GreenOf(TColor32 c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t BlueOf(TColor32 c) { return static_cast<uint8_t>(c); }
constexpr TColor32 Color32(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
  return (TColor32(a) << 24) | (TColor32(r) << 16) | (TColor32(g) << 8) | TColor32(b);
}
// A colour stored as 0x00BBGGRR (BorderColor, the colour dialogs), made opaque.
constexpr TColor32 Color32FromBgrInt(int32_t bgr) {
  auto v = static_cast<uint32_t>(bgr);
  return Color32(static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16));
}

class TBitmap32 {
public:
  TBitmap32() = default;
  TBitmap32(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ <= 0 || height_ <= 0; }
  TRect BoundsRect() const { return TRect{0, 0, width_, height_}; }

  // Resizes the pixel array; pixels beyond the old array are 0, the rest
  // hold what they held (every caller fills a bitmap after sizing it). On a
  // bad size or lack of memory the bitmap keeps its old size and the
  // failure is returned.
  Status SetSize(int width, int height);
  // SetSize for a caller that writes every pixel next: the new pixels are
  // left as the memory was, which spares a pass over a large picture.
  Status SetSizeForOverwrite(int width, int height);

  TColor32* ScanLine(int y) { return pixels_.data() + static_cast<size_t>(y) * width_; }
  const TColor32* ScanLine(int y) const { return pixels_.data() + static_cast<size_t>(y) * width_; }
  TColor32& Pixel(int x, int y) { return ScanLine(y)[x]; }
  TColor32 Pixel(int x, int y) const { return ScanLine(y)[x]; }
  std::span<TColor32> Pixels() { return pixels_; }
  std::span<const TColor32> Pixels() const { return pixels_; }

  // Same size and pixels as `source`; the drawing properties stay as they are.
  void Assign(const TBitmap32& source);
  // Moves the pixels of `source` in, leaving it empty.
  void TakePixels(TBitmap32& source);
  void ResetAlpha(uint8_t alpha);
  void Fill(TColor32 color);
  void FillRect(const TRect& rect, TColor32 color);  // clipped to the bitmap

  void FlipHorz(TBitmap32& target) const;
  void FlipVert(TBitmap32& target) const;

  // Draws `source` of this bitmap into `target` of `dst` with this bitmap's
  // DrawMode, MasterAlpha and StretchFilter (resampled drawing). Fails only
  // for sfNearest with a source rectangle outside this bitmap.
  Status DrawTo(TBitmap32& dst, const TRect& target, const TRect& source) const;

  TDrawMode DrawMode = dmOpaque;
  TCombineMode CombineMode = cmBlend;
  uint8_t MasterAlpha = 255;
  TStretchFilter StretchFilter = sfNearest;

private:
  // Pixel storage whose new elements are not cleared by the vector itself.
  template <typename T>
  struct UninitializedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
      using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <typename U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* p) noexcept {
      ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
      ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
  };

  Status Resize(int width, int height);

  int width_ = 0;
  int height_ = 0;
  std::vector<TColor32, UninitializedAllocator<TColor32>> pixels_;
};

}  // namespace velmora
