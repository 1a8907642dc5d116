// The axis tables of the kernel resampler: for each target column (row) the
// source columns (rows) it sums and their weights, with the dense and paired
// copies the passes read. A renderer draws thousands of cells whose tables
// repeat, so each thread keeps the tables of its recent draws.
#include <algorithm>
#include <memory>
#include <unordered_map>

#include "imaging/ResampleDrawing.h"

namespace velmora::resample {
namespace {

void BuildAxisTable(TStretchFilter filter, int64_t lo, int64_t hi, int64_t target, int64_t first,
                    int64_t count, int32_t limit, AxisTable& axis) {
  resample::BuildKernelTable(filter, lo, hi, target, first, count, limit, axis.table);
  const TapTable& t = axis.table;
  axis.maxTaps = 0;
  axis.nonNegative = false;
  axis.pairCount = 0;
  axis.pairs.clear();
  axis.strideBegin = axis.strideEnd = 0;
  for (int k = 0; k < t.count(); ++k)
    axis.maxTaps = std::max(axis.maxTaps, static_cast<int>(t.first[k + 1] - t.first[k]));
  axis.dense.clear();
  if (axis.maxTaps > kMaxDenseTaps) return;
  axis.dense.assign(static_cast<size_t>(t.count()) * axis.maxTaps, Tap{0, 0});
  for (int k = 0; k < t.count(); ++k) {
    Tap* d = axis.dense.data() + static_cast<size_t>(k) * axis.maxTaps;
    for (uint32_t i = t.first[k]; i < t.first[k + 1]; ++i)
      *d++ = Tap{4 * (t.taps[i].pos - t.minPos), t.taps[i].weight};
  }
  axis.nonNegative =
      std::all_of(t.taps.begin(), t.taps.end(), [](const Tap& tap) { return tap.weight >= 0; });
  if (!axis.nonNegative) return;
  axis.pairCount = (axis.maxTaps + 1) / 2;
  axis.pairs.resize(static_cast<size_t>(t.count()) * axis.pairCount);
  for (int k = 0; k < t.count(); ++k) {
    const Tap* d = axis.dense.data() + static_cast<size_t>(k) * axis.maxTaps;
    TapPair* p = axis.pairs.data() + static_cast<size_t>(k) * axis.pairCount;
    for (int i = 0; i < axis.pairCount; ++i) {
      const Tap a = d[2 * i];
      const Tap b = 2 * i + 1 < axis.maxTaps ? d[2 * i + 1] : Tap{a.pos, 0};
      const auto both = static_cast<int32_t>(uint32_t(a.weight) | (uint32_t(b.weight) << 16));
      p[i] = TapPair{{both, both, both, both}, a.pos, b.pos};
    }
  }
  // The longest run of positions that step by two pixels with the same
  // weights over neighbouring pairs.
  const int pc = axis.pairCount;
  const auto paired = [&](int k) {
    const TapPair* p = axis.pairs.data() + static_cast<size_t>(k) * pc;
    for (int i = 0; i < pc; ++i)
      if (p[i].b != p[i].a + 4 || (i > 0 && p[i].a != p[i - 1].a + 8)) return false;
    return true;
  };
  const auto follows = [&](int k) {
    const TapPair* p = axis.pairs.data() + static_cast<size_t>(k) * pc;
    const TapPair* q = p - pc;
    for (int i = 0; i < pc; ++i)
      if (p[i].a != q[i].a + 8 || p[i].weights[0] != q[i].weights[0]) return false;
    return true;
  };
  int best = 0, bestBegin = 0;
  for (int k = 0; k < t.count();) {
    if (!paired(k)) {
      ++k;
      continue;
    }
    int end = k + 1;
    while (end < t.count() && paired(end) && follows(end)) ++end;
    if (end - k > best) {
      best = end - k;
      bestBegin = k;
    }
    k = end;
  }
  if (best >= 8) {
    axis.strideBegin = bestBegin;
    axis.strideEnd = bestBegin + best;
  }
}

// Axis tables already built on this thread. The renderer draws thousands of
// cells whose tables repeat (every cell picture of a render has the same size,
// and the main picture's cell areas repeat along each row and column), and
// building a table costs more than drawing a small cell with it. Only tables
// of modest length are kept, and the whole set is dropped when it is full.
class AxisTableCache {
public:
  // Makes sure the next `n` lookups cannot drop a table handed out by an
  // earlier one of them.
  void MakeRoom(size_t n) {
    if (map_.size() + n > kMaxTables) map_.clear();
  }
  const AxisTable& Get(TStretchFilter filter, int64_t lo, int64_t hi, int64_t target, int64_t first,
                       int64_t count, int32_t limit, AxisTable& scratch) {
    if (count > kMaxCachedCount) {
      BuildAxisTable(filter, lo, hi, target, first, count, limit, scratch);
      return scratch;
    }
    const Key key{static_cast<int>(filter), limit, lo, hi, target, first, count};
    auto [it, added] = map_.try_emplace(key, nullptr);
    if (added) {
      try {
        auto axis = std::make_unique<AxisTable>();
        BuildAxisTable(filter, lo, hi, target, first, count, limit, *axis);
        it->second = std::move(axis);
      } catch (...) {
        map_.erase(it);
        throw;
      }
    }
    return *it->second;
  }

private:
  static constexpr size_t kMaxTables = 1024;
  static constexpr int64_t kMaxCachedCount = 1024;
  struct Key {
    int filter;
    int32_t limit;
    int64_t lo, hi, target, first, count;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    size_t operator()(const Key& k) const {
      uint64_t h = 0x9E3779B97F4A7C15ull;
      for (uint64_t v : {uint64_t(k.filter), uint64_t(uint32_t(k.limit)), uint64_t(k.lo), uint64_t(k.hi),
                         uint64_t(k.target), uint64_t(k.first), uint64_t(k.count)})
        h = (h ^ v) * 0x100000001B3ull + (h >> 29);
      return static_cast<size_t>(h);
    }
  };
  std::unordered_map<Key, std::unique_ptr<AxisTable>, KeyHash> map_;
};

}  // namespace

DrawAxes DrawAxisTables(TStretchFilter filter, const DrawFrame& f, int srcWidth, int srcHeight, Scratch& sc) {
  thread_local AxisTableCache tables;
  tables.MakeRoom(2);
  const AxisTable& cols = tables.Get(filter, f.srcLeft, f.srcLeft + f.srcWidth, f.dstWidth, f.firstCol,
                                     f.clipWidth, srcWidth, sc.colScratch);
  const AxisTable& rows = tables.Get(filter, f.srcTop, f.srcTop + f.srcHeight, f.dstHeight, f.firstRow,
                                     f.clipHeight, srcHeight, sc.rowScratch);
  return {cols, rows};
}

}  // namespace velmora::resample
