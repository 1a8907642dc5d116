// Parallel steps on the kept helper threads: every index once, whether the
// steps run one after another, inside each other or from two threads at
// the same time, and an exception from the caller's share reaches the
// caller only once the helpers are done.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "imaging/Parallel.h"

namespace velmora {
namespace {

// Runs ParallelFor over n indices and checks that each was visited once.
void ExpectEachOnce(int threads, int n) {
  std::vector<std::atomic<int>> visits(static_cast<size_t>(n));
  ParallelFor(threads, n, [&](int worker, int i) {
    EXPECT_GE(worker, 0);
    EXPECT_LT(worker, threads);
    visits[static_cast<size_t>(i)].fetch_add(1);
  });
  for (int i = 0; i < n; ++i) ASSERT_EQ(visits[static_cast<size_t>(i)].load(), 1) << "index " << i;
}

TEST(Parallel, EveryIndexOnceInTurnNestedAndFromTwoThreads) {
  for (int round = 0; round < 50; ++round) ExpectEachOnce(round % 4 + 1, round * 7);

  std::vector<std::atomic<int>> inner(64 * 16);
  ParallelFor(2, 64, [&](int, int i) {
    ParallelFor(2, 16, [&](int, int j) { inner[static_cast<size_t>(i * 16 + j)].fetch_add(1); });
  });
  for (const std::atomic<int>& v : inner) ASSERT_EQ(v.load(), 1);

  std::thread other([] {
    for (int round = 0; round < 100; ++round) ExpectEachOnce(2, 200);
  });
  for (int round = 0; round < 100; ++round) ExpectEachOnce(2, 200);
  other.join();
}

TEST(Parallel, CallersExceptionWaitsForTheHelpers) {
  std::atomic<int> done{0};
  EXPECT_THROW(ParallelFor(2, 400,
                           [&](int worker, int) {
                             if (worker == 0) throw std::runtime_error("caller's share");
                             std::this_thread::sleep_for(std::chrono::microseconds(50));
                             done.fetch_add(1);
                           }),
               std::runtime_error);
  // The helper finished every index it took before the throw came through;
  // a later step still has all its indices done.
  const int after = done.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(done.load(), after);
  ExpectEachOnce(2, 1000);
}

}  // namespace
}  // namespace velmora
