// Bead charts: the mosaic's grid as a pattern to bead, one bead per cell.
// Palettes (code, name, sRGB), the choice of one palette colour per cell in
// CIELAB (optionally at most K colours, optionally with error diffusion),
// bead sizes and the finished size, and the two text forms of a chart: the
// grid as CSV and the word chart that bead artists read row by row. The
// drawn forms (PDF chart, PNG preview) are in BeadChartWriter.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/Bitmap24.h"
#include "imaging/ColorLab.h"
#include "imaging/Status.h"

namespace velmora {

struct BeadColor {
  std::string Code;  // as printed on the bead bag, e.g. "H18"
  std::string Name;
  uint8_t Red = 0, Green = 0, Blue = 0;
};

struct BeadPalette {
  std::string Name;  // "hama", or the file name of a user palette
  std::vector<BeadColor> Colors;
};

// A palette file is small; anything larger is not one.
inline constexpr uint64_t kMaxPaletteFileBytes = 1 << 20;
inline constexpr size_t kMaxPaletteColors = 4096;
inline constexpr size_t kMaxBeadCodeLength = 24;
inline constexpr size_t kMaxBeadNameLength = 80;

// The palettes shipped with the program, in the folder `palettes` of its data.
inline constexpr std::string_view kBuiltinPalettes[] = {"hama", "perler", "artkal-s"};

// Reads `code,name,red,green,blue` lines (CR, LF or CR LF; blank lines, lines
// starting with '#' and a header line naming the columns are skipped). Every
// other line must hold exactly five fields: a code of printable characters
// without blanks at its ends, unique in the file; a name in UTF-8 without
// control characters; three whole numbers 0..255. The message of a refusal
// names `fileName` and the line.
Result<BeadPalette> ParseBeadPalette(std::string_view text, const std::string& fileName);
// Reads a palette file, refusing one larger than kMaxPaletteFileBytes.
Result<BeadPalette> ReadBeadPaletteFile(const std::string& path);
// A built-in palette by name (from `dataFolder`/palettes), else a file path.
Result<BeadPalette> LoadBeadPalette(const std::string& nameOrPath, const std::string& dataFolder);

// The three ways beads are laid, numbered as the project's StitchMode.
enum class BeadLayout { Loom = 1, Peyote = 2, Brick = 3 };
BeadLayout BeadLayoutOfStitch(int stitchMode);
std::string_view BeadLayoutName(BeadLayout layout);  // "Loom", "Peyote stitch", "Brick stitch"

// One bead's footprint in the chart: Width along a row, Height down a column.
struct BeadSize {
  std::string Key;    // as given to --bead
  std::string Label;  // for the legend
  double WidthMm = 5;
  double HeightMm = 5;
};
const std::vector<BeadSize>& StandardBeadSizes();  // 5mm, 2.6mm, cylinder, seed-11
// A standard key, or "WxHmm" / "Wmm" with sizes from 0.5 to 50 mm.
Result<BeadSize> ParseBeadSize(std::string_view text);

// The mean colour of each cell, row by row, in 8-bit sRGB units: the mean of
// the cell's samples in the grid (already shifted for the layout), that is
// the colour of the main picture under the cell. One bead cannot show the
// photo inside a cell, only one colour, and the picture's is the one the
// mosaic is made to look like; the grid also needs no library photos, so a
// chart can be made from any saved project.
std::vector<CellColor> CellColorsFromGrid(const Bitmap24& grid, int columns, int rows, BeadLayout layout);

struct BeadChartOptions {
  int MaxColors = 0;  // 0: any number of the palette's colours
  bool Dither = false;
};

struct BeadChart {
  int Columns = 0;
  int Rows = 0;
  BeadLayout Layout = BeadLayout::Loom;
  BeadSize Bead;
  BeadPalette Palette;
  std::vector<int> Cells;  // palette index of each cell, row by row

  int At(int x, int y) const { return Cells[static_cast<size_t>(y) * Columns + x]; }
  // How many beads of each palette colour (indexed like Palette.Colors).
  std::vector<int64_t> Counts() const;
  // The palette indices in use, most beads first (ties by palette order).
  std::vector<int> UsedColors() const;
  // The beaded piece in millimetres: a shifted row or column sticks out by
  // half a bead.
  double WidthMm() const;
  double HeightMm() const;
};

// Chooses a bead for every cell. Without a limit each cell takes the palette
// colour nearest to it in CIELAB. With MaxColors K, the set of at most K
// colours is chosen to keep the total CIELAB difference over all cells low:
// starting from the colours the cells would take freely, the colour whose
// loss costs least is dropped until K remain, then each colour is moved to
// the palette colour that serves its cells best while that lowers the total.
// With Dither, each cell's difference to its bead is passed on to the
// neighbours not yet chosen, in the layout's order (rows for loom and peyote,
// columns for brick), to the cells that touch it.
BeadChart MakeBeadChart(const std::vector<CellColor>& cells, int columns, int rows, BeadLayout layout,
                        const BeadPalette& palette, const BeadSize& bead, const BeadChartOptions& options);

// The sum of the CIELAB differences between each cell and its bead.
double ChartError(const BeadChart& chart, const std::vector<CellColor>& cells);

// The grid as CSV: one line per row, the bead codes separated by commas.
std::string BeadGridCsv(const BeadChart& chart);
// Reads such a CSV back into palette indices; the message names `fileName`.
Result<std::vector<int>> ParseBeadGridCsv(std::string_view text, const BeadPalette& palette, int columns,
                                          int rows, const std::string& fileName);

// The word chart for peyote and brick stitch (loom too): one line per row in
// the order it is stitched, the direction turning with the work, the beads
// of a row as runs ("3 x H18, 2 x H01"). Brick stitch is worked along the
// shifted columns, so its rows are the chart's columns.
std::string BeadWordChart(const BeadChart& chart);
// Rebuilds the cells from a word chart (for checking one, or reading one back).
Result<std::vector<int>> ParseBeadWordChart(std::string_view text, const BeadPalette& palette,
                                            BeadLayout layout, int columns, int rows);

// The symbol drawn in the chart for the n-th colour in use: one character
// while they last, then two.
std::string BeadSymbol(size_t n);

}  // namespace velmora
