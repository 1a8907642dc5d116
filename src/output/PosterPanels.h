// Cutting a poster into panels of printer paper: how many sheets across and
// down, which mosaic pixels each sheet carries (neighbours share a strip of
// `overlap` so the sheets can be trimmed and glued without a gap), their
// labels ("B3": columns lettered from A, rows numbered from 1) and the size
// of the finished poster. The PDF writer (PanelPdf.h) and the print window
// draw from this plan; nothing here knows of files or windows.
#pragma once

#include <string>
#include <vector>

#include "imaging/Geometry.h"
#include "imaging/Status.h"

namespace velmora {

// A sheet, in millimetres, upright (width <= height for the named ones).
struct PaperSize {
  std::string Name;  // "A4", "A3", "letter" or "300x400mm"
  double WidthMm = 0;
  double HeightMm = 0;
};

// "A4", "A3", "letter" (any case) or "WxHmm" with W and H from 50 to 5000
// (decimals allowed, "mm" optional).
Result<PaperSize> ParsePaperSize(const std::string& text);

struct PanelSettings {
  PaperSize Paper;
  double MarginMm = 10;  // on every side: crop marks, alignment marks and the label live here
  int Dpi = 150;         // mosaic pixels per inch of paper
  double OverlapMm = 10;
};

inline constexpr int kMinPanelDpi = 1;
inline constexpr int kMaxPanelDpi = 2400;
// The margin holds the marks and the label; below this they no longer fit.
inline constexpr double kMinPanelMarginMm = 5;
inline constexpr double kMaxPanelMarginMm = 100;
// More sheets than this is no longer a poster one prints and glues.
inline constexpr int kMaxPanels = 2000;

struct Panel {
  int Column = 0;  // from 0, left to right
  int Row = 0;     // from 0, top to bottom
  std::string Label;
  // The mosaic pixels on this sheet, overlaps included: the strip shared
  // with a neighbour is on both sheets.
  TRect Source;
};

struct PanelPlan {
  PaperSize Paper;  // as laid: width and height swapped for landscape
  bool Landscape = false;
  double MarginMm = 0;
  int Dpi = 0;
  int PictureWidth = 0;  // the mosaic, in pixels
  int PictureHeight = 0;
  int PrintableWidth = 0;  // mosaic pixels that fit inside the margins of one sheet
  int PrintableHeight = 0;
  int Overlap = 0;  // pixels shared by neighbouring sheets
  int Columns = 0;
  int Rows = 0;
  std::vector<Panel> Panels;  // row by row from the top, each row from the left

  int Count() const { return Columns * Rows; }
  const Panel& At(int column, int row) const { return Panels[static_cast<size_t>(row * Columns + column)]; }
  double FinishedWidthCm() const { return PictureWidth * 2.54 / Dpi; }
  double FinishedHeightCm() const { return PictureHeight * 2.54 / Dpi; }
};

// The plan for a width x height mosaic, on the paper turned the way that
// needs fewer sheets (upright when both need as many). Fails with a message
// for a resolution out of range, margins that leave no room, an overlap
// that leaves no room, or a plan of more than kMaxPanels sheets.
Result<PanelPlan> PlanPosterPanels(int width, int height, const PanelSettings& settings);

// What goes on one sheet besides the label's text, in millimetres from the
// sheet's top-left corner: the PDF writer and the printer draw the same.
struct SheetLine {
  double X0, Y0, X1, Y1;
};
struct AlignmentMark {
  double X, Y;            // centre of the circled cross
  std::string Neighbour;  // the sheet whose picture edge goes here
};
struct PanelSheet {
  double PictureLeft = 0, PictureTop = 0, PictureWidth = 0, PictureHeight = 0;
  // At the picture's corners, in the margin: a cut along them leaves no
  // white edge and no mark on the picture.
  std::vector<SheetLine> CropMarks;
  // Where a neighbour's picture begins or ends inside this sheet's picture,
  // in the margins on both sides: the neighbour's edge is laid onto them.
  std::vector<AlignmentMark> Marks;
  // The label goes in the bottom margin, centred in the span below the
  // picture that the crop and alignment marks leave free, or, when it is
  // wider than that span, right of the picture's bottom-right crop mark.
  double LabelBaseline = 0;
  double LabelSpanLeft = 0, LabelSpanRight = 0;
  double LabelSize = 0;  // its height, in millimetres
  std::string Detail;    // "column 2 of 3, row 3 of 4", beside the label
};
inline constexpr double kAlignmentMarkRadiusMm = 1.25;
PanelSheet LayOutPanelSheet(const PanelPlan& plan, const Panel& panel);
// Where the label of `width` millimetres starts on the sheet.
double PanelLabelLeft(const PanelSheet& sheet, double width);

// The lines under the assembly map's title: finished size, sheets and how
// to put them together.
std::vector<std::string> AssemblyMapLines(const PanelPlan& plan);

// "A", .., "Z", "AA", "AB", .. for columns from 0; the row number from 1.
std::string PanelColumnName(int column);
std::string PanelLabel(int column, int row);

// "42.4 x 29.9 cm (16.69 x 11.78 in)"
std::string FinishedSizeText(const PanelPlan& plan);
// "3 x 2 = 6 sheets of A4 landscape"
std::string PanelCountText(const PanelPlan& plan);

}  // namespace velmora
