#include "project/MatchingBlock.h"

namespace velmora {
namespace {

// Payload: one byte of flags and three reserved zero bytes.
constexpr size_t kPayloadBytes = 4;
constexpr uint8_t kDetailBit = 1;
constexpr uint8_t kFairUseAllBit = 2;
// Written only with the colour transfer: an earlier program takes such a
// block as damaged and draws with the tint.
constexpr uint8_t kTransferBit = 4;
constexpr uint8_t kUseCapBit = 8;
constexpr uint8_t kKnownBits = kDetailBit | kFairUseAllBit | kTransferBit | kUseCapBit;

}  // namespace

void AppendMatchingBlock(const MatchOptions& options, std::vector<ExtensionBlock>& blocks) {
  if (options == MatchOptions{}) return;
  const uint8_t flags = uint8_t((options.Detail ? kDetailBit : 0) | (options.FairUseAll ? kFairUseAllBit : 0) |
                                (options.Transfer ? kTransferBit : 0) | (options.UseCap ? kUseCapBit : 0));
  blocks.push_back(ExtensionBlock{kMatchingTag, kMatchingVersion, {flags, 0, 0, 0}});
}

MatchOptions MatchingFromExtensions(const ExtensionArea& area, const std::string& path,
                                    std::string* warning) {
  const ExtensionBlock* block = area.Find(kMatchingTag);
  if (block == nullptr) return {};
  const char* problem = nullptr;
  if (block->version != kMatchingVersion)
    problem = "are in a newer format";
  else if (block->payload.size() != kPayloadBytes ||
           (block->payload[0] & ~kKnownBits) != 0)
    problem = "are damaged";
  if (problem != nullptr) {
    if (warning)
      *warning = path + ": the matching choices " + problem +
                 "; detail matching and placing every photo well "
                 "are off and tiles are tinted.";
    return {};
  }
  const uint8_t flags = block->payload[0];
  return MatchOptions{(flags & kDetailBit) != 0, (flags & kFairUseAllBit) != 0, (flags & kTransferBit) != 0,
                      (flags & kUseCapBit) != 0};
}

}  // namespace velmora
