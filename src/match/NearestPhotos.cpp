#include "match/NearestPhotos.h"

#include <algorithm>
#include <limits>

namespace velmora {
namespace {

// Distances, less the row's least, are first counted into this many bins of
// equal width: the bin holding the count-th nearest splits the row into the
// photos surely kept (the bins below), and the few that are ranked exactly.
constexpr int kBinBits = 10;
constexpr uint32_t kBins = uint32_t(1) << kBinBits;
// The widest digit of one counting pass, and the fewest keys worth one.
constexpr int kDigitBits = 11;
constexpr size_t kFewKeys = 96;

// A key is the distance above the least in its upper half and the photo in
// its lower half, so that keys order as (distance, photo) does.
uint64_t Key(uint32_t above, int photo) { return uint64_t(above) << 32 | uint32_t(photo); }

// Orders keys by bits [low, low + width) of their distance, keeping the order
// of equal ones.
void CountingPass(std::vector<uint64_t>& keys, std::vector<uint64_t>& spare, std::vector<uint32_t>& counts, int low,
                  int width) {
  const uint32_t mask = (uint32_t(1) << width) - 1;
  auto digit = [&](uint64_t key) { return uint32_t(key >> (32 + low)) & mask; };
  counts.assign(size_t(mask) + 2, 0);
  for (uint64_t key : keys) ++counts[digit(key) + 1];
  for (size_t i = 1; i < counts.size(); ++i) counts[i] += counts[i - 1];
  spare.resize(keys.size());
  for (uint64_t key : keys) spare[counts[digit(key)]++] = key;
  keys.swap(spare);
}

}  // namespace

void NearestInOrder(const int32_t* distance, const int* candidates, int m, int count, SparseRow& out,
                    NearestScratch& s) {
  out.clear();
  count = std::min(count, m);
  if (count <= 0) return;
  int32_t least = std::numeric_limits<int32_t>::max();
  int32_t most = std::numeric_limits<int32_t>::min();
  for (int i = 0; i < m; ++i) {
    least = std::min(least, distance[candidates[i]]);
    most = std::max(most, distance[candidates[i]]);
  }
  const uint32_t range = uint32_t(int64_t(most) - least);
  int shift = 0;
  while ((uint64_t(range) >> shift) >= kBins) ++shift;
  auto above = [&](int i) { return uint32_t(int64_t(distance[candidates[i]]) - least); };

  s.counts.assign(kBins, 0);
  for (int i = 0; i < m; ++i) ++s.counts[above(i) >> shift];
  uint32_t edgeBin = 0;
  int below = 0;
  while (below + int(s.counts[edgeBin]) < count) below += int(s.counts[edgeBin++]);

  // The keys of the bins below in photo order, so that passes that keep the
  // order of equal digits leave them in (distance, photo) order.
  s.keys.clear();
  s.edge.clear();
  for (int i = 0; i < m; ++i) {
    const uint32_t a = above(i);
    if ((a >> shift) < edgeBin)
      s.keys.push_back(Key(a, candidates[i]));
    else if ((a >> shift) == edgeBin)
      s.edge.push_back(Key(a, candidates[i]));
  }
  if (s.keys.size() < kFewKeys) {
    std::sort(s.keys.begin(), s.keys.end());
  } else {
    for (int low = 0; low < shift; low += kDigitBits)
      CountingPass(s.keys, s.spare, s.counts, low, std::min(kDigitBits, shift - low));
    CountingPass(s.keys, s.spare, s.counts, shift, kBinBits);
  }
  // Every key of the edge bin is above every key of the bins below.
  const auto taken = s.edge.begin() + (count - below);
  if (taken != s.edge.end()) std::nth_element(s.edge.begin(), taken, s.edge.end());
  std::sort(s.edge.begin(), taken);
  s.keys.insert(s.keys.end(), s.edge.begin(), taken);

  out.reserve(size_t(count));
  for (uint64_t key : s.keys)
    out.emplace_back(static_cast<int32_t>(int64_t(key >> 32) + least), static_cast<int>(uint32_t(key)));
}

}  // namespace velmora
