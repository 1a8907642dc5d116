// The area-averaging stretch behind every reduction of the program (grid,
// signatures, crops, previews): a box filter with fractional edge weights,
// exact in integer arithmetic. Each target pixel is the mean of the source
// area it covers, so shrinking averages and enlarging replicates source pixels
// with a blend only where a target pixel straddles two of them.
#include "imaging/PictureOps.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace velmora {
namespace {

// TColor32 is read byte by byte as blue, green, red, alpha, which makes it the
// same layout as a Bitmap24 pixel plus one byte; one kernel serves both.
static_assert(std::endian::native == std::endian::little);

// The row loops gain most from wide integer multiplies; where the compiler can
// dispatch at load time, an AVX2 build of the kernel runs on machines that have it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define VELMORA_STRETCH_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VELMORA_STRETCH_CLONES
#endif

// Sides beyond this would let the integer sums below overflow (255 x side must
// fit 32 bits); no picture the program allocates comes near it.
constexpr int64_t kMaxStretchSide = int64_t(1) << 24;

struct SourceView {
  const uint8_t* data = nullptr;
  size_t stride = 0;  // bytes per row
};

struct TargetView {
  uint8_t* data = nullptr;
  size_t stride = 0;
  int width = 0;
  int height = 0;
};

// The source pixels one target pixel (or row) covers along one axis. Positions
// are counted in units of 1 / targetLength source pixels, so every overlap is
// an integer: target i covers [i * s, (i + 1) * s) and source j covers
// [j * t, (j + 1) * t). The weights of one target pixel add up to s; the
// pixels strictly between first and last are covered wholly, weight t.
struct Footprint {
  int first = 0;
  int last = 0;
  uint32_t firstWeight = 0;
  uint32_t lastWeight = 0;
  friend bool operator==(const Footprint&, const Footprint&) = default;
};

void ComputeFootprints(int64_t sourceLength, int64_t targetLength, int origin, std::vector<Footprint>& out) {
  out.resize(static_cast<size_t>(targetLength));
  for (int64_t i = 0; i < targetLength; ++i) {
    const int64_t begin = i * sourceLength;
    const int64_t end = begin + sourceLength;
    const int64_t first = begin / targetLength;
    const int64_t last = (end - 1) / targetLength;
    Footprint& f = out[static_cast<size_t>(i)];
    f.first = static_cast<int>(first) + origin;
    f.last = static_cast<int>(last) + origin;
    if (first == last) {
      f.firstWeight = static_cast<uint32_t>(sourceLength);
      f.lastWeight = 0;
    } else {
      f.firstWeight = static_cast<uint32_t>((first + 1) * targetLength - begin);
      f.lastWeight = static_cast<uint32_t>(end - last * targetLength);
    }
  }
}

// Rounds sum / d to nearest, exact halves upward (the mean 127.5 of 0, 0, 255,
// 255 gives 128), by one multiplication instead of a division per channel.
// With l = ceil(log2 d), every sum is below 256 d <= 2^(8 + l); a multiplier
// of ceil(2^(8 + 2l) / d) (at most 2^(9 + l)) then leaves an error below 1 / d,
// too small to move the floor. The product needs 17 + 2l bits: 64-bit
// arithmetic serves every source area up to 2^23 pixels, 128-bit the rest.
struct DividerShape {
  uint64_t half = 0;
  uint64_t multiplier = 0;
  int shift = 0;
  bool fits64 = false;

  explicit DividerShape(uint64_t d) : half(d / 2) {
    const int l = d > 1 ? std::bit_width(d - 1) : 0;
    shift = 8 + 2 * l;
    const unsigned __int128 one = 1;
    multiplier = static_cast<uint64_t>(((one << shift) + d - 1) / d);
    fits64 = 17 + 2 * l <= 64;
  }
};

struct RoundingDivider64 {
  uint64_t half, multiplier;
  int shift;
  explicit RoundingDivider64(const DividerShape& s) : half(s.half), multiplier(s.multiplier), shift(s.shift) {}
  uint8_t operator()(uint64_t sum) const { return static_cast<uint8_t>(((sum + half) * multiplier) >> shift); }
};

struct RoundingDivider128 {
  uint64_t half, multiplier;
  int shift;
  explicit RoundingDivider128(const DividerShape& s) : half(s.half), multiplier(s.multiplier), shift(s.shift) {}
  uint8_t operator()(uint64_t sum) const {
    return static_cast<uint8_t>((static_cast<unsigned __int128>(sum + half) * multiplier) >> shift);
  }
};

// Scratch kept per thread: library preparation stretches thousands of small
// pictures, and each call would otherwise allocate the same few buffers again.
struct StretchScratch {
  std::vector<Footprint> columns;
  std::vector<Footprint> rows;
  std::vector<uint32_t> columnSums;  // one target row's vertical sums per source byte
  std::vector<uint16_t> middle16;    // up to kRowsPer16 wholly covered rows, unweighted
  std::vector<uint32_t> middle32;    // more of them
};

// 256 rows of 255 still fit 16 bits; half the width of 32-bit sums makes the
// innermost loop, which touches every source byte, twice as fast.
constexpr int kRowsPer16 = 256;

StretchScratch& Scratch() {
  thread_local StretchScratch scratch;
  return scratch;
}

// sums = wa x a + wb x b + wm x middle, byte by byte along a row.
template <typename Middle>
void CombineRows(uint32_t* sums, const uint8_t* a, uint32_t wa, const uint8_t* b, uint32_t wb, const Middle* middle,
                 uint32_t wm, size_t n) {
  for (size_t x = 0; x < n; ++x) sums[x] = wa * a[x] + wb * b[x] + wm * middle[x];
}

// Vertical pass first: whole rows are summed byte by byte, a loop that is the
// same for three- and four-byte pixels and vectorises; the horizontal pass then
// works on one row of sums per target row. The sums are exact, so the order of
// the passes does not change a single value.
template <int SrcBpp, int DstBpp, typename Divider>
VELMORA_STRETCH_CLONES void StretchKernel(SourceView src, const TRect& rect, TargetView dst, const Divider divide) {
  static_assert(DstBpp <= SrcBpp);
  const int64_t sw = rect.Width();
  const int64_t sh = rect.Height();
  const int64_t tw = dst.width;
  const int64_t th = dst.height;

  StretchScratch& s = Scratch();
  // Columns index the row of sums, which starts at the rectangle's left edge;
  // rows index the source picture itself.
  ComputeFootprints(sw, tw, 0, s.columns);
  ComputeFootprints(sh, th, rect.Top, s.rows);
  const size_t rowBytes = static_cast<size_t>(sw) * SrcBpp;
  // Every buffer is sized before the first target byte is written, so a lack
  // of memory leaves the target as it was.
  s.columnSums.resize(rowBytes);
  s.middle16.resize(rowBytes);
  if (sh > th * kRowsPer16) s.middle32.resize(rowBytes);
  uint32_t* sums = s.columnSums.data();
  const auto sourceRow = [&](int y) {
    return src.data + static_cast<size_t>(y) * src.stride + static_cast<size_t>(rect.Left) * SrcBpp;
  };
  // Sums rows [from, to) into middle16, unweighted; at most kRowsPer16 of them.
  const auto sumRows16 = [&](int from, int to) {
    uint16_t* m = s.middle16.data();
    const uint8_t* row = sourceRow(from);
    for (size_t x = 0; x < rowBytes; ++x) m[x] = row[x];
    for (int y = from + 1; y < to; ++y) {
      row = sourceRow(y);
      for (size_t x = 0; x < rowBytes; ++x) m[x] = static_cast<uint16_t>(m[x] + row[x]);
    }
  };

  Footprint previous{-1, -1, 0, 0};
  for (int64_t ty = 0; ty < th; ++ty) {
    const Footprint& r = s.rows[static_cast<size_t>(ty)];
    // Enlarging, neighbouring target rows often cover the same source rows.
    if (!(r == previous)) {
      const uint8_t* a = sourceRow(r.first);
      const int wholeRows = r.last - r.first - 1;
      const uint32_t wm = static_cast<uint32_t>(th);
      if (r.first == r.last) {
        for (size_t x = 0; x < rowBytes; ++x) sums[x] = r.firstWeight * a[x];
      } else if (wholeRows == 0) {
        const uint8_t* b = sourceRow(r.last);
        for (size_t x = 0; x < rowBytes; ++x) sums[x] = r.firstWeight * a[x] + r.lastWeight * b[x];
      } else if (wholeRows <= kRowsPer16) {
        sumRows16(r.first + 1, r.last);
        CombineRows(sums, a, r.firstWeight, sourceRow(r.last), r.lastWeight, s.middle16.data(), wm, rowBytes);
      } else {
        uint32_t* middle32 = s.middle32.data();
        const uint16_t* middle16 = s.middle16.data();
        std::fill(middle32, middle32 + rowBytes, 0u);
        for (int y = r.first + 1; y < r.last; y += kRowsPer16) {
          sumRows16(y, std::min(y + kRowsPer16, r.last));
          for (size_t x = 0; x < rowBytes; ++x) middle32[x] += middle16[x];
        }
        CombineRows(sums, a, r.firstWeight, sourceRow(r.last), r.lastWeight, middle32, wm, rowBytes);
      }
      previous = r;
    }

    // Byte stores may alias anything, so everything the loop reads is held
    // in locals rather than reloaded through the scratch vectors.
    uint8_t* out = dst.data + static_cast<size_t>(ty) * dst.stride;
    const Footprint* columns = s.columns.data();
    for (int64_t tx = 0; tx < tw; ++tx, out += DstBpp) {
      const Footprint c = columns[tx];
      const uint32_t* first = sums + static_cast<size_t>(c.first) * SrcBpp;
      if (c.first == c.last) {
        for (int ch = 0; ch < DstBpp; ++ch) out[ch] = divide(uint64_t(c.firstWeight) * first[ch]);
        continue;
      }
      const uint32_t* last = sums + static_cast<size_t>(c.last) * SrcBpp;
      uint64_t acc[DstBpp];
      for (int ch = 0; ch < DstBpp; ++ch)
        acc[ch] = uint64_t(c.firstWeight) * first[ch] + uint64_t(c.lastWeight) * last[ch];
      if (c.last - c.first > 1) {
        uint64_t mid[DstBpp] = {};
        for (const uint32_t* p = first + SrcBpp; p < last; p += SrcBpp)
          for (int ch = 0; ch < DstBpp; ++ch) mid[ch] += p[ch];
        for (int ch = 0; ch < DstBpp; ++ch) acc[ch] += static_cast<uint64_t>(tw) * mid[ch];
      }
      for (int ch = 0; ch < DstBpp; ++ch) out[ch] = divide(acc[ch]);
    }
  }
}

SourceView ViewOf(const TBitmap32& b) {
  return {reinterpret_cast<const uint8_t*>(b.Pixels().data()), static_cast<size_t>(b.Width()) * 4};
}
SourceView ViewOf(const Bitmap24& b) { return {b.Bytes().data(), b.Stride()}; }
TargetView TargetOf(TBitmap32& b) {
  return {reinterpret_cast<uint8_t*>(b.Pixels().data()), static_cast<size_t>(b.Width()) * 4, b.Width(),
          b.Height()};
}
TargetView TargetOf(Bitmap24& b) { return {b.Bytes().data(), b.Stride(), b.Width(), b.Height()}; }

template <int SrcBpp, int DstBpp, typename Source, typename Target>
void Stretch(const Source& source, const TRect& sourceRect, Target& target) {
  if (target.Empty()) return;
  const TRect rect = Intersect(sourceRect, TRect{0, 0, source.Width(), source.Height()});
  if (rect.Width() > kMaxStretchSide || rect.Height() > kMaxStretchSide || target.Width() > kMaxStretchSide ||
      target.Height() > kMaxStretchSide)
    return;
  TargetView dst = TargetOf(target);
  if (rect.IsEmpty()) {
    // Nothing to average: a defined black rather than stale pixels.
    std::memset(dst.data, 0, dst.stride * static_cast<size_t>(dst.height));
    return;
  }
  const DividerShape shape(static_cast<uint64_t>(int64_t(rect.Width()) * rect.Height()));
  if (shape.fits64)
    StretchKernel<SrcBpp, DstBpp>(ViewOf(source), rect, dst, RoundingDivider64(shape));
  else
    StretchKernel<SrcBpp, DstBpp>(ViewOf(source), rect, dst, RoundingDivider128(shape));
}

}  // namespace

// The copies for a source that is also the target, and the scratch buffers,
// are the only allocations; when they fail the target keeps its pixels.
void AreaStretch(const TBitmap32& source, const TRect& sourceRect, TBitmap32& target) {
  try {
    if (&source == &target) {
      const TBitmap32 copy = source;
      Stretch<4, 4>(copy, sourceRect, target);
      return;
    }
    Stretch<4, 4>(source, sourceRect, target);
  } catch (const std::bad_alloc&) {
  }
}

void AreaStretch(const Bitmap24& source, const TRect& sourceRect, Bitmap24& target) {
  try {
    if (&source == &target) {
      const Bitmap24 copy = source;
      Stretch<3, 3>(copy, sourceRect, target);
      return;
    }
    Stretch<3, 3>(source, sourceRect, target);
  } catch (const std::bad_alloc&) {
  }
}

void AreaStretch(const TBitmap32& source, const TRect& sourceRect, Bitmap24& target) {
  try {
    Stretch<4, 3>(source, sourceRect, target);
  } catch (const std::bad_alloc&) {
  }
}

}  // namespace velmora
