// Bitmap24: the 24-bit picture (three bytes per pixel, blue, green, red) that
// the grid and the preview panes use. Rows are stored from the top without
// padding; pixel (x, y) starts at byte (y * width + x) * 3.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/Bitmap32.h"
#include "imaging/Status.h"

namespace velmora {

class Bitmap24 {
public:
  Bitmap24() = default;
  Bitmap24(int width, int height) { (void)SetSize(width, height); }

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ <= 0 || height_ <= 0; }
  size_t Stride() const { return static_cast<size_t>(width_) * 3; }

  Status SetSize(int width, int height);

  uint8_t* ScanLine(int y) { return bytes_.data() + static_cast<size_t>(y) * Stride(); }
  const uint8_t* ScanLine(int y) const { return bytes_.data() + static_cast<size_t>(y) * Stride(); }
  uint8_t* PixelAddress(int x, int y) { return ScanLine(y) + static_cast<size_t>(x) * 3; }
  const uint8_t* PixelAddress(int x, int y) const { return ScanLine(y) + static_cast<size_t>(x) * 3; }
  std::span<uint8_t> Bytes() { return bytes_; }
  std::span<const uint8_t> Bytes() const { return bytes_; }

  void Fill(uint8_t r, uint8_t g, uint8_t b);
  void FillRect(const TRect& rect, uint8_t r, uint8_t g, uint8_t b);  // clipped

  // Conversions: alpha is dropped, or set to 255.
  void AssignFrom(const TBitmap32& source);
  void CopyTo(TBitmap32& target) const;

private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint8_t> bytes_;
};

}  // namespace velmora
