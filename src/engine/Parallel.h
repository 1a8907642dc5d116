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
#include <exception>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

namespace velmora {

namespace detail {

// Runs job(1) .. job(helpers) on kept helper threads while the caller runs
// job(0), and returns when all are done; false, having run nothing, when the
// kept threads are in use or cannot be had. It may use fewer helpers than
// asked for.
bool RunOnKeptThreads(int helpers, const std::function<void(int)>& job);

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
  if (detail::RunOnKeptThreads(helpers, work)) return;
  std::vector<std::thread> pool;
  for (int t = 1; t <= helpers; ++t) {
    try {
      pool.emplace_back(work, t);
    } catch (const std::system_error&) {
      break;  // fewer threads than asked for: the others share the work
    }
  }
  // The helpers use `work` until they are done: the caller's share may not
  // leave early, even by an exception.
  std::exception_ptr failure;
  try {
    work(0);
  } catch (...) {
    failure = std::current_exception();
  }
  for (std::thread& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace velmora
