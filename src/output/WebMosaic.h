// The arithmetic of the web mosaic: the deep-zoom pyramid's levels, which
// cell a point of the mosaic lies in for the loom, peyote and brick layouts
// (the page's hover does the same sum in its script), and the cell data the
// page reads, written as a script so that the page works opened from disk.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ProjectRecord.h"
#include "engine/Tables.h"

namespace velmora {

// Deep-zoom tiles: 254 pixels plus one pixel of overlap on each inner side,
// the format's customary size.
inline constexpr int kWebTileSize = 254;
inline constexpr int kWebTileOverlap = 1;

struct DeepZoomLevel {
  int Width = 0;
  int Height = 0;
  int Columns = 0;  // tiles across
  int Rows = 0;     // tiles down
};

// Levels 0 (1 x 1 pixel) up to the whole picture, each half the next one
// rounded up, as the deep-zoom format numbers them. Empty for an empty picture.
std::vector<DeepZoomLevel> DeepZoomLevels(int width, int height, int tileSize = kWebTileSize);
int64_t DeepZoomTileCount(const std::vector<DeepZoomLevel>& levels);

struct WebCell {
  int X = -1;  // column from 0, -1 outside the grid
  int Y = -1;  // row from 0
  bool Inside() const { return X >= 0; }
};

// The cell whose slot holds mosaic pixel (px, py): a cell's picture plus
// the border gap right and below it. Odd peyote rows lie half a cell left,
// odd brick columns half a cell up; the half slots at the far edge belong to
// the row's (column's) first cell, whose picture is split between both edges.
WebCell CellAtPoint(int px, int py, const tmosaicproject& project);

// `bytes` as a double-quoted script string that is safe anywhere in a page:
// quotes, backslashes, control characters, '<', '>', '&' and the two line
// separators script treats as line ends are escaped; bytes that are not
// UTF-8 are taken as Latin-1, so every file name shows as something.
std::string ScriptStringLiteral(std::string_view bytes);

// The script file of the cell data: `velmoraMosaic` with the mosaic's size,
// cell size, border, grid and layout, the names of the pictures some cell
// shows and, row by row, each cell's index into those names (-1 for a cell
// without a picture). `names` is one name per library picture.
std::string WebCellScript(const std::vector<std::string>& names, const CellMap& map,
                          const tmosaicproject& project, std::string_view title);

// "loom", "peyote" or "brick", as the page calls the layouts.
const char* WebLayoutName(int32_t stitchMode);

}  // namespace velmora
