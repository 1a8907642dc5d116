#include "output/PosterPanels.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace velmora {
namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kMinPaperMm = 50;
constexpr double kMaxPaperMm = 5000;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A plain decimal number (digits, at most one point); false for anything else.
bool ParseMillimetres(const std::string& text, double& out) {
  if (text.empty() || text.size() > 12) return false;
  int points = 0;
  for (char c : text) {
    if (c == '.')
      ++points;
    else if (!std::isdigit(static_cast<unsigned char>(c)))
      return false;
  }
  if (points > 1 || text == ".") return false;
  out = std::strtod(text.c_str(), nullptr);
  return true;
}

// Sheets needed for `size` pixels when a sheet holds `printable` and each
// further sheet adds `step` new ones.
int64_t SheetsFor(int size, int printable, int step) {
  if (size <= printable) return 1;
  return 1 + (int64_t(size) - printable + step - 1) / step;
}

std::string Fixed(double value, int decimals) { return Format("%.*f", decimals, value); }

// Mosaic pixels that fit inside the margins of `sheetMm` at `dpi`. The tiny
// allowance keeps a size that is a whole number of pixels from losing one to
// rounding (25.4 mm at 100 dpi is 100 pixels, not 99).
int PrintablePixels(double sheetMm, double marginMm, int dpi) {
  return static_cast<int>(std::floor((sheetMm - 2 * marginMm) * dpi / kMmPerInch + 1e-6));
}

int OverlapPixels(double overlapMm, int dpi) {
  return static_cast<int>(std::lround(overlapMm * dpi / kMmPerInch));
}

// The sheets a plan at `dpi` needs on the better way of `paper`, or 0 when
// no plan can be made at that resolution (no pixel fits, or the overlap
// takes half a sheet).
int64_t FewestSheets(int width, int height, const PanelSettings& s, const PaperSize& paper, int dpi) {
  int64_t fewest = 0;
  for (bool turned : {false, true}) {
    const double w = turned ? paper.HeightMm : paper.WidthMm, h = turned ? paper.WidthMm : paper.HeightMm;
    const int printableW = PrintablePixels(w, s.MarginMm, dpi),
              printableH = PrintablePixels(h, s.MarginMm, dpi);
    const int overlap = OverlapPixels(s.OverlapMm, dpi);
    if (printableW < 1 || printableH < 1 || overlap * 2 >= std::min(printableW, printableH)) continue;
    const int64_t n = SheetsFor(width, printableW, printableW - overlap) *
                      SheetsFor(height, printableH, printableH - overlap);
    if (fewest == 0 || n < fewest) fewest = n;
  }
  return fewest;
}

// Too many sheets: a pixel covers less paper at a higher resolution, so the
// way out is the lowest resolution above the chosen one that fits, or, when
// even the highest does not, more paper per sheet.
std::string TooManySheetsText(int width, int height, const PanelSettings& s, int64_t columns, int64_t rows) {
  std::string text = Format("The poster would need %lld sheets (%lld x %lld); at most %d are made. ",
                            static_cast<long long>(columns * rows), static_cast<long long>(columns),
                            static_cast<long long>(rows), kMaxPanels);
  for (int dpi = s.Dpi + 1; dpi <= kMaxPanelDpi; ++dpi) {
    const int64_t n = FewestSheets(width, height, s, s.Paper, dpi);
    if (n > 0 && n <= kMaxPanels)
      return text + Format("Choose a higher resolution (at least %d dpi) or larger paper.", dpi);
  }
  if (s.Dpi < kMaxPanelDpi) text += Format("Even the highest resolution, %d dpi, needs more. ", kMaxPanelDpi);
  return text + "Choose larger paper, a narrower margin or a smaller overlap.";
}

Result<PanelPlan> PlanOnSheet(int width, int height, const PanelSettings& s, const PaperSize& sheet,
                              bool landscape) {
  PanelPlan plan;
  plan.Paper = sheet;
  plan.Landscape = landscape;
  plan.MarginMm = s.MarginMm;
  plan.Dpi = s.Dpi;
  plan.PictureWidth = width;
  plan.PictureHeight = height;
  const double usableW = sheet.WidthMm - 2 * s.MarginMm;
  const double usableH = sheet.HeightMm - 2 * s.MarginMm;
  plan.PrintableWidth = PrintablePixels(sheet.WidthMm, s.MarginMm, s.Dpi);
  plan.PrintableHeight = PrintablePixels(sheet.HeightMm, s.MarginMm, s.Dpi);
  if (plan.PrintableWidth < 1 || plan.PrintableHeight < 1)
    return Status::Error(
        Format("At %d dpi not one pixel fits inside the margins of the %s sheet; choose a "
               "higher resolution.",
               s.Dpi, sheet.Name.c_str()));
  plan.Overlap = OverlapPixels(s.OverlapMm, s.Dpi);
  // Beyond half a sheet the strips of a sheet's two neighbours would meet.
  const int shorter = std::min(plan.PrintableWidth, plan.PrintableHeight);
  if (plan.Overlap * 2 >= shorter)
    return Status::Error(
        Format("The overlap of %s mm must be less than half the printed part of a sheet "
               "(%s mm).",
               Fixed(s.OverlapMm, 1).c_str(), Fixed(std::min(usableW, usableH), 1).c_str()));
  const int stepX = plan.PrintableWidth - plan.Overlap;
  const int stepY = plan.PrintableHeight - plan.Overlap;
  const int64_t columns = SheetsFor(width, plan.PrintableWidth, stepX);
  const int64_t rows = SheetsFor(height, plan.PrintableHeight, stepY);
  if (columns * rows > kMaxPanels) return Status::Error(TooManySheetsText(width, height, s, columns, rows));
  plan.Columns = static_cast<int>(columns);
  plan.Rows = static_cast<int>(rows);
  plan.Panels.reserve(static_cast<size_t>(columns * rows));
  for (int r = 0; r < plan.Rows; ++r)
    for (int c = 0; c < plan.Columns; ++c) {
      Panel p;
      p.Column = c;
      p.Row = r;
      p.Label = PanelLabel(c, r);
      p.Source.Left = c * stepX;
      p.Source.Top = r * stepY;
      p.Source.Right = std::min(p.Source.Left + plan.PrintableWidth, width);
      p.Source.Bottom = std::min(p.Source.Top + plan.PrintableHeight, height);
      plan.Panels.push_back(std::move(p));
    }
  return plan;
}

}  // namespace

Result<PaperSize> ParsePaperSize(const std::string& text) {
  const std::string name = Lower(text);
  if (name == "a4") return PaperSize{"A4", 210, 297};
  if (name == "a3") return PaperSize{"A3", 297, 420};
  if (name == "letter") return PaperSize{"letter", 215.9, 279.4};
  std::string dims = name;
  if (dims.size() > 2 && dims.compare(dims.size() - 2, 2, "mm") == 0) dims.resize(dims.size() - 2);
  const size_t x = dims.find('x');
  double w = 0, h = 0;
  if (x == std::string::npos || !ParseMillimetres(dims.substr(0, x), w) ||
      !ParseMillimetres(dims.substr(x + 1), h))
    return Status::Error("Unknown paper \"" + text +
                         "\": give A4, A3, letter or WIDTHxHEIGHTmm (e.g. 300x400mm).");
  if (w < kMinPaperMm || h < kMinPaperMm || w > kMaxPaperMm || h > kMaxPaperMm)
    return Status::Error(Format("The paper \"%s\" must be from %.0f to %.0f mm each way.", text.c_str(),
                                kMinPaperMm, kMaxPaperMm));
  return PaperSize{Fixed(w, w == std::floor(w) ? 0 : 1) + "x" + Fixed(h, h == std::floor(h) ? 0 : 1) + "mm",
                   w, h};
}

Result<PanelPlan> PlanPosterPanels(int width, int height, const PanelSettings& s) {
  if (width <= 0 || height <= 0) return Status::Error("There is no mosaic to cut into panels.");
  if (s.Dpi < kMinPanelDpi || s.Dpi > kMaxPanelDpi)
    return Status::Error(
        Format("The resolution must be from %d to %d dpi, not %d.", kMinPanelDpi, kMaxPanelDpi, s.Dpi));
  if (!(s.MarginMm >= kMinPanelMarginMm) || s.MarginMm > kMaxPanelMarginMm)
    return Status::Error(
        Format("The margin must be from %.0f to %.0f mm.", kMinPanelMarginMm, kMaxPanelMarginMm));
  if (!(s.OverlapMm >= 0)) return Status::Error("The overlap cannot be negative.");
  const PaperSize& paper = s.Paper;
  if (paper.WidthMm <= 2 * s.MarginMm || paper.HeightMm <= 2 * s.MarginMm)
    return Status::Error(Format("The %s sheet (%s x %s mm) is no larger than its margins (2 x %s mm).",
                                paper.Name.c_str(), Fixed(paper.WidthMm, 1).c_str(),
                                Fixed(paper.HeightMm, 1).c_str(), Fixed(s.MarginMm, 1).c_str()));
  const PaperSize upright{paper.Name, std::min(paper.WidthMm, paper.HeightMm),
                          std::max(paper.WidthMm, paper.HeightMm)};
  const PaperSize turned{paper.Name, upright.HeightMm, upright.WidthMm};
  Result<PanelPlan> portrait = PlanOnSheet(width, height, s, upright, false);
  if (upright.WidthMm == upright.HeightMm) return portrait;
  Result<PanelPlan> landscape = PlanOnSheet(width, height, s, turned, true);
  if (!portrait) return landscape ? landscape : portrait;
  if (landscape && landscape->Count() < portrait->Count()) return landscape;
  return portrait;
}

std::string PanelColumnName(int column) {
  std::string name;
  for (int n = column + 1; n > 0; n = (n - 1) / 26)
    name.insert(name.begin(), static_cast<char>('A' + (n - 1) % 26));
  return name;
}

std::string PanelLabel(int column, int row) { return PanelColumnName(column) + std::to_string(row + 1); }

PanelSheet LayOutPanelSheet(const PanelPlan& plan, const Panel& p) {
  PanelSheet sheet;
  const double mmPerPixel = kMmPerInch / plan.Dpi;
  const double m = plan.MarginMm;
  sheet.PictureLeft = m;
  sheet.PictureTop = m;
  sheet.PictureWidth = p.Source.Width() * mmPerPixel;
  sheet.PictureHeight = p.Source.Height() * mmPerPixel;
  const double left = m, top = m, right = m + sheet.PictureWidth, bottom = m + sheet.PictureHeight;

  const double gap = 1, length = std::min(m - gap - 0.5, 6.0);
  for (double x : {left, right})
    for (double y : {top, bottom}) {
      const double dx = x == left ? -1 : 1, dy = y == top ? -1 : 1;
      sheet.CropMarks.push_back({x, y + dy * gap, x, y + dy * (gap + length)});
      sheet.CropMarks.push_back({x + dx * gap, y, x + dx * (gap + length), y});
    }

  if (plan.Overlap > 0) {
    const int stepX = plan.PrintableWidth - plan.Overlap, stepY = plan.PrintableHeight - plan.Overlap;
    // Beyond the crop marks' gap, so the circle does not touch the picture.
    const double off = gap + kAlignmentMarkRadiusMm + 0.5;
    auto across = [&](int pictureX, const std::string& neighbour) {
      const double x = left + (pictureX - p.Source.Left) * mmPerPixel;
      sheet.Marks.push_back({x, top - off, neighbour});
      sheet.Marks.push_back({x, bottom + off, neighbour});
    };
    auto down = [&](int pictureY, const std::string& neighbour) {
      const double y = top + (pictureY - p.Source.Top) * mmPerPixel;
      sheet.Marks.push_back({left - off, y, neighbour});
      sheet.Marks.push_back({right + off, y, neighbour});
    };
    if (p.Column > 0) across(p.Source.Left + plan.Overlap, PanelLabel(p.Column - 1, p.Row));
    if (p.Column + 1 < plan.Columns) across((p.Column + 1) * stepX, PanelLabel(p.Column + 1, p.Row));
    if (p.Row > 0) down(p.Source.Top + plan.Overlap, PanelLabel(p.Column, p.Row - 1));
    if (p.Row + 1 < plan.Rows) down((p.Row + 1) * stepY, PanelLabel(p.Column, p.Row + 1));
  }

  sheet.LabelSize = std::clamp(m * 0.45, 2.0, 5.5);
  sheet.LabelBaseline = plan.Paper.HeightMm - m / 2 + sheet.LabelSize * 0.35;
  const double clear = kAlignmentMarkRadiusMm * 2.5;
  const double overlapMm = plan.Overlap * mmPerPixel;
  sheet.LabelSpanLeft = left + gap + (p.Column > 0 && plan.Overlap > 0 ? overlapMm + clear : 0);
  sheet.LabelSpanRight =
      right - gap - (p.Column + 1 < plan.Columns && plan.Overlap > 0 ? overlapMm + clear : 0);
  sheet.Detail = Format("column %d of %d, row %d of %d", p.Column + 1, plan.Columns, p.Row + 1, plan.Rows);
  return sheet;
}

double PanelLabelLeft(const PanelSheet& sheet, double width) {
  const double span = sheet.LabelSpanRight - sheet.LabelSpanLeft;
  if (width <= span) return sheet.LabelSpanLeft + (span - width) / 2;
  return sheet.PictureLeft + sheet.PictureWidth + 2;
}

std::vector<std::string> AssemblyMapLines(const PanelPlan& plan) {
  return {
      "Finished size " + FinishedSizeText(plan) +
          Format(", %d x %d pixels at %d dpi", plan.PictureWidth, plan.PictureHeight, plan.Dpi),
      PanelCountText(plan) + Format(", margins %.0f mm, overlap %d pixels (%.1f mm)", plan.MarginMm,
                                    plan.Overlap, plan.Overlap * kMmPerInch / plan.Dpi),
      "Trim each sheet at its crop marks and lay the sheets from A1 on: each sheet's edges go onto the",
      "circled alignment marks of the sheets to its left and above, over the strip the two sheets share."};
}

std::string FinishedSizeText(const PanelPlan& plan) {
  const double wCm = plan.FinishedWidthCm(), hCm = plan.FinishedHeightCm();
  return Fixed(wCm, 1) + " x " + Fixed(hCm, 1) + " cm (" + Fixed(wCm / 2.54, 2) + " x " +
         Fixed(hCm / 2.54, 2) + " in)";
}

std::string PanelCountText(const PanelPlan& plan) {
  return Format("%d x %d = %d sheet%s of %s %s", plan.Columns, plan.Rows, plan.Count(),
                plan.Count() == 1 ? "" : "s", plan.Paper.Name.c_str(),
                plan.Landscape ? "landscape" : "portrait");
}

}  // namespace velmora
