#include "match/DetailLanes.h"

#include <algorithm>
#include <cmath>

#include "imaging/Parallel.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VELMORA_DETAIL_LANES_X86 1
#endif

namespace velmora {
namespace {

constexpr int kSampleLanes = kDetailSamples * 3;
constexpr int kMeanLane = kSampleLanes;
constexpr int kLanes = kSampleLanes + 3;
// Entries per widest vector; the lanes are padded to a whole number of them.
constexpr int kWidth = 8;
// The most distances kept by Precompute (4 bytes each).
constexpr int64_t kKeptBudget = int64_t(1) << 23;

// What every kernel is given. The arithmetic is DetailDistance's, operation
// for operation and in its order: the tint shift (picture mean - cell mean)
// x t, then per sample (picture - shift) - cell, the squares summed L, a, b
// in turn, the root times the sample's weight added to the running sum (a
// weight of 1 changes nothing), and the sum scaled, rounded
// and truncated. Only which side is broadcast differs.
struct Pass {
  const float* lanes;
  size_t stride;
  const float* query;  // kLanes values, the lanes' order
  float t;
  const float* weights;  // kDetailSamples, by the cell's sample
  int32_t* out;
  size_t begin, end;  // the entries to do; whole vectors for the vector kernels
};

template <bool kCells>
void PlainDistances(const Pass& p) {
  for (size_t i = p.begin; i < p.end; ++i) {
    auto entry = [&](int lane) { return p.lanes[size_t(lane) * p.stride + i]; };
    auto picture = [&](int lane) { return kCells ? p.query[lane] : entry(lane); };
    auto cell = [&](int lane) { return kCells ? entry(lane) : p.query[lane]; };
    const float sL = (picture(kMeanLane) - cell(kMeanLane)) * p.t;
    const float sA = (picture(kMeanLane + 1) - cell(kMeanLane + 1)) * p.t;
    const float sB = (picture(kMeanLane + 2) - cell(kMeanLane + 2)) * p.t;
    float sum = 0;
    for (int s = 0; s < kDetailSamples; ++s) {
      const float dL = picture(3 * s) - sL - cell(3 * s);
      const float dA = picture(3 * s + 1) - sA - cell(3 * s + 1);
      const float dB = picture(3 * s + 2) - sB - cell(3 * s + 2);
      sum += p.weights[s] * std::sqrt(dL * dL + dA * dA + dB * dB);
    }
    const float scaled = sum * kDetailScale + 0.5f;
    p.out[i] = static_cast<int32_t>(scaled);
  }
}

#ifdef VELMORA_DETAIL_LANES_X86

template <bool kCells>
void Sse2Distances(const Pass& p) {
  const __m128 t = _mm_set1_ps(p.t);
  for (size_t i = p.begin; i < p.end; i += 4) {
    auto entry = [&](int lane) { return _mm_loadu_ps(p.lanes + size_t(lane) * p.stride + i); };
    auto query = [&](int lane) { return _mm_set1_ps(p.query[lane]); };
    auto difference = [&](int lane, __m128 shift) {
      return kCells ? _mm_sub_ps(_mm_sub_ps(query(lane), shift), entry(lane))
                    : _mm_sub_ps(_mm_sub_ps(entry(lane), shift), query(lane));
    };
    __m128 shift[3];
    for (int c = 0; c < 3; ++c)
      shift[c] = kCells ? _mm_mul_ps(_mm_sub_ps(query(kMeanLane + c), entry(kMeanLane + c)), t)
                        : _mm_mul_ps(_mm_sub_ps(entry(kMeanLane + c), query(kMeanLane + c)), t);
    __m128 sum = _mm_setzero_ps();
    for (int s = 0; s < kDetailSamples; ++s) {
      const __m128 dL = difference(3 * s, shift[0]);
      const __m128 dA = difference(3 * s + 1, shift[1]);
      const __m128 dB = difference(3 * s + 2, shift[2]);
      const __m128 square =
          _mm_add_ps(_mm_add_ps(_mm_mul_ps(dL, dL), _mm_mul_ps(dA, dA)), _mm_mul_ps(dB, dB));
      sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(p.weights[s]), _mm_sqrt_ps(square)));
    }
    const __m128 scaled = _mm_add_ps(_mm_mul_ps(sum, _mm_set1_ps(kDetailScale)), _mm_set1_ps(0.5f));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p.out + i), _mm_cvttps_epi32(scaled));
  }
}

// Plain AVX: no fused multiply-add, which would round differently.
template <bool kCells>
__attribute__((target("avx2"))) void Avx2Distances(const Pass& p) {
  const __m256 t = _mm256_set1_ps(p.t);
  for (size_t i = p.begin; i < p.end; i += 8) {
    auto entry = [&](int lane) __attribute__((target("avx2"))) {
      return _mm256_loadu_ps(p.lanes + size_t(lane) * p.stride + i);
    };
    auto query = [&](int lane) __attribute__((target("avx2"))) { return _mm256_set1_ps(p.query[lane]); };
    auto difference = [&](int lane, __m256 shift) __attribute__((target("avx2"))) {
      return kCells ? _mm256_sub_ps(_mm256_sub_ps(query(lane), shift), entry(lane))
                    : _mm256_sub_ps(_mm256_sub_ps(entry(lane), shift), query(lane));
    };
    __m256 shift[3];
    for (int c = 0; c < 3; ++c)
      shift[c] = kCells ? _mm256_mul_ps(_mm256_sub_ps(query(kMeanLane + c), entry(kMeanLane + c)), t)
                        : _mm256_mul_ps(_mm256_sub_ps(entry(kMeanLane + c), query(kMeanLane + c)), t);
    __m256 sum = _mm256_setzero_ps();
    for (int s = 0; s < kDetailSamples; ++s) {
      const __m256 dL = difference(3 * s, shift[0]);
      const __m256 dA = difference(3 * s + 1, shift[1]);
      const __m256 dB = difference(3 * s + 2, shift[2]);
      const __m256 square =
          _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(dL, dL), _mm256_mul_ps(dA, dA)), _mm256_mul_ps(dB, dB));
      sum = _mm256_add_ps(sum, _mm256_mul_ps(_mm256_set1_ps(p.weights[s]), _mm256_sqrt_ps(square)));
    }
    const __m256 scaled =
        _mm256_add_ps(_mm256_mul_ps(sum, _mm256_set1_ps(kDetailScale)), _mm256_set1_ps(0.5f));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p.out + i), _mm256_cvttps_epi32(scaled));
  }
}

#endif

LaneKernel Chosen(LaneKernel kernel) {
  if (kernel != LaneKernel::kBest && LaneKernelAvailable(kernel)) return kernel;
#ifdef VELMORA_DETAIL_LANES_X86
  return LaneKernelAvailable(LaneKernel::kAvx2) ? LaneKernel::kAvx2 : LaneKernel::kSse2;
#else
  return LaneKernel::kPlain;
#endif
}

// The entries in whole vectors of the kernel, the rest one by one.
template <bool kCells>
void Run(Pass p, LaneKernel kernel) {
  const size_t count = p.end;
  switch (kernel) {
#ifdef VELMORA_DETAIL_LANES_X86
    case LaneKernel::kAvx2:
      p.end = count / 8 * 8;
      Avx2Distances<kCells>(p);
      break;
    case LaneKernel::kSse2:
      p.end = count / 4 * 4;
      Sse2Distances<kCells>(p);
      break;
#endif
    default:
      p.end = 0;
  }
  p.begin = p.end;
  p.end = count;
  PlainDistances<kCells>(p);
}

}  // namespace

void DetailLanes::Reset(int count, Side side) {
  ready_ = true;
  side_ = side;
  count_ = std::max(count, 0);
  stride_ = (static_cast<size_t>(count_) + kWidth - 1) / kWidth * kWidth;
  lanes_.assign(stride_ * kLanes, 0.0f);
  distances_.assign(stride_, 0);
  kept_.clear();
  keptRow_.clear();
}

void DetailLanes::Set(int i, const DetailSummary& s) {
  float* base = lanes_.data() + static_cast<size_t>(i);
  for (int k = 0; k < kDetailSamples; ++k) {
    const LabColor& c = s.Sample[size_t(k)];
    base[size_t(3 * k) * stride_] = c.L;
    base[size_t(3 * k + 1) * stride_] = c.A;
    base[size_t(3 * k + 2) * stride_] = c.B;
  }
  base[size_t(kMeanLane) * stride_] = s.Mean.L;
  base[size_t(kMeanLane + 1) * stride_] = s.Mean.A;
  base[size_t(kMeanLane + 2) * stride_] = s.Mean.B;
}

void DetailLanes::DistancesInto(const DetailSummary& query, int enhance, int32_t* out,
                                LaneKernel kernel) const {
  if (count_ == 0) return;
  float q[kLanes];
  for (int k = 0; k < kDetailSamples; ++k) {
    q[3 * k] = query.Sample[size_t(k)].L;
    q[3 * k + 1] = query.Sample[size_t(k)].A;
    q[3 * k + 2] = query.Sample[size_t(k)].B;
  }
  q[kMeanLane] = query.Mean.L;
  q[kMeanLane + 1] = query.Mean.A;
  q[kMeanLane + 2] = query.Mean.B;
  const Pass p{lanes_.data(), stride_, q, std::clamp(enhance, 0, 100) / 100.0f, weights_.data(), out, 0,
               size_t(count_)};
  if (side_ == Side::kCells)
    Run<true>(p, Chosen(kernel));
  else
    Run<false>(p, Chosen(kernel));
}

const int32_t* DetailLanes::Distances(const DetailSummary& query, int enhance, LaneKernel kernel) {
  DistancesInto(query, enhance, distances_.data(), kernel);
  return distances_.data();
}

void DetailLanes::Precompute(const std::vector<const DetailSummary*>& queries, const std::vector<int>& ids,
                             int idCount, int enhance, int threads) {
  kept_.clear();
  keptRow_.clear();
  const size_t rows = std::min(queries.size(), ids.size());
  if (rows == 0 || count_ == 0 || int64_t(rows) * count_ > kKeptBudget) return;
  kept_.resize(rows * size_t(count_));
  keptRow_.assign(size_t(std::max(idCount, 0)), -1);
  for (size_t r = 0; r < rows; ++r)
    if (ids[r] >= 0 && ids[r] < idCount) keptRow_[size_t(ids[r])] = static_cast<int>(r);
  keptEnhance_ = enhance;
  // Rows in groups, so that the threads do not share cache lines at the
  // seams more than they must; each writes only its own rows.
  constexpr int kGroup = 8;
  const int groups = static_cast<int>((rows + kGroup - 1) / kGroup);
  ParallelFor(threads, groups, [&](int, int g) {
    const size_t last = std::min(rows, size_t(g + 1) * kGroup);
    for (size_t r = size_t(g) * kGroup; r < last; ++r)
      DistancesInto(*queries[r], enhance, &kept_[r * size_t(count_)]);
  });
}

const int32_t* DetailLanes::Kept(int id, int enhance) const {
  if (id < 0 || size_t(id) >= keptRow_.size() || enhance != keptEnhance_) return nullptr;
  const int row = keptRow_[size_t(id)];
  return row < 0 ? nullptr : &kept_[size_t(row) * size_t(count_)];
}

}  // namespace velmora
