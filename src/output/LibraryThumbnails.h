// Small pictures of the library check's near-duplicate photos for its chart,
// read as the check's window reads them.
#pragma once

#include <vector>

#include "imaging/Bitmap24.h"
#include "quality/LibraryCheck.h"

namespace velmora {

inline constexpr int kLibraryThumbSide = 48;
// Thumbnails cost a decode each; past this many photos the groups go without.
inline constexpr int kMaxLibraryThumbnails = 60;

// One entry per group of report.Duplicates, one bitmap per photo of the group
// (fitted into a kLibraryThumbSide square, aspect kept); a bitmap is empty for
// a photo that cannot be read or lies past the first kMaxLibraryThumbnails.
using DuplicateThumbnails = std::vector<std::vector<Bitmap24>>;

// `upright`: the engine's UprightPictures option, so that the photos stand
// as they will on the mosaic.
DuplicateThumbnails LoadDuplicateThumbnails(const LibraryReport& report, bool upright);

}  // namespace velmora
