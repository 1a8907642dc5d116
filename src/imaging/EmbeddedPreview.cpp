#include "imaging/EmbeddedPreview.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imaging/ByteCursor.h"

namespace velmora {
namespace {

constexpr uint16_t kThumbnailOffsetTag = 0x0201;  // JPEGInterchangeFormat
constexpr uint16_t kThumbnailLengthTag = 0x0202;  // JPEGInterchangeFormatLength
constexpr uint16_t kTypeLong = 4;
// Previews smaller than this on either side are not worth trusting.
constexpr int kMinPreviewSide = 16;
// A preview's pixel is "black" for a bar up to this level (JPEG noise included).
constexpr int kBarLevel = 28;

bool DarkRow(const TBitmap32& b, int y) {
  const TColor32* row = b.ScanLine(y);
  for (int x = 0; x < b.Width(); ++x)
    if (std::max({RedOf(row[x]), GreenOf(row[x]), BlueOf(row[x])}) > kBarLevel) return false;
  return true;
}

bool DarkColumn(const TBitmap32& b, int x, int top, int bottom) {
  for (int y = top; y < bottom; ++y) {
    const TColor32 c = b.Pixel(x, y);
    if (std::max({RedOf(c), GreenOf(c), BlueOf(c)}) > kBarLevel) return false;
  }
  return true;
}

int RowLevel(const TBitmap32& b, int y, int left, int right) {
  int64_t sum = 0;
  for (int x = left; x < right; ++x) {
    const TColor32 c = b.Pixel(x, y);
    sum += RedOf(c) + GreenOf(c) + BlueOf(c);
  }
  return int(sum / std::max(1, right - left));
}

int ColumnLevel(const TBitmap32& b, int x, int top, int bottom) {
  int64_t sum = 0;
  for (int y = top; y < bottom; ++y) {
    const TColor32 c = b.Pixel(x, y);
    sum += RedOf(c) + GreenOf(c) + BlueOf(c);
  }
  return int(sum / std::max(1, bottom - top));
}

// JPEG blurs a bar's edge into the picture: up to two rows (or columns)
// beside a bar that are clearly darker than the picture further in go too.
template <typename Level>
void TrimBlurredEdge(int& near, int far, int step, Level level) {
  for (int extra = 0; extra < 2; ++extra) {
    const int inner = near + 2 * step;
    if ((step > 0 ? inner >= far : inner <= far)) return;
    if (level(near) * 5 >= level(inner) * 4) return;
    near += step;
  }
}

// Same shape: w x h against the photo's W x H, allowing the preview's side
// to be a pixel off from the exact reduction, and 1 % besides.
bool SameShape(int64_t w, int64_t h, int64_t photoW, int64_t photoH) {
  const double aspect = double(w) / double(h);
  const double photo = double(photoW) / double(photoH);
  const double slack = 0.01 + 1.5 / double(std::min(w, h));
  return std::abs(aspect - photo) <= slack * photo;
}

}  // namespace

std::span<const uint8_t> ExifThumbnail(std::span<const uint8_t> app1) {
  static constexpr uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
  if (app1.size() < 6 || std::memcmp(app1.data(), kExif, 6) != 0) return {};
  const std::span<const uint8_t> tiff = app1.subspan(6);  // offsets count from here
  ByteCursor c(tiff);
  const uint16_t order = c.u16le();
  const bool little = order == 0x4949;  // "II"
  if (!little && order != 0x4D4D) return {};
  const auto u16 = [&] { return little ? c.u16le() : c.u16be(); };
  const auto u32 = [&] { return little ? c.u32le() : c.u32be(); };
  if (u16() != 42) return {};
  // Past the first directory to the second, the thumbnail's.
  const uint32_t first = u32();
  if (c.overrun() || !c.seek(first)) return {};
  const uint16_t firstEntries = u16();
  if (c.overrun() || !c.skip(size_t(firstEntries) * 12)) return {};
  const uint32_t second = u32();
  if (c.overrun() || second == 0 || second == first || !c.seek(second)) return {};
  const uint16_t entries = u16();
  if (c.overrun() || size_t(entries) * 12 > c.remaining()) return {};
  uint32_t offset = 0, length = 0;
  for (uint16_t i = 0; i < entries; ++i) {
    const uint16_t tag = u16();
    const uint16_t type = u16();
    const uint32_t count = u32();
    uint32_t value = 0;
    if (type == kTypeLong) {
      value = u32();
    } else {  // a SHORT sits in the field's first two bytes
      value = u16();
      (void)u16();
    }
    if (count != 1) continue;
    if (tag == kThumbnailOffsetTag) offset = value;
    if (tag == kThumbnailLengthTag) length = value;
  }
  if (c.overrun() || offset == 0 || length < 4 || offset > tiff.size() || length > tiff.size() - offset) return {};
  const std::span<const uint8_t> thumb = tiff.subspan(offset, length);
  if (thumb[0] != 0xFF || thumb[1] != 0xD8) return {};  // not a JPEG
  return thumb;
}

bool AcceptPreview(TBitmap32& preview, int photoWidth, int photoHeight, const DecodeHints& hints) {
  if (!hints.acceptScaled || photoWidth <= 0 || photoHeight <= 0) return false;
  int w = preview.Width(), h = preview.Height();
  if (w < kMinPreviewSide || h < kMinPreviewSide || w > photoWidth || h > photoHeight) return false;
  if (!SameShape(w, h, photoWidth, photoHeight)) {
    // Bars above and below (a wide photo in a 4:3 preview) or left and
    // right (a tall one): trimmed only when the rest has the photo's shape.
    int top = 0, bottom = h;
    while (top < bottom && DarkRow(preview, top)) ++top;
    while (bottom > top && DarkRow(preview, bottom - 1)) --bottom;
    const auto row = [&](int y) { return RowLevel(preview, y, 0, w); };
    if (top > 0) TrimBlurredEdge(top, bottom, 1, row);
    if (bottom < h) {
      int last = bottom - 1;
      TrimBlurredEdge(last, top - 1, -1, row);
      bottom = last + 1;
    }
    int left = 0, right = w;
    while (left < right && DarkColumn(preview, left, top, bottom)) ++left;
    while (right > left && DarkColumn(preview, right - 1, top, bottom)) --right;
    const auto column = [&](int x) { return ColumnLevel(preview, x, top, bottom); };
    if (left > 0) TrimBlurredEdge(left, right, 1, column);
    if (right < w) {
      int last = right - 1;
      TrimBlurredEdge(last, left - 1, -1, column);
      right = last + 1;
    }
    const int tw = right - left, th = bottom - top;
    if (tw < kMinPreviewSide || th < kMinPreviewSide || !SameShape(tw, th, photoWidth, photoHeight)) return false;
    TBitmap32 trimmed;
    if (!trimmed.SetSizeForOverwrite(tw, th).ok()) return false;
    for (int y = 0; y < th; ++y) std::copy_n(preview.ScanLine(top + y) + left, tw, trimmed.ScanLine(y));
    preview = std::move(trimmed);
    w = tw;
    h = th;
  }
  return hints.acceptScaled(w, h);
}

}  // namespace velmora
