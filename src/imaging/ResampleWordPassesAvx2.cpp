// The 16-bit passes of the kernel resampler on 256-bit registers, for
// machines with AVX2; the caller picks them after asking the processor.
#include "imaging/ResampleWordPasses.h"

#if VELMORA_WIDE_WORD_PASSES
namespace velmora::resample {

// The two row passes again on 256-bit registers, for machines with AVX2:
// sixteen 16-bit values a register. The multiply-adds and packs work within
// each 128-bit half, so the values come out of the packs in order and only
// the bytes need one cross-half shuffle. Same integer arithmetic, same pixels.
__attribute__((target("avx2"))) inline __m256i ChannelWords256(__m256i lo, __m256i hi) {
  const __m256i bias = _mm256_set1_epi32(kWordBias << 8);
  return _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(lo, bias), 16),
                            _mm256_srai_epi32(_mm256_add_epi32(hi, bias), 16));
}

__attribute__((target("avx2"))) void SumWordRowsToBytesAvx2(uint8_t* out, const WordRows& taps, size_t n) {
  __m256i weights[(kMaxDenseTaps + 1) / 2];
  for (int p = 0; p < taps.pairs; ++p) weights[p] = _mm256_set1_epi32(taps.weights[p]);
  size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    __m256i a0 = _mm256_setzero_si256(), a1 = a0, a2 = a0, a3 = a0;
    for (int p = 0; p < taps.pairs; ++p) {
      const int16_t* r0 = taps.rows[2 * p] + i;
      const int16_t* r1 = taps.rows[2 * p + 1] + i;
      const __m256i w = weights[p];
      const __m256i x0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r0));
      const __m256i y0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r1));
      const __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r0 + 16));
      const __m256i y1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r1 + 16));
      a0 = _mm256_add_epi32(a0, _mm256_madd_epi16(_mm256_unpacklo_epi16(x0, y0), w));
      a1 = _mm256_add_epi32(a1, _mm256_madd_epi16(_mm256_unpackhi_epi16(x0, y0), w));
      a2 = _mm256_add_epi32(a2, _mm256_madd_epi16(_mm256_unpacklo_epi16(x1, y1), w));
      a3 = _mm256_add_epi32(a3, _mm256_madd_epi16(_mm256_unpackhi_epi16(x1, y1), w));
    }
    const __m256i bytes = _mm256_packus_epi16(ChannelWords256(a0, a1), ChannelWords256(a2, a3));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_permute4x64_epi64(bytes, 0xD8));
  }
  if (i < n) {  // the last 16 values
    __m128i a0 = _mm_setzero_si128(), a1 = a0, a2 = a0, a3 = a0;
    for (int p = 0; p < taps.pairs; ++p) {
      const int16_t* r0 = taps.rows[2 * p] + i;
      const int16_t* r1 = taps.rows[2 * p + 1] + i;
      const __m128i w = _mm256_castsi256_si128(weights[p]);
      const __m128i x0 = LoadWords(r0), y0 = LoadWords(r1);
      const __m128i x1 = LoadWords(r0 + 8), y1 = LoadWords(r1 + 8);
      a0 = _mm_add_epi32(a0, _mm_madd_epi16(_mm_unpacklo_epi16(x0, y0), w));
      a1 = _mm_add_epi32(a1, _mm_madd_epi16(_mm_unpackhi_epi16(x0, y0), w));
      a2 = _mm_add_epi32(a2, _mm_madd_epi16(_mm_unpacklo_epi16(x1, y1), w));
      a3 = _mm_add_epi32(a3, _mm_madd_epi16(_mm_unpackhi_epi16(x1, y1), w));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm_packus_epi16(ChannelWords(a0, a1), ChannelWords(a2, a3)));
  }
}

// SumWordRowsToBytesAvx2 blended straight into a target row at one weight
// and made opaque, 8 pixels a step (n, the row's values, a multiple of 32):
// the sums' 16-bit channel values are the produced pixels unpacked, so they
// go into the blend without being packed, stored and read back. The same
// arithmetic as BlendRowOpaque over the produced row.
__attribute__((target("avx2"))) void SumWordRowsBlendOpaqueAvx2(TColor32* d, const WordRows& taps, size_t n,
                                                                uint32_t weight) {
  __m256i weights[(kMaxDenseTaps + 1) / 2];
  for (int p = 0; p < taps.pairs; ++p) weights[p] = _mm256_set1_epi32(taps.weights[p]);
  const __m256i half = _mm256_set1_epi16(128);
  const __m256i w = _mm256_set1_epi16(static_cast<int16_t>(weight));
  const __m256i iw = _mm256_set1_epi16(static_cast<int16_t>(255 - weight));
  const __m256i opaque = _mm256_set1_epi32(static_cast<int32_t>(0xFF000000u));
  const auto mix = [&](__m256i fc, __m256i bc) __attribute__((target("avx2"))) {
    const __m256i fw = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(fc, w), half), 8);
    const __m256i bw = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(bc, iw), half), 8);
    return _mm256_add_epi16(fw, bw);
  };
  for (size_t i = 0; i < n; i += 32, d += 8) {
    __m256i a0 = _mm256_setzero_si256(), a1 = a0, a2 = a0, a3 = a0;
    for (int p = 0; p < taps.pairs; ++p) {
      const int16_t* r0 = taps.rows[2 * p] + i;
      const int16_t* r1 = taps.rows[2 * p + 1] + i;
      const __m256i x0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r0));
      const __m256i y0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r1));
      const __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r0 + 16));
      const __m256i y1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r1 + 16));
      a0 = _mm256_add_epi32(a0, _mm256_madd_epi16(_mm256_unpacklo_epi16(x0, y0), weights[p]));
      a1 = _mm256_add_epi32(a1, _mm256_madd_epi16(_mm256_unpackhi_epi16(x0, y0), weights[p]));
      a2 = _mm256_add_epi32(a2, _mm256_madd_epi16(_mm256_unpacklo_epi16(x1, y1), weights[p]));
      a3 = _mm256_add_epi32(a3, _mm256_madd_epi16(_mm256_unpackhi_epi16(x1, y1), weights[p]));
    }
    // Channel values of pixels 0-3 and 4-7 in order, as the target's pixels.
    const __m256i f03 = ChannelWords256(a0, a1), f47 = ChannelWords256(a2, a3);
    const __m256i b03 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(d)));
    const __m256i b47 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 4)));
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(mix(f03, b03), mix(f47, b47)), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), _mm256_or_si256(bytes, opaque));
  }
}

__attribute__((target("avx2"))) void SumByteRowsToWordsAvx2(int16_t* out, const uint8_t* const* rows,
                                                            const int32_t* weights, int pairs, size_t n) {
  __m256i wv[(kMaxDenseTaps + 1) / 2];
  for (int p = 0; p < pairs; ++p) wv[p] = _mm256_set1_epi32(weights[p]);
  const __m256i bias = _mm256_set1_epi32(kWordBias);
  size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    __m256i a0 = _mm256_setzero_si256(), a1 = a0, a2 = a0, a3 = a0;
    for (int p = 0; p < pairs; ++p) {
      const uint8_t* r0 = rows[2 * p] + i;
      const uint8_t* r1 = rows[2 * p + 1] + i;
      const __m256i w = wv[p];
      const __m256i x0 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r0)));
      const __m256i y0 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r1)));
      const __m256i x1 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r0 + 16)));
      const __m256i y1 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + 16)));
      a0 = _mm256_add_epi32(a0, _mm256_madd_epi16(_mm256_unpacklo_epi16(x0, y0), w));
      a1 = _mm256_add_epi32(a1, _mm256_madd_epi16(_mm256_unpackhi_epi16(x0, y0), w));
      a2 = _mm256_add_epi32(a2, _mm256_madd_epi16(_mm256_unpacklo_epi16(x1, y1), w));
      a3 = _mm256_add_epi32(a3, _mm256_madd_epi16(_mm256_unpackhi_epi16(x1, y1), w));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                        _mm256_packs_epi32(_mm256_sub_epi32(a0, bias), _mm256_sub_epi32(a1, bias)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 16),
                        _mm256_packs_epi32(_mm256_sub_epi32(a2, bias), _mm256_sub_epi32(a3, bias)));
  }
  for (; i + 16 <= n; i += 16) {
    __m256i a0 = _mm256_setzero_si256(), a1 = a0;
    for (int p = 0; p < pairs; ++p) {
      const __m256i x =
          _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2 * p] + i)));
      const __m256i y =
          _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2 * p + 1] + i)));
      a0 = _mm256_add_epi32(a0, _mm256_madd_epi16(_mm256_unpacklo_epi16(x, y), wv[p]));
      a1 = _mm256_add_epi32(a1, _mm256_madd_epi16(_mm256_unpackhi_epi16(x, y), wv[p]));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                        _mm256_packs_epi32(_mm256_sub_epi32(a0, bias), _mm256_sub_epi32(a1, bias)));
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

// FilterWordRowToBytes over a run of positions that step by two pixels (see
// AxisTable::strideBegin), four positions a step: the row is first regrouped
// so that each pixel pair's channels sit side by side (b0 b1 g0 g1 r0 r1 a0
// a1), then every position is its pairs' multiply-adds straight from that
// copy, two positions a register. `pairs` are the run's first position's;
// `count` is a multiple of 4. The same integer sums, so the same bytes.
__attribute__((target("avx2"))) void FilterPairedRowToBytesAvx2(uint8_t* out, const int16_t* in,
                                                                const TapPair* pairs, int pairCount,
                                                                int count, int16_t* paired) {
  const int blocks = count + pairCount - 1;  // pixel pairs the run reads
  const int16_t* from = in + pairs[0].a;
  const __m256i order = _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15, 0, 1, 8, 9, 2,
                                         3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
  int j = 0;
  for (; j + 2 <= blocks; j += 2)
    _mm256_storeu_si256(
        reinterpret_cast<__m256i*>(paired + 8 * j),
        _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + 8 * j)), order));
  if (j < blocks)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(paired + 8 * j),
                     _mm_shuffle_epi8(LoadWords(from + 8 * j), _mm256_castsi256_si128(order)));
  __m256i weights[(kMaxDenseTaps + 1) / 2];
  for (int i = 0; i < pairCount; ++i) weights[i] = _mm256_set1_epi32(pairs[i].weights[0]);
  for (int k = 0; k < count; k += 4) {
    __m256i a = _mm256_setzero_si256(), b = a;  // positions k, k + 1; k + 2, k + 3
    for (int i = 0; i < pairCount; ++i) {
      const int16_t* p = paired + 8 * (k + i);
      a = _mm256_add_epi32(
          a, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), weights[i]));
      b = _mm256_add_epi32(
          b, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 16)), weights[i]));
    }
    // Words of k, k + 2 | k + 1, k + 3, put in order a pixel (64 bits) at a time.
    const __m256i w = _mm256_permute4x64_epi64(ChannelWords256(a, b), 0xD8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * k),
                     _mm_packus_epi16(_mm256_castsi256_si128(w), _mm256_extracti128_si256(w, 1)));
  }
}

}  // namespace velmora::resample
#endif  // VELMORA_WIDE_WORD_PASSES
