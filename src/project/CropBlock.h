// Where library photos are cut to their cells' shape (library/SubjectCrop.h),
// saved as an extension block of one byte after the original project bytes.
// The centre crop writes no block, so a project made with it is byte for
// byte what it always was, and an earlier program opens every project.
#pragma once

#include <string>
#include <vector>

#include "library/SubjectCrop.h"
#include "project/ProjectExtension.h"

namespace velmora {

inline constexpr const char* kCropTag = "CROP";
inline constexpr uint16_t kCropVersion = 1;

// Adds the block for `mode` to `out` unless it is the centre crop.
void AppendCropBlock(CropBy mode, std::vector<ExtensionBlock>& out);

// The crop stored in `area`; the centre crop without a block. A block of a
// newer version or a damaged one (not one byte, or an unknown mode) gives the
// centre crop and a sentence naming the file in `warning`.
CropBy CropFromExtensions(const ExtensionArea& area, const std::string& path, std::string* warning);

}  // namespace velmora
