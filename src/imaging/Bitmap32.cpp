#include "imaging/Bitmap32.h"

#include <algorithm>
#include <new>

#include "imaging/MemoryBudget.h"
#include "imaging/PictureLimits.h"

namespace velmora {

TBitmap32::TBitmap32(int width, int height) { (void)SetSize(width, height); }

Status TBitmap32::Resize(int width, int height) {
  if (width < 0 || height < 0) return Status::Error(Format("Invalid bitmap size %d x %d", width, height));
  if (width == 0 || height == 0) {
    width = height = 0;
  }
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (width == width_ && height == height_) return Status::Ok();
  if (count > pixels_.capacity())
    if (!ChargeMemory(static_cast<int64_t>(count * sizeof(TColor32))).ok())
      return Status::Error(
          Format("Cannot load image. A bitmap of %d x %d pixels needs %.0f MiB, more than the "
                 "memory budget of %.0f MiB.",
                 width, height, static_cast<double>(count * sizeof(TColor32)) / (1 << 20),
                 static_cast<double>(MemoryScopeCapacity()) / (1 << 20)));
  try {
    pixels_.resize(count);
    if (pixels_.capacity() > count * 2 + 1024) pixels_.shrink_to_fit();
  } catch (const std::bad_alloc&) {
    return Status::Error(Format("Out of memory for a bitmap of %d x %d pixels", width, height));
  }
  width_ = width;
  height_ = height;
  return Status::Ok();
}

Status TBitmap32::SetSize(int width, int height) {
  const size_t kept = pixels_.size();
  Status s = Resize(width, height);
  if (s.ok() && pixels_.size() > kept) std::fill(pixels_.begin() + std::ptrdiff_t(kept), pixels_.end(), 0);
  return s;
}

Status TBitmap32::SetSizeForOverwrite(int width, int height) { return Resize(width, height); }

void TBitmap32::Assign(const TBitmap32& source) {
  if (&source == this) return;
  width_ = source.width_;
  height_ = source.height_;
  pixels_ = source.pixels_;
}

void TBitmap32::TakePixels(TBitmap32& source) {
  if (&source == this) return;
  width_ = source.width_;
  height_ = source.height_;
  pixels_ = std::move(source.pixels_);
  source.pixels_.clear();
  source.width_ = source.height_ = 0;
}

void TBitmap32::ResetAlpha(uint8_t alpha) {
  const TColor32 a = TColor32(alpha) << 24;
  for (TColor32& p : pixels_) p = (p & 0x00FFFFFFu) | a;
}

void TBitmap32::Fill(TColor32 color) { std::fill(pixels_.begin(), pixels_.end(), color); }

void TBitmap32::FillRect(const TRect& rect, TColor32 color) {
  const TRect r = Intersect(rect, BoundsRect());
  if (r.IsEmpty()) return;
  for (int y = r.Top; y < r.Bottom; ++y) std::fill(ScanLine(y) + r.Left, ScanLine(y) + r.Right, color);
}

void TBitmap32::FlipHorz(TBitmap32& target) const {
  if (&target != this) target.Assign(*this);
  for (int y = 0; y < height_; ++y) std::reverse(target.ScanLine(y), target.ScanLine(y) + width_);
}

void TBitmap32::FlipVert(TBitmap32& target) const {
  if (&target != this) target.Assign(*this);
  for (int y = 0; y < height_ / 2; ++y)
    std::swap_ranges(target.ScanLine(y), target.ScanLine(y) + width_, target.ScanLine(height_ - 1 - y));
}

}  // namespace velmora
