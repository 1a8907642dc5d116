// Blocks of our own after a project file's original parts. The original
// bytes stay exactly as they were, so an older reader that stops after the
// cell map still reads the project; the area that follows starts with the
// eight bytes "VMXBLOCK", then blocks of
//   tag (4 ASCII bytes) | version (uint16) | reserved (uint16, 0)
//   | payload length (uint32) | CRC-32 of the payload (uint32) | payload
// all little-endian. A feature owns a tag and versions its own payload; a
// reader skips tags it does not know.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/Status.h"

namespace velmora {

inline constexpr char kExtensionMagic[8] = {'V', 'M', 'X', 'B', 'L', 'O', 'C', 'K'};
inline constexpr size_t kExtensionHeaderBytes = 16;
// The whole area is read into memory; no feature of ours needs more.
inline constexpr uint64_t kMaxExtensionAreaBytes = uint64_t(256) << 20;

struct ExtensionBlock {
  std::string tag;  // four characters
  uint16_t version = 1;
  std::vector<uint8_t> payload;
};

struct ExtensionArea {
  std::vector<ExtensionBlock> blocks;
  // Damaged blocks that were left out, one line each naming the file and tag.
  std::vector<std::string> warnings;

  const ExtensionBlock* Find(std::string_view tag) const;
};

// The magic and the blocks; empty when there are no blocks, so a project
// without extensions is byte for byte the original layout.
std::vector<uint8_t> EncodeExtensionArea(const std::vector<ExtensionBlock>& blocks);

// Reads the bytes after the cell map. Bytes that do not start with the
// magic are an error: the file is longer than its record says, which means
// the record's part lengths were damaged. A block whose length runs past the
// end or whose checksum fails is left out with a warning; so is everything
// after a block whose header is cut off.
Status DecodeExtensionArea(std::span<const uint8_t> bytes, const std::string& path, ExtensionArea& out);

}  // namespace velmora
