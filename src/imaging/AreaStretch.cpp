// The area-averaging stretch behind every reduction of the program (grid,
// signatures, crops, previews): a box filter with fractional edge weights,
// exact in integer arithmetic. Each target pixel is the mean of the source
// area it covers, so shrinking averages and enlarging replicates source pixels
// with a blend only where a target pixel straddles two of them.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "imaging/PictureOps.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace velmora {
namespace {

// TColor32 is read byte by byte as blue, green, red, alpha, which makes it the
// same layout as a Bitmap24 pixel plus one byte; one kernel serves both.
static_assert(std::endian::native == std::endian::little);

// The row loops gain most from wide integer multiplies; where the compiler can
// dispatch at load time, an AVX2 build of the kernel runs on machines that have it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define VELMORA_STRETCH_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VELMORA_STRETCH_CLONES
#endif

// Sides beyond this would let the integer sums below overflow (255 x side must
// fit 32 bits); no picture the program allocates comes near it.
constexpr int64_t kMaxStretchSide = int64_t(1) << 24;

struct SourceView {
  const uint8_t* data = nullptr;
  size_t stride = 0;  // bytes per row
};

struct TargetView {
  uint8_t* data = nullptr;
  size_t stride = 0;
  int width = 0;
  int height = 0;
};

// The source pixels one target pixel (or row) covers along one axis. Positions
// are counted in units of 1 / targetLength source pixels, so every overlap is
// an integer: target i covers [i * s, (i + 1) * s) and source j covers
// [j * t, (j + 1) * t). The weights of one target pixel add up to s; the
// pixels strictly between first and last are covered wholly, weight t.
struct Footprint {
  int first = 0;
  int last = 0;
  uint32_t firstWeight = 0;
  uint32_t lastWeight = 0;
  friend bool operator==(const Footprint&, const Footprint&) = default;
};

void ComputeFootprints(int64_t sourceLength, int64_t targetLength, int origin, std::vector<Footprint>& out) {
  out.resize(static_cast<size_t>(targetLength));
  for (int64_t i = 0; i < targetLength; ++i) {
    const int64_t begin = i * sourceLength;
    const int64_t end = begin + sourceLength;
    const int64_t first = begin / targetLength;
    const int64_t last = (end - 1) / targetLength;
    Footprint& f = out[static_cast<size_t>(i)];
    f.first = static_cast<int>(first) + origin;
    f.last = static_cast<int>(last) + origin;
    if (first == last) {
      f.firstWeight = static_cast<uint32_t>(sourceLength);
      f.lastWeight = 0;
    } else {
      f.firstWeight = static_cast<uint32_t>((first + 1) * targetLength - begin);
      f.lastWeight = static_cast<uint32_t>(end - last * targetLength);
    }
  }
}

// Rounds sum / d to nearest, exact halves upward (the mean 127.5 of 0, 0, 255,
// 255 gives 128), by one multiplication instead of a division per channel.
// With l = ceil(log2 d), every sum is below 256 d <= 2^(8 + l); a multiplier
// of ceil(2^(8 + 2l) / d) (at most 2^(9 + l)) then leaves an error below 1 / d,
// too small to move the floor. The product needs 17 + 2l bits: 64-bit
// arithmetic serves every source area up to 2^23 pixels, 128-bit the rest.
struct DividerShape {
  uint64_t half = 0;
  uint64_t multiplier = 0;
  int shift = 0;
  bool fits64 = false;

  explicit DividerShape(uint64_t d) : half(d / 2) {
    const int l = d > 1 ? std::bit_width(d - 1) : 0;
    shift = 8 + 2 * l;
    const unsigned __int128 one = 1;
    multiplier = static_cast<uint64_t>(((one << shift) + d - 1) / d);
    fits64 = 17 + 2 * l <= 64;
  }
};

struct RoundingDivider64 {
  uint64_t half, multiplier;
  int shift;
  explicit RoundingDivider64(const DividerShape& s)
      : half(s.half), multiplier(s.multiplier), shift(s.shift) {}
  uint8_t operator()(uint64_t sum) const {
    return static_cast<uint8_t>(((sum + half) * multiplier) >> shift);
  }
};

struct RoundingDivider128 {
  uint64_t half, multiplier;
  int shift;
  explicit RoundingDivider128(const DividerShape& s)
      : half(s.half), multiplier(s.multiplier), shift(s.shift) {}
  uint8_t operator()(uint64_t sum) const {
    return static_cast<uint8_t>((static_cast<unsigned __int128>(sum + half) * multiplier) >> shift);
  }
};

// Scratch kept per thread: library preparation stretches thousands of small
// pictures, and each call would otherwise allocate the same few buffers again.
// The footprints of one axis, kept with the lengths they were computed for:
// library pictures come in a few sizes, and most stretches repeat the last.
struct AxisFootprints {
  std::vector<Footprint> list;
  int64_t source = -1;
  int64_t target = -1;
  int origin = 0;
  bool pairsKnown = false;  // `pairs` and the pair weights belong to `list`
  bool pairs = false;

  void For(int64_t sourceLength, int64_t targetLength, int from) {
    if (sourceLength == source && targetLength == target && from == origin) return;
    source = target = -1;  // stale until the list is complete
    pairsKnown = false;
    ComputeFootprints(sourceLength, targetLength, from, list);
    source = sourceLength;
    target = targetLength;
    origin = from;
  }
};

struct StretchScratch {
  AxisFootprints columnAxis;
  AxisFootprints rowAxis;
  std::vector<uint32_t> columnSums;   // one target row's vertical sums per source byte
  std::vector<uint16_t> middle16;     // up to kRowsPer16 wholly covered rows, unweighted
  std::vector<uint32_t> middle32;     // more of them
  std::vector<uint32_t> pairWeights;  // per target column: its two weights, four lanes each
};

// 256 rows of 255 still fit 16 bits; half the width of 32-bit sums makes the
// innermost loop, which touches every source byte, twice as fast.
constexpr int kRowsPer16 = 256;

StretchScratch& Scratch() {
  thread_local StretchScratch scratch;
  return scratch;
}

// sums = wa x a + wb x b + wm x middle, byte by byte along a row.
template <typename Middle>
void CombineRows(uint32_t* sums, const uint8_t* a, uint32_t wa, const uint8_t* b, uint32_t wb,
                 const Middle* middle, uint32_t wm, size_t n) {
  for (size_t x = 0; x < n; ++x) sums[x] = wa * a[x] + wb * b[x] + wm * middle[x];
}

// The horizontal pass of four-byte pixels, one target pixel's four channels
// per step in 32-bit lanes: the arithmetic of the scalar loop below, exact as
// long as a weighted sum plus half the divisor stays below 2^32 and the
// divider's multiplier fits 32 bits (HorizontalFits). Library preparation
// reduces thousands of small pictures, where this pass was most of the
// reduction's time.
struct HorizontalShape {
  uint32_t half = 0;
  uint32_t multiplier = 0;
  int shift = 0;
};

bool HorizontalFits(int64_t sw, int64_t sh, const RoundingDivider64& divide, HorizontalShape& shape) {
  // Every weighted sum is at most 255 x sw x sh, half the divisor sw x sh / 2.
  if (sw * sh > (int64_t(1) << 24) || divide.multiplier >> 32 != 0) return false;
  shape = {static_cast<uint32_t>(divide.half), static_cast<uint32_t>(divide.multiplier), divide.shift};
  return true;
}
template <typename Divider>
bool HorizontalFits(int64_t, int64_t, const Divider&, HorizontalShape&) {
  return false;
}

#if defined(__x86_64__) && defined(__GNUC__)
#define VELMORA_HAS_HORIZONTAL4 1
bool CanRunHorizontal4() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}

template <int DstBpp>
__attribute__((target("avx2"))) void Horizontal4(const uint32_t* sums, const Footprint* columns, int64_t tw,
                                                 uint8_t* out, const HorizontalShape& shape) {
  const __m128i half = _mm_set1_epi32(static_cast<int>(shape.half));
  const __m128i multiplier = _mm_set1_epi32(static_cast<int>(shape.multiplier));
  const __m128i shift = _mm_cvtsi32_si128(shape.shift);
  const __m128i wholeWeight = _mm_set1_epi32(static_cast<int>(tw));
  const auto load = [sums](int pixel) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + static_cast<size_t>(pixel) * 4));
  };
  for (int64_t tx = 0; tx < tw; ++tx, out += DstBpp) {
    const Footprint c = columns[tx];
    __m128i acc = _mm_mullo_epi32(load(c.first), _mm_set1_epi32(static_cast<int>(c.firstWeight)));
    if (c.first != c.last) {
      acc = _mm_add_epi32(acc, _mm_mullo_epi32(load(c.last), _mm_set1_epi32(static_cast<int>(c.lastWeight))));
      if (c.last - c.first > 1) {
        __m128i mid = load(c.first + 1);
        for (int p = c.first + 2; p < c.last; ++p) mid = _mm_add_epi32(mid, load(p));
        acc = _mm_add_epi32(acc, _mm_mullo_epi32(mid, wholeWeight));
      }
    }
    // ((sum + half) x multiplier) >> shift, in 64 bits for the even and the
    // odd lanes.
    acc = _mm_add_epi32(acc, half);
    const __m128i even = _mm_srl_epi64(_mm_mul_epu32(acc, multiplier), shift);
    const __m128i odd = _mm_srl_epi64(_mm_mul_epu32(_mm_srli_epi64(acc, 32), multiplier), shift);
    const __m128i words = _mm_or_si128(even, _mm_slli_epi64(odd, 32));
    const __m128i bytes = _mm_packus_epi16(_mm_packus_epi32(words, words), words);
    const uint32_t pixel = static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
    std::memcpy(out, &pixel, DstBpp);
  }
}

// The same pass when no target pixel covers more than two source pixels, as
// in every crop (one pixel larger) and every reduction to less than half:
// both pixels are read in one load from the row of sums and weighted by a
// pair of weights laid out beforehand, and four-byte targets are stored four
// pixels at a time. `sums` has one zero pixel past its end for the last
// column, whose second weight is 0.
inline __attribute__((target("avx2"))) __m128i DivideLanes(__m128i acc, const HorizontalShape& shape) {
  const __m128i multiplier = _mm_set1_epi32(static_cast<int>(shape.multiplier));
  const __m128i shift = _mm_cvtsi32_si128(shape.shift);
  acc = _mm_add_epi32(acc, _mm_set1_epi32(static_cast<int>(shape.half)));
  const __m128i even = _mm_srl_epi64(_mm_mul_epu32(acc, multiplier), shift);
  const __m128i odd = _mm_srl_epi64(_mm_mul_epu32(_mm_srli_epi64(acc, 32), multiplier), shift);
  return _mm_or_si128(even, _mm_slli_epi64(odd, 32));
}

inline __attribute__((target("avx2"))) __m128i WeightedPair(const uint32_t* sums, const Footprint& c,
                                                            const uint32_t* weights) {
  const __m256i both =
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sums + static_cast<size_t>(c.first) * 4));
  const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights));
  const __m256i products = _mm256_mullo_epi32(both, w);
  return _mm_add_epi32(_mm256_castsi256_si128(products), _mm256_extracti128_si256(products, 1));
}

template <int DstBpp>
__attribute__((target("avx2"))) void HorizontalPairs4(const uint32_t* sums, const Footprint* columns,
                                                      const uint32_t* weights, int64_t tw, uint8_t* out,
                                                      const HorizontalShape& shape) {
  int64_t tx = 0;
  if constexpr (DstBpp == 4) {
    for (; tx + 4 <= tw; tx += 4, out += 16) {
      const __m128i w0 = DivideLanes(WeightedPair(sums, columns[tx], weights + tx * 8), shape);
      const __m128i w1 = DivideLanes(WeightedPair(sums, columns[tx + 1], weights + tx * 8 + 8), shape);
      const __m128i w2 = DivideLanes(WeightedPair(sums, columns[tx + 2], weights + tx * 8 + 16), shape);
      const __m128i w3 = DivideLanes(WeightedPair(sums, columns[tx + 3], weights + tx * 8 + 24), shape);
      const __m128i bytes = _mm_packus_epi16(_mm_packus_epi32(w0, w1), _mm_packus_epi32(w2, w3));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    }
  }
  for (; tx < tw; ++tx, out += DstBpp) {
    const __m128i words = DivideLanes(WeightedPair(sums, columns[tx], weights + tx * 8), shape);
    const __m128i bytes = _mm_packus_epi16(_mm_packus_epi32(words, words), words);
    const uint32_t pixel = static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
    std::memcpy(out, &pixel, DstBpp);
  }
}

// Lays out the pair weights for HorizontalPairs4; false when some target
// pixel covers more than two source pixels.
bool PairWeights(const std::vector<Footprint>& columns, std::vector<uint32_t>& weights) {
  for (const Footprint& c : columns)
    if (c.last - c.first > 1) return false;
  weights.resize(columns.size() * 8);
  uint32_t* w = weights.data();
  for (const Footprint& c : columns) {
    std::fill_n(w, 4, c.firstWeight);
    std::fill_n(w + 4, 4, c.first == c.last ? 0u : c.lastWeight);
    w += 8;
  }
  return true;
}
#endif

// Vertical pass first: whole rows are summed byte by byte, a loop that is the
// same for three- and four-byte pixels and vectorises; the horizontal pass then
// works on one row of sums per target row. The sums are exact, so the order of
// the passes does not change a single value.
template <int SrcBpp, int DstBpp, typename Divider>
VELMORA_STRETCH_CLONES void StretchKernel(SourceView src, const TRect& rect, TargetView dst,
                                          const Divider divide) {
  static_assert(DstBpp <= SrcBpp);
  const int64_t sw = rect.Width();
  const int64_t sh = rect.Height();
  const int64_t tw = dst.width;
  const int64_t th = dst.height;

  StretchScratch& s = Scratch();
  // Columns index the row of sums, which starts at the rectangle's left edge;
  // rows index the source picture itself.
  s.columnAxis.For(sw, tw, 0);
  s.rowAxis.For(sh, th, rect.Top);
  const std::vector<Footprint>& columnList = s.columnAxis.list;
  const std::vector<Footprint>& rowList = s.rowAxis.list;
  const size_t rowBytes = static_cast<size_t>(sw) * SrcBpp;
  // Every buffer is sized before the first target byte is written, so a lack
  // of memory leaves the target as it was.
  // One pixel more than a row of sums: the pair pass reads past the last
  // column (with weight 0), and reads a defined zero there.
  s.columnSums.resize(rowBytes + 4);
  std::fill_n(s.columnSums.data() + rowBytes, 4, 0u);
  s.middle16.resize(rowBytes);
  if (sh > th * kRowsPer16) s.middle32.resize(rowBytes);
  uint32_t* sums = s.columnSums.data();
  HorizontalShape horizontal;
  [[maybe_unused]] const bool vectorRows = HorizontalFits(sw, sh, divide, horizontal)
#ifdef VELMORA_HAS_HORIZONTAL4
                                           && CanRunHorizontal4();
#else
                                           && false;
#endif
  [[maybe_unused]] bool pairRows = false;
#ifdef VELMORA_HAS_HORIZONTAL4
  if constexpr (SrcBpp == 4)
    if (vectorRows) {
      if (!s.columnAxis.pairsKnown) {
        s.columnAxis.pairs = PairWeights(columnList, s.pairWeights);
        s.columnAxis.pairsKnown = true;
      }
      pairRows = s.columnAxis.pairs;
    }
#endif
  const auto sourceRow = [&](int y) {
    return src.data + static_cast<size_t>(y) * src.stride + static_cast<size_t>(rect.Left) * SrcBpp;
  };
  // Sums rows [from, to) into middle16, unweighted; at most kRowsPer16 of them.
  const auto sumRows16 = [&](int from, int to) {
    uint16_t* m = s.middle16.data();
    const uint8_t* row = sourceRow(from);
    for (size_t x = 0; x < rowBytes; ++x) m[x] = row[x];
    for (int y = from + 1; y < to; ++y) {
      row = sourceRow(y);
      for (size_t x = 0; x < rowBytes; ++x) m[x] = static_cast<uint16_t>(m[x] + row[x]);
    }
  };

  Footprint previous{-1, -1, 0, 0};
  for (int64_t ty = 0; ty < th; ++ty) {
    const Footprint& r = rowList[static_cast<size_t>(ty)];
    // Enlarging, neighbouring target rows often cover the same source rows.
    if (!(r == previous)) {
      const uint8_t* a = sourceRow(r.first);
      const int wholeRows = r.last - r.first - 1;
      const uint32_t wm = static_cast<uint32_t>(th);
      if (r.first == r.last) {
        for (size_t x = 0; x < rowBytes; ++x) sums[x] = r.firstWeight * a[x];
      } else if (wholeRows == 0) {
        const uint8_t* b = sourceRow(r.last);
        for (size_t x = 0; x < rowBytes; ++x) sums[x] = r.firstWeight * a[x] + r.lastWeight * b[x];
      } else if (wholeRows <= kRowsPer16) {
        sumRows16(r.first + 1, r.last);
        CombineRows(sums, a, r.firstWeight, sourceRow(r.last), r.lastWeight, s.middle16.data(), wm, rowBytes);
      } else {
        uint32_t* middle32 = s.middle32.data();
        const uint16_t* middle16 = s.middle16.data();
        std::fill(middle32, middle32 + rowBytes, 0u);
        for (int y = r.first + 1; y < r.last; y += kRowsPer16) {
          sumRows16(y, std::min(y + kRowsPer16, r.last));
          for (size_t x = 0; x < rowBytes; ++x) middle32[x] += middle16[x];
        }
        CombineRows(sums, a, r.firstWeight, sourceRow(r.last), r.lastWeight, middle32, wm, rowBytes);
      }
      previous = r;
    }

    // Byte stores may alias anything, so everything the loop reads is held
    // in locals rather than reloaded through the scratch vectors.
    uint8_t* out = dst.data + static_cast<size_t>(ty) * dst.stride;
    const Footprint* columns = columnList.data();
#ifdef VELMORA_HAS_HORIZONTAL4
    if constexpr (SrcBpp == 4) {
      if (pairRows) {
        HorizontalPairs4<DstBpp>(sums, columns, s.pairWeights.data(), tw, out, horizontal);
        continue;
      }
      if (vectorRows) {
        Horizontal4<DstBpp>(sums, columns, tw, out, horizontal);
        continue;
      }
    }
#endif
    for (int64_t tx = 0; tx < tw; ++tx, out += DstBpp) {
      const Footprint c = columns[tx];
      const uint32_t* first = sums + static_cast<size_t>(c.first) * SrcBpp;
      if (c.first == c.last) {
        for (int ch = 0; ch < DstBpp; ++ch) out[ch] = divide(uint64_t(c.firstWeight) * first[ch]);
        continue;
      }
      const uint32_t* last = sums + static_cast<size_t>(c.last) * SrcBpp;
      uint64_t acc[DstBpp];
      for (int ch = 0; ch < DstBpp; ++ch)
        acc[ch] = uint64_t(c.firstWeight) * first[ch] + uint64_t(c.lastWeight) * last[ch];
      if (c.last - c.first > 1) {
        uint64_t mid[DstBpp] = {};
        for (const uint32_t* p = first + SrcBpp; p < last; p += SrcBpp)
          for (int ch = 0; ch < DstBpp; ++ch) mid[ch] += p[ch];
        for (int ch = 0; ch < DstBpp; ++ch) acc[ch] += static_cast<uint64_t>(tw) * mid[ch];
      }
      for (int ch = 0; ch < DstBpp; ++ch) out[ch] = divide(acc[ch]);
    }
  }
}

SourceView ViewOf(const TBitmap32& b) {
  return {reinterpret_cast<const uint8_t*>(b.Pixels().data()), static_cast<size_t>(b.Width()) * 4};
}
SourceView ViewOf(const Bitmap24& b) { return {b.Bytes().data(), b.Stride()}; }
TargetView TargetOf(TBitmap32& b) {
  return {reinterpret_cast<uint8_t*>(b.Pixels().data()), static_cast<size_t>(b.Width()) * 4, b.Width(),
          b.Height()};
}
TargetView TargetOf(Bitmap24& b) { return {b.Bytes().data(), b.Stride(), b.Width(), b.Height()}; }

template <int SrcBpp, int DstBpp, typename Source, typename Target>
void Stretch(const Source& source, const TRect& sourceRect, Target& target) {
  if (target.Empty()) return;
  const TRect rect = Intersect(sourceRect, TRect{0, 0, source.Width(), source.Height()});
  if (rect.Width() > kMaxStretchSide || rect.Height() > kMaxStretchSide || target.Width() > kMaxStretchSide ||
      target.Height() > kMaxStretchSide)
    return;
  TargetView dst = TargetOf(target);
  if (rect.IsEmpty()) {
    // Nothing to average: a defined black rather than stale pixels.
    std::memset(dst.data, 0, dst.stride * static_cast<size_t>(dst.height));
    return;
  }
  const DividerShape shape(static_cast<uint64_t>(int64_t(rect.Width()) * rect.Height()));
  if (shape.fits64)
    StretchKernel<SrcBpp, DstBpp>(ViewOf(source), rect, dst, RoundingDivider64(shape));
  else
    StretchKernel<SrcBpp, DstBpp>(ViewOf(source), rect, dst, RoundingDivider128(shape));
}

}  // namespace

// The copies for a source that is also the target, and the scratch buffers,
// are the only allocations; when they fail the target keeps its pixels.
void AreaStretch(const TBitmap32& source, const TRect& sourceRect, TBitmap32& target) {
  try {
    if (&source == &target) {
      const TBitmap32 copy = source;
      Stretch<4, 4>(copy, sourceRect, target);
      return;
    }
    Stretch<4, 4>(source, sourceRect, target);
  } catch (const std::bad_alloc&) {
  }
}

void AreaStretch(const Bitmap24& source, const TRect& sourceRect, Bitmap24& target) {
  try {
    if (&source == &target) {
      const Bitmap24 copy = source;
      Stretch<3, 3>(copy, sourceRect, target);
      return;
    }
    Stretch<3, 3>(source, sourceRect, target);
  } catch (const std::bad_alloc&) {
  }
}

void AreaStretch(const TBitmap32& source, const TRect& sourceRect, Bitmap24& target) {
  try {
    Stretch<4, 3>(source, sourceRect, target);
  } catch (const std::bad_alloc&) {
  }
}

}  // namespace velmora
