// Extension areas as a damaged or hostile project file may hold them, built
// byte by byte: block headers with any length and checksum, and runs of
// damaged blocks.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "project/ProjectExtension.h"

namespace velmora::testing {

inline std::string ExtensionMagic() { return std::string(kExtensionMagic, sizeof kExtensionMagic); }

inline uint32_t PayloadCrc(std::string_view payload) {
  return uint32_t(
      crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(payload.data()), uInt(payload.size())));
}

// One block header; `length` and `crc` as given, right or wrong.
inline std::string BlockHeader(std::string_view tag, uint32_t length, uint32_t crc, uint16_t version = 1) {
  std::string h(tag.substr(0, 4));
  h.resize(4, ' ');
  const auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) h += char(v >> (8 * i));
  };
  put(version, 2);
  put(0, 2);
  put(length, 4);
  put(crc, 4);
  return h;
}

inline std::string GoodBlock(std::string_view tag, std::string_view payload) {
  return BlockHeader(tag, uint32_t(payload.size()), PayloadCrc(payload)) + std::string(payload);
}

// `count` empty blocks with a wrong checksum (an empty payload's is 0): the
// cheapest damaged blocks a file can hold, 16 bytes each.
inline std::string DamagedBlocks(size_t count, std::string_view tag = "JUNK") {
  const std::string one = BlockHeader(tag, 0, 1);
  std::string out;
  out.reserve(one.size() * count);
  for (size_t i = 0; i < count; ++i) out += one;
  return out;
}

}  // namespace velmora::testing
