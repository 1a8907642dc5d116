// The program-wide random source: a 32-bit linear congruential generator,
// seed <- seed * 134775813 + 1 (mod 2^32), Random(n) = upper 32 bits of the
// 64-bit product of the new seed and n. The assignment draws from it strictly
// in sequence, so a given seed always gives the same mosaic.
#pragma once

#include <cstdint>

namespace velmora {

class RandomGenerator {
public:
  explicit RandomGenerator(uint32_t seed = 0) : seed_(seed) {}

  uint32_t Seed() const { return seed_; }
  void SetSeed(uint32_t seed) { seed_ = seed; }
  // Seeds from the clock, as a new program run does.
  void Randomize();

  // 0..n-1, uniformly; 0 for n <= 0 (the state still advances).
  int Random(int n) {
    seed_ = seed_ * 134775813u + 1u;
    if (n <= 0) return 0;
    return static_cast<int>((static_cast<uint64_t>(seed_) * static_cast<uint32_t>(n)) >> 32);
  }

private:
  uint32_t seed_;
};

}  // namespace velmora
