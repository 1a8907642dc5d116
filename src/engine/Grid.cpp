// Make grid and Sample cell: the main picture reduced to two by two samples
// per cell, shifted half a cell in the odd rows (peyote) or odd columns
// (brick) so that a shifted cell samples the part of the picture it covers.
#include <algorithm>
#include <array>
#include <cstring>

#include "engine/Engine.h"
#include "imaging/PictureOps.h"

namespace velmora {
namespace {

// Pixel rows 2r and 2r + 1 of every odd cell row move one pixel right; the
// last pixel of each wraps round to the front.
void RotateOddRowsRight(Bitmap24& grid) {
  const int width = grid.Width();
  for (int row = 2; row + 1 < grid.Height(); row += 4) {
    for (int line = row; line <= row + 1; ++line) {
      uint8_t* p = grid.ScanLine(line);
      std::rotate(p, p + (width - 1) * 3, p + width * 3);
    }
  }
}

// Pixel columns 2k and 2k + 1 of every odd cell column move one pixel down;
// the bottom pixel wraps round to the top.
void RotateOddColumnsDown(Bitmap24& grid) {
  const int height = grid.Height();
  if (height < 2) return;
  for (int col = 2; col + 1 < grid.Width(); col += 4) {
    for (int c = col; c <= col + 1; ++c) {
      uint8_t carried[3];
      std::memcpy(carried, grid.PixelAddress(c, height - 1), 3);
      for (int y = height - 1; y > 0; --y)
        std::memcpy(grid.PixelAddress(c, y), grid.PixelAddress(c, y - 1), 3);
      std::memcpy(grid.PixelAddress(c, 0), carried, 3);
    }
  }
}

}  // namespace

void Engine::MakeGrid() {
  JobListener& job = Listener();
  job.SetJobText("Current Job : Mosaic Grid");
  job.SetProgress(0);
  cancelled_ = false;

  // A new grid may be another picture or library: detail tables are made
  // again by Prepare library and the assignment.
  Details = DetailTables{};
  const int cols = Project.CellsAcross;
  const int rows = Project.CellsDown;
  if (!GridFitsTables() || !GridBitmap.SetSize(2 * cols, 2 * rows).ok()) {
    job.SetProgress(100);
    return;
  }

  if (MainBitmap.Empty()) {
    // Nothing to sample: a black grid rather than stale samples of an old project.
    GridBitmap.Fill(0, 0, 0);
  } else if (Project.CropMainImage) {
    TBitmap32 cropped;
    CropToAspect(MainBitmap, cropped, Project.FinalWidth, Project.FinalHeight);
    AreaStretch(cropped, cropped.BoundsRect(), GridBitmap);
  } else {
    AreaStretch(MainBitmap, MainBitmap.BoundsRect(), GridBitmap);
  }

  if (Project.StitchMode == kStitchPeyote) RotateOddRowsRight(GridBitmap);
  if (Project.StitchMode == kStitchBrick) RotateOddColumnsDown(GridBitmap);
  job.SetProgress(100);
  job.ProcessEvents();
  CancelPolled();
}

ColorSignature Engine::SampleCell(int x, int y) const {
  ColorSignature sig;
  if (x < 0 || y < 0 || 2 * x + 1 >= GridBitmap.Width() || 2 * y + 1 >= GridBitmap.Height()) return sig;

  const std::array<const uint8_t*, 4> samples = {
      GridBitmap.PixelAddress(2 * x, 2 * y), GridBitmap.PixelAddress(2 * x + 1, 2 * y),
      GridBitmap.PixelAddress(2 * x, 2 * y + 1), GridBitmap.PixelAddress(2 * x + 1, 2 * y + 1)};
  int sumB = 0;
  int sumG = 0;
  int sumR = 0;
  for (int q = 0; q < 4; ++q) {
    SigColor& s = sig.Slot[q];
    s.Blue = samples[q][0];
    s.Green = samples[q][1];
    s.Red = samples[q][2];
    s.Grey = GreyOf(s.Red, s.Green, s.Blue);
    sumB += s.Blue;
    sumG += s.Green;
    sumR += s.Red;
  }
  // A cell's mean grey comes from its mean channels (a picture summary
  // averages the quadrant greys instead).
  SigColor& mean = sig.Slot[sigMean];
  mean.Blue = static_cast<uint8_t>(sumB >> 2);
  mean.Green = static_cast<uint8_t>(sumG >> 2);
  mean.Red = static_cast<uint8_t>(sumR >> 2);
  mean.Grey = GreyOf(mean.Red, mean.Green, mean.Blue);
  return sig;
}

}  // namespace velmora
