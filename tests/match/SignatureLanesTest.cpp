// The laid-out summaries' distance pass against Compare's distance, on every
// instruction set the machine has, alone and shared with a second thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "engine/Engine.h"
#include "match/SignatureLanes.h"

namespace velmora {
namespace {

// Channels drawn mostly from the ends of the range, where the tint shift and
// the 16-bit arithmetic are at their widest.
ColorSignature RandomSignature(std::mt19937& rng) {
  auto channel = [&] {
    const uint32_t r = rng() % 8;
    return static_cast<uint8_t>(r == 0 ? 0 : r == 1 ? 255 : rng() % 256);
  };
  ColorSignature s;
  for (SigColor& slot : s.Slot) slot = SigColor{channel(), channel(), channel(), channel()};
  return s;
}

TEST(SignatureLanes, DistancesAndScanMatchCompareOnEveryKernel) {
  struct Case {
    int count;
    int enhance;
    bool shared;
  };
  const Case cases[] = {{1, 50, false},   {15, 0, false},    {16, 100, false}, {17, 1, false},
                        {100, -7, false}, {333, 99, false},  {1000, 37, true}, {4099, 100, true},
                        {4099, 0, true},  {20000, 50, true}, {0, 50, true}};
  const LaneKernel kernels[] = {LaneKernel::kPlain, LaneKernel::kSse2, LaneKernel::kAvx2, LaneKernel::kBest};
  uint32_t seed = 1;
  for (const Case& c : cases) {
    std::mt19937 rng(seed++);
    std::vector<ColorSignature> entries(static_cast<size_t>(c.count));
    for (ColorSignature& s : entries) s = RandomSignature(rng);
    SignatureLanes lanes;
    lanes.ShareWithSecondThread(c.shared);
    lanes.Reset(c.count);
    std::set<int> blocked;
    for (int i = 0; i < c.count; ++i) {
      lanes.Set(i, entries[size_t(i)]);
      if (rng() % 5 == 0) blocked.insert(i);
    }
    for (int i : blocked) lanes.Block(i);
    for (int query = 0; query < 6; ++query) {
      const ColorSignature q = RandomSignature(rng);
      std::vector<int> want(static_cast<size_t>(c.count));
      for (int i = 0; i < c.count; ++i)
        want[size_t(i)] = Engine::Compare(entries[size_t(i)], q, c.enhance, false, false).Distance;
      const int limit = 200 + 300 * query;
      for (LaneKernel kernel : kernels) {
        if (!LaneKernelAvailable(kernel)) continue;
        SCOPED_TRACE(testing::Message() << "count " << c.count << ", enhance " << c.enhance << ", kernel "
                                        << int(kernel) << ", query " << query);
        const int16_t* d = lanes.Distances(q, c.enhance, kernel);
        std::vector<int> found, expected;
        for (int i = 0; i < c.count; ++i) {
          if (blocked.count(i) == 0) {
            ASSERT_EQ(d[i], want[size_t(i)]) << i;
          }
          if (blocked.count(i) == 0 && want[size_t(i)] < limit) expected.push_back(i);
        }
        // From the middle to the end, then from the start to the middle, as
        // the assignment scans.
        const int mid = c.count / 3;
        for (auto [from, to] : {std::pair{mid, c.count}, std::pair{0, mid}})
          for (int i = lanes.FirstBelow(from, to, limit); i < to; i = lanes.FirstBelow(i + 1, to, limit))
            found.push_back(i);
        std::rotate(expected.begin(), std::lower_bound(expected.begin(), expected.end(), mid),
                    expected.end());
        ASSERT_EQ(found, expected);
      }
    }
  }
}

TEST(SignatureLanes, LimitsAtTheEdges) {
  SignatureLanes lanes;
  lanes.Reset(40);
  ColorSignature grey;
  for (SigColor& slot : grey.Slot) slot = SigColor{10, 10, 10, 10};
  for (int i = 0; i < 40; ++i) lanes.Set(i, grey);
  lanes.Block(39);
  const int16_t* d = lanes.Distances(grey, 50);
  EXPECT_EQ(d[0], 0);
  EXPECT_EQ(lanes.FirstBelow(0, 40, 0), 40);  // nothing is below 0
  EXPECT_EQ(lanes.FirstBelow(5, 40, 1), 5);
  EXPECT_EQ(lanes.FirstBelow(39, 40, 65535), 40);  // blocked, however high the limit
  EXPECT_EQ(lanes.FirstBelow(20, 10, 65535), 10);  // an empty range
}

}  // namespace
}  // namespace velmora
