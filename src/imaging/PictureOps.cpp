// Loading, the colour signature and the cell effects (tint, grey, mirror,
// crop to aspect, fit and stretch). Each exists for the 24-bit picture and for
// TBitmap32; both pixel layouts start with blue, green, red, so the per-pixel
// loops are written once over the number of bytes per pixel.
#include "imaging/PictureOps.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

#include "imaging/PathText.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmora {
namespace {

static_assert(std::endian::native == std::endian::little, "TColor32 is handled as bytes B, G, R, A");

template <typename Bmp>
constexpr int kBytesPerPixel = std::is_same_v<Bmp, TBitmap32> ? 4 : 3;

template <int Bpp>
struct PixelBytes {
  uint8_t* data = nullptr;
  size_t count = 0;  // pixels
};

PixelBytes<4> BytesOf(TBitmap32& b) {
  return {reinterpret_cast<uint8_t*>(b.Pixels().data()), b.Pixels().size()};
}
PixelBytes<3> BytesOf(Bitmap24& b) { return {b.Bytes().data(), b.Bytes().size() / 3}; }
const uint8_t* ConstBytesOf(const TBitmap32& b) {
  return reinterpret_cast<const uint8_t*>(b.Pixels().data());
}
const uint8_t* ConstBytesOf(const Bitmap24& b) { return b.Bytes().data(); }

// Sizes the target like the source. Per-pixel operations can then run from
// source to target even when both are the same bitmap.
template <typename Bmp>
bool SizeLike(const Bmp& source, Bmp& target) {
  if (&source == &target) return true;
  return target.SetSize(source.Width(), source.Height()).ok();
}

// The target becomes a copy of the source (nothing to do in place).
template <typename Bmp>
bool CopyInto(const Bmp& source, Bmp& target) {
  if (&source == &target) return true;
  if (!target.SetSize(source.Width(), source.Height()).ok()) return false;
  auto dst = BytesOf(target);
  if (dst.count > 0) std::memcpy(dst.data, ConstBytesOf(source), dst.count * kBytesPerPixel<Bmp>);
  return true;
}

void ReplaceWith(TBitmap32& target, TBitmap32& fresh) { target.TakePixels(fresh); }
void ReplaceWith(Bitmap24& target, Bitmap24& fresh) { target = std::move(fresh); }

// Sizes the target to width x height and area-stretches `region` of the source
// into it. When the source is the target the result is built aside first, as
// sizing the target would destroy the pixels still to be read.
template <typename Target, typename Source>
void StretchInto(const Source& source, const TRect& region, Target& target, int width, int height) {
  if (static_cast<const void*>(&source) == static_cast<const void*>(&target)) {
    Target fresh;
    if (!fresh.SetSize(width, height).ok()) return;
    AreaStretch(source, region, fresh);
    ReplaceWith(target, fresh);
    return;
  }
  if (!target.SetSize(width, height).ok()) return;
  AreaStretch(source, region, target);
}

// Index 0 blue, 1 green, 2 red: the byte order of both pixel layouts.
using ChannelTables = std::array<std::array<uint8_t, 256>, 3>;

template <int Bpp>
void MapChannels(const uint8_t* src, PixelBytes<Bpp> dst, const ChannelTables& t) {
  uint8_t* d = dst.data;
  for (size_t i = 0; i < dst.count; ++i, src += Bpp, d += Bpp) {
    if constexpr (Bpp == 4) {
      // One word per pixel: the cell effects run on every cell of a mosaic.
      uint32_t p;
      std::memcpy(&p, src, 4);
      const uint32_t q = 0xFF000000u | uint32_t(t[2][(p >> 16) & 0xFF]) << 16 |
                         uint32_t(t[1][(p >> 8) & 0xFF]) << 8 | t[0][p & 0xFF];
      std::memcpy(d, &q, 4);
    } else {
      const uint8_t b = t[0][src[0]], g = t[1][src[1]], r = t[2][src[2]];
      d[0] = b;
      d[1] = g;
      d[2] = r;
    }
  }
}

// wr[i] = trunc(i x 0.299) and so on, in extended precision like GreyOf; the
// three truncations add up to at most 254, so white turns 254.
// ClampByte(byte + offset) on blue, green and red (offsets within +-256);
// alpha becomes 255, as MapChannels leaves it.
void AdjustPixels32(const uint8_t* src, PixelBytes<4> dst, int dB, int dG, int dR) {
  using Bytes = uint8_t __attribute__((vector_size(16)));
  using Shorts = int16_t __attribute__((vector_size(32)));
  const auto b = static_cast<int16_t>(dB), g = static_cast<int16_t>(dG), r = static_cast<int16_t>(dR);
  const Shorts offset = {b, g, r, 255, b, g, r, 255, b, g, r, 255, b, g, r, 255};
  const Shorts lo = {}, hi = lo + 255;
  uint8_t* d = dst.data;
  size_t i = 0;
#if defined(__SSE2__)
  // Byte arithmetic that saturates: adding min(offset, 255) or taking away
  // min(-offset, 255) clamps exactly as the sum does (an offset of +-256
  // turns every value into 255 or 0 either way); alpha gains 255.
  {
    const auto up = [](int o) { return static_cast<char>(std::clamp(o, 0, 255)); };
    const auto down = [](int o) { return static_cast<char>(std::clamp(-o, 0, 255)); };
    const __m128i add = _mm_setr_epi8(up(dB), up(dG), up(dR), char(255), up(dB), up(dG), up(dR), char(255),
                                      up(dB), up(dG), up(dR), char(255), up(dB), up(dG), up(dR), char(255));
    const __m128i sub = _mm_setr_epi8(down(dB), down(dG), down(dR), 0, down(dB), down(dG), down(dR), 0,
                                      down(dB), down(dG), down(dR), 0, down(dB), down(dG), down(dR), 0);
    for (; i + 4 <= dst.count; i += 4, src += 16, d += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_subs_epu8(_mm_adds_epu8(v, add), sub));
    }
  }
#endif
  for (; i + 4 <= dst.count; i += 4, src += 16, d += 16) {
    Bytes v;
    std::memcpy(&v, src, sizeof v);
    Shorts w = __builtin_convertvector(v, Shorts) + offset;
    w = w < lo ? lo : w;
    w = w > hi ? hi : w;
    const Bytes out = __builtin_convertvector(w, Bytes);
    std::memcpy(d, &out, sizeof out);
  }
  for (; i < dst.count; ++i, src += 4, d += 4) {
    d[0] = static_cast<uint8_t>(ClampByte(src[0] + dB));
    d[1] = static_cast<uint8_t>(ClampByte(src[1] + dG));
    d[2] = static_cast<uint8_t>(ClampByte(src[2] + dR));
    d[3] = 255;
  }
}

struct GreyTables {
  std::array<uint8_t, 256> wr{}, wg{}, wb{};
  GreyTables() {
    for (int i = 0; i < 256; ++i) {
      const long double v = static_cast<long double>(i);
      wr[i] = static_cast<uint8_t>(static_cast<int>(v * 0.299L));
      wg[i] = static_cast<uint8_t>(static_cast<int>(v * 0.587L));
      wb[i] = static_cast<uint8_t>(static_cast<int>(v * 0.114L));
    }
  }
};

const GreyTables& Greys() {
  static const GreyTables tables;
  return tables;
}

template <int Bpp>
void GreyPixels(const uint8_t* src, PixelBytes<Bpp> dst) {
  const GreyTables& t = Greys();
  uint8_t* d = dst.data;
  for (size_t i = 0; i < dst.count; ++i, src += Bpp, d += Bpp) {
    const uint32_t y = t.wr[src[2]] + t.wg[src[1]] + t.wb[src[0]];
    if constexpr (Bpp == 4) {
      const uint32_t q = 0xFF000000u | y * 0x010101u;
      std::memcpy(d, &q, 4);
    } else {
      d[0] = d[1] = d[2] = static_cast<uint8_t>(y);
    }
  }
}

template <int Bpp>
void SwapPixels(uint8_t* a, uint8_t* b) {
  uint8_t t[Bpp];
  std::memcpy(t, a, Bpp);
  std::memcpy(a, b, Bpp);
  std::memcpy(b, t, Bpp);
}

// Mirrors in place. Both flags together turn the picture by 180 degrees,
// which is reversing the whole pixel sequence.
template <int Bpp>
void FlipInPlace(uint8_t* data, int width, int height, bool horizontal, bool vertical) {
  const size_t stride = static_cast<size_t>(width) * Bpp;
  if (horizontal && vertical) {
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    for (size_t i = 0, j = n; i + 1 < j; ++i, --j) SwapPixels<Bpp>(data + i * Bpp, data + (j - 1) * Bpp);
    return;
  }
  if (vertical) {
    for (int y = 0; y < height / 2; ++y)
      std::swap_ranges(data + y * stride, data + (y + 1) * stride, data + (height - 1 - y) * stride);
    return;
  }
  if (horizontal) {
    for (int y = 0; y < height; ++y) {
      uint8_t* row = data + y * stride;
      for (int i = 0, j = width - 1; i < j; ++i, --j) SwapPixels<Bpp>(row + i * Bpp, row + j * Bpp);
    }
  }
}

template <typename Bmp>
void Flip(const Bmp& source, Bmp& target, bool horizontal, bool vertical) {
  if (!CopyInto(source, target)) return;
  FlipInPlace<kBytesPerPixel<Bmp>>(BytesOf(target).data, target.Width(), target.Height(), horizontal,
                                   vertical);
}

template <typename Source>
ColorSignature SignatureOf(const Source& picture) {
  // The 32 x 32 reduction squeezes every picture to a square.
  thread_local Bitmap24 work(32, 32);
  AreaStretch(picture, TRect{0, 0, picture.Width(), picture.Height()}, work);

  ColorSignature sig;
  for (int q = 0; q < 4; ++q) {
    const int x0 = (q & 1) * 16;
    const int y0 = (q >> 1) * 16;
    uint32_t sum[3] = {0, 0, 0};  // blue, green, red
    for (int y = y0; y < y0 + 16; ++y) {
      const uint8_t* p = work.PixelAddress(x0, y);
      for (int x = 0; x < 16; ++x, p += 3) {
        sum[0] += p[0];
        sum[1] += p[1];
        sum[2] += p[2];
      }
    }
    SigColor& c = sig.Slot[q];
    c.Blue = static_cast<uint8_t>(sum[0] >> 8);
    c.Green = static_cast<uint8_t>(sum[1] >> 8);
    c.Red = static_cast<uint8_t>(sum[2] >> 8);
    c.Grey = GreyOf(c.Red, c.Green, c.Blue);
  }
  // The mean slot averages the quadrant slots byte by byte, its grey
  // included, rather than taking the grey of the mean colour.
  const auto mean = [&](uint8_t SigColor::*field) {
    int total = 0;
    for (int q = 0; q < 4; ++q) total += sig.Slot[q].*field;
    return static_cast<uint8_t>(total >> 2);
  };
  SigColor& m = sig.Slot[sigMean];
  m.Blue = mean(&SigColor::Blue);
  m.Green = mean(&SigColor::Green);
  m.Red = mean(&SigColor::Red);
  m.Grey = mean(&SigColor::Grey);
  return sig;
}

template <typename Source>
void Fit(const Source& source, Bitmap24& target, const TRect& rect) {
  const int w = source.Width();
  const int h = source.Height();
  if (w <= 0 || h <= 0) return;
  const double s = std::min(static_cast<double>(rect.Width()) / w, static_cast<double>(rect.Height()) / h);
  // A rectangle of negative size fits nothing; an absurdly large one is
  // limited to what an int side can hold.
  const auto side = [s](int n) {
    const double v = std::trunc(n * s);
    if (!(v > 0)) return 0;
    return v >= static_cast<double>(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max()
                                                                     : static_cast<int>(v);
  };
  StretchInto(source, TRect{0, 0, w, h}, target, side(w), side(h));
}

template <typename Bmp>
void Crop(const Bmp& source, Bmp& target, int aw, int ah) {
  if (source.Empty()) {
    (void)target.SetSize(0, 0);
    return;
  }
  // No aspect to keep: the picture stays whole (and the same size).
  if (aw <= 0 || ah <= 0) {
    (void)CopyInto(source, target);
    return;
  }
  const TRect region = CropRegion(source.Width(), source.Height(), aw, ah);
  // One pixel larger than the region each way: cell pictures are resampled
  // into their cells afterwards, so the slight enlargement is harmless, and
  // the sizes stay those every earlier mosaic was made with.
  StretchInto(source, region, target, region.Width() + 1, region.Height() + 1);
}

template <typename Bmp>
void Adjust(const Bmp& source, Bmp& target, int dR, int dG, int dB) {
  if (!SizeLike(source, target)) return;
  // Offsets beyond +-256 clamp every value alike; limiting them first keeps
  // i + offset far from overflow.
  const auto table = [](int d) {
    d = std::clamp(d, -256, 256);
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>(ClampByte(i + d));
    return t;
  };
  if constexpr (std::is_same_v<Bmp, TBitmap32>) {
    // The cell tint of every mosaic cell: the same clamped sums, computed
    // sixteen bytes at a time instead of looked up.
    AdjustPixels32(ConstBytesOf(source), BytesOf(target), std::clamp(dB, -256, 256),
                   std::clamp(dG, -256, 256), std::clamp(dR, -256, 256));
    return;
  }
  const ChannelTables tables{table(dB), table(dG), table(dR)};
  MapChannels(ConstBytesOf(source), BytesOf(target), tables);
}

template <typename Bmp>
void Grey(const Bmp& source, Bmp& target) {
  if (!SizeLike(source, target)) return;
  GreyPixels(ConstBytesOf(source), BytesOf(target));
}

}  // namespace

namespace {

void PassWarning(const DecodedPicture& picture, const std::string& path, std::string* warning) {
  if (!warning) return;
  warning->clear();
  if (!picture.warning.empty()) *warning = EchoPath(path) + ": " + picture.warning;
}

}  // namespace

Status LoadPictureFile(Bitmap24& target, const std::string& path, const DecodeHints& hints,
                       std::string* warning) {
  Result<DecodedPicture> read = ReadPicture(path, hints);
  if (!read.ok()) return read.status();
  PassWarning(*read, path, warning);
  const TBitmap32& picture = read->bitmap;
  // Converted aside, so that a failure to allocate leaves the target as it was.
  Bitmap24 converted;
  VELMORA_TRY(converted.SetSize(picture.Width(), picture.Height()));
  converted.AssignFrom(picture);
  target = std::move(converted);
  return Status::Ok();
}

Status LoadPictureFile(TBitmap32& target, const std::string& path, const DecodeHints& hints,
                       std::string* warning) {
  Result<DecodedPicture> read = ReadPicture(path, hints);
  if (!read.ok()) return read.status();
  PassWarning(*read, path, warning);
  if (!read->keepsAlpha && !read->alphaWritten) read->bitmap.ResetAlpha(255);
  target.TakePixels(read->bitmap);
  return Status::Ok();
}

ColorSignature ComputeColorSignature(const Bitmap24& picture) { return SignatureOf(picture); }
ColorSignature ComputeColorSignature(const TBitmap32& picture) { return SignatureOf(picture); }

void AdjustChannels(const Bitmap24& source, Bitmap24& target, int dR, int dG, int dB) {
  Adjust(source, target, dR, dG, dB);
}
void AdjustChannels(const TBitmap32& source, TBitmap32& target, int dR, int dG, int dB) {
  Adjust(source, target, dR, dG, dB);
}

namespace {

// A row of pixels reversed, four from each end a step.
void ReversePixels(TColor32* p, int n) {
  int i = 0;
  int j = n;
#if defined(__SSE2__)
  for (; j - i >= 8; i += 4, j -= 4) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j - 4));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), _mm_shuffle_epi32(b, 0x1B));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + j - 4), _mm_shuffle_epi32(a, 0x1B));
  }
#endif
  std::reverse(p + i, p + j);
}

}  // namespace

void AdjustAndFlip(const TBitmap32& source, TBitmap32& target, int dR, int dG, int dB, bool horizontal,
                   bool vertical) {
  if (&source == &target) {
    Adjust(source, target, dR, dG, dB);
    Flip(source, target, horizontal, vertical);
    return;
  }
  if (!SizeLike(source, target)) return;
  const int w = source.Width();
  const int h = source.Height();
  for (int y = 0; y < h; ++y) {
    TColor32* row = target.ScanLine(vertical ? h - 1 - y : y);
    AdjustPixels32(reinterpret_cast<const uint8_t*>(source.ScanLine(y)),
                   PixelBytes<4>{reinterpret_cast<uint8_t*>(row), static_cast<size_t>(w)},
                   std::clamp(dB, -256, 256), std::clamp(dG, -256, 256), std::clamp(dR, -256, 256));
    if (horizontal) ReversePixels(row, w);
  }
}

void ToGrey(const Bitmap24& source, Bitmap24& target) { Grey(source, target); }
void ToGrey(const TBitmap32& source, TBitmap32& target) { Grey(source, target); }

void FlipPicture(const Bitmap24& source, Bitmap24& target, bool horizontal, bool vertical) {
  Flip(source, target, horizontal, vertical);
}
void FlipPicture(const TBitmap32& source, TBitmap32& target, bool horizontal, bool vertical) {
  Flip(source, target, horizontal, vertical);
}

void StretchToSize(const Bitmap24& source, Bitmap24& target, int width, int height) {
  StretchInto(source, TRect{0, 0, source.Width(), source.Height()}, target, width, height);
}
void StretchToSize(const TBitmap32& source, TBitmap32& target, int width, int height) {
  StretchInto(source, TRect{0, 0, source.Width(), source.Height()}, target, width, height);
}

void FitToRect(const Bitmap24& source, Bitmap24& target, const TRect& rect) { Fit(source, target, rect); }
void FitToRect(const TBitmap32& source, Bitmap24& target, const TRect& rect) { Fit(source, target, rect); }

TRect CropRegion(int width, int height, int aw, int ah) {
  if (width <= 0 || height <= 0) return TRect{};
  if (aw <= 0 || ah <= 0) return TRect{0, 0, width, height};
  // 64-bit: the products of a side and an aspect term may pass 2^31.
  const int64_t c = int64_t(ah) * width;
  const int64_t d = int64_t(aw) * height;
  if (c < d) {
    const int y0 = static_cast<int>((d - c) / (2 * int64_t(aw)));
    return TRect{0, y0, width, height - y0};
  }
  if (d < c) {
    const int x0 = static_cast<int>((c - d) / (2 * int64_t(ah)));
    return TRect{x0, 0, width - x0, height};
  }
  // Already at the aspect: the last column and row are left out, as they
  // always were, but a side of one pixel is kept rather than emptied.
  return TRect{0, 0, std::max(width - 1, 1), std::max(height - 1, 1)};
}

void CropToAspect(const Bitmap24& source, Bitmap24& target, int aw, int ah) { Crop(source, target, aw, ah); }
void CropToAspect(const TBitmap32& source, TBitmap32& target, int aw, int ah) {
  Crop(source, target, aw, ah);
}

void CropToRegion(const TBitmap32& source, TBitmap32& target, TRect region) {
  region.Left = std::clamp(region.Left, 0, source.Width());
  region.Right = std::clamp(region.Right, region.Left, source.Width());
  region.Top = std::clamp(region.Top, 0, source.Height());
  region.Bottom = std::clamp(region.Bottom, region.Top, source.Height());
  if (region.IsEmpty()) {
    (void)CopyInto(source, target);
    return;
  }
  StretchInto(source, region, target, region.Width() + 1, region.Height() + 1);
}

}  // namespace velmora
