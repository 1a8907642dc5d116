// The laid-out detail summaries' distance pass against DetailDistance, on
// every instruction set the machine has, for pictures and for cells as the
// entries; and the bounded DetailDistance against the unbounded one, which
// is what lets the assignment compare the pass's numbers with its limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "match/DetailLanes.h"

namespace velmora {
namespace {

// Summaries of four kinds: photo-like samples from a few colours (so that
// distances tie), any colour, the ends of CIELAB's range as a damaged
// summary file brings them in, and all one colour.
DetailSummary RandomSummary(std::mt19937& rng) {
  const int kind = static_cast<int>(rng() % 4);
  if (kind == 2) {
    uint8_t bytes[kDetailSummaryBytes];
    for (size_t i = 0; i < kDetailSummaryBytes; i += 4) {
      const float picks[] = {0.0f,
                             100.0f,
                             -200.0f,
                             200.0f,
                             1e30f,
                             -1e30f,
                             std::numeric_limits<float>::quiet_NaN(),
                             static_cast<float>(rng() % 40000) / 100.0f - 200.0f};
      const float v = picks[rng() % 8];
      std::memcpy(bytes + i, &v, 4);  // the machine is little-endian, as the files are
    }
    return DetailFromBytes(bytes);
  }
  auto level = [&] {
    return static_cast<uint8_t>(kind == 0 ? rng() % 4 * 80 + rng() % 3 : kind == 1 ? rng() % 256 : 77);
  };
  Bitmap24 grid(kDetailSide, kDetailSide);
  for (uint8_t& b : grid.Bytes()) b = level();
  return DetailOfCell(grid, 0, 0);
}

TEST(DetailLanes, DistancesMatchDetailDistanceOnEveryKernel) {
  struct Case {
    int count;
    int enhance;
    DetailLanes::Side side;
    bool weighted = false;  // the samples weighed as a shaped tile's are
  };
  using S = DetailLanes::Side;
  // Counts around the vector widths (4 and 8), enhance outside 0..100 too.
  const Case cases[] = {{1, 50, S::kPictures},    {3, 0, S::kCells},     {4, 100, S::kPictures},
                        {7, 1, S::kCells},        {8, -7, S::kPictures}, {9, 37, S::kCells},
                        {31, 150, S::kPictures},  {100, 50, S::kCells},  {333, 99, S::kPictures},
                        {1000, 50, S::kPictures}, {1000, 0, S::kCells},  {0, 50, S::kCells},
                        {9, 37, S::kCells, true}, {333, 99, S::kPictures, true}, {1000, 50, S::kCells, true}};
  const LaneKernel kernels[] = {LaneKernel::kPlain, LaneKernel::kSse2, LaneKernel::kAvx2, LaneKernel::kBest};
  uint32_t seed = 1;
  for (const Case& c : cases) {
    std::mt19937 rng(seed++);
    std::vector<DetailSummary> entries(static_cast<size_t>(c.count));
    DetailLanes lanes;
    lanes.Reset(c.count, c.side);
    DetailWeights weights = EvenDetailWeights();
    if (c.weighted)
      for (float& w : weights) w = rng() % 4 == 0 ? 0.0f : float(rng() % 1000) / 400.0f;
    const DetailWeights* given = c.weighted ? &weights : nullptr;
    lanes.SetWeights(weights);
    for (int i = 0; i < c.count; ++i) {
      entries[size_t(i)] = RandomSummary(rng);
      lanes.Set(i, entries[size_t(i)]);
    }
    // Many distances: a kernel that rounds one step differently moves the
    // truncated result only now and then.
    const int queries = 300000 / std::max(c.count, 100) + 4;
    for (int query = 0; query < queries; ++query) {
      const DetailSummary q = RandomSummary(rng);
      std::vector<int32_t> want(static_cast<size_t>(c.count));
      for (int i = 0; i < c.count; ++i)
        want[size_t(i)] = c.side == S::kPictures
                              ? DetailDistance(entries[size_t(i)], q, c.enhance, 0, INT_MAX, given)
                              : DetailDistance(q, entries[size_t(i)], c.enhance, 0, INT_MAX, given);
      for (LaneKernel kernel : kernels) {
        if (!LaneKernelAvailable(kernel)) continue;
        SCOPED_TRACE(testing::Message() << "count " << c.count << ", enhance " << c.enhance << ", kernel "
                                        << int(kernel) << ", query " << query);
        std::vector<int32_t> got(static_cast<size_t>(c.count) + 1, -1);
        lanes.DistancesInto(q, c.enhance, got.data(), kernel);
        EXPECT_EQ(got.back(), -1);  // nothing written past the entries
        got.pop_back();
        ASSERT_EQ(got, want);
        const int32_t* kept = lanes.Distances(q, c.enhance, kernel);
        ASSERT_TRUE(std::equal(want.begin(), want.end(), kept));
      }
    }
  }
}

TEST(DetailLanes, ComputedAheadOnTwoThreadsAsOneByOne) {
  std::mt19937 rng(7);
  DetailLanes lanes;
  lanes.Reset(203, DetailLanes::Side::kPictures);
  for (int i = 0; i < 203; ++i) lanes.Set(i, RandomSummary(rng));
  std::vector<DetailSummary> cells(50);
  for (DetailSummary& s : cells) s = RandomSummary(rng);
  // Every other cell, and one id outside the range, which is ignored.
  std::vector<const DetailSummary*> queries;
  std::vector<int> ids;
  for (int c = 0; c < 50; c += 2) {
    queries.push_back(&cells[size_t(c)]);
    ids.push_back(c);
  }
  queries.push_back(&cells[0]);
  ids.push_back(50);
  lanes.Precompute(queries, ids, 50, 40, 2);
  for (int c = 0; c < 50; ++c) {
    const int32_t* kept = lanes.Kept(c, 40);
    if (c % 2 == 1) {
      EXPECT_EQ(kept, nullptr) << c;
      continue;
    }
    ASSERT_NE(kept, nullptr) << c;
    std::vector<int32_t> want(203);
    lanes.DistancesInto(cells[size_t(c)], 40, want.data(), LaneKernel::kPlain);
    ASSERT_TRUE(std::equal(want.begin(), want.end(), kept)) << c;
  }
  EXPECT_EQ(lanes.Kept(0, 41), nullptr);  // made with another tint
  EXPECT_EQ(lanes.Kept(-1, 40), nullptr);
  EXPECT_EQ(lanes.Kept(50, 40), nullptr);
  lanes.Reset(203, DetailLanes::Side::kPictures);
  EXPECT_EQ(lanes.Kept(0, 40), nullptr);  // new entries forget them
}

TEST(DetailDistance, WithABoundIsTheLesserOfTheBoundAndTheDistance) {
  std::mt19937 rng(3);
  for (int n = 0; n < 20000; ++n) {
    const DetailSummary p = RandomSummary(rng), c = RandomSummary(rng);
    const int enhance = static_cast<int>(rng() % 120) - 10;
    const int orientation = static_cast<int>(rng() % 4);
    const int full = DetailDistance(p, c, enhance, orientation);
    // Bounds at, just around and far from the distance, and the
    // assignment's own "none yet" values.
    const int bounds[] = {full,  full + 1, std::max(full - 1, 0), 0, 1, static_cast<int>(rng() % 40000),
                          65535, 999999};
    for (int bound : bounds)
      ASSERT_EQ(DetailDistance(p, c, enhance, orientation, bound), std::min(full, bound))
          << n << " bound " << bound;
  }
}

}  // namespace
}  // namespace velmora
