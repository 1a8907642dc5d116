// Little-endian stores and loads for the stored record and tables, which are
// written field by field at fixed offsets, whatever the machine's byte order.
#pragma once

#include <cstdint>
#include <cstring>

namespace velmora {

inline void StoreI32LE(uint8_t* d, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) d[i] = static_cast<uint8_t>(u >> (8 * i));
}

inline int32_t LoadI32LE(const uint8_t* s) {
  uint32_t u = 0;
  for (int i = 0; i < 4; ++i) u |= static_cast<uint32_t>(s[i]) << (8 * i);
  return static_cast<int32_t>(u);
}

inline void StoreF64LE(uint8_t* d, double v) {
  uint64_t u = 0;
  std::memcpy(&u, &v, 8);
  for (int i = 0; i < 8; ++i) d[i] = static_cast<uint8_t>(u >> (8 * i));
}

inline double LoadF64LE(const uint8_t* s) {
  uint64_t u = 0;
  for (int i = 0; i < 8; ++i) u |= static_cast<uint64_t>(s[i]) << (8 * i);
  double v = 0;
  std::memcpy(&v, &u, 8);
  return v;
}

}  // namespace velmora
