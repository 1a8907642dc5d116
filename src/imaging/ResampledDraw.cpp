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
#include "imaging/CheckedMath.h"
#include "imaging/PixelBlend.h"
#include "imaging/ResampleKernels.h"

namespace velmora {
namespace {

using resample::BlendPixel;
using resample::BlendWeight;
using resample::Tap;
using resample::TapTable;

// The rectangles of one draw, widened to 64 bits, and the clip.
struct DrawFrame {
  int64_t srcLeft, srcTop, srcWidth, srcHeight;
  int64_t dstWidth, dstHeight;  // of the target rectangle
  int64_t firstCol, firstRow;   // first clipped target position, from the target rectangle's edge
  TRect clip;                   // in target bitmap coordinates
  int clipWidth, clipHeight;
};

struct LinearMap {
  std::vector<int32_t> p0, p1;  // the pair of source positions, both inside the bitmap
  std::vector<int32_t> w;       // weight of p0 in 1/256; p1 gets 256 - w
};

struct BlockMap {
  std::vector<int32_t> begin, end;  // half-open source range of each block, never empty
};

struct LerpedRow {
  int32_t row = -1;
  std::vector<TColor32> px;
};

constexpr int kMaxDenseTaps = 16;

// One axis table of the kernel resampler with its dense copy (every position
// padded to maxTaps taps of weight 0, positions turned into byte offsets from
// minPos), so the tap loops have one trip count for the whole row.
struct AxisTable {
  TapTable table;
  int maxTaps = 0;
  std::vector<Tap> dense;  // empty when maxTaps > kMaxDenseTaps
};

struct Scratch {
  AxisTable colScratch, rowScratch;  // tables too long to keep
  LinearMap linCols, linRows;
  BlockMap blockCols, blockRows;
  std::vector<int32_t> nearCols, nearRows;
  // Column sums, 4 per source column in the pixels' byte order.
  std::vector<int32_t> kernelSums;
  std::vector<int32_t> wide, filtered;  // source rows widened to 32 bits; filtered along columns
  std::vector<uint32_t> blockSums32;
  std::vector<uint64_t> blockSums64;
  LerpedRow lerped[2];
  std::vector<TColor32> line;  // one produced target row
};

Scratch& ThreadScratch() {
  thread_local Scratch scratch;
  return scratch;
}

// The inner loops of the blend and of the kernel resampler are plain integer
// loops the compiler vectorises; on x86-64 they are also built for AVX2 and
// picked at load time, since the baseline instruction set has no packed
// 32-bit multiply.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__ELF__)
#define VELMORA_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VELMORA_VECTOR_CLONES
#endif

// Four 32-bit lanes (GCC and Clang vector extension; plain scalar code where
// the machine has no such registers).
using Lanes = int32_t __attribute__((vector_size(16)));
using ULanes = uint32_t __attribute__((vector_size(16)));
// Eight lanes: two pixels, or eight channel sums; the baseline build splits
// them into two registers.
using Wide = int32_t __attribute__((vector_size(32)));
using Bytes8 = uint8_t __attribute__((vector_size(8)));

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

class RowWriter {
public:
  RowWriter(TBitmap32& dst, const DrawFrame& frame, TDrawMode mode, uint8_t masterAlpha)
      : dst_(dst), frame_(frame), blend_(mode == dmBlend), master_(masterAlpha) {}

  // Combines `n` produced pixels into target row y from column x on.
  void Write(int y, int x, const TColor32* f, int n) const {
    TColor32* d = dst_.ScanLine(y) + x;
    if (!blend_) {
      std::memcpy(d, f, static_cast<size_t>(n) * sizeof(TColor32));
      return;
    }
    BlendRow(d, f, n, master_);
  }
  // A full clipped row, produced for clipped row m.
  void WriteClipRow(int m, const TColor32* f) const {
    Write(frame_.clip.Top + m, frame_.clip.Left, f, frame_.clipWidth);
  }

private:
  TBitmap32& dst_;
  const DrawFrame& frame_;
  bool blend_;
  uint8_t master_;
};

int32_t ClampTo(int64_t v, int64_t lo, int64_t hi) { return static_cast<int32_t>(std::clamp(v, lo, hi)); }

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
  sc.line.resize(static_cast<size_t>(f.clipWidth));
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
  sc.line.resize(width);
  for (LerpedRow& l : sc.lerped) {
    l.row = -1;
    l.px.resize(width);
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
  columnSums.resize(n);
  sc.line.resize(static_cast<size_t>(f.clipWidth));
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

// --- Kernel resampler ---------------------------------------------------------

// Column sums of one target row: sums[i] = sum over the row taps of weight x
// byte i of the tap's row, from column x0 on. Bytes are taken in memory order
// and put back the same way, so the four channels of a pixel stay together
// whatever the machine's byte order. |weight| x 255 summed over a position's
// taps stays far inside 32 bits.
VELMORA_VECTOR_CLONES
void SumColumns(int32_t* sums, size_t n, const TBitmap32& src, int32_t x0, const Tap* rt, const Tap* rtEnd) {
  {
    const auto* b = reinterpret_cast<const uint8_t*>(src.ScanLine(rt->pos) + x0);
    const int32_t w = rt->weight;
    for (size_t i = 0; i < n; ++i) sums[i] = w * b[i];
  }
  for (++rt; rt != rtEnd; ++rt) {
    const auto* b = reinterpret_cast<const uint8_t*>(src.ScanLine(rt->pos) + x0);
    const int32_t w = rt->weight;
    for (size_t i = 0; i < n; ++i) sums[i] += w * b[i];
  }
}

// Sums are in 1/65536 (row weight x column weight). Clamping into 0..255
// keeps the negative lobes of Lanczos and Mitchell from wrapping; for the
// kernels without lobes every weight is at least 0 and sums to 256, so the
// sum already lies in that range and the clamp changes nothing.
template <typename Sum>
inline uint8_t KernelChannel(Sum sum) {
  return static_cast<uint8_t>(std::clamp<Sum>(sum, 0, Sum(255) << 16) >> 16);
}

// Each target pixel of the row over its column taps, into `out` (4 bytes a
// pixel). The 32-bit version serves whenever the tables bound every sum
// below 2^31, which is every table but those of extreme shrinks.
VELMORA_VECTOR_CLONES
void SumTaps32(uint8_t* out, const int32_t* sums, const TapTable& cols) {
  const Tap* taps = cols.taps.data();
  const uint32_t* first = cols.first.data();
  const int32_t x0 = cols.minPos;
  const int count = cols.count();
  const Lanes zero = {0, 0, 0, 0};
  const Lanes top = zero + (255 << 16);
  for (int k = 0; k < count; ++k) {
    Lanes acc = zero;
    for (uint32_t t = first[k]; t < first[k + 1]; ++t) {
      Lanes c;
      std::memcpy(&c, sums + 4 * static_cast<size_t>(taps[t].pos - x0), sizeof c);
      acc += taps[t].weight * c;
    }
    acc = acc < zero ? zero : acc;
    acc = acc > top ? top : acc;
    acc >>= 16;
    for (int ch = 0; ch < 4; ++ch) out[4 * k + ch] = static_cast<uint8_t>(acc[ch]);
  }
}

// The same over a dense copy of the column table: every position padded to
// `n` taps with weight 0 and each position turned into an offset into the
// sums, so the tap loop has one trip count for the whole row.
VELMORA_VECTOR_CLONES
void SumDenseTaps32(uint8_t* out, const int32_t* sums, const Tap* taps, int n, int count) {
  const Wide zero = {};
  const Wide top = zero + (255 << 16);
  int k = 0;
  // Two target pixels a step, one in each half of the register.
  for (; k + 2 <= count; k += 2, taps += 2 * n) {
    const Tap* second = taps + n;
    Wide acc = zero;
    for (int t = 0; t < n; ++t) {
      Lanes a, b;
      std::memcpy(&a, sums + taps[t].pos, sizeof a);
      std::memcpy(&b, sums + second[t].pos, sizeof b);
      const Wide c = __builtin_shufflevector(a, b, 0, 1, 2, 3, 4, 5, 6, 7);
      const int32_t wa = taps[t].weight, wb = second[t].weight;
      const Wide w = {wa, wa, wa, wa, wb, wb, wb, wb};
      acc += w * c;
    }
    acc = acc < zero ? zero : acc;
    acc = acc > top ? top : acc;
    acc >>= 16;
    const Bytes8 bytes = __builtin_convertvector(acc, Bytes8);
    std::memcpy(out + 4 * k, &bytes, sizeof bytes);
  }
  for (; k < count; ++k, taps += n) {
    Lanes acc = {0, 0, 0, 0};
    for (int t = 0; t < n; ++t) {
      Lanes c;
      std::memcpy(&c, sums + taps[t].pos, sizeof c);
      acc += taps[t].weight * c;
    }
    for (int ch = 0; ch < 4; ++ch) out[4 * k + ch] = KernelChannel(acc[ch]);
  }
}

void SumTaps64(uint8_t* out, const int32_t* sums, const TapTable& cols) {
  const Tap* taps = cols.taps.data();
  const uint32_t* first = cols.first.data();
  const int32_t x0 = cols.minPos;
  const int count = cols.count();
  for (int k = 0; k < count; ++k) {
    int64_t acc[4] = {0, 0, 0, 0};
    for (uint32_t t = first[k]; t < first[k + 1]; ++t) {
      const int32_t* c = sums + 4 * static_cast<size_t>(taps[t].pos - x0);
      const int64_t w = taps[t].weight;
      for (int ch = 0; ch < 4; ++ch) acc[ch] += w * c[ch];
    }
    for (int ch = 0; ch < 4; ++ch) out[4 * k + ch] = KernelChannel(acc[ch]);
  }
}

void BuildAxisTable(TStretchFilter filter, int64_t lo, int64_t hi, int64_t target, int64_t first,
                    int64_t count, int32_t limit, AxisTable& axis) {
  resample::BuildKernelTable(filter, lo, hi, target, first, count, limit, axis.table);
  const TapTable& t = axis.table;
  axis.maxTaps = 0;
  for (int k = 0; k < t.count(); ++k)
    axis.maxTaps = std::max(axis.maxTaps, static_cast<int>(t.first[k + 1] - t.first[k]));
  axis.dense.clear();
  if (axis.maxTaps > kMaxDenseTaps) return;
  axis.dense.assign(static_cast<size_t>(t.count()) * axis.maxTaps, Tap{0, 0});
  for (int k = 0; k < t.count(); ++k) {
    Tap* d = axis.dense.data() + static_cast<size_t>(k) * axis.maxTaps;
    for (uint32_t i = t.first[k]; i < t.first[k + 1]; ++i)
      *d++ = Tap{4 * (t.taps[i].pos - t.minPos), t.taps[i].weight};
  }
}

// Axis tables already built on this thread. The renderer draws thousands of
// cells whose tables repeat (every cell picture of a render has the same size,
// and the main picture's cell areas repeat along each row and column), and
// building a table costs more than drawing a small cell with it. Only tables
// of modest length are kept, and the whole set is dropped when it is full.
class AxisTableCache {
public:
  // Makes sure the next `n` lookups cannot drop a table handed out by an
  // earlier one of them.
  void MakeRoom(size_t n) {
    if (map_.size() + n > kMaxTables) map_.clear();
  }
  const AxisTable& Get(TStretchFilter filter, int64_t lo, int64_t hi, int64_t target, int64_t first,
                       int64_t count, int32_t limit, AxisTable& scratch) {
    if (count > kMaxCachedCount) {
      BuildAxisTable(filter, lo, hi, target, first, count, limit, scratch);
      return scratch;
    }
    const Key key{static_cast<int>(filter), limit, lo, hi, target, first, count};
    auto [it, added] = map_.try_emplace(key, nullptr);
    if (added) {
      try {
        auto axis = std::make_unique<AxisTable>();
        BuildAxisTable(filter, lo, hi, target, first, count, limit, *axis);
        it->second = std::move(axis);
      } catch (...) {
        map_.erase(it);
        throw;
      }
    }
    return *it->second;
  }

private:
  static constexpr size_t kMaxTables = 1024;
  static constexpr int64_t kMaxCachedCount = 1024;
  struct Key {
    int filter;
    int32_t limit;
    int64_t lo, hi, target, first, count;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    size_t operator()(const Key& k) const {
      uint64_t h = 0x9E3779B97F4A7C15ull;
      for (uint64_t v : {uint64_t(k.filter), uint64_t(uint32_t(k.limit)), uint64_t(k.lo), uint64_t(k.hi),
                         uint64_t(k.target), uint64_t(k.first), uint64_t(k.count)})
        h = (h ^ v) * 0x100000001B3ull + (h >> 29);
      return static_cast<size_t>(h);
    }
  };
  std::unordered_map<Key, std::unique_ptr<AxisTable>, KeyHash> map_;
};

AxisTableCache& ThreadAxisTables() {
  thread_local AxisTableCache cache;
  return cache;
}

// The dense paths of the kernel resampler. The source rows the row taps
// reach are first widened to 32-bit channel values (row r of the rectangle at
// wide + (r - minRow) * stride). Then either
//  - rows first: each target row's column sums are the weighted sum of its
//    source rows, and each target pixel the weighted sum of its column sums;
//  - columns first: each source row is filtered along its columns, and each
//    target row is the weighted sum of its filtered source rows.
// Integer sums are exact, so both orders give the pixels of the general path;
// columns first is the cheaper one when enlarging, where many target rows
// share few source rows. The weighted row sums keep eight lanes in a register
// over all the taps (at most kMaxDenseTaps of them).

// Vectors go by reference: passing them by value would depend on the
// instruction set the caller was built for.
inline void AddWeighted(Wide& acc, int32_t weight, const int32_t* p) {
  Wide v;
  std::memcpy(&v, p, sizeof v);
  acc += weight * v;
}

// Eight 32-bit sums in 1/65536, clamped into 0..255, as eight bytes.
inline void StoreChannels(uint8_t* out, Wide& acc) {
  const Wide zero = {};
  const Wide top = zero + (255 << 16);
  acc = acc < zero ? zero : acc;
  acc = acc > top ? top : acc;
  acc >>= 16;
  using Bytes32 = uint8_t __attribute__((vector_size(32)));
  const auto bytes = reinterpret_cast<Bytes32>(acc);
  const Bytes8 low = __builtin_shufflevector(bytes, bytes, 0, 4, 8, 12, 16, 20, 24, 28);
  std::memcpy(out, &low, sizeof low);
}

VELMORA_VECTOR_CLONES
void WidenRow(int32_t* out, const uint8_t* b, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = b[i];
}

struct RowTaps {
  const int32_t* rows[kMaxDenseTaps];
  int32_t weights[kMaxDenseTaps];
  int count = 0;
  RowTaps(const int32_t* base, size_t stride, int32_t minRow, const Tap* t, const Tap* tEnd) {
    for (; t != tEnd; ++t, ++count) {
      rows[count] = base + static_cast<size_t>(t->pos - minRow) * stride;
      weights[count] = t->weight;
    }
  }
};

// sums[i] = sum of weight x row[i] over the taps, i < n (a multiple of 4).
VELMORA_VECTOR_CLONES
void SumWideRows(int32_t* sums, const RowTaps& taps, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    Wide acc = {};
    for (int t = 0; t < taps.count; ++t) AddWeighted(acc, taps.weights[t], taps.rows[t] + i);
    std::memcpy(sums + i, &acc, sizeof acc);
  }
  for (; i < n; ++i) {
    int32_t acc = 0;
    for (int t = 0; t < taps.count; ++t) acc += taps.weights[t] * taps.rows[t][i];
    sums[i] = acc;
  }
}

// The same, clamped and scaled into bytes.
VELMORA_VECTOR_CLONES
void SumWideRowsToBytes(uint8_t* out, const RowTaps& taps, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    Wide acc = {};
    for (int t = 0; t < taps.count; ++t) AddWeighted(acc, taps.weights[t], taps.rows[t] + i);
    StoreChannels(out + i, acc);
  }
  for (; i < n; ++i) {
    int32_t acc = 0;
    for (int t = 0; t < taps.count; ++t) acc += taps.weights[t] * taps.rows[t][i];
    out[i] = KernelChannel(acc);
  }
}

VELMORA_VECTOR_CLONES
void ChannelsToBytes(uint8_t* out, const int32_t* sums, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    Wide v;
    std::memcpy(&v, sums + i, sizeof v);
    StoreChannels(out + i, v);
  }
  for (; i < n; ++i) out[i] = KernelChannel(sums[i]);
}

// Each target pixel over its dense column taps into `out` (four 32-bit sums
// a pixel), two pixels a step, one in each half of the register.
VELMORA_VECTOR_CLONES
void FilterWideRow(int32_t* out, const int32_t* wide, const Tap* taps, int n, int count) {
  int k = 0;
  for (; k + 2 <= count; k += 2, taps += 2 * n) {
    const Tap* second = taps + n;
    Wide acc = {};
    for (int t = 0; t < n; ++t) {
      Lanes x, y;
      std::memcpy(&x, wide + taps[t].pos, sizeof x);
      std::memcpy(&y, wide + second[t].pos, sizeof y);
      const int32_t wa = taps[t].weight, wb = second[t].weight;
      const Wide w = {wa, wa, wa, wa, wb, wb, wb, wb};
      acc += w * __builtin_shufflevector(x, y, 0, 1, 2, 3, 4, 5, 6, 7);
    }
    std::memcpy(out + 4 * static_cast<size_t>(k), &acc, sizeof acc);
  }
  for (; k < count; ++k, taps += n) {
    Lanes acc = {0, 0, 0, 0};
    for (int t = 0; t < n; ++t) {
      Lanes c;
      std::memcpy(&c, wide + taps[t].pos, sizeof c);
      acc += taps[t].weight * c;
    }
    std::memcpy(out + 4 * static_cast<size_t>(k), &acc, sizeof acc);
  }
}

// Widened or filtered source rows held at most for one dense draw (int32 values).
constexpr int64_t kMaxWideValues = int64_t(2) << 20;

void DrawKernel(const TBitmap32& src, TStretchFilter filter, const DrawFrame& f, Scratch& sc,
                const RowWriter& out) {
  AxisTableCache& tables = ThreadAxisTables();
  tables.MakeRoom(2);
  const AxisTable& colAxis = tables.Get(filter, f.srcLeft, f.srcLeft + f.srcWidth, f.dstWidth, f.firstCol,
                                        f.clipWidth, src.Width(), sc.colScratch);
  const AxisTable& rowAxis = tables.Get(filter, f.srcTop, f.srcTop + f.srcHeight, f.dstHeight, f.firstRow,
                                        f.clipHeight, src.Height(), sc.rowScratch);
  const TapTable& cols = colAxis.table;
  const TapTable& rows = rowAxis.table;
  const auto span = static_cast<size_t>(cols.maxPos - cols.minPos + 1);
  sc.kernelSums.resize(span * 4);
  sc.line.resize(static_cast<size_t>(f.clipWidth));
  const bool narrow = int64_t(255) * rows.maxAbsSum * cols.maxAbsSum < (int64_t(1) << 31);
  auto* line = reinterpret_cast<uint8_t*>(sc.line.data());
  // Enlarging and mild shrinking give a few taps a position: those rows go
  // through the dense table.
  const bool dense = narrow && !colAxis.dense.empty();
  const int maxTaps = colAxis.maxTaps;

  const int64_t width = f.clipWidth;
  const int64_t rowSpan = int64_t(rows.maxPos) - rows.minPos + 1;
  if (dense && rowAxis.maxTaps <= kMaxDenseTaps && rowSpan * int64_t(span) * 4 <= kMaxWideValues &&
      rowSpan * width * 4 <= kMaxWideValues) {
    const size_t spanValues = span * 4;
    sc.wide.resize(static_cast<size_t>(rowSpan) * spanValues);
    for (int64_t r = 0; r < rowSpan; ++r)
      WidenRow(
          sc.wide.data() + static_cast<size_t>(r) * spanValues,
          reinterpret_cast<const uint8_t*>(src.ScanLine(static_cast<int>(rows.minPos + r)) + cols.minPos),
          spanValues);
    // Rough counts of vector operations of the two orders.
    const auto rowTaps = static_cast<int64_t>(rows.taps.size());
    const int64_t rowsFirst = rowTaps * int64_t(span) / 2 + int64_t(f.clipHeight) * width * maxTaps / 2;
    const int64_t colsFirst = rowSpan * width * maxTaps / 2 + rowTaps * width / 2;
    const Tap* rt = rows.taps.data();
    const size_t stride = static_cast<size_t>(width) * 4;
    if (colsFirst < rowsFirst) {
      sc.filtered.resize(static_cast<size_t>(rowSpan) * stride);
      for (int64_t r = 0; r < rowSpan; ++r)
        FilterWideRow(sc.filtered.data() + static_cast<size_t>(r) * stride,
                      sc.wide.data() + static_cast<size_t>(r) * spanValues, colAxis.dense.data(), maxTaps,
                      f.clipWidth);
      for (int m = 0; m < f.clipHeight; ++m) {
        SumWideRowsToBytes(
            line,
            RowTaps(sc.filtered.data(), stride, rows.minPos, rt + rows.first[m], rt + rows.first[m + 1]),
            stride);
        out.WriteClipRow(m, sc.line.data());
      }
    } else {
      sc.filtered.resize(stride);
      for (int m = 0; m < f.clipHeight; ++m) {
        SumWideRows(
            sc.kernelSums.data(),
            RowTaps(sc.wide.data(), spanValues, rows.minPos, rt + rows.first[m], rt + rows.first[m + 1]),
            spanValues);
        FilterWideRow(sc.filtered.data(), sc.kernelSums.data(), colAxis.dense.data(), maxTaps, f.clipWidth);
        ChannelsToBytes(line, sc.filtered.data(), stride);
        out.WriteClipRow(m, sc.line.data());
      }
    }
    return;
  }
  for (int m = 0; m < f.clipHeight; ++m) {
    const Tap* rt = rows.taps.data();
    SumColumns(sc.kernelSums.data(), span * 4, src, cols.minPos, rt + rows.first[m], rt + rows.first[m + 1]);
    if (dense) {
      SumDenseTaps32(line, sc.kernelSums.data(), colAxis.dense.data(), maxTaps, f.clipWidth);
    } else if (narrow) {
      SumTaps32(line, sc.kernelSums.data(), cols);
    } else {
      SumTaps64(line, sc.kernelSums.data(), cols);
    }
    out.WriteClipRow(m, sc.line.data());
  }
}

Status DrawResampled(const TBitmap32& src, TBitmap32& dst, const DrawFrame& f) {
  Scratch& sc = ThreadScratch();
  // dmCustom (and cmMerge) have no use in the program; dmCustom draws like dmOpaque.
  const RowWriter out(dst, f, src.DrawMode, src.MasterAlpha);

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

}  // namespace velmora
