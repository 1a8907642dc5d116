// Colour summaries laid out channel by channel: one byte lane per quadrant
// channel and per mean channel, so that the quadrant distance of one summary
// to all of them is computed many at a time. The assignment asks this once
// per cell (a cell against every library picture) and once per picture of
// the every-picture pass (a picture against every grid cell).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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

  SignatureLanes();
  ~SignatureLanes();
  SignatureLanes(const SignatureLanes&) = delete;
  SignatureLanes& operator=(const SignatureLanes&) = delete;

  // Distances computes half of every pass on a second thread (the numbers
  // are the same); worth it for big libraries, where a pass takes longer
  // than handing it over.
  void ShareWithSecondThread(bool on);

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
  class Helper;
  uint8_t* Lane(int lane) { return lanes_.data() + static_cast<size_t>(lane) * stride_; }

  bool ready_ = false;
  int count_ = 0;
  size_t stride_ = 0;  // Count() rounded up to whole vectors
  // Lanes 0..11 the quadrant channels (quadrant-major, blue, green, red),
  // 12..14 the mean's. Bytes, not the 16 bits the arithmetic needs: a pass
  // over a big library reads them all once per cell, and that is what it
  // spends its time on.
  std::vector<uint8_t> lanes_;
  // 0, or kBlocked for a blocked entry; empty while none is.
  std::vector<int16_t> blocked_;
  std::vector<int16_t> distances_;
  std::unique_ptr<Helper> helper_;
};

}  // namespace velmora
