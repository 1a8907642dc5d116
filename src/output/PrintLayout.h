// How the mosaic goes onto paper: scaled to fit one page, or at a chosen
// resolution (picture pixels per inch) cut into page-sized tiles. The print
// window reads the printer's figures, calls these and shows the texts; the
// arithmetic itself knows nothing of printers or windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/Geometry.h"

namespace velmora {

// The printer's resolution and printable area, in printer dots.
struct PrinterMetrics {
  int DpiX = 0;
  int DpiY = 0;
  int PageWidth = 0;
  int PageHeight = 0;
};

struct PrintLayout {
  bool Valid = false;        // false: no printer figures, no picture or no resolution
  int64_t PrintedWidth = 0;  // the whole picture on paper, in dots
  int64_t PrintedHeight = 0;
  int TileWidth = 0;  // picture pixels on one page
  int TileHeight = 0;
  int64_t TilePrintWidth = 0;  // a full tile on paper, in dots
  int64_t TilePrintHeight = 0;
  int PagesAcross = 0;
  int PagesDown = 0;
  // The printed picture measures SizeCountX / SizePerInchX inches across:
  // its pixels at the chosen resolution, or, fitted, the printed dots at the
  // printer's. The texts round these exactly (engine/PaperSize.h).
  int64_t SizeCountX = 0, SizeCountY = 0;
  int64_t SizePerInchX = 0, SizePerInchY = 0;
};

// The entries of the resolution list, "CUSTOM" last.
inline constexpr int kPrintDpiChoices[] = {30, 60, 72, 96, 100, 150, 300, 600, 1200};
inline constexpr int kCustomDpiEntry = 9;
inline constexpr int kMinCustomDpi = 1;
inline constexpr int kMaxCustomDpi = 1200;
// The resolution of list entry `entry` (the custom value for "CUSTOM"); 0 for
// anything else.
int PrintDpiForEntry(int entry, int customDpi);

// Fit to page scales the width x height picture by the smaller of the page's
// two ratios onto one page. At a resolution the picture is printed printDpi
// pixels to the inch and cut into tiles of the pixels one page holds. The
// page counts follow the picture's tiles, so every page carries pixels: the
// printed sizes are truncated, and counting pages from them could add a
// blank page or drop the last pixel column.
PrintLayout ComputePrintLayout(const PrinterMetrics& printer, int width, int height, bool fitToPage,
                               int printDpi);

// One page: the part of the picture and the size it is stretched to, drawn
// at the page's top-left corner.
struct PrintTile {
  TRect Source;
  int TargetWidth = 0;
  int TargetHeight = 0;
};
// The pages in printing order: rows from the top, each from the left.
std::vector<PrintTile> PrintTiles(const PrintLayout& layout, const PrinterMetrics& printer, int width,
                                  int height);

// The window's texts.
std::string PrinterResolutionText(const PrinterMetrics& printer);  // "600 x 600"
// The printable area: "8.00 x 11.00 Inch  or 20.32 x 27.94 CM  ".
std::string PrintableAreaText(const PrinterMetrics& printer);
std::string PictureSizeText(int width, int height);  // "3000 x 2000 pixels"
// The printed picture: "8.33 x 5.55 Inch  or 21.17 x 14.11 CM".
std::string PrintedSizeText(const PrintLayout& layout, const PrinterMetrics& printer);
// One cell on paper, or "No Cells" when no mosaic (only a picture) is shown.
std::string PrintedCellSizeText(const PrintLayout& layout, const PrinterMetrics& printer, bool mosaic,
                                int cellsAcross, int cellsDown);
// "Page Count : 1" when fitted, else "Page Count : 2 x 1".
std::string PageCountText(const PrintLayout& layout, bool fitToPage);

}  // namespace velmora
