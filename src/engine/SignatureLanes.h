// Colour summaries laid out channel by channel: one 16-bit lane per quadrant
// channel and per mean channel, so that the quadrant distance of one summary
// to all of them is computed many at a time. The assignment asks this once
// per cell (a cell against every library picture) and once per picture of
// the every-picture pass (a picture against every grid cell).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/ColorSignature.h"

namespace velmora {

// The instruction sets the distance pass can run on; all give the same
// numbers. kBest is the widest the processor has.
enum class LaneKernel { kBest, kPlain, kSse2, kAvx2 };
bool LaneKernelAvailable(LaneKernel kernel);

class SignatureLanes {
public:
  // A distance no summary reaches; blocked entries have it.
  static constexpr int kBlocked = 0x7FFF;
  // The largest tint strength the 16-bit lanes hold exactly: the shift's
  // product (255 x enhance) must fit them.
  static constexpr int kMaxLaneEnhance = 100;

  // `count` entries, all zero and none blocked.
  void Reset(int count);
  int Count() const { return count_; }
  // Reset has been called.
  bool Ready() const { return ready_; }

  void Set(int i, const ColorSignature& s);
  // Quadrants only, from four blue-green-red samples (the mean stays zero).
  void SetQuadrants(int i, const uint8_t* const samples[4]);
  // Entry i comes out at kBlocked from every summary from now on.
  void Block(int i);

  // For every entry i: the sum over the four quadrants and the three channels
  // of |entry - shift - query|, where shift is, per channel, (entry mean -
  // query mean) x enhance / 100 rounded toward zero when enhance is 1..100,
  // and 0 when enhance is below 1. Enhance above kMaxLaneEnhance is not
  // allowed. The result has Count() values (blocked ones kBlocked) and
  // stays valid until the next call.
  const int16_t* Distances(const ColorSignature& query, int enhance, LaneKernel kernel = LaneKernel::kBest);

  // The first index in [from, to) whose last computed distance is below
  // `limit`; `to` when there is none.
  int FirstBelow(int from, int to, int limit) const;

private:
  int16_t* Lane(int lane) { return lanes_.data() + static_cast<size_t>(lane) * stride_; }

  bool ready_ = false;
  int count_ = 0;
  size_t stride_ = 0;  // Count() rounded up to whole vectors
  // Lanes 0..11 the quadrant channels (quadrant-major, blue, green, red),
  // 12..14 the mean's, 15 the blocked mask (0 or kBlocked).
  std::vector<int16_t> lanes_;
  std::vector<int16_t> distances_;
};

}  // namespace velmora
