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
// What of the area is read, magic included. The program writes the matching
// choices (4 bytes), the pen log (at most 1,920,012 bytes), the block map
// (at most 1,920,012 bytes) and the tile shape (12 bytes, and a user's mask
// of at most 256 x 256 deflated, under 66 KiB); ProjectExtras.cpp checks
// that they fit together with room to spare. Bytes past
// this are never read, so a damaged or hostile area costs no more.
inline constexpr uint64_t kMaxExtensionAreaBytes = uint64_t(4) << 20;
// Blocks looked at, damaged ones included; a project of ours has two.
inline constexpr size_t kMaxExtensionBlocks = 256;
// Damaged blocks described one by one; any further ones share one line.
inline constexpr size_t kMaxExtensionBlockWarnings = 3;

struct ExtensionBlock {
  std::string tag;  // four characters
  uint16_t version = 1;
  std::vector<uint8_t> payload;
};

struct ExtensionArea {
  std::vector<ExtensionBlock> blocks;
  // What was left out, each line naming the file: a damaged block by its
  // tag (the first kMaxExtensionBlockWarnings of them, then one line for
  // the rest), and a line for where reading stopped. A few lines at most,
  // whatever the file holds.
  std::vector<std::string> warnings;

  const ExtensionBlock* Find(std::string_view tag) const;
};

// The magic and the blocks; empty when there are no blocks, so a project
// without extensions is byte for byte the original layout.
std::vector<uint8_t> EncodeExtensionArea(const std::vector<ExtensionBlock>& blocks);

// Reads the bytes after the cell map. Bytes that do not start with the
// magic are an error: the file is longer than its record says, which means
// the record's part lengths were damaged. A block whose checksum fails is
// left out with a warning; a block whose length runs past the end, or whose
// header is cut off, is left out with everything after it. Only the first
// kMaxExtensionAreaBytes and kMaxExtensionBlocks are looked at; what lies
// past them is left out with one warning. `areaBytes` is the area's length
// in the file when `bytes` holds only its beginning (0: `bytes` is all).
Status DecodeExtensionArea(std::span<const uint8_t> bytes, const std::string& path, ExtensionArea& out,
                           uint64_t areaBytes = 0);

}  // namespace velmora
