// The items of a HEIF file, read from its 'meta' box as far as the HEIF
// reader needs them before the library decodes: which item is the primary
// picture, each item's type, announced size ('ispe'), codec configuration
// ('hvcC', 'av1C') and references, and where its data lies. The library
// reads all of this itself, but tells nothing of a grid's canvas or a
// stream's coded size until it has allocated them.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "imaging/Status.h"

namespace velmora {

constexpr uint32_t HeifCode(const char (&c)[5]) {
  return uint32_t(uint8_t(c[0])) << 24 | uint32_t(uint8_t(c[1])) << 16 | uint32_t(uint8_t(c[2])) << 8 |
         uint32_t(uint8_t(c[3]));
}

struct HeifItem {
  uint32_t type = 0;  // HeifCode("hvc1"), HeifCode("grid"), ...
  // Zero without an 'ispe' property.
  int64_t ispeWidth = 0;
  int64_t ispeHeight = 0;
  // The configuration properties' bodies; empty without them.
  std::span<const uint8_t> hvcC;
  std::span<const uint8_t> av1C;
  std::vector<uint32_t> derivedFrom;  // its 'dimg' references: a grid's tiles, an overlay's layers
  std::vector<uint32_t> auxiliaries;  // the items with an 'auxl' reference to it (alpha, depth)
  // Where its data lies: from the file's start (method 0) or in the 'idat'
  // box (method 1), as extents of offset and length after a base offset.
  int constructionMethod = 0;
  uint64_t baseOffset = 0;
  std::vector<std::pair<uint64_t, uint64_t>> extents;
  bool located = false;  // listed in 'iloc'
};

struct HeifItems {
  uint32_t primary = 0;
  std::map<uint32_t, HeifItem> items;
  std::span<const uint8_t> idat;
};

// Reads the 'meta' box of `file`. An error (with the reason in words) for a
// structure that is cut short or points outside the file.
Status ReadHeifItems(std::span<const uint8_t> file, HeifItems& out);

// The first `count` bytes of an item's data (fewer when it is shorter). An
// error, naming the item as `what` ("grid"), when its data lies outside the
// file or outside the 'idat' box, or is stored in a way not read here.
Status ReadHeifItemData(std::span<const uint8_t> file, const HeifItems& items, const HeifItem& item,
                        const char* what, size_t count, std::vector<uint8_t>& out);

}  // namespace velmora
