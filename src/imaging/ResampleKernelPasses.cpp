// The passes of the kernel resampler: each target pixel is a weighted sum of
// source pixels, the weights coming from per-axis tap tables (kept per thread,
// as they repeat from cell to cell), summed along one axis and then the other.
#include <algorithm>
#include <cstring>
#include <limits>

#include "imaging/PixelBlend.h"
#include "imaging/ResampleDrawing.h"
#include "imaging/ResampleWordPasses.h"

namespace velmora::resample {
namespace {

// Four 32-bit lanes (GCC and Clang vector extension; plain scalar code where
// the machine has no such registers).
using Lanes = int32_t __attribute__((vector_size(16)));
using ULanes = uint32_t __attribute__((vector_size(16)));
// Eight lanes: two pixels, or eight channel sums; the baseline build splits
// them into two registers.
using Wide = int32_t __attribute__((vector_size(32)));
using Bytes8 = uint8_t __attribute__((vector_size(8)));

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

#if VELMORA_WORD_PASSES
// Weighted sums of rows of biased 16-bit values, n of them (a multiple of
// 16; the rows hold that many), into bytes.
VELMORA_VECTOR_CLONES
void SumWordRowsToBytes(uint8_t* out, const WordRows& taps, size_t n) {
  __m128i weights[(kMaxDenseTaps + 1) / 2];
  for (int p = 0; p < taps.pairs; ++p) weights[p] = _mm_set1_epi32(taps.weights[p]);
  for (size_t i = 0; i < n; i += 16) {
    __m128i a0 = _mm_setzero_si128(), a1 = a0, a2 = a0, a3 = a0;
    for (int p = 0; p < taps.pairs; ++p) {
      const int16_t* r0 = taps.rows[2 * p] + i;
      const int16_t* r1 = taps.rows[2 * p + 1] + i;
      const __m128i w = weights[p];
      const __m128i x0 = LoadWords(r0), y0 = LoadWords(r1);
      const __m128i x1 = LoadWords(r0 + 8), y1 = LoadWords(r1 + 8);
      a0 = _mm_add_epi32(a0, _mm_madd_epi16(_mm_unpacklo_epi16(x0, y0), w));
      a1 = _mm_add_epi32(a1, _mm_madd_epi16(_mm_unpackhi_epi16(x0, y0), w));
      a2 = _mm_add_epi32(a2, _mm_madd_epi16(_mm_unpacklo_epi16(x1, y1), w));
      a3 = _mm_add_epi32(a3, _mm_madd_epi16(_mm_unpackhi_epi16(x1, y1), w));
    }
    const __m128i bytes = _mm_packus_epi16(ChannelWords(a0, a1), ChannelWords(a2, a3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
  }
}


// Each of `count` target pixels over its column tap pairs, from a row of
// 16-bit values (four a pixel), into biased 16-bit values or into bytes.
// kPairs, when not 0, is pairCount known at compile time (the usual counts
// of enlarging and of halving), so the tap loop unrolls.
template <bool kToBytes, int kPairs>
__attribute__((always_inline)) inline void FilterWordRow(void* out, const int16_t* in, const TapPair* pairs,
                                                         int runtimePairs, int count) {
  const int pairCount = kPairs != 0 ? kPairs : runtimePairs;
  const auto pixel = [&](const TapPair* p) {
    __m128i acc = _mm_setzero_si128();
    for (int i = 0; i < pairCount; ++i) {
      const __m128i x = _mm_unpacklo_epi16(LoadFourWords(in + p[i].a), LoadFourWords(in + p[i].b));
      acc = _mm_add_epi32(acc,
                          _mm_madd_epi16(x, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p[i].weights))));
    }
    return acc;
  };
  int k = 0;
  for (; k + 2 <= count; k += 2, pairs += 2 * pairCount) {
    const __m128i a = pixel(pairs);
    const __m128i b = pixel(pairs + pairCount);
    if constexpr (kToBytes) {
      const __m128i w = ChannelWords(a, b);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(static_cast<uint8_t*>(out) + 4 * k),
                       _mm_packus_epi16(w, w));
    } else {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(static_cast<int16_t*>(out) + 4 * k), BiasedWords(a, b));
    }
  }
  if (k < count) {
    const __m128i a = pixel(pairs);
    if constexpr (kToBytes) {
      const __m128i w = ChannelWords(a, a);
      const int32_t v = _mm_cvtsi128_si32(_mm_packus_epi16(w, w));
      std::memcpy(static_cast<uint8_t*>(out) + 4 * k, &v, sizeof v);
    } else {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(static_cast<int16_t*>(out) + 4 * k), BiasedWords(a, a));
    }
  }
}

VELMORA_VECTOR_CLONES
void FilterWordRowToWords(int16_t* out, const int16_t* in, const TapPair* pairs, int pairCount, int count) {
  switch (pairCount) {
    case 2:
      return FilterWordRow<false, 2>(out, in, pairs, pairCount, count);
    case 3:
      return FilterWordRow<false, 3>(out, in, pairs, pairCount, count);
    default:
      return FilterWordRow<false, 0>(out, in, pairs, pairCount, count);
  }
}
VELMORA_VECTOR_CLONES
void FilterWordRowToBytes(uint8_t* out, const int16_t* in, const TapPair* pairs, int pairCount, int count) {
  switch (pairCount) {
    case 2:
      return FilterWordRow<true, 2>(out, in, pairs, pairCount, count);
    case 3:
      return FilterWordRow<true, 3>(out, in, pairs, pairCount, count);
    default:
      return FilterWordRow<true, 0>(out, in, pairs, pairCount, count);
  }
}


// Weighted sums of rows of bytes, n of them, into biased 16-bit values: the
// first pass straight from the source rows, which are read no further than n.
VELMORA_VECTOR_CLONES
void SumByteRowsToWords(int16_t* out, const uint8_t* const* rows, const int32_t* weights, int pairs,
                        size_t n) {
  const __m128i zero = _mm_setzero_si128();
  __m128i wv[(kMaxDenseTaps + 1) / 2];
  for (int p = 0; p < pairs; ++p) wv[p] = _mm_set1_epi32(weights[p]);
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    __m128i a0 = zero, a1 = zero, a2 = zero, a3 = zero;
    for (int p = 0; p < pairs; ++p) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2 * p] + i));
      const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2 * p + 1] + i));
      const __m128i w = wv[p];
      const __m128i lo = _mm_unpacklo_epi8(x, y), hi = _mm_unpackhi_epi8(x, y);
      a0 = _mm_add_epi32(a0, _mm_madd_epi16(_mm_unpacklo_epi8(lo, zero), w));
      a1 = _mm_add_epi32(a1, _mm_madd_epi16(_mm_unpackhi_epi8(lo, zero), w));
      a2 = _mm_add_epi32(a2, _mm_madd_epi16(_mm_unpacklo_epi8(hi, zero), w));
      a3 = _mm_add_epi32(a3, _mm_madd_epi16(_mm_unpackhi_epi8(hi, zero), w));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), BiasedWords(a0, a1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), BiasedWords(a2, a3));
  }
  for (; i < n; ++i) {
    int32_t acc = 0;
    for (int p = 0; p < pairs; ++p) {
      const auto w = static_cast<uint32_t>(weights[p]);
      acc += int32_t(w & 0xFFFF) * rows[2 * p][i] + int32_t(w >> 16) * rows[2 * p + 1][i];
    }
    out[i] = static_cast<int16_t>(acc - kWordBias);
  }
}

// Bytes into 16-bit values.
VELMORA_VECTOR_CLONES
void WidenToWords(int16_t* out, const uint8_t* b, size_t n) {
  size_t i = 0;
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(v, zero));
  }
  for (; i < n; ++i) out[i] = b[i];
}

constexpr size_t RoundUp16(size_t n) { return (n + 15) & ~size_t(15); }
#endif  // VELMORA_WORD_PASSES

}  // namespace

// Widened or filtered source rows held at most for one dense draw (int32 values).
constexpr int64_t kMaxWideValues = int64_t(2) << 20;

void DrawKernel(const TBitmap32& src, TStretchFilter filter, const DrawFrame& f, Scratch& sc,
                const RowWriter& out) {
  const DrawAxes axes = DrawAxisTables(filter, f, src.Width(), src.Height(), sc);
  const AxisTable& colAxis = axes.cols;
  const AxisTable& rowAxis = axes.rows;
  const TapTable& cols = colAxis.table;
  const TapTable& rows = rowAxis.table;
  const auto span = static_cast<size_t>(cols.maxPos - cols.minPos + 1);
  GrowTo(sc.kernelSums, span * 4);
  GrowTo(sc.line, static_cast<size_t>(f.clipWidth));
  const bool narrow = int64_t(255) * rows.maxAbsSum * cols.maxAbsSum < (int64_t(1) << 31);
  auto* line = reinterpret_cast<uint8_t*>(sc.line.data());
  // Enlarging and mild shrinking give a few taps a position: those rows go
  // through the dense table.
  const bool dense = narrow && !colAxis.dense.empty();
  const int maxTaps = colAxis.maxTaps;

  const int64_t width = f.clipWidth;
  const int64_t rowSpan = int64_t(rows.maxPos) - rows.minPos + 1;
#if VELMORA_WORD_PASSES
  const size_t wordStride = RoundUp16(span * 4);
  const size_t wordLineStride = RoundUp16(static_cast<size_t>(width) * 4);
  if (colAxis.nonNegative && rowAxis.nonNegative && rowSpan * int64_t(wordStride) <= kMaxWideValues &&
      rowSpan * int64_t(wordLineStride) <= kMaxWideValues) {
    GrowTo(sc.wordLine, wordLineStride / 4);
    const bool wide = WideVectors();
    auto* wordLine = reinterpret_cast<uint8_t*>(sc.wordLine.data());
    // Rough costs of the two orders: a tap pair costs about twice as much per
    // value along a row (each pixel gathers its own taps) as down the rows.
    const int64_t rowPairs = int64_t(f.clipHeight) * rowAxis.pairCount;
    const int64_t rowsFirst =
        rowPairs * int64_t(span) * 4 + 8 * int64_t(f.clipHeight) * width * colAxis.pairCount;
    const int64_t colsFirst = 8 * rowSpan * width * colAxis.pairCount + rowPairs * width * 4;
    if (colsFirst < rowsFirst) {
      GrowTo(sc.wideWords, static_cast<size_t>(rowSpan) * wordStride);
      for (int64_t r = 0; r < rowSpan; ++r)
        WidenToWords(
            sc.wideWords.data() + static_cast<size_t>(r) * wordStride,
            reinterpret_cast<const uint8_t*>(src.ScanLine(static_cast<int>(rows.minPos + r)) + cols.minPos),
            span * 4);
      GrowTo(sc.midWords, static_cast<size_t>(rowSpan) * wordLineStride);
      for (int64_t r = 0; r < rowSpan; ++r)
        FilterWordRowToWords(sc.midWords.data() + static_cast<size_t>(r) * wordLineStride,
                             sc.wideWords.data() + static_cast<size_t>(r) * wordStride, colAxis.pairs.data(),
                             colAxis.pairCount, f.clipWidth);
      for (int m = 0; m < f.clipHeight; ++m) {
        const WordRows taps(rowAxis, m, sc.midWords.data(), wordLineStride);
#if VELMORA_WIDE_WORD_PASSES
        int weight = 0;
        TColor32* blended = wide && f.clipWidth % 8 == 0 ? out.UniformOpaqueRow(m, &weight) : nullptr;
        if (blended) {
          SumWordRowsBlendOpaqueAvx2(blended, taps, static_cast<size_t>(f.clipWidth) * 4,
                                     static_cast<uint32_t>(weight));
          continue;
        }
        if (wide) {
          SumWordRowsToBytesAvx2(wordLine, taps, wordLineStride);
        } else {
          SumWordRowsToBytes(wordLine, taps, wordLineStride);
        }
#else
        SumWordRowsToBytes(wordLine, taps, wordLineStride);
#endif
        out.WriteClipRow(m, sc.wordLine.data());
      }
    } else {
      GrowTo(sc.midWords, wordStride);
      GrowTo(sc.pairedWords, static_cast<size_t>(f.clipWidth + colAxis.pairCount + 1) * 8);
      const uint8_t* rowBytes[kMaxDenseTaps + 1];
      int32_t weights[(kMaxDenseTaps + 1) / 2];
      for (int m = 0; m < f.clipHeight; ++m) {
        const TapPair* p = rowAxis.pairs.data() + static_cast<size_t>(m) * rowAxis.pairCount;
        for (int i = 0; i < rowAxis.pairCount; ++i) {
          rowBytes[2 * i] =
              reinterpret_cast<const uint8_t*>(src.ScanLine(rows.minPos + p[i].a / 4) + cols.minPos);
          rowBytes[2 * i + 1] =
              reinterpret_cast<const uint8_t*>(src.ScanLine(rows.minPos + p[i].b / 4) + cols.minPos);
          weights[i] = p[i].weights[0];
        }
#if VELMORA_WIDE_WORD_PASSES
        if (wide) {
          SumByteRowsToWordsAvx2(sc.midWords.data(), rowBytes, weights, rowAxis.pairCount, span * 4);
        } else {
          SumByteRowsToWords(sc.midWords.data(), rowBytes, weights, rowAxis.pairCount, span * 4);
        }
#else
        SumByteRowsToWords(sc.midWords.data(), rowBytes, weights, rowAxis.pairCount, span * 4);
#endif
        // A copied row is produced straight into the target: the pass
        // writes exactly the row's pixels.
        TColor32* direct = out.DirectRow(m);
        uint8_t* row = direct ? reinterpret_cast<uint8_t*>(direct) : wordLine;
        const int pc = colAxis.pairCount;
        int k0 = 0;
        int k1 = 0;
#if VELMORA_WIDE_WORD_PASSES
        if (wide) {
          k0 = colAxis.strideBegin;
          k1 = k0 + (colAxis.strideEnd - k0) / 4 * 4;
        }
        if (k0 < k1) {
          FilterWordRowToBytes(row, sc.midWords.data(), colAxis.pairs.data(), pc, k0);
          FilterPairedRowToBytesAvx2(row + 4 * k0, sc.midWords.data(),
                                     colAxis.pairs.data() + static_cast<size_t>(k0) * pc, pc, k1 - k0,
                                     sc.pairedWords.data());
        }
#endif
        FilterWordRowToBytes(row + 4 * k1, sc.midWords.data(),
                             colAxis.pairs.data() + static_cast<size_t>(k1) * pc, pc, f.clipWidth - k1);
        if (!direct) out.WriteClipRow(m, sc.wordLine.data());
      }
    }
    return;
  }
#endif
  if (dense && rowAxis.maxTaps <= kMaxDenseTaps && rowSpan * int64_t(span) * 4 <= kMaxWideValues &&
      rowSpan * width * 4 <= kMaxWideValues) {
    const size_t spanValues = span * 4;
    GrowTo(sc.wide, static_cast<size_t>(rowSpan) * spanValues);
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
      GrowTo(sc.filtered, static_cast<size_t>(rowSpan) * stride);
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
      GrowTo(sc.filtered, stride);
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

}  // namespace velmora::resample
