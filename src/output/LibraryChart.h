// The library check as a picture: one row per colour family with its swatch,
// a bar of its cell count and a bar of its nearest-photo error (green where
// the library serves it, amber where it is somewhat off, red where far off),
// then the counts of near-duplicate groups and unreadable photos.
#pragma once

#include <string>

#include "engine/LibraryCheck.h"
#include "imaging/Bitmap32.h"
#include "imaging/Status.h"

namespace velmora {

// Errors are drawn to this CIE76 value; larger ones fill the bar.
inline constexpr float kChartErrorScale = 40.0f;

TBitmap32 DrawLibraryChart(const LibraryReport& report);

// Writes DrawLibraryChart as a PNG file through a temporary file.
Status SaveLibraryChartPng(const LibraryReport& report, const std::string& path);

}  // namespace velmora
