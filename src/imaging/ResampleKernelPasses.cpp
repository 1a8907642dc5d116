// The passes of the kernel resampler: each target pixel is a weighted sum of
// source pixels, the weights coming from per-axis tap tables (kept per thread,
// as they repeat from cell to cell), summed along one axis and then the other.
#include <cstring>
#include <limits>
#include <memory>
#include <unordered_map>

#include "imaging/PixelBlend.h"
#include "imaging/ResampleDrawing.h"

namespace velmora::resample {
namespace {

// Four 32-bit lanes (GCC and Clang vector extension; plain scalar code where
// the machine has no such registers).
using Lanes = int32_t __attribute__((vector_size(16)));
using ULanes = uint32_t __attribute__((vector_size(16)));
// Eight lanes: two pixels, or eight channel sums; the baseline build splits
// them into two registers.
using Wide = int32_t __attribute__((vector_size(32)));
using Bytes8 = uint8_t __attribute__((vector_size(8)));

// --- Kernel resampler ---------------------------------------------------------

// Column sums of one target row: sums[i] = sum over the row taps of weight x
// byte i of the tap's row, from column x0 on. Bytes are taken in memory order
// and put back the same way, so the four channels of a pixel stay together
// whatever the machine's byte order. |weight| x 255 summed over a position's
// taps stays far inside 32 bits.
VELMORA_VECTOR_CLONES
void SumColumns(int32_t* sums, size_t n, const TBitmap32& src, int32_t x0, const Tap* rt, const Tap* rtEnd) {
  {
    const auto* b = reinterpret_cast<const uint8_t*>(src.ScanLine(rt->pos) + x0);
    const int32_t w = rt->weight;
    for (size_t i = 0; i < n; ++i) sums[i] = w * b[i];
  }
  for (++rt; rt != rtEnd; ++rt) {
    const auto* b = reinterpret_cast<const uint8_t*>(src.ScanLine(rt->pos) + x0);
    const int32_t w = rt->weight;
    for (size_t i = 0; i < n; ++i) sums[i] += w * b[i];
  }
}

// Sums are in 1/65536 (row weight x column weight). Clamping into 0..255
// keeps the negative lobes of Lanczos and Mitchell from wrapping; for the
// kernels without lobes every weight is at least 0 and sums to 256, so the
// sum already lies in that range and the clamp changes nothing.
template <typename Sum>
inline uint8_t KernelChannel(Sum sum) {
  return static_cast<uint8_t>(std::clamp<Sum>(sum, 0, Sum(255) << 16) >> 16);
}

// Each target pixel of the row over its column taps, into `out` (4 bytes a
// pixel). The 32-bit version serves whenever the tables bound every sum
// below 2^31, which is every table but those of extreme shrinks.
VELMORA_VECTOR_CLONES
void SumTaps32(uint8_t* out, const int32_t* sums, const TapTable& cols) {
  const Tap* taps = cols.taps.data();
  const uint32_t* first = cols.first.data();
  const int32_t x0 = cols.minPos;
  const int count = cols.count();
  const Lanes zero = {0, 0, 0, 0};
  const Lanes top = zero + (255 << 16);
  for (int k = 0; k < count; ++k) {
    Lanes acc = zero;
    for (uint32_t t = first[k]; t < first[k + 1]; ++t) {
      Lanes c;
      std::memcpy(&c, sums + 4 * static_cast<size_t>(taps[t].pos - x0), sizeof c);
      acc += taps[t].weight * c;
    }
    acc = acc < zero ? zero : acc;
    acc = acc > top ? top : acc;
    acc >>= 16;
    for (int ch = 0; ch < 4; ++ch) out[4 * k + ch] = static_cast<uint8_t>(acc[ch]);
  }
}

// The same over a dense copy of the column table: every position padded to
// `n` taps with weight 0 and each position turned into an offset into the
// sums, so the tap loop has one trip count for the whole row.
VELMORA_VECTOR_CLONES
void SumDenseTaps32(uint8_t* out, const int32_t* sums, const Tap* taps, int n, int count) {
  const Wide zero = {};
  const Wide top = zero + (255 << 16);
  int k = 0;
  // Two target pixels a step, one in each half of the register.
  for (; k + 2 <= count; k += 2, taps += 2 * n) {
    const Tap* second = taps + n;
    Wide acc = zero;
    for (int t = 0; t < n; ++t) {
      Lanes a, b;
      std::memcpy(&a, sums + taps[t].pos, sizeof a);
      std::memcpy(&b, sums + second[t].pos, sizeof b);
      const Wide c = __builtin_shufflevector(a, b, 0, 1, 2, 3, 4, 5, 6, 7);
      const int32_t wa = taps[t].weight, wb = second[t].weight;
      const Wide w = {wa, wa, wa, wa, wb, wb, wb, wb};
      acc += w * c;
    }
    acc = acc < zero ? zero : acc;
    acc = acc > top ? top : acc;
    acc >>= 16;
    const Bytes8 bytes = __builtin_convertvector(acc, Bytes8);
    std::memcpy(out + 4 * k, &bytes, sizeof bytes);
  }
  for (; k < count; ++k, taps += n) {
    Lanes acc = {0, 0, 0, 0};
    for (int t = 0; t < n; ++t) {
      Lanes c;
      std::memcpy(&c, sums + taps[t].pos, sizeof c);
      acc += taps[t].weight * c;
    }
    for (int ch = 0; ch < 4; ++ch) out[4 * k + ch] = KernelChannel(acc[ch]);
  }
}

void SumTaps64(uint8_t* out, const int32_t* sums, const TapTable& cols) {
  const Tap* taps = cols.taps.data();
  const uint32_t* first = cols.first.data();
  const int32_t x0 = cols.minPos;
  const int count = cols.count();
  for (int k = 0; k < count; ++k) {
    int64_t acc[4] = {0, 0, 0, 0};
    for (uint32_t t = first[k]; t < first[k + 1]; ++t) {
      const int32_t* c = sums + 4 * static_cast<size_t>(taps[t].pos - x0);
      const int64_t w = taps[t].weight;
      for (int ch = 0; ch < 4; ++ch) acc[ch] += w * c[ch];
    }
    for (int ch = 0; ch < 4; ++ch) out[4 * k + ch] = KernelChannel(acc[ch]);
  }
}

void BuildAxisTable(TStretchFilter filter, int64_t lo, int64_t hi, int64_t target, int64_t first,
                    int64_t count, int32_t limit, AxisTable& axis) {
  resample::BuildKernelTable(filter, lo, hi, target, first, count, limit, axis.table);
  const TapTable& t = axis.table;
  axis.maxTaps = 0;
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

AxisTableCache& ThreadAxisTables() {
  thread_local AxisTableCache cache;
  return cache;
}

// The dense paths of the kernel resampler. The source rows the row taps
// reach are first widened to 32-bit channel values (row r of the rectangle at
// wide + (r - minRow) * stride). Then either
//  - rows first: each target row's column sums are the weighted sum of its
//    source rows, and each target pixel the weighted sum of its column sums;
//  - columns first: each source row is filtered along its columns, and each
//    target row is the weighted sum of its filtered source rows.
// Integer sums are exact, so both orders give the pixels of the general path;
// columns first is the cheaper one when enlarging, where many target rows
// share few source rows. The weighted row sums keep eight lanes in a register
// over all the taps (at most kMaxDenseTaps of them).

// Vectors go by reference: passing them by value would depend on the
// instruction set the caller was built for.
inline void AddWeighted(Wide& acc, int32_t weight, const int32_t* p) {
  Wide v;
  std::memcpy(&v, p, sizeof v);
  acc += weight * v;
}

// Eight 32-bit sums in 1/65536, clamped into 0..255, as eight bytes.
inline void StoreChannels(uint8_t* out, Wide& acc) {
  const Wide zero = {};
  const Wide top = zero + (255 << 16);
  acc = acc < zero ? zero : acc;
  acc = acc > top ? top : acc;
  acc >>= 16;
  using Bytes32 = uint8_t __attribute__((vector_size(32)));
  const auto bytes = reinterpret_cast<Bytes32>(acc);
  const Bytes8 low = __builtin_shufflevector(bytes, bytes, 0, 4, 8, 12, 16, 20, 24, 28);
  std::memcpy(out, &low, sizeof low);
}

VELMORA_VECTOR_CLONES
void WidenRow(int32_t* out, const uint8_t* b, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = b[i];
}

struct RowTaps {
  const int32_t* rows[kMaxDenseTaps];
  int32_t weights[kMaxDenseTaps];
  int count = 0;
  RowTaps(const int32_t* base, size_t stride, int32_t minRow, const Tap* t, const Tap* tEnd) {
    for (; t != tEnd; ++t, ++count) {
      rows[count] = base + static_cast<size_t>(t->pos - minRow) * stride;
      weights[count] = t->weight;
    }
  }
};

// sums[i] = sum of weight x row[i] over the taps, i < n (a multiple of 4).
VELMORA_VECTOR_CLONES
void SumWideRows(int32_t* sums, const RowTaps& taps, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    Wide acc = {};
    for (int t = 0; t < taps.count; ++t) AddWeighted(acc, taps.weights[t], taps.rows[t] + i);
    std::memcpy(sums + i, &acc, sizeof acc);
  }
  for (; i < n; ++i) {
    int32_t acc = 0;
    for (int t = 0; t < taps.count; ++t) acc += taps.weights[t] * taps.rows[t][i];
    sums[i] = acc;
  }
}

// The same, clamped and scaled into bytes.
VELMORA_VECTOR_CLONES
void SumWideRowsToBytes(uint8_t* out, const RowTaps& taps, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    Wide acc = {};
    for (int t = 0; t < taps.count; ++t) AddWeighted(acc, taps.weights[t], taps.rows[t] + i);
    StoreChannels(out + i, acc);
  }
  for (; i < n; ++i) {
    int32_t acc = 0;
    for (int t = 0; t < taps.count; ++t) acc += taps.weights[t] * taps.rows[t][i];
    out[i] = KernelChannel(acc);
  }
}

VELMORA_VECTOR_CLONES
void ChannelsToBytes(uint8_t* out, const int32_t* sums, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    Wide v;
    std::memcpy(&v, sums + i, sizeof v);
    StoreChannels(out + i, v);
  }
  for (; i < n; ++i) out[i] = KernelChannel(sums[i]);
}

// Each target pixel over its dense column taps into `out` (four 32-bit sums
// a pixel), two pixels a step, one in each half of the register.
VELMORA_VECTOR_CLONES
void FilterWideRow(int32_t* out, const int32_t* wide, const Tap* taps, int n, int count) {
  int k = 0;
  for (; k + 2 <= count; k += 2, taps += 2 * n) {
    const Tap* second = taps + n;
    Wide acc = {};
    for (int t = 0; t < n; ++t) {
      Lanes x, y;
      std::memcpy(&x, wide + taps[t].pos, sizeof x);
      std::memcpy(&y, wide + second[t].pos, sizeof y);
      const int32_t wa = taps[t].weight, wb = second[t].weight;
      const Wide w = {wa, wa, wa, wa, wb, wb, wb, wb};
      acc += w * __builtin_shufflevector(x, y, 0, 1, 2, 3, 4, 5, 6, 7);
    }
    std::memcpy(out + 4 * static_cast<size_t>(k), &acc, sizeof acc);
  }
  for (; k < count; ++k, taps += n) {
    Lanes acc = {0, 0, 0, 0};
    for (int t = 0; t < n; ++t) {
      Lanes c;
      std::memcpy(&c, wide + taps[t].pos, sizeof c);
      acc += taps[t].weight * c;
    }
    std::memcpy(out + 4 * static_cast<size_t>(k), &acc, sizeof acc);
  }
}

}  // namespace

// Widened or filtered source rows held at most for one dense draw (int32 values).
constexpr int64_t kMaxWideValues = int64_t(2) << 20;

void DrawKernel(const TBitmap32& src, TStretchFilter filter, const DrawFrame& f, Scratch& sc,
                const RowWriter& out) {
  AxisTableCache& tables = ThreadAxisTables();
  tables.MakeRoom(2);
  const AxisTable& colAxis = tables.Get(filter, f.srcLeft, f.srcLeft + f.srcWidth, f.dstWidth, f.firstCol,
                                        f.clipWidth, src.Width(), sc.colScratch);
  const AxisTable& rowAxis = tables.Get(filter, f.srcTop, f.srcTop + f.srcHeight, f.dstHeight, f.firstRow,
                                        f.clipHeight, src.Height(), sc.rowScratch);
  const TapTable& cols = colAxis.table;
  const TapTable& rows = rowAxis.table;
  const auto span = static_cast<size_t>(cols.maxPos - cols.minPos + 1);
  sc.kernelSums.resize(span * 4);
  sc.line.resize(static_cast<size_t>(f.clipWidth));
  const bool narrow = int64_t(255) * rows.maxAbsSum * cols.maxAbsSum < (int64_t(1) << 31);
  auto* line = reinterpret_cast<uint8_t*>(sc.line.data());
  // Enlarging and mild shrinking give a few taps a position: those rows go
  // through the dense table.
  const bool dense = narrow && !colAxis.dense.empty();
  const int maxTaps = colAxis.maxTaps;

  const int64_t width = f.clipWidth;
  const int64_t rowSpan = int64_t(rows.maxPos) - rows.minPos + 1;
  if (dense && rowAxis.maxTaps <= kMaxDenseTaps && rowSpan * int64_t(span) * 4 <= kMaxWideValues &&
      rowSpan * width * 4 <= kMaxWideValues) {
    const size_t spanValues = span * 4;
    sc.wide.resize(static_cast<size_t>(rowSpan) * spanValues);
    for (int64_t r = 0; r < rowSpan; ++r)
      WidenRow(
          sc.wide.data() + static_cast<size_t>(r) * spanValues,
          reinterpret_cast<const uint8_t*>(src.ScanLine(static_cast<int>(rows.minPos + r)) + cols.minPos),
          spanValues);
    // Rough counts of vector operations of the two orders.
    const auto rowTaps = static_cast<int64_t>(rows.taps.size());
    const int64_t rowsFirst = rowTaps * int64_t(span) / 2 + int64_t(f.clipHeight) * width * maxTaps / 2;
    const int64_t colsFirst = rowSpan * width * maxTaps / 2 + rowTaps * width / 2;
    const Tap* rt = rows.taps.data();
    const size_t stride = static_cast<size_t>(width) * 4;
    if (colsFirst < rowsFirst) {
      sc.filtered.resize(static_cast<size_t>(rowSpan) * stride);
      for (int64_t r = 0; r < rowSpan; ++r)
        FilterWideRow(sc.filtered.data() + static_cast<size_t>(r) * stride,
                      sc.wide.data() + static_cast<size_t>(r) * spanValues, colAxis.dense.data(), maxTaps,
                      f.clipWidth);
      for (int m = 0; m < f.clipHeight; ++m) {
        SumWideRowsToBytes(
            line,
            RowTaps(sc.filtered.data(), stride, rows.minPos, rt + rows.first[m], rt + rows.first[m + 1]),
            stride);
        out.WriteClipRow(m, sc.line.data());
      }
    } else {
      sc.filtered.resize(stride);
      for (int m = 0; m < f.clipHeight; ++m) {
        SumWideRows(
            sc.kernelSums.data(),
            RowTaps(sc.wide.data(), spanValues, rows.minPos, rt + rows.first[m], rt + rows.first[m + 1]),
            spanValues);
        FilterWideRow(sc.filtered.data(), sc.kernelSums.data(), colAxis.dense.data(), maxTaps, f.clipWidth);
        ChannelsToBytes(line, sc.filtered.data(), stride);
        out.WriteClipRow(m, sc.line.data());
      }
    }
    return;
  }
  for (int m = 0; m < f.clipHeight; ++m) {
    const Tap* rt = rows.taps.data();
    SumColumns(sc.kernelSums.data(), span * 4, src, cols.minPos, rt + rows.first[m], rt + rows.first[m + 1]);
    if (dense) {
      SumDenseTaps32(line, sc.kernelSums.data(), colAxis.dense.data(), maxTaps, f.clipWidth);
    } else if (narrow) {
      SumTaps32(line, sc.kernelSums.data(), cols);
    } else {
      SumTaps64(line, sc.kernelSums.data(), cols);
    }
    out.WriteClipRow(m, sc.line.data());
  }
}

}  // namespace velmora::resample
