#include "match/NearestPhotos.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>

namespace velmora {
namespace {

// Every candidate's (distance, photo), sorted, the first `count` kept.
SparseRow ByFullSort(const std::vector<int32_t>& d, const std::vector<int>& candidates, int count) {
  SparseRow all;
  for (int k : candidates) all.emplace_back(d[size_t(k)], k);
  std::sort(all.begin(), all.end());
  all.resize(std::min(all.size(), size_t(std::max(count, 0))));
  return all;
}

struct Row {
  const char* name;
  int photos;
  int count;
  int64_t lo;      // distances drawn from [lo, hi]
  int64_t hi;
  int everyNth;    // every n-th photo is a candidate
};

TEST(NearestInOrder, KeepsTheNearestInOrderAsAFullSortDoes) {
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  const Row rows[] = {
      {"typical row", 2000, 512, 0, 4'000'000, 1},
      {"many ties", 2000, 512, 0, 40, 1},
      {"all equal", 700, 100, 7, 7, 1},
      {"narrow range, every bin its own distance", 3000, 600, 1000, 1900, 1},
      {"negative distances", 900, 300, -5'000, 5'000, 1},
      {"the whole int32 range", 1500, 400, kMin, kMax, 1},
      {"few candidates", 2000, 512, 0, 1'000'000, 7},
      {"count above the candidates", 50, 512, 0, 1000, 1},
      {"few kept", 2000, 5, 0, 1'000'000, 1},
      {"one candidate", 1, 3, 0, 10, 1},
      {"nothing asked", 100, 0, 0, 10, 1},
  };
  std::mt19937 random(7);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::uniform_int_distribution<int64_t> draw(row.lo, row.hi);
    std::vector<int32_t> d(size_t(row.photos));
    for (int32_t& v : d) v = static_cast<int32_t>(draw(random));
    std::vector<int> candidates;
    for (int k = 0; k < row.photos; k += row.everyNth) candidates.push_back(k);
    SparseRow got;
    NearestScratch scratch;
    NearestInOrder(d.data(), candidates.data(), int(candidates.size()), row.count, got, scratch);
    EXPECT_EQ(got, ByFullSort(d, candidates, row.count));
    // The scratch left by a row serves the next.
    NearestInOrder(d.data(), candidates.data(), int(candidates.size()), row.count, got, scratch);
    EXPECT_EQ(got, ByFullSort(d, candidates, row.count));
  }
}

}  // namespace
}  // namespace velmora
