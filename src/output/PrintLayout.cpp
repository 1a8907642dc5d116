#include "output/PrintLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/PaperSize.h"

namespace velmora {
namespace {

int64_t CeilDiv(int64_t a, int64_t b) { return (a + b - 1) / b; }

bool HasFigures(const PrinterMetrics& p) {
  return p.DpiX > 0 && p.DpiY > 0 && p.PageWidth > 0 && p.PageHeight > 0;
}

// "a x b Inch  or c x d CM" for w and h counted at so many to the inch,
// every number with two decimals.
std::string InchAndCmText(int64_t w, int64_t wPerInch, int64_t h, int64_t hPerInch) {
  return PaperSizeText(w, wPerInch, PaperUnit::Inch) + " x " + PaperSizeText(h, hPerInch, PaperUnit::Inch) +
         " Inch  or " + PaperSizeText(w, wPerInch, PaperUnit::Cm) + " x " +
         PaperSizeText(h, hPerInch, PaperUnit::Cm) + " CM";
}

// The last page of a row or column is stretched to what is left of the
// printed size; truncation can leave a dot more or less than a full tile,
// never nothing.
int LastExtent(int64_t printed, int64_t done, int64_t tilePrint, int page) {
  const int64_t limit = std::max<int64_t>(tilePrint, page);
  return static_cast<int>(std::clamp<int64_t>(printed - done, 1, std::max<int64_t>(limit, 1)));
}

}  // namespace

int PrintDpiForEntry(int entry, int customDpi) {
  if (entry >= 0 && entry < kCustomDpiEntry) return kPrintDpiChoices[entry];
  if (entry == kCustomDpiEntry) return std::clamp(customDpi, kMinCustomDpi, kMaxCustomDpi);
  return 0;
}

PrintLayout ComputePrintLayout(const PrinterMetrics& printer, int width, int height, bool fitToPage,
                               int printDpi) {
  PrintLayout l;
  if (!HasFigures(printer) || width <= 0 || height <= 0) return l;
  const int64_t w = width, h = height;
  if (fitToPage) {
    const double s = std::min(double(printer.PageWidth) / double(w), double(printer.PageHeight) / double(h));
    l.PrintedWidth = std::max<int64_t>(1, static_cast<int64_t>(double(w) * s));
    l.PrintedHeight = std::max<int64_t>(1, static_cast<int64_t>(double(h) * s));
    l.TilePrintWidth = l.PrintedWidth;
    l.TilePrintHeight = l.PrintedHeight;
    l.TileWidth = width;
    l.TileHeight = height;
    l.PagesAcross = l.PagesDown = 1;
    l.SizeCountX = l.PrintedWidth;
    l.SizeCountY = l.PrintedHeight;
    l.SizePerInchX = printer.DpiX;
    l.SizePerInchY = printer.DpiY;
    l.Valid = true;
    return l;
  }
  if (printDpi <= 0) return l;
  // Products of a picture side (at most a few hundred thousand pixels) and a
  // resolution stay far inside 64 bits.
  l.PrintedWidth = w * printer.DpiX / printDpi;
  l.PrintedHeight = h * printer.DpiY / printDpi;
  // A page too small for even one pixel at this resolution still takes one,
  // printed larger than the page, rather than dividing by nothing.
  l.TileWidth = static_cast<int>(std::max<int64_t>(1, int64_t(printer.PageWidth) * printDpi / printer.DpiX));
  l.TileHeight =
      static_cast<int>(std::max<int64_t>(1, int64_t(printer.PageHeight) * printDpi / printer.DpiY));
  l.TilePrintWidth = std::max<int64_t>(1, int64_t(l.TileWidth) * printer.DpiX / printDpi);
  l.TilePrintHeight = std::max<int64_t>(1, int64_t(l.TileHeight) * printer.DpiY / printDpi);
  l.PagesAcross = static_cast<int>(CeilDiv(w, l.TileWidth));
  l.PagesDown = static_cast<int>(CeilDiv(h, l.TileHeight));
  l.SizeCountX = w;
  l.SizeCountY = h;
  l.SizePerInchX = l.SizePerInchY = printDpi;
  l.Valid = true;
  return l;
}

std::vector<PrintTile> PrintTiles(const PrintLayout& layout, const PrinterMetrics& printer, int width,
                                  int height) {
  std::vector<PrintTile> tiles;
  if (!layout.Valid) return tiles;
  tiles.reserve(size_t(layout.PagesAcross) * size_t(layout.PagesDown));
  for (int r = 0; r < layout.PagesDown; ++r) {
    const bool lastRow = r == layout.PagesDown - 1;
    for (int c = 0; c < layout.PagesAcross; ++c) {
      const bool lastColumn = c == layout.PagesAcross - 1;
      PrintTile t;
      t.Source.Left = c * layout.TileWidth;
      t.Source.Top = r * layout.TileHeight;
      t.Source.Right = lastColumn ? width : (c + 1) * layout.TileWidth;
      t.Source.Bottom = lastRow ? height : (r + 1) * layout.TileHeight;
      t.TargetWidth = lastColumn ? LastExtent(layout.PrintedWidth, c * layout.TilePrintWidth,
                                              layout.TilePrintWidth, printer.PageWidth)
                                 : static_cast<int>(layout.TilePrintWidth);
      t.TargetHeight = lastRow ? LastExtent(layout.PrintedHeight, r * layout.TilePrintHeight,
                                            layout.TilePrintHeight, printer.PageHeight)
                               : static_cast<int>(layout.TilePrintHeight);
      tiles.push_back(t);
    }
  }
  return tiles;
}

std::string PrinterResolutionText(const PrinterMetrics& printer) {
  return std::to_string(printer.DpiX) + " x " + std::to_string(printer.DpiY);
}

std::string PrintableAreaText(const PrinterMetrics& printer) {
  if (!HasFigures(printer)) return "0 x 0";
  return InchAndCmText(printer.PageWidth, printer.DpiX, printer.PageHeight, printer.DpiY) + "  ";
}

std::string PictureSizeText(int width, int height) {
  return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

std::string PrintedSizeText(const PrintLayout& layout, const PrinterMetrics&) {
  if (!layout.Valid) return "0 x 0";
  return InchAndCmText(layout.SizeCountX, layout.SizePerInchX, layout.SizeCountY, layout.SizePerInchY);
}

std::string PrintedCellSizeText(const PrintLayout& layout, const PrinterMetrics&, bool mosaic,
                                int cellsAcross, int cellsDown) {
  if (!mosaic || cellsAcross <= 0 || cellsDown <= 0) return "No Cells";
  if (!layout.Valid) return "0 x 0";
  return InchAndCmText(layout.SizeCountX, layout.SizePerInchX * cellsAcross, layout.SizeCountY,
                       layout.SizePerInchY * cellsDown);
}

std::string PageCountText(const PrintLayout& layout, bool fitToPage) {
  if (fitToPage) return "Page Count : 1";
  return "Page Count : " + std::to_string(layout.PagesAcross) + " x " + std::to_string(layout.PagesDown);
}

}  // namespace velmora
