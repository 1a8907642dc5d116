// Work sharing for the engine's parallel steps: indices handed out by an
// atomic counter to a few threads, the calling thread among them. Every index
// writes only its own result slot, so the outcome never depends on how many
// threads run or in which order they finish.
#pragma once

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace velmora {

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
  std::vector<std::thread> pool;
  for (int t = 1; t <= helpers; ++t) {
    try {
      pool.emplace_back(work, t);
    } catch (const std::system_error&) {
      break;  // fewer threads than asked for: the others share the work
    }
  }
  work(0);
  for (std::thread& t : pool) t.join();
}

}  // namespace velmora
