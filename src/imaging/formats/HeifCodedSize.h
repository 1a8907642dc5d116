// The size of the pictures a HEIF item's coded stream holds, read from the
// stream's own parameters: for HEVC the sequence parameter set kept in the
// item's 'hvcC' property, for AV1 the sequence header at the start of the
// item's data. The codecs allocate by this size, not by the size the file
// announces, so the HEIF reader compares the two before anything is decoded.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace velmora {

struct CodedSize {
  int64_t width = 0;
  int64_t height = 0;
};

// The luma size the first sequence parameter set in `hvcC` (the property's
// body, after its box header) codes, padding included. Nothing when there is
// none, or it is cut short, or it holds what this reader does not follow.
std::optional<CodedSize> ReadHevcCodedSize(std::span<const uint8_t> hvcC);

// The largest frame the first sequence header among the OBUs in `obus`
// allows. Every OBU but the last must give its size. Nothing when there is no
// sequence header, or it is cut short, or it holds what this reader does not
// follow.
std::optional<CodedSize> ReadAv1CodedSize(std::span<const uint8_t> obus);

}  // namespace velmora
