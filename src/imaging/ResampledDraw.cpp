// TBitmap32::DrawTo: a rectangle of this bitmap scaled into a rectangle of
// another, by one of the seven stretch filters, then copied or alpha-blended
// into the target. The renderer calls it twice per mosaic cell, so the
// mapping tables and row buffers live in per-thread scratch that is reused
// from call to call instead of being allocated each time, and the kernel
// tables, which repeat from cell to cell, are kept per thread once built.
//
// Positions are always derived from the full target and source rectangles;
// only the target pixels inside the clip are produced, so clipping never moves
// the picture. All rectangle arithmetic is done in 64 bits, so rectangles near
// the int limits cannot overflow.
//
// A source rectangle may reach outside this bitmap (only sfNearest refuses
// that, with "Invalid SrcRect"): an equal-size copy then writes only the
// target pixels whose source pixel exists, and the resampling paths clamp
// every source position into the bitmap as well, so the outermost pixels
// repeat and nothing outside the pixel array is ever read.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <unordered_map>

#include "imaging/Bitmap32.h"
#include "imaging/CellOverlay.h"
#include "imaging/CheckedMath.h"
#include "imaging/PixelBlend.h"
#include "imaging/ResampleDrawing.h"
#include "imaging/ResampleKernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__) && defined(__SSE2__)
#include <immintrin.h>
#endif

namespace velmora {
namespace resample {

Scratch& ThreadScratch() {
  thread_local Scratch scratch;
  return scratch;
}

namespace {
bool& WideVectorsFlag() {
#if defined(__GNUC__) && defined(__x86_64__) && defined(__SSE2__)
  static bool wide = __builtin_cpu_supports("avx2");
#else
  static bool wide = false;
#endif
  return wide;
}
}  // namespace

bool WideVectors() { return WideVectorsFlag(); }

bool SetWideVectors(bool on) {
  const bool was = WideVectorsFlag();
#if defined(__GNUC__) && defined(__x86_64__) && defined(__SSE2__)
  WideVectorsFlag() = on && __builtin_cpu_supports("avx2");
#else
  (void)on;
#endif
  return was;
}

#if defined(__GNUC__) && defined(__x86_64__) && defined(__SSE2__)
#define VELMORA_WIDE_BLEND 1
// The uniform-alpha blend below, eight pixels a step on 256-bit registers:
// the unpacks and the pack work within each 128-bit half, so the pixels come
// back in order. Returns how many pixels it blended (a multiple of 8).
__attribute__((target("avx2"))) int BlendUniformAvx2(TColor32* d, const TColor32* f, int n, uint32_t weight,
                                                     uint32_t opaque) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i full16 = _mm256_set1_epi16(255);
  const __m256i half = _mm256_set1_epi16(128);
  const __m256i w = _mm256_set1_epi16(static_cast<int16_t>(weight));
  const __m256i iw = _mm256_sub_epi16(full16, w);
  const __m256i alpha = _mm256_set1_epi32(static_cast<int32_t>(opaque));
  const auto mix = [&](__m256i fc, __m256i bc) __attribute__((target("avx2"))) {
    const __m256i fw = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(fc, w), half), 8);
    const __m256i bw = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(bc, iw), half), 8);
    return _mm256_add_epi16(fw, bw);
  };
  int k = 0;
  for (; k + 8 <= n; k += 8) {
    const __m256i fv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(f + k));
    const __m256i bv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + k));
    const __m256i r =
        _mm256_packus_epi16(mix(_mm256_unpacklo_epi8(fv, zero), _mm256_unpacklo_epi8(bv, zero)),
                            mix(_mm256_unpackhi_epi8(fv, zero), _mm256_unpackhi_epi8(bv, zero)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + k), _mm256_or_si256(r, alpha));
  }
  return k;
}
#endif

// BlendPixel over a row, eight pixels at a time: the same two-channels-per-
// multiplication arithmetic in each 32-bit lane, then the weights 0 (keep the
// target) and 255 (take the produced pixel) selected per pixel. A run of
// produced pixels that are all fully opaque at master alpha 255 (every cell
// of a mosaic) is simply copied.
VELMORA_VECTOR_CLONES
void BlendRow(TColor32* d, const TColor32* f, int n, uint8_t master) {
  using Pixels8 = uint32_t __attribute__((vector_size(32)));
  constexpr uint32_t kLanes = 0x00FF00FFu;
  constexpr uint32_t kHalf = 0x00800080u;
  if (master == 255) {
    uint32_t all = 0xFF000000u;
    for (int k = 0; k < n; ++k) all &= f[k];
    if (all == 0xFF000000u) {
      std::memcpy(d, f, static_cast<size_t>(n) * sizeof(TColor32));
      return;
    }
  }
  const uint32_t m1 = uint32_t(master) + 1;
  int k = 0;
#if defined(__SSE2__)
  // Four pixels a step in 16-bit lanes, one channel each: a product and its
  // rounding stay below 65536.
  {
    const __m128i zero = _mm_setzero_si128();
    const __m128i full = _mm_set1_epi32(255);
    const __m128i full16 = _mm_set1_epi16(255);
    const __m128i half = _mm_set1_epi16(128);
    const __m128i scale = _mm_set1_epi32(static_cast<int32_t>(m1));
    const auto mix = [&](__m128i fc, __m128i bc, __m128i w) {
      const __m128i fw = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(fc, w), half), 8);
      const __m128i bw =
          _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(bc, _mm_sub_epi16(full16, w)), half), 8);
      return _mm_add_epi16(fw, bw);
    };
    // One alpha over the whole row (the main picture's overlay): one weight,
    // neither 0 nor 255, for every pixel.
    const uint32_t a0 = n > 0 ? BlendWeight(f[0], master) : 0;
    bool uniform = n >= 4 && a0 != 0 && a0 != 255;
    if (uniform) {
      const __m128i alpha = _mm_set1_epi32(static_cast<int32_t>(f[0] & 0xFF000000u));
      const __m128i top = _mm_set1_epi32(static_cast<int32_t>(0xFF000000u));
      __m128i same = _mm_cmpeq_epi32(zero, zero);
      int i = 0;
      for (; i + 4 <= n; i += 4) {
        const __m128i fv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(f + i));
        same = _mm_and_si128(same, _mm_cmpeq_epi32(_mm_and_si128(fv, top), alpha));
      }
      uniform = _mm_movemask_epi8(same) == 0xFFFF;
      for (; i < n; ++i) uniform = uniform && (f[i] & 0xFF000000u) == (f[0] & 0xFF000000u);
    }
    if (uniform) {
#if VELMORA_WIDE_BLEND
      if (WideVectors()) k = BlendUniformAvx2(d, f, n, a0, 0);
#endif
      const __m128i w = _mm_set1_epi16(static_cast<int16_t>(a0));
      for (; k + 4 <= n; k += 4) {
        const __m128i fv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(f + k));
        const __m128i bv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + k));
        const __m128i r = _mm_packus_epi16(mix(_mm_unpacklo_epi8(fv, zero), _mm_unpacklo_epi8(bv, zero), w),
                                           mix(_mm_unpackhi_epi8(fv, zero), _mm_unpackhi_epi8(bv, zero), w));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + k), r);
      }
    }
    for (; k + 4 <= n; k += 4) {
      const __m128i fv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(f + k));
      const __m128i bv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + k));
      __m128i a = _mm_srli_epi32(fv, 24);
      if (master != 255) a = _mm_srli_epi32(_mm_mullo_epi16(a, scale), 8);
      const __m128i keep = _mm_cmpeq_epi32(a, zero);
      const __m128i take = _mm_cmpeq_epi32(a, full);
      const __m128i both = _mm_or_si128(a, _mm_slli_epi32(a, 16));
      const __m128i aLo = _mm_unpacklo_epi32(both, both);
      const __m128i aHi = _mm_unpackhi_epi32(both, both);
      const __m128i mixed =
          _mm_packus_epi16(mix(_mm_unpacklo_epi8(fv, zero), _mm_unpacklo_epi8(bv, zero), aLo),
                           mix(_mm_unpackhi_epi8(fv, zero), _mm_unpackhi_epi8(bv, zero), aHi));
      const __m128i r = _mm_or_si128(_mm_or_si128(_mm_and_si128(keep, bv), _mm_and_si128(take, fv)),
                                     _mm_andnot_si128(_mm_or_si128(keep, take), mixed));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + k), r);
    }
  }
#endif
  for (; k + 8 <= n; k += 8) {
    Pixels8 fv, bv;
    std::memcpy(&fv, f + k, sizeof fv);
    std::memcpy(&bv, d + k, sizeof bv);
    Pixels8 a = fv >> 24;
    if (master != 255) a = (m1 * a) >> 8;
    const Pixels8 ia = 255 - a;
    const Pixels8 rb =
        ((((fv & kLanes) * a + kHalf) >> 8) & kLanes) + ((((bv & kLanes) * ia + kHalf) >> 8) & kLanes);
    const Pixels8 ag = (((((fv >> 8) & kLanes) * a + kHalf) >> 8) & kLanes) +
                       (((((bv >> 8) & kLanes) * ia + kHalf) >> 8) & kLanes);
    const auto keep = reinterpret_cast<Pixels8>(a == 0);
    const auto take = reinterpret_cast<Pixels8>(a == 255);
    const Pixels8 mixed = rb | (ag << 8);
    const Pixels8 r = (bv & keep) | (fv & take) | (mixed & ~(keep | take));
    std::memcpy(d + k, &r, sizeof r);
  }
  for (; k < n; ++k) {
    const uint32_t a = BlendWeight(f[k], master);
    if (a == 0) continue;
    d[k] = a == 255 ? f[k] : BlendPixel(f[k], d[k], a);
  }
}

void BlendRowOpaque(TColor32* d, const TColor32* f, int n, uint8_t master, int uniform) {
  int k = 0;
#if VELMORA_WIDE_BLEND
  if (uniform > 0 && uniform < 255 && WideVectors()) {
    k = BlendUniformAvx2(d, f, n, static_cast<uint32_t>(uniform), 0xFF000000u);
    for (; k < n; ++k) d[k] = BlendPixel(f[k], d[k], static_cast<uint32_t>(uniform)) | 0xFF000000u;
    return;
  }
#endif
  (void)uniform;
  BlendRow(d, f, n, master);
  for (; k < n; ++k) d[k] |= 0xFF000000u;
}

}  // namespace resample

namespace {

using resample::BlendPixel;
using resample::BlendWeight;
using resample::BlockMap;
using resample::ClampTo;
using resample::DrawFrame;
using resample::DrawKernel;
using resample::GrowTo;
using resample::LerpedRow;
using resample::LinearMap;
using resample::RowWriter;
using resample::Scratch;
using resample::ThreadScratch;

// --- Equal sizes: no resampling -------------------------------------------

void CopySameSize(const TBitmap32& src, const DrawFrame& f, const RowWriter& out) {
  // Source position of clipped target pixel (x, y) is (x - clip.Left +
  // srcLeft + firstCol, ...); keep the part whose source pixel exists.
  const int64_t sx0 = f.srcLeft + f.firstCol;
  const int64_t sy0 = f.srcTop + f.firstRow;
  const int64_t colBegin = std::max<int64_t>(0, -sx0);
  const int64_t colEnd = std::min<int64_t>(f.clipWidth, src.Width() - sx0);
  const int64_t rowBegin = std::max<int64_t>(0, -sy0);
  const int64_t rowEnd = std::min<int64_t>(f.clipHeight, src.Height() - sy0);
  if (colBegin >= colEnd || rowBegin >= rowEnd) return;
  for (int64_t m = rowBegin; m < rowEnd; ++m) {
    const TColor32* s = src.ScanLine(static_cast<int>(sy0 + m)) + (sx0 + colBegin);
    out.Write(f.clip.Top + static_cast<int>(m), f.clip.Left + static_cast<int>(colBegin), s,
              static_cast<int>(colEnd - colBegin));
  }
}

// --- sfNearest ---------------------------------------------------------------

// Source position trunc(i * r + lo) of target positions first.. first+count-1,
// r = SW / TW in single precision. The clamp to [lo, hi - 1] only matters
// where float rounding of huge positions would step past the span.
void BuildNearestMap(int64_t lo, int64_t sw, int64_t tw, int64_t first, int count,
                     std::vector<int32_t>& map) {
  const float r = static_cast<float>(sw) / static_cast<float>(tw);
  const float flo = static_cast<float>(lo);
  map.resize(static_cast<size_t>(count));
  for (int m = 0; m < count; ++m) {
    const float p = static_cast<float>(first + m) * r + flo;
    map[m] = ClampTo(static_cast<int64_t>(p), lo, lo + sw - 1);
  }
}

void DrawNearest(const TBitmap32& src, const DrawFrame& f, Scratch& sc, const RowWriter& out) {
  BuildNearestMap(f.srcLeft, f.srcWidth, f.dstWidth, f.firstCol, f.clipWidth, sc.nearCols);
  BuildNearestMap(f.srcTop, f.srcHeight, f.dstHeight, f.firstRow, f.clipHeight, sc.nearRows);
  GrowTo(sc.line, static_cast<size_t>(f.clipWidth));
  const int32_t* cols = sc.nearCols.data();
  for (int m = 0; m < f.clipHeight; ++m) {
    const TColor32* s = src.ScanLine(sc.nearRows[m]);
    for (int k = 0; k < f.clipWidth; ++k) sc.line[k] = s[cols[k]];
    out.WriteClipRow(m, sc.line.data());
  }
}

// --- Bilinear path (sfLinear, sfDraft enlarging) ----------------------------

// One axis: t = (lo - 0.5) + (i + 0.5) * (SW / TW), clamped into the bitmap,
// p = floor(t), w = 256 - round(frac(t) * 256). Positions equal to hi - 1
// at the end of the span are stepped back to hi - 2 with weight 0 so that the
// pair p, p + 1 lies inside the span. That step-back walks left from the last
// target position of the whole span; since p never decreases with i, it hits
// exactly the positions whose p is hi - 1 provided the last one's is, which
// lets the clipped part be built without the rest of the span.
void BuildLinearMap(int64_t lo, int64_t sw, int64_t tw, int64_t first, int count, int32_t limit,
                    LinearMap& map) {
  const int64_t hi = lo + sw;
  const float ratio = static_cast<float>(sw) / static_cast<float>(tw);
  const float base = static_cast<float>(lo) - 0.5f;
  const float tmax = static_cast<float>(limit - 1);
  const auto position = [&](int64_t i, float& frac) {
    const float t = std::clamp(base + (static_cast<float>(i) + 0.5f) * ratio, 0.0f, tmax);
    const float p = std::floor(t);
    frac = t - p;
    return static_cast<int64_t>(p);
  };
  float frac = 0.0f;
  const bool stepBack = position(tw - 1, frac) == hi - 1;
  map.p0.resize(static_cast<size_t>(count));
  map.p1.resize(static_cast<size_t>(count));
  map.w.resize(static_cast<size_t>(count));
  for (int m = 0; m < count; ++m) {
    int64_t p = position(first + m, frac);
    auto w = 256 - static_cast<int32_t>(std::nearbyint(frac * 256.0f));
    if (stepBack && p == hi - 1) {
      p = hi - 2;
      w = 0;
    }
    // Each of the pair on its own, so a span reaching past the bitmap's edge
    // reads the edge pixel (with the weight meant for it) instead of beyond.
    map.p0[m] = ClampTo(p, 0, limit - 1);
    map.p1[m] = ClampTo(p + 1, 0, limit - 1);
    map.w[m] = w;
  }
}

// Per channel (c * w + d * (256 - w)) >> 8, truncated like every interpolation
// step; two channels per multiplication, a lane never exceeding 255 * 256.
inline TColor32 Lerp(TColor32 c, TColor32 d, uint32_t w) {
  constexpr uint32_t kLanes = 0x00FF00FFu;
  const uint32_t iw = 256 - w;
  const uint32_t rb = ((((c & kLanes) * w + (d & kLanes) * iw) >> 8) & kLanes);
  const uint32_t ag = ((((c >> 8) & kLanes) * w + ((d >> 8) & kLanes) * iw) & ~kLanes);
  return rb | ag;
}

void DrawBilinear(const TBitmap32& src, const DrawFrame& f, Scratch& sc, const RowWriter& out) {
  BuildLinearMap(f.srcLeft, f.srcWidth, f.dstWidth, f.firstCol, f.clipWidth, src.Width(), sc.linCols);
  BuildLinearMap(f.srcTop, f.srcHeight, f.dstHeight, f.firstRow, f.clipHeight, src.Height(), sc.linRows);
  const auto width = static_cast<size_t>(f.clipWidth);
  GrowTo(sc.line, width);
  for (LerpedRow& l : sc.lerped) {
    l.row = -1;
    GrowTo(l.px, width);
  }
  // A source row interpolated between its columns, kept in one of two slots
  // (never the one holding `other`, the row it is paired with) so that each
  // is computed once for all the target rows between the same source rows.
  const auto lerpedRow = [&](int32_t row, int32_t other) -> const TColor32* {
    for (const LerpedRow& l : sc.lerped)
      if (l.row == row) return l.px.data();
    LerpedRow& l = sc.lerped[0].row == other ? sc.lerped[1] : sc.lerped[0];
    const TColor32* s = src.ScanLine(row);
    const int32_t* p0 = sc.linCols.p0.data();
    const int32_t* p1 = sc.linCols.p1.data();
    const int32_t* w = sc.linCols.w.data();
    for (size_t k = 0; k < width; ++k) l.px[k] = Lerp(s[p0[k]], s[p1[k]], static_cast<uint32_t>(w[k]));
    l.row = row;
    return l.px.data();
  };
  for (int m = 0; m < f.clipHeight; ++m) {
    const int32_t r0 = sc.linRows.p0[m];
    const int32_t r1 = sc.linRows.p1[m];
    const TColor32* top = lerpedRow(r0, r1);
    const TColor32* bottom = lerpedRow(r1, r0);
    const auto wy = static_cast<uint32_t>(sc.linRows.w[m]);
    for (size_t k = 0; k < width; ++k) sc.line[k] = Lerp(top[k], bottom[k], wy);
    out.WriteClipRow(m, sc.line.data());
  }
}

// --- sfDraft shrinking: block average ----------------------------------------

// Blocks of one axis. The first clipped position's block starts
// trunc(first * SW / TW) from lo and is trunc(SW / TW) wide; the k-th block
// edge lies (k * trunc(65536 * SW / TW)) >> 16 from that start, the ratio held
// in single precision. Blocks are cut to the part of the span inside the
// bitmap; one that would then be empty (a span outside the bitmap) becomes
// the single nearest pixel, so no block is ever empty.
void BuildBlockMap(int64_t lo, int64_t sw, int64_t tw, int64_t first, int count, int32_t limit,
                   BlockMap& map) {
  const float scale = static_cast<float>(sw) / static_cast<float>(tw);
  const auto firstWidth = static_cast<int64_t>(scale);
  const auto step = static_cast<int64_t>(65536.0f * scale);  // 16.16 fixed point
  const int64_t start = lo + static_cast<int64_t>(static_cast<float>(first) * scale);
  const auto edge = [&](int64_t k) -> int64_t {
    if (k == 0) return 0;
    if (k == 1) return firstWidth;
    int64_t e = 0;
    // Saturating: such an edge lies far past any bitmap and is cut anyway.
    if (!CheckedMul(k, step, &e)) e = std::numeric_limits<int64_t>::max();
    return e >> 16;
  };
  const int64_t cutLo = std::max<int64_t>(lo, 0);
  const int64_t cutHi = std::min<int64_t>(lo + sw, limit);
  map.begin.resize(static_cast<size_t>(count));
  map.end.resize(static_cast<size_t>(count));
  int64_t a = start + edge(0);
  for (int m = 0; m < count; ++m) {
    const int64_t b = start + edge(m + 1);
    const int64_t ca = std::max(a, cutLo);
    const int64_t cb = std::min(b, cutHi);
    if (ca < cb) {
      map.begin[m] = static_cast<int32_t>(ca);
      map.end[m] = static_cast<int32_t>(cb);
    } else {
      const int32_t p = ClampTo(ClampTo(a, lo, lo + sw - 1), 0, limit - 1);
      map.begin[m] = p;
      map.end[m] = p + 1;
    }
    a = b;
  }
}

// Mean of one channel over n pixels: sum * trunc(2^24 / n) >> 24, which is
// a little low for most n (255 over 3 x 3 pixels gives 254). Past 2^24
// pixels that reciprocal would be 0 and turn every huge block black, so such
// blocks take the plain quotient instead.
inline uint32_t BlockMean(uint64_t sum, uint64_t n) {
  constexpr uint64_t kOne = uint64_t(1) << 24;
  if (n > kOne) return static_cast<uint32_t>(sum / n);
  return static_cast<uint32_t>((sum * (kOne / n)) >> 24);
}

// Column sums of one block row in 32 bits while 255 x the bitmap's height
// fits, else in 64; per channel, in the pixels' byte order.
template <typename Sum>
void DrawBlocks(const TBitmap32& src, const DrawFrame& f, Scratch& sc, std::vector<Sum>& columnSums,
                const RowWriter& out) {
  BuildBlockMap(f.srcLeft, f.srcWidth, f.dstWidth, f.firstCol, f.clipWidth, src.Width(), sc.blockCols);
  BuildBlockMap(f.srcTop, f.srcHeight, f.dstHeight, f.firstRow, f.clipHeight, src.Height(), sc.blockRows);
  const int32_t* cb = sc.blockCols.begin.data();
  const int32_t* ce = sc.blockCols.end.data();
  const int32_t x0 = *std::min_element(cb, cb + f.clipWidth);
  const int32_t x1 = *std::max_element(ce, ce + f.clipWidth);
  const size_t n = static_cast<size_t>(x1 - x0) * 4;
  resample::GrowTo(columnSums, n);
  GrowTo(sc.line, static_cast<size_t>(f.clipWidth));
  Sum* sums = columnSums.data();
  auto* line = reinterpret_cast<uint8_t*>(sc.line.data());
  for (int m = 0; m < f.clipHeight; ++m) {
    const int32_t y0 = sc.blockRows.begin[m];
    const int32_t y1 = sc.blockRows.end[m];
    std::fill(sums, sums + n, Sum(0));
    for (int32_t y = y0; y < y1; ++y) {
      const auto* b = reinterpret_cast<const uint8_t*>(src.ScanLine(y) + x0);
      for (size_t i = 0; i < n; ++i) sums[i] += b[i];
    }
    const auto rowsInBlock = static_cast<uint64_t>(y1 - y0);
    for (int k = 0; k < f.clipWidth; ++k) {
      uint64_t acc[4] = {0, 0, 0, 0};
      for (int32_t x = cb[k]; x < ce[k]; ++x) {
        const Sum* c = sums + 4 * static_cast<size_t>(x - x0);
        for (int ch = 0; ch < 4; ++ch) acc[ch] += c[ch];
      }
      const uint64_t pixels = rowsInBlock * static_cast<uint64_t>(ce[k] - cb[k]);
      for (int ch = 0; ch < 4; ++ch) line[4 * k + ch] = static_cast<uint8_t>(BlockMean(acc[ch], pixels));
    }
    out.WriteClipRow(m, sc.line.data());
  }
}

void DrawBlocks(const TBitmap32& src, const DrawFrame& f, Scratch& sc, const RowWriter& out) {
  if (src.Height() <= int64_t(std::numeric_limits<uint32_t>::max() / 255)) {
    DrawBlocks(src, f, sc, sc.blockSums32, out);
  } else {
    DrawBlocks(src, f, sc, sc.blockSums64, out);
  }
}

// `opaqueUniform` below -1: the pixels written as combined; else they are
// made opaque, see BlendRowOpaque.
Status DrawResampled(const TBitmap32& src, TBitmap32& dst, const DrawFrame& f, int opaqueUniform = -2) {
  Scratch& sc = ThreadScratch();
  // dmCustom (and cmMerge) have no use in the program; dmCustom draws like dmOpaque.
  RowWriter out(dst, f, src.DrawMode, src.MasterAlpha);
  if (opaqueUniform >= -1) out.MakeOpaque(opaqueUniform);

  if (f.srcWidth == f.dstWidth && f.srcHeight == f.dstHeight) {
    CopySameSize(src, f, out);
    return Status::Ok();
  }
  const bool wider = f.dstWidth > f.srcWidth;
  const bool taller = f.dstHeight > f.srcHeight;
  const bool tiny = f.srcWidth < 2 || f.srcHeight < 2;
  switch (src.StretchFilter) {
    case sfDraft:
      if (!wider && !taller) {
        DrawBlocks(src, f, sc, out);
      } else if (tiny) {
        DrawKernel(src, sfLinear, f, sc, out);
      } else {
        DrawBilinear(src, f, sc, out);
      }
      return Status::Ok();
    case sfLinear:
      if (wider && taller && !tiny) {
        DrawBilinear(src, f, sc, out);
      } else {
        DrawKernel(src, sfLinear, f, sc, out);
      }
      return Status::Ok();
    case sfCosine:
    case sfSpline:
    case sfLanczos:
    case sfMitchell:
      DrawKernel(src, src.StretchFilter, f, sc, out);
      return Status::Ok();
    case sfNearest:
    default:  // a filter value out of range draws as the first filter
      break;
  }
  const bool inside = f.srcLeft >= 0 && f.srcTop >= 0 && f.srcLeft + f.srcWidth <= src.Width() &&
                      f.srcTop + f.srcHeight <= src.Height();
  if (!inside) return Status::Error("Invalid SrcRect");
  DrawNearest(src, f, sc, out);
  return Status::Ok();
}

}  // namespace

Status TBitmap32::DrawTo(TBitmap32& dst, const TRect& target, const TRect& source) const {
  if (Empty() || dst.Empty()) return Status::Ok();
  if (DrawMode == dmBlend && MasterAlpha == 0) return Status::Ok();
  DrawFrame f{};
  f.srcLeft = source.Left;
  f.srcTop = source.Top;
  f.srcWidth = int64_t(source.Right) - source.Left;
  f.srcHeight = int64_t(source.Bottom) - source.Top;
  f.dstWidth = int64_t(target.Right) - target.Left;
  f.dstHeight = int64_t(target.Bottom) - target.Top;
  if (f.srcWidth <= 0 || f.srcHeight <= 0 || f.dstWidth <= 0 || f.dstHeight <= 0) return Status::Ok();
  f.clip = Intersect(target, dst.BoundsRect());
  if (f.clip.IsEmpty()) return Status::Ok();
  f.firstCol = int64_t(f.clip.Left) - target.Left;
  f.firstRow = int64_t(f.clip.Top) - target.Top;
  f.clipWidth = f.clip.Right - f.clip.Left;  // inside the bitmap, so no overflow
  f.clipHeight = f.clip.Bottom - f.clip.Top;

  try {
    if (&dst == this) {
      // Drawing a bitmap into itself would read pixels it has already
      // overwritten; draw from a copy instead.
      TBitmap32 copy;
      copy.Assign(*this);
      copy.DrawMode = DrawMode;
      copy.CombineMode = CombineMode;
      copy.MasterAlpha = MasterAlpha;
      copy.StretchFilter = StretchFilter;
      return DrawResampled(copy, dst, f);
    }
    return DrawResampled(*this, dst, f);
  } catch (const std::bad_alloc&) {
    return Status::Error(
        Format("Out of memory while drawing into a bitmap of %d x %d pixels", dst.Width(), dst.Height()));
  }
}

Status DrawOverlayOpaque(const TBitmap32& source, const TRect& sourceRect, TBitmap32& target, uint8_t alpha) {
  const bool inside = sourceRect.Left >= 0 && sourceRect.Top >= 0 && sourceRect.Left < sourceRect.Right &&
                      sourceRect.Top < sourceRect.Bottom && sourceRect.Right <= source.Width() &&
                      sourceRect.Bottom <= source.Height();
  if (source.Empty() || target.Empty() || &source == &target || source.DrawMode != dmBlend ||
      source.MasterAlpha == 0 || !inside) {
    const Status s = source.DrawTo(target, target.BoundsRect(), sourceRect);
    target.ResetAlpha(255);
    return s;
  }
  // The whole target is drawn (the rectangle lies inside the source), so
  // every pixel is written, and made opaque, once.
  DrawFrame f{};
  f.srcLeft = sourceRect.Left;
  f.srcTop = sourceRect.Top;
  f.srcWidth = int64_t(sourceRect.Right) - sourceRect.Left;
  f.srcHeight = int64_t(sourceRect.Bottom) - sourceRect.Top;
  f.dstWidth = target.Width();
  f.dstHeight = target.Height();
  f.clip = target.BoundsRect();
  f.clipWidth = target.Width();
  f.clipHeight = target.Height();
  // Every filter but the draft filter's block average turns pixels of one
  // alpha into pixels of that alpha, so the blend weight is known.
  const int uniform = source.StretchFilter == sfDraft
                          ? -1
                          : static_cast<int>(BlendWeight(TColor32(alpha) << 24, source.MasterAlpha));
  Status s;
  try {
    s = DrawResampled(source, target, f, uniform);
  } catch (const std::bad_alloc&) {
    s = Status::Error(Format("Out of memory while drawing into a bitmap of %d x %d pixels", target.Width(),
                             target.Height()));
  }
  if (!s.ok()) target.ResetAlpha(255);
  return s;
}

}  // namespace velmora
