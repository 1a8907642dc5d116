// Photos with a face off their middle, made from the public-domain portrait
// in tests/data/faces (see its SOURCES.md).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/EngineTestSupport.h"

namespace velmora::testing {

inline TBitmap32 FacePortrait() {
  TBitmap32 face;
  EXPECT_TRUE(LoadPictureFile(face, std::string(VELMORA_TEST_DATA) + "/faces/astronaut-192.jpg").ok());
  return face;
}

// The portrait on the left of a grey picture three times as wide.
inline TBitmap32 FaceAtLeft() {
  const TBitmap32 face = FacePortrait();
  TBitmap32 wide = Uniform(3 * face.Width(), face.Height(), Color32(128, 128, 128));
  for (int y = 0; y < face.Height(); ++y)
    for (int x = 0; x < face.Width(); ++x) wide.Pixel(x, y) = face.Pixel(x, y);
  return wide;
}

}  // namespace velmora::testing
