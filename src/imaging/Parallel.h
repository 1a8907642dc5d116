// Work sharing for the engine's parallel steps: indices handed out by an
// atomic counter to a few threads, the calling thread among them. Every index
// writes only its own result slot, so the outcome never depends on how many
// threads run or in which order they finish.
//
// The helper threads are kept from call to call: a render makes one parallel
// step per few hundred pictures, and starting threads for each cost time and
// lost what the helpers keep per thread (the resampler's axis tables, the
// stretch buffers). A call that finds them busy (a step run inside another,
// or from a second thread at the same time) starts threads of its own as
// before.
#pragma once

#include <algorithm>
#include <atomic>
#include <functional>

namespace velmora {

namespace detail {

// Runs job(0) on the calling thread and job(1) .. job(helpers) on helper
// threads (the kept ones, else threads started for the call, fewer when no
// more can be had), and returns when all are done.
void RunWithHelpers(int helpers, const std::function<void(int)>& job);

}  // namespace detail

// body(worker, i) for every i in [0, n), on up to `threads` threads. `worker`
// (0 for the calling thread) lets a body use per-thread scratch space; it
// must not affect the result.
template <typename Body>
void ParallelFor(int threads, int n, const Body& body) {
  if (n <= 0) return;
  const int helpers = std::min(threads, n) - 1;
  std::atomic<int> next{0};
  auto work = [&](int worker) {
    for (int i = next.fetch_add(1, std::memory_order_relaxed); i < n;
         i = next.fetch_add(1, std::memory_order_relaxed))
      body(worker, i);
  };
  if (helpers <= 0) {
    work(0);
    return;
  }
  detail::RunWithHelpers(helpers, work);
}

}  // namespace velmora
