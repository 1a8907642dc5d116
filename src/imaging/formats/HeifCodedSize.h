// The size of the pictures an HEVC stream codes, read from the sequence
// parameter set a HEIF file keeps in an item's 'hvcC' property. The decoder
// allocates by this size, not by the size the file announces, so the HEIF
// reader compares the two before the library decodes anything.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace velmora {

struct HevcCodedSize {
  int64_t width = 0;
  int64_t height = 0;
};

// The luma size the first sequence parameter set in `hvcC` (the property's
// body, after its box header) codes, padding included. Nothing when there is
// none, or it is cut short, or it holds what this reader does not follow.
std::optional<HevcCodedSize> ReadHevcCodedSize(std::span<const uint8_t> hvcC);

}  // namespace velmora
