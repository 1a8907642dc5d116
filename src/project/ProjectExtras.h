// What the program keeps in a project's extension blocks, read back as what
// it means: the matching choices (MatchingBlock.h) and the pen strokes, with
// a line for everything that had to be left out. The desktop and every
// command that reads a project take them from here, so both tell the same.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/BlockMap.h"
#include "engine/CellMask.h"
#include "engine/PenLog.h"
#include "engine/ProjectRecord.h"
#include "library/SubjectCrop.h"
#include "match/DetailMatch.h"
#include "project/ProjectExtension.h"

namespace velmora {

inline constexpr const char* kPenStrokesTag = "PENS";
// The block's version is the pen log's format (PenLogFormat): 1 for strokes
// alone, 2 with the cells drawn again over them. A log without such cells
// is still written as 1, which every earlier program reads.
inline constexpr uint16_t kPenStrokesVersion = 2;

struct ProjectExtras {
  MatchOptions Matching;
  PenLog Strokes;
  // The tiles of several sizes (empty: the plain grid); read only when the
  // project's grid is given.
  BlockMap Blocks;
  // The tile shape and gap fill (rectangles without a block).
  TileMasking Masks;
  // Where library photos are cut to their cells' shape (CropBlock.h).
  CropBy CropMode = CropBy::Centre;
  // The area's warnings, then the matching block's and the pen strokes',
  // each naming the file; a few lines at most.
  std::vector<std::string> Warnings;
};

// The blocks a save writes: the pen log when it has anything to replay
// (PenLog::Replays), the matching choices when one of them is on.
// The block map when it has blocks, the tile shape when it is not the
// plain rectangle (TileMaskBlock.h), the crop when it is not the centre
// (CropBlock.h).
std::vector<ExtensionBlock> ProjectExtrasBlocks(const MatchOptions& matching, const PenLog& strokes,
                                                const BlockMap& blocks = BlockMap(),
                                                const TileMasking& masks = TileMasking(),
                                                CropBy crop = CropBy::Centre);

// The extras of `area`, read from the file `path`. A damaged or newer block
// gives what a project without it has (both choices off, no strokes) and a
// warning; a stroke log past kMaxPenStrokes keeps its first strokes.
// With `project`, the block map for its grid too (see BlockMapBlock.h).
ProjectExtras ReadProjectExtras(const ExtensionArea& area, const std::string& path,
                                const tmosaicproject* project = nullptr);

// The warnings as one text, a line each, for a single message.
std::string WarningText(const std::vector<std::string>& warnings);

}  // namespace velmora
