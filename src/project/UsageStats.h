// The usage stats report without its window: which library picture the cells
// of the current mosaic show, and where. It reads the cell map (what the cells
// show now, after every edit), not the pictures' use counters.
#pragma once

#include <string>
#include <vector>

#include "engine/BlockMap.h"
#include "engine/Tables.h"
#include "imaging/Status.h"
#include "library/CellPicList.h"

namespace velmora {

// The part of a path after its last '/'.
std::string FileNamePart(const std::string& path);

// One name per library picture, in library order: file names alone when
// `fileNamesOnly`, otherwise the full paths.
std::vector<std::string> UsageNames(const CellPicList& list, bool fileNamesOnly);

// One line per picture that some assigned cell shows: the name,
// " POSITIONS: ", per cell " x:" column " y:" row "  ||  " (counted from 1,
// cells column by column, each column from the top), then
// "  Total used time:" and the count; and a last line "total ok cell" with
// the number of cells counted. Cells whose picture is not in `names` are
// left out.
// With `blocks`, a block counts once, at its first cell.
std::vector<std::string> UsageDetailLines(const std::vector<std::string>& names, const CellMap& map,
                                          int cellsAcross, int cellsDown, const BlockMap* blocks = nullptr);

// One line per picture that some assigned cell shows: the name directly
// followed by "Total used time:" and the count. No total line.
std::vector<std::string> UsageSimpleLines(const std::vector<std::string>& names, const CellMap& map,
                                          int cellsAcross, int cellsDown, const BlockMap* blocks = nullptr);

// Writes the lines, each ended by CR LF, through a temporary file beside the
// target, so a failed save keeps the old file.
Status SaveUsageText(const std::vector<std::string>& lines, const std::string& path);

}  // namespace velmora
