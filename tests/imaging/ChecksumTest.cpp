#include <gtest/gtest.h>

#include <vector>

#include "imaging/Checksum.h"

namespace velmora {
namespace {

// Every single flipped bit, in the 32-byte blocks and in the tail, and a
// length cut short, change the checksum.
TEST(BulkChecksum, EveryFlippedBitAndEveryLengthCounts) {
  for (const size_t n : {size_t(0), size_t(1), size_t(31), size_t(32), size_t(77), size_t(4096 + 5)}) {
    SCOPED_TRACE(n);
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    const uint32_t whole = BulkChecksum(bytes.data(), n);
    EXPECT_EQ(whole, BulkChecksum(bytes.data(), n));
    if (n > 0) {
      EXPECT_NE(whole, BulkChecksum(bytes.data(), n - 1));
    }
    for (size_t i = 0; i < n; ++i)
      for (int bit = 0; bit < 8; ++bit) {
        bytes[i] ^= static_cast<uint8_t>(1 << bit);
        ASSERT_NE(whole, BulkChecksum(bytes.data(), n)) << "byte " << i << " bit " << bit;
        bytes[i] ^= static_cast<uint8_t>(1 << bit);
      }
  }
}

}  // namespace
}  // namespace velmora
