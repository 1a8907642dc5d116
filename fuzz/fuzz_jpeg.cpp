// libFuzzer target for the JPEG decoder: any bytes must decode or fail with a
// message, never crash, hang or read outside the input. Every other input is
// also decoded DCT-scaled, the path library preparation takes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/formats/JpegDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velmora::DecodeHints hints;
  if (size % 2 == 1) hints.acceptScaled = [](int w, int h) { return w >= 64 && h >= 64; };
  velmora::DecodedPicture picture;
  (void)velmora::DecodeJpeg(std::span<const uint8_t>(data, size), hints, picture);
  return 0;
}
