// The library check as a picture: one row per colour family with its swatch,
// a bar of its cell count and a bar of its nearest-photo error (green where
// the library serves it, amber where it is somewhat off, red where far off),
// then the near-duplicate groups with small pictures of their photos and the
// photos that could not be read. Text is set in DejaVu Sans through Pango.
#pragma once

#include <string>

#include "imaging/Bitmap32.h"
#include "imaging/Status.h"
#include "output/LibraryThumbnails.h"
#include "quality/LibraryCheck.h"

namespace velmora {

// Errors are drawn to this CIE76 value; larger ones fill the bar.
inline constexpr float kChartErrorScale = 40.0f;

// `thumbnails` as LoadDuplicateThumbnails gives them; groups or photos it
// lacks get blank squares. Fails only when cairo or Pango cannot be loaded
// or the chart does not fit in memory.
Result<TBitmap32> DrawLibraryChart(const LibraryReport& report, const DuplicateThumbnails& thumbnails = {});

// Writes DrawLibraryChart as a PNG file through a temporary file.
Status SaveLibraryChartPng(const LibraryReport& report, const DuplicateThumbnails& thumbnails,
                           const std::string& path);

}  // namespace velmora
