#include "imaging/Bitmap24.h"

#include <algorithm>
#include <new>

namespace velmora {

Status Bitmap24::SetSize(int width, int height) {
  if (width < 0 || height < 0) return Status::Error(Format("Invalid bitmap size %d x %d", width, height));
  if (width == 0 || height == 0) width = height = 0;
  if (width == width_ && height == height_) return Status::Ok();
  try {
    bytes_.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  } catch (const std::bad_alloc&) {
    return Status::Error(Format("Out of memory for a bitmap of %d x %d pixels", width, height));
  }
  width_ = width;
  height_ = height;
  return Status::Ok();
}

void Bitmap24::Fill(uint8_t r, uint8_t g, uint8_t b) { FillRect(TRect{0, 0, width_, height_}, r, g, b); }

void Bitmap24::FillRect(const TRect& rect, uint8_t r, uint8_t g, uint8_t b) {
  const TRect c = Intersect(rect, TRect{0, 0, width_, height_});
  if (c.IsEmpty()) return;
  for (int y = c.Top; y < c.Bottom; ++y) {
    uint8_t* p = PixelAddress(c.Left, y);
    for (int x = c.Left; x < c.Right; ++x, p += 3) {
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
  }
}

void Bitmap24::AssignFrom(const TBitmap32& source) {
  (void)SetSize(source.Width(), source.Height());
  if (width_ != source.Width() || height_ != source.Height()) return;
  for (int y = 0; y < height_; ++y) {
    const TColor32* s = source.ScanLine(y);
    uint8_t* d = ScanLine(y);
    for (int x = 0; x < width_; ++x, d += 3) {
      d[0] = BlueOf(s[x]);
      d[1] = GreenOf(s[x]);
      d[2] = RedOf(s[x]);
    }
  }
}

void Bitmap24::CopyTo(TBitmap32& target) const {
  if (!target.SetSize(width_, height_).ok()) return;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* s = ScanLine(y);
    TColor32* d = target.ScanLine(y);
    for (int x = 0; x < width_; ++x, s += 3) d[x] = Color32(s[2], s[1], s[0]);
  }
}

}  // namespace velmora
