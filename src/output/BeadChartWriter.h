// The drawn forms of a bead chart: the printable PDF pattern (legend pages,
// then the grid tiled over as many A4 pages as it needs) and a preview of the
// beaded piece, as pixels for a window or as a PNG file. Drawn with cairo.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/Job.h"
#include "imaging/Status.h"
#include "output/BeadChart.h"

namespace velmora {

// Pixels in cairo's ARGB32 order (one uint32 per pixel, 0xAARRGGBB, opaque),
// rows from the top: the layout of QImage::Format_ARGB32 as well.
struct BeadPreview {
  int Width = 0;
  int Height = 0;
  std::vector<uint32_t> Pixels;
};

// The beaded piece, each bead drawn round (fuse beads) or as a short tube
// (seed beads), shifted as the layout lays it, the longer side at most
// `maxSide` pixels.
BeadPreview RenderBeadPreview(const BeadChart& chart, int maxSide = 1600);
Status WriteBeadPreviewPng(const BeadChart& chart, const std::string& path, int maxSide = 2400);

struct BeadChartPdfOptions {
  std::string Title;  // the project's name, shown on every page
  int Overlap = 2;    // rows and columns repeated on the next page
};

// A chart page holds this many columns and rows of beads (before overlap).
struct BeadChartTiling {
  int ColumnsPerPage = 0, RowsPerPage = 0;
  int PagesAcross = 0, PagesDown = 0;
  int Overlap = 0;
  double CellWidthPt = 0, CellHeightPt = 0;
  // The first column (row) of page column c (row r): each page repeats the
  // last `Overlap` columns (rows) of the page before.
  int FirstColumn(int c) const { return c * (ColumnsPerPage - Overlap); }
  int FirstRow(int r) const { return r * (RowsPerPage - Overlap); }
};
BeadChartTiling TileBeadChart(const BeadChart& chart, int overlap);

// Legend pages (code, name, symbol and count of every colour, the finished
// size), then the chart pages. Replaces `path` only once written whole.
Status WriteBeadChartPdf(const BeadChart& chart, const std::string& path,
                         const BeadChartPdfOptions& options = {});

// The CSV grid or the word chart, saved the same safe way.
Status WriteBeadText(const std::string& text, const std::string& path);

// The job texts of the drawings that take long on a big chart.
inline constexpr const char* kBeadChartPdfJobText = "Current Job : Bead Chart PDF";
inline constexpr const char* kBeadPreviewJobText = "Current Job : Bead Preview";

// The files of one save; an empty path is a form not wanted.
struct BeadChartFiles {
  std::string Pdf, Words, Csv, Png;
  BeadChartPdfOptions PdfOptions;
};

// Writes every form asked for, each to a temporary file beside its target,
// and puts them in place together once all are complete: a failed write, a
// cancel or an interrupt keeps every previous file and leaves no temporary,
// so the files on disk always come from one chart. The PDF and the preview
// report their progress to `listener` and stop at its cancel (or an
// interrupt), which returns kJobCancelled.
Status SaveBeadChartFiles(const BeadChart& chart, const BeadChartFiles& files, JobListener& listener);

}  // namespace velmora
