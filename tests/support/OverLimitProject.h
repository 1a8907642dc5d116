// A project whose mosaic is just past the 2^28-pixel picture limit: 128 x 128
// self-mosaic cells of 128 x 129 pixels, 16,384 x 16,512 pixels in all. Only
// the top row of cells is assigned, so a render stays quick; the file is the
// fixed 14.6 MB of tables and a 16 x 16 main picture.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "engine/Engine.h"
#include "imaging/PictureLimits.h"
#include "project/ProjectFile.h"

namespace velmora::testing {

inline constexpr int kOverLimitWidth = 128 * 128;
inline constexpr int kOverLimitHeight = 128 * 129;
static_assert(int64_t(kOverLimitWidth) * kOverLimitHeight > kMaxPicturePixels);
// Self-mosaic cells overlay the main picture on a blue-ish border colour.
inline constexpr int32_t kOverLimitBorder = 0x00FF0000;  // 0x00BBGGRR: blue

inline void WriteOverLimitProject(const std::string& path) {
  Engine engine;
  tmosaicproject& p = engine.Project;
  p.RenderMode = kRenderSelf;
  p.CellsAcross = 128;
  p.CellsDown = 128;
  p.CellWidth = 128;
  p.CellHeight = 129;
  p.BorderColor = kOverLimitBorder;
  ComputeDerivedSizes(p);
  ASSERT_TRUE(engine.MainBitmap.SetSize(16, 16).ok());
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) engine.MainBitmap.Pixel(x, y) = Color32(uint8_t(200 + x), uint8_t(y * 8), 0);
  engine.Map.Clear();
  for (int x = 0; x < 128; ++x) engine.Map.At(x, 0).Assigned = true;
  ASSERT_TRUE(SaveProjectFile(engine, path).ok());
}

}  // namespace velmora::testing
