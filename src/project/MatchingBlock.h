// The matching choices a project was made with (detail matching, the
// assignment solver for "Ensure Use All Photos", the colour transfer that
// recolours its tiles, the repeat cap kept by the solver), saved as an
// extension block after the original project bytes. A project without the
// block was made with all of them off (tinted tiles); it is written only
// when one of them is on, so such a project stays byte for byte the
// original layout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "match/DetailMatch.h"
#include "project/ProjectExtension.h"

namespace velmora {

inline constexpr const char* kMatchingTag = "MTCH";
inline constexpr uint16_t kMatchingVersion = 1;

// Adds the block for `options` to `blocks` when any choice is on.
void AppendMatchingBlock(const MatchOptions& options, std::vector<ExtensionBlock>& blocks);

// The choices stored in `area` (both off without a block). A block of a
// newer version or a damaged one gives both off and a sentence naming the
// file in `warning`.
MatchOptions MatchingFromExtensions(const ExtensionArea& area, const std::string& path, std::string* warning);

}  // namespace velmora
