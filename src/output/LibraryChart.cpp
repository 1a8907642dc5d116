#include "output/LibraryChart.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "imaging/Status.h"
#include "output/BandWriter.h"
#include "output/PixelFont.h"

namespace velmora {
namespace {

constexpr int kScale = 2;
constexpr int kLine = (kGlyphHeight + 3) * kScale;  // 20 pixels of text line
constexpr int kMargin = 16;
constexpr int kRow = 30;
constexpr int kWidth = 980;
constexpr int kSwatchX = kMargin;
constexpr int kNameX = kSwatchX + 44;
constexpr int kCellsX = kNameX + 14 * 12;
constexpr int kCellsBar = 300;
constexpr int kErrorX = kCellsX + kCellsBar + 90;
constexpr int kErrorBar = 240;
// Lines of near-duplicate names shown; the text report has them all.
constexpr int kListedNames = 12;

const TColor32 kInk = Color32(32, 32, 32);
const TColor32 kPaper = Color32(255, 255, 255);
const TColor32 kRule = Color32(200, 200, 200);

void Frame(TBitmap32& b, const TRect& r, TColor32 c) {
  b.FillRect(TRect{r.Left, r.Top, r.Right, r.Top + 1}, c);
  b.FillRect(TRect{r.Left, r.Bottom - 1, r.Right, r.Bottom}, c);
  b.FillRect(TRect{r.Left, r.Top, r.Left + 1, r.Bottom}, c);
  b.FillRect(TRect{r.Right - 1, r.Top, r.Right, r.Bottom}, c);
}

TColor32 VerdictColor(float error) {
  if (error <= kCloseError) return Color32(60, 160, 80);
  if (error <= kFarError) return Color32(230, 160, 30);
  return Color32(210, 50, 40);
}

std::string FileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

std::string OneDecimal(float v) { return Format("%.1f", static_cast<double>(v)); }

}  // namespace

TBitmap32 DrawLibraryChart(const LibraryReport& r) {
  std::vector<std::string> notes;
  notes.push_back(Format("Near-duplicate groups: %zu", r.Duplicates.size()));
  int listed = 0;
  for (size_t g = 0; g < r.Duplicates.size() && listed < kListedNames; ++g, ++listed) {
    std::string line = Format("  %zu:", g + 1);
    for (int k : r.Duplicates[g].Photos) {
      if (line.size() > 70) {
        line += " ...";
        break;
      }
      line += " " + FileName(r.Photos[size_t(k)].Path);
    }
    notes.push_back(line);
  }
  notes.push_back(Format("Unreadable photos: %zu", r.Unreadable.size()));
  for (size_t i = 0; i < r.Unreadable.size() && listed < kListedNames; ++i, ++listed)
    notes.push_back("  " + FileName(r.Photos[size_t(r.Unreadable[i])].Path));

  const int rows = std::max<int>(1, static_cast<int>(r.Families.size()));
  const int tableTop = kMargin + 2 * kLine + kLine;
  const int height = tableTop + rows * kRow + kLine + static_cast<int>(notes.size()) * kLine + kMargin;
  TBitmap32 chart(kWidth, height);
  chart.Fill(kPaper);

  std::string title =
      Format("Library check: %d x %d cells, %d photos", r.CellsAcross, r.CellsDown, r.PhotoCount);
  DrawPixelText(chart, kMargin, kMargin, title, kInk, kScale);
  if (r.MeanNearestError >= 0)
    DrawPixelText(chart, kMargin, kMargin + kLine,
                  "Mean error of the nearest photo per cell: " + OneDecimal(r.MeanNearestError), kInk,
                  kScale);
  const int headY = kMargin + 2 * kLine + 4;
  DrawPixelText(chart, kNameX, headY, "Colour", kInk, kScale);
  DrawPixelText(chart, kCellsX, headY, "Cells", kInk, kScale);
  DrawPixelText(chart, kErrorX, headY, "Nearest photo error", kInk, kScale);

  int maxCells = 1;
  for (const ColorFamily& f : r.Families) maxCells = std::max(maxCells, f.Cells);
  // Where the verdicts change, as faint rules across the error column.
  for (float mark : {kCloseError, kFarError}) {
    const int x = kErrorX + static_cast<int>(mark / kChartErrorScale * kErrorBar);
    chart.FillRect(TRect{x, tableTop - 4, x + 1, tableTop + rows * kRow}, kRule);
  }

  int y = tableTop;
  for (const ColorFamily& f : r.Families) {
    const int barTop = y + 4;
    const int barBottom = y + kRow - 6;
    chart.FillRect(TRect{kSwatchX, barTop, kSwatchX + 36, barBottom}, f.Swatch);
    Frame(chart, TRect{kSwatchX, barTop, kSwatchX + 36, barBottom}, kInk);
    DrawPixelText(chart, kNameX, y + 6, f.Name, kInk, kScale);

    const int cellsW = std::max(2, static_cast<int>(int64_t(f.Cells) * kCellsBar / maxCells));
    chart.FillRect(TRect{kCellsX, barTop, kCellsX + cellsW, barBottom}, f.Swatch);
    Frame(chart, TRect{kCellsX, barTop, kCellsX + cellsW, barBottom}, kInk);
    DrawPixelText(chart, kCellsX + cellsW + 6, y + 6, std::to_string(f.Cells), kInk, kScale);

    if (f.NearestError >= 0) {
      const float shown = std::min(f.NearestError, kChartErrorScale);
      const int errorW = std::max(2, static_cast<int>(std::lround(shown / kChartErrorScale * kErrorBar)));
      chart.FillRect(TRect{kErrorX, barTop, kErrorX + errorW, barBottom}, VerdictColor(f.NearestError));
      DrawPixelText(chart, kErrorX + errorW + 6, y + 6, OneDecimal(f.NearestError), kInk, kScale);
    } else {
      DrawPixelText(chart, kErrorX, y + 6, "no photos", kInk, kScale);
    }
    y += kRow;
  }
  if (r.Families.empty()) DrawPixelText(chart, kNameX, y + 6, "no cells", kInk, kScale);

  y = tableTop + rows * kRow + kLine;
  for (const std::string& note : notes) {
    DrawPixelText(chart, kMargin, y, note, kInk, kScale);
    y += kLine;
  }
  return chart;
}

Status SaveLibraryChartPng(const LibraryReport& report, const std::string& path) {
  const TBitmap32 chart = DrawLibraryChart(report);
  Result<std::unique_ptr<BandWriter>> writer = OpenPngBandWriter(path, chart.Width(), chart.Height());
  if (!writer) return writer.status();
  VELMORA_TRY((*writer)->WriteRows(chart, chart.Height()));
  return (*writer)->Finish();
}

}  // namespace velmora
