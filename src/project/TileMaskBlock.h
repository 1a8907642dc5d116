// The tile shape of a mosaic (engine/CellMask.h) saved as an extension block
// after the original project bytes: the shape, the gap fill and its colour,
// the crop choice's byte, and the user's own mask when the shape is one, so
// the project reopens the same on another machine. A project without the
// block has rectangular tiles, cropped around the centre; the block is only
// written when something differs from that.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/CellMask.h"
#include "project/ProjectExtension.h"

namespace velmora {

inline constexpr const char* kTileMaskTag = "SHAP";
inline constexpr uint16_t kTileMaskVersion = 1;

// Adds the block for `masks` to `out` unless they are rectangles cropped
// around the centre.
void AppendTileMaskBlock(const TileMasking& masks, std::vector<ExtensionBlock>& out);

// What `area` stores (rectangles without a block). A block of a newer
// version or a damaged one (a shape or gap value the program does not know,
// a mask of an impossible size or whose bytes do not unpack to exactly it)
// gives rectangles and a sentence naming the file in `warning`; an unknown
// crop byte is kept as it is.
TileMasking TileMaskFromExtensions(const ExtensionArea& area, const std::string& path, std::string* warning);

}  // namespace velmora
