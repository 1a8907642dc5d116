// Photos as cameras write them, made in memory for the tests: a JPEG with
// an EXIF thumbnail (and an orientation tag) in an APP1 segment in front.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/Bitmap32.h"
#include "output/SavePicture.h"
#include "support/ScratchFolder.h"

namespace velmora::testing {

inline std::vector<uint8_t> JpegOf(const TBitmap32& picture, const ScratchFolder& scratch, int quality = 90) {
  const std::string path = scratch / "encoded.jpg";
  EXPECT_TRUE(WriteJpegFile(picture, path, quality, false).ok());
  const std::string bytes = testing::ReadWholeFile(path);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

inline TBitmap32 Filled(int w, int h, TColor32 colour) {
  TBitmap32 b(w, h);
  for (TColor32& c : b.Pixels()) c = colour;
  return b;
}

// Noise, so that a big photo's file really is big (its head alone holds no picture).
inline TBitmap32 Noisy(int w, int h) {
  TBitmap32 b(w, h);
  uint32_t seed = 12345;
  for (TColor32& c : b.Pixels()) {
    seed = seed * 1664525 + 1013904223;
    c = Color32(uint8_t(60 + (seed >> 28)), uint8_t(90 + (seed >> 27 & 15)), uint8_t(200 + (seed >> 26 & 15)));
  }
  return b;
}

inline void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// `photo` with an APP1 segment in front of its own segments: IFD0 with the
// orientation tag (when not 1), IFD1 pointing at `thumb`. `offsetShift`
// moves the thumbnail's offset (damaged files).
inline std::vector<uint8_t> WithThumbnail(const std::vector<uint8_t>& photo, const std::vector<uint8_t>& thumb,
                                   int orientation = 1, int64_t offsetShift = 0) {
  std::vector<uint8_t> tiff = {'I', 'I', 42, 0};
  Put32(tiff, 8);
  const bool tagged = orientation != 1;
  Put16(tiff, tagged ? 1 : 0);
  if (tagged) {
    Put16(tiff, 0x0112);
    Put16(tiff, 3);
    Put32(tiff, 1);
    Put16(tiff, uint32_t(orientation));
    Put16(tiff, 0);
  }
  const uint32_t ifd1 = uint32_t(tiff.size() + 4);
  Put32(tiff, ifd1);
  Put16(tiff, 2);
  const uint32_t data = ifd1 + 2 + 2 * 12 + 4;
  Put16(tiff, 0x0201);
  Put16(tiff, 4);
  Put32(tiff, 1);
  Put32(tiff, uint32_t(int64_t(data) + offsetShift));
  Put16(tiff, 0x0202);
  Put16(tiff, 4);
  Put32(tiff, 1);
  Put32(tiff, uint32_t(thumb.size()));
  Put32(tiff, 0);
  tiff.insert(tiff.end(), thumb.begin(), thumb.end());

  std::vector<uint8_t> out = {0xFF, 0xD8, 0xFF, 0xE1};
  const size_t length = 2 + 6 + tiff.size();
  out.push_back(uint8_t(length >> 8));
  out.push_back(uint8_t(length));
  for (char c : std::string("Exif\0\0", 6)) out.push_back(uint8_t(c));
  out.insert(out.end(), tiff.begin(), tiff.end());
  out.insert(out.end(), photo.begin() + 2, photo.end());  // the photo without its SOI
  return out;
}

}  // namespace velmora::testing
