// The small pictures of the preview panes: the level chart (a histogram of a
// picture's channel values), the signature swatches of the pick-cell dialog
// and the enlarged one-pixel-per-cell view of the pattern preview.
#include "imaging/PictureOps.h"

#include <array>
#include <cstdint>
#include <limits>

namespace velmora {
namespace {

constexpr int kChartWidth = 257;  // a frame column left of the 256 bars
constexpr int kChartHeight = 128;

// Draws the chart of `picture` into `chart` (257 x 128, white, a black frame,
// one black bar per value rising from the bottom row).
void BuildLevelChart(const Bitmap24& picture, int channel, Bitmap24& chart) {
  // Counting 256 x 256 samples makes the chart independent of the picture's
  // size; a full-height bar is 128 pixels whatever the counts.
  thread_local Bitmap24 work(256, 256);
  AreaStretch(picture, TRect{0, 0, picture.Width(), picture.Height()}, work);

  std::array<int64_t, 256> count{};
  const auto bytes = work.Bytes();
  for (size_t i = 0; i + 2 < bytes.size(); i += 3) {
    const uint8_t b = bytes[i], g = bytes[i + 1], r = bytes[i + 2];
    switch (channel) {
      case 0:
        ++count[r];
        ++count[g];
        ++count[b];
        break;
      case 1:
        ++count[r];
        break;
      case 2:
        ++count[g];
        break;
      case 3:
        ++count[b];
        break;
      default:
        break;
    }
  }
  int64_t highest = 0;
  for (int64_t c : count) highest = c > highest ? c : highest;
  if (highest > 0)
    for (int64_t& c : count) c = c * kChartHeight / highest;

  (void)chart.SetSize(kChartWidth, kChartHeight);
  chart.Fill(255, 255, 255);
  chart.FillRect(TRect{0, 0, kChartWidth, 1}, 0, 0, 0);
  chart.FillRect(TRect{0, kChartHeight - 1, kChartWidth, kChartHeight}, 0, 0, 0);
  chart.FillRect(TRect{0, 0, 1, kChartHeight}, 0, 0, 0);
  chart.FillRect(TRect{kChartWidth - 1, 0, kChartWidth, kChartHeight}, 0, 0, 0);
  for (int i = 0; i < 256; ++i) {
    const int bar = static_cast<int>(count[i]);
    chart.FillRect(TRect{i + 1, kChartHeight - bar, i + 2, kChartHeight}, 0, 0, 0);
  }
}

}  // namespace

void DrawLevelChart(const Bitmap24& picture, Bitmap24& target, int channel) {
  thread_local Bitmap24 chart;
  BuildLevelChart(picture, channel, chart);
  AreaStretch(chart, TRect{0, 0, kChartWidth, kChartHeight}, target);
}

void DrawLevelChart(const Bitmap24& picture, Bitmap24& target, int channel, const TRect& rect) {
  // The chart is built before the target is sized: the picture may be the target.
  thread_local Bitmap24 chart;
  BuildLevelChart(picture, channel, chart);
  if (!target.SetSize(rect.Width(), rect.Height()).ok()) return;
  AreaStretch(chart, TRect{0, 0, kChartWidth, kChartHeight}, target);
}

void DrawSignatureSwatch(Bitmap24& target, const ColorSignature& signature, int kind, bool grey) {
  const int w = target.Width();
  const int h = target.Height();
  if (kind == 1) {
    const SigColor& m = signature.Mean();
    target.Fill(m.Red, m.Green, m.Blue);
    return;
  }
  if (kind != 4) return;
  const int w2 = w / 2;
  const int h2 = h / 2;
  const std::array<TRect, 4> quadrants{TRect{0, 0, w2, h2}, TRect{w2, 0, w, h2}, TRect{0, h2, w2, h},
                                       TRect{w2, h2, w, h}};
  for (int q = 0; q < 4; ++q) {
    const SigColor& c = signature.Slot[q];
    if (grey)
      target.FillRect(quadrants[q], c.Grey, c.Grey, c.Grey);
    else
      target.FillRect(quadrants[q], c.Red, c.Green, c.Blue);
  }
}

void EnlargePixels(const TBitmap32& source, Bitmap24& target, int cellsAcross, bool grid, int factor,
                   int cellsDown) {
  if (factor != 4 && factor != 8) return;
  if (cellsAcross <= 0 || cellsDown <= 0) return;
  const int64_t width = int64_t(cellsAcross) * factor;
  const int64_t height = int64_t(cellsDown) * factor;
  if (width > std::numeric_limits<int>::max() || height > std::numeric_limits<int>::max()) return;

  thread_local Bitmap24 work;
  if (!work.SetSize(cellsAcross, cellsDown).ok()) return;
  AreaStretch(source, source.BoundsRect(), work);
  if (!target.SetSize(static_cast<int>(width), static_cast<int>(height)).ok()) return;

  for (int ty = 0; ty < height; ++ty) {
    const uint8_t* cell = work.ScanLine(ty / factor);
    uint8_t* out = target.ScanLine(ty);
    // The grid is each block's top row and left column, so the last column
    // and row of the picture get no closing line.
    const bool gridRow = grid && ty % factor == 0;
    for (int x = 0; x < cellsAcross; ++x, cell += 3) {
      for (int k = 0; k < factor; ++k, out += 3) {
        const bool black = gridRow || (grid && k == 0);
        out[0] = black ? 0 : cell[0];
        out[1] = black ? 0 : cell[1];
        out[2] = black ? 0 : cell[2];
      }
    }
  }
}

}  // namespace velmora
