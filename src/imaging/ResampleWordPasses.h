// The 16-bit passes of the kernel resampler, shared by their SSE2 forms
// (ResampleKernelPasses.cpp) and their AVX2 forms (ResampleWordPassesAvx2.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/ResampleDrawing.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define VELMORA_WORD_PASSES 1
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define VELMORA_WIDE_WORD_PASSES 1
#endif
#endif

#if VELMORA_WORD_PASSES
namespace velmora::resample {

// The 16-bit passes, for tables without negative weights. A weighted sum of
// bytes then lies in 0..65280; stored less 32768 it fits a signed 16-bit
// value, and the second pass adds back 32768 x 256 (every position's weights
// sum to 256). Two taps go through one multiply-add of 16-bit pairs into
// 32-bit sums, which is exact, so the pixels are those of the 32-bit passes.
constexpr int32_t kWordBias = 32768;

inline __m128i LoadWords(const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline __m128i LoadFourWords(const int16_t* p) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

// First-pass sums (of unbiased values) less the bias, as 16-bit values.
inline __m128i BiasedWords(__m128i lo, __m128i hi) {
  const __m128i bias = _mm_set1_epi32(kWordBias);
  return _mm_packs_epi32(_mm_sub_epi32(lo, bias), _mm_sub_epi32(hi, bias));
}
// Second-pass sums (of biased values), the bias added back, in 1/65536,
// clamped into 0..255 as 16-bit values (the saturating packs clamp).
inline __m128i ChannelWords(__m128i lo, __m128i hi) {
  const __m128i bias = _mm_set1_epi32(kWordBias << 8);
  return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo, bias), 16),
                         _mm_srai_epi32(_mm_add_epi32(hi, bias), 16));
}

struct WordRows {
  const int16_t* rows[kMaxDenseTaps + 1];
  int32_t weights[(kMaxDenseTaps + 1) / 2];
  int pairs = 0;
  // Position m of `axis` over rows of `stride` values from `base`.
  WordRows(const AxisTable& axis, int m, const int16_t* base, size_t stride) : pairs(axis.pairCount) {
    const TapPair* p = axis.pairs.data() + static_cast<size_t>(m) * axis.pairCount;
    for (int i = 0; i < pairs; ++i) {
      rows[2 * i] = base + static_cast<size_t>(p[i].a / 4) * stride;
      rows[2 * i + 1] = base + static_cast<size_t>(p[i].b / 4) * stride;
      weights[i] = p[i].weights[0];
    }
  }
};

#if VELMORA_WIDE_WORD_PASSES
// The AVX2 forms of the passes (ResampleWordPassesAvx2.cpp), called only
// where the processor has AVX2.
__attribute__((target("avx2"))) void SumWordRowsToBytesAvx2(uint8_t* out, const WordRows& taps, size_t n);
__attribute__((target("avx2"))) void SumWordRowsBlendOpaqueAvx2(TColor32* d, const WordRows& taps, size_t n,
                                                                uint32_t weight);
__attribute__((target("avx2"))) void SumByteRowsToWordsAvx2(int16_t* out, const uint8_t* const* rows,
                                                            const int32_t* weights, int pairs, size_t n);
__attribute__((target("avx2"))) void FilterPairedRowToBytesAvx2(uint8_t* out, const int16_t* in,
                                                                const TapPair* pairs, int pairCount,
                                                                int count, int16_t* paired);
#endif  // VELMORA_WIDE_WORD_PASSES

}  // namespace velmora::resample
#endif  // VELMORA_WORD_PASSES
