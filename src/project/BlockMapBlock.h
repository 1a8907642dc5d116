// The block map of a mosaic with tiles of several sizes (engine/BlockMap.h),
// saved as an extension block after the original project bytes. A project
// without it is a plain grid; the cell map alone still draws the mosaic, each
// cell of a block showing the block's photo, so an earlier program opens it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/BlockMap.h"
#include "project/ProjectExtension.h"

namespace velmora {

inline constexpr const char* kBlockMapTag = "TILE";
inline constexpr uint16_t kBlockMapVersion = 1;

// Adds the block for `blocks` to `out` when there are any blocks.
void AppendBlockMapBlock(const BlockMap& blocks, std::vector<ExtensionBlock>& out);

// The block map stored in `area` for a grid of cols x rows cells (empty
// without a block). A block of a newer version, a damaged one, or one whose
// blocks break the tiling rules (outside the grid, overlapping, sides out of
// range, a count its bytes cannot hold) gives the plain grid and a sentence
// naming the file in `warning`.
BlockMap BlockMapFromExtensions(const ExtensionArea& area, int cols, int rows, const std::string& path,
                                std::string* warning);

}  // namespace velmora
