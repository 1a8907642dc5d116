#include "match/SignatureLanes.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VELMORA_LANES_X86 1
#endif

namespace velmora {
namespace {

constexpr int kQuadrantLanes = 12;
constexpr int kMeanLane = 12;
constexpr int kLanes = 15;
// Entries per widest vector; the lanes are padded to a whole number of them.
constexpr int kWidth = 16;

// What every kernel is given: the lanes, and the query's channels in the
// lanes' order.
struct Pass {
  const uint8_t* lanes;
  const int16_t* blocked;  // null when no entry is
  size_t stride;
  int16_t query[15];
  int enhance;  // 0 for no shift, else 1..100
  int16_t* out;
  size_t begin, end;  // the entries to do, whole vectors
};

void PlainDistances(const Pass& p) {
  for (size_t i = p.begin; i < p.end; ++i) {
    int shift[3] = {0, 0, 0};
    if (p.enhance > 0)
      for (int c = 0; c < 3; ++c)
        shift[c] = (p.lanes[(kMeanLane + c) * p.stride + i] - p.query[kMeanLane + c]) * p.enhance / 100;
    int d = 0;
    for (int l = 0; l < kQuadrantLanes; ++l)
      d += std::abs(p.lanes[l * p.stride + i] - shift[l % 3] - p.query[l]);
    p.out[i] = static_cast<int16_t>(p.blocked ? d | p.blocked[i] : d);
  }
}

#ifdef VELMORA_LANES_X86

// x / 100 rounded toward zero for |x| <= 25,500: the high half of x * 5243,
// shifted by 3 more, plus one for a negative x.
inline __m128i DivideBy100(__m128i x) {
  const __m128i q = _mm_srai_epi16(_mm_mulhi_epi16(x, _mm_set1_epi16(5243)), 3);
  return _mm_sub_epi16(q, _mm_srai_epi16(x, 15));
}

void Sse2Distances(const Pass& p) {
  const __m128i enhance = _mm_set1_epi16(static_cast<int16_t>(p.enhance));
  __m128i query[15];
  for (int l = 0; l < 15; ++l) query[l] = _mm_set1_epi16(p.query[l]);
  for (size_t i = p.begin; i < p.end; i += 8) {
    auto load = [&](int lane) {
      return _mm_unpacklo_epi8(
          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p.lanes + lane * p.stride + i)),
          _mm_setzero_si128());
    };
    __m128i shift[3] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
    if (p.enhance > 0)
      for (int c = 0; c < 3; ++c)
        shift[c] =
            DivideBy100(_mm_mullo_epi16(_mm_sub_epi16(load(kMeanLane + c), query[kMeanLane + c]), enhance));
    __m128i d = _mm_setzero_si128();
    for (int l = 0; l < kQuadrantLanes; ++l) {
      const __m128i t = _mm_sub_epi16(_mm_sub_epi16(load(l), shift[l % 3]), query[l]);
      d = _mm_add_epi16(d, _mm_max_epi16(t, _mm_sub_epi16(_mm_setzero_si128(), t)));
    }
    if (p.blocked) d = _mm_or_si128(d, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p.blocked + i)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p.out + i), d);
  }
}

__attribute__((target("avx2"))) inline __m256i DivideBy100Avx2(__m256i x) {
  const __m256i q = _mm256_srai_epi16(_mm256_mulhi_epi16(x, _mm256_set1_epi16(5243)), 3);
  return _mm256_sub_epi16(q, _mm256_srai_epi16(x, 15));
}

__attribute__((target("avx2"))) void Avx2Distances(const Pass& p) {
  const __m256i enhance = _mm256_set1_epi16(static_cast<int16_t>(p.enhance));
  __m256i query[15];
  for (int l = 0; l < 15; ++l) query[l] = _mm256_set1_epi16(p.query[l]);
  for (size_t i = p.begin; i < p.end; i += 16) {
    auto load = [&](int lane) __attribute__((target("avx2"))) {
      return _mm256_cvtepu8_epi16(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p.lanes + lane * p.stride + i)));
    };
    __m256i shift[3] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
    if (p.enhance > 0)
      for (int c = 0; c < 3; ++c)
        shift[c] = DivideBy100Avx2(
            _mm256_mullo_epi16(_mm256_sub_epi16(load(kMeanLane + c), query[kMeanLane + c]), enhance));
    __m256i d = _mm256_setzero_si256();
    for (int l = 0; l < kQuadrantLanes; ++l)
      d = _mm256_add_epi16(
          d, _mm256_abs_epi16(_mm256_sub_epi16(_mm256_sub_epi16(load(l), shift[l % 3]), query[l])));
    if (p.blocked)
      d = _mm256_or_si256(d, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p.blocked + i)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p.out + i), d);
  }
}

#endif

LaneKernel BestKernel() {
#ifdef VELMORA_LANES_X86
  static const LaneKernel best = __builtin_cpu_supports("avx2") ? LaneKernel::kAvx2 : LaneKernel::kSse2;
  return best;
#else
  return LaneKernel::kPlain;
#endif
}

void RunKernel(const Pass& p, LaneKernel kernel) {
  switch (kernel) {
#ifdef VELMORA_LANES_X86
    case LaneKernel::kAvx2:
      Avx2Distances(p);
      break;
    case LaneKernel::kSse2:
      Sse2Distances(p);
      break;
#endif
    default:
      PlainDistances(p);
  }
}

}  // namespace

// A thread that shares each pass with the caller: the pass is cut into
// chunks that both take in turn, so a helper the system is slow to wake
// costs nothing but the chunk it is working on. The chunks write separate
// entries, so the numbers are those of one thread.
class SignatureLanes::Helper {
public:
  Helper() : thread_([this] { Run(); }) {}
  ~Helper() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    posted_.fetch_add(1, std::memory_order_release);
    posted_.notify_one();
    thread_.join();
  }

  // `pass` in `chunks` parts of whole vectors, on this thread and the helper.
  void Run(const Pass& pass, LaneKernel kernel, int chunks) {
    uint64_t generation = 0;
    {
      std::lock_guard lock(mutex_);
      pass_ = pass;
      kernel_ = kernel;
      chunks_ = chunks;
      finished_.store(0, std::memory_order_relaxed);
      generation = (next_.load(std::memory_order_relaxed) >> 32) + 1;
      next_.store(generation << 32, std::memory_order_release);
    }
    posted_.fetch_add(1, std::memory_order_release);
    posted_.notify_one();
    Work(pass, kernel, chunks, generation);
    for (int f = finished_.load(std::memory_order_acquire); f != chunks;
         f = finished_.load(std::memory_order_acquire))
      finished_.wait(f, std::memory_order_acquire);
  }

private:
  // Takes chunks of the pass of `generation` until none is left (or a newer
  // pass has replaced it), and does them.
  void Work(const Pass& pass, LaneKernel kernel, int chunks, uint64_t generation) {
    const size_t vectors = pass.end / kWidth;
    uint64_t state = next_.load(std::memory_order_acquire);
    for (;;) {
      const int chunk = static_cast<int>(state & 0xFFFFFFFFu);
      if ((state >> 32) != generation || chunk >= chunks) return;
      if (!next_.compare_exchange_weak(state, state + 1, std::memory_order_acq_rel)) continue;
      Pass part = pass;
      part.begin = vectors * size_t(chunk) / size_t(chunks) * kWidth;
      part.end = vectors * size_t(chunk + 1) / size_t(chunks) * kWidth;
      RunKernel(part, kernel);
      finished_.fetch_add(1, std::memory_order_release);
      finished_.notify_one();
      state = next_.load(std::memory_order_acquire);
    }
  }

  void Run() {
    uint32_t seen = 0;
    for (;;) {
      posted_.wait(seen, std::memory_order_acquire);
      seen = posted_.load(std::memory_order_acquire);
      Pass pass;
      LaneKernel kernel;
      int chunks = 0;
      uint64_t generation = 0;
      {
        std::lock_guard lock(mutex_);
        if (stop_) return;
        pass = pass_;
        kernel = kernel_;
        chunks = chunks_;
        generation = next_.load(std::memory_order_acquire) >> 32;
      }
      Work(pass, kernel, chunks, generation);
    }
  }

  std::mutex mutex_;  // guards the pass and stop_
  Pass pass_{};
  LaneKernel kernel_ = LaneKernel::kPlain;
  int chunks_ = 0;
  bool stop_ = false;
  // The pass's generation (upper half) and its next chunk (lower half).
  std::atomic<uint64_t> next_{0};
  std::atomic<int> finished_{0};
  std::atomic<uint32_t> posted_{0};
  std::thread thread_;  // last: it starts with the rest in place
};

namespace {}  // namespace

bool LaneKernelAvailable(LaneKernel kernel) {
  switch (kernel) {
    case LaneKernel::kBest:
    case LaneKernel::kPlain:
      return true;
#ifdef VELMORA_LANES_X86
    case LaneKernel::kSse2:
      return true;
    case LaneKernel::kAvx2:
      return BestKernel() == LaneKernel::kAvx2;
#else
    default:
      return false;
#endif
  }
  return false;
}

SignatureLanes::SignatureLanes() = default;
SignatureLanes::~SignatureLanes() = default;

void SignatureLanes::ShareWithSecondThread(bool on) {
  if (!on) {
    helper_.reset();
  } else if (!helper_) {
    try {
      helper_ = std::make_unique<Helper>();
    } catch (const std::system_error&) {
      // No second thread: the caller's does it all.
    }
  }
}

void SignatureLanes::Reset(int count) {
  ready_ = true;
  count_ = std::max(count, 0);
  stride_ = (static_cast<size_t>(count_) + kWidth - 1) / kWidth * kWidth;
  lanes_.assign(stride_ * kLanes, 0);
  blocked_.clear();
  // One vector more, so the scan may read a whole vector from any index.
  distances_.assign(stride_ + kWidth, 0);
}

void SignatureLanes::Set(int i, const ColorSignature& s) {
  for (int q = 0; q < 4; ++q) {
    Lane(3 * q)[i] = s.Slot[q].Blue;
    Lane(3 * q + 1)[i] = s.Slot[q].Green;
    Lane(3 * q + 2)[i] = s.Slot[q].Red;
  }
  Lane(kMeanLane)[i] = s.Mean().Blue;
  Lane(kMeanLane + 1)[i] = s.Mean().Green;
  Lane(kMeanLane + 2)[i] = s.Mean().Red;
}

void SignatureLanes::SetQuadrants(int i, const uint8_t* const samples[4]) {
  for (int q = 0; q < 4; ++q)
    for (int c = 0; c < 3; ++c) Lane(3 * q + c)[i] = samples[q][c];
}

void SignatureLanes::Block(int i) {
  if (blocked_.empty()) blocked_.assign(stride_, 0);
  blocked_[static_cast<size_t>(i)] = kBlocked;
}

const int16_t* SignatureLanes::Distances(const ColorSignature& query, int enhance, LaneKernel kernel) {
  Pass p{lanes_.data(),
         blocked_.empty() ? nullptr : blocked_.data(),
         stride_,
         {},
         std::clamp(enhance, 0, kMaxLaneEnhance),
         distances_.data(),
         0,
         stride_};
  for (int q = 0; q < 4; ++q) {
    p.query[3 * q] = query.Slot[q].Blue;
    p.query[3 * q + 1] = query.Slot[q].Green;
    p.query[3 * q + 2] = query.Slot[q].Red;
  }
  p.query[kMeanLane] = query.Mean().Blue;
  p.query[kMeanLane + 1] = query.Mean().Green;
  p.query[kMeanLane + 2] = query.Mean().Red;
  if (kernel == LaneKernel::kBest || !LaneKernelAvailable(kernel)) kernel = BestKernel();
  if (helper_ && stride_ >= 8 * kWidth) {
    helper_->Run(p, kernel, 8);
  } else {
    RunKernel(p, kernel);
  }
  return distances_.data();
}

int SignatureLanes::FirstBelow(int from, int to, int limit) const {
  limit = std::min(limit, int(kBlocked));
  if (limit <= 0) return to;
  const int16_t* d = distances_.data();
  int k = std::max(from, 0);
#ifdef VELMORA_LANES_X86
  const __m128i bound = _mm_set1_epi16(static_cast<int16_t>(limit));
  for (; k < to; k += 8) {
    const __m128i below = _mm_cmplt_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(d + k)), bound);
    if (const int mask = _mm_movemask_epi8(below); mask != 0)
      return std::min(to, k + __builtin_ctz(mask) / 2);
  }
  return to;
#else
  for (; k < to; ++k)
    if (d[k] < limit) return k;
  return to;
#endif
}

}  // namespace velmora
