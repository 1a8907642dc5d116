// libFuzzer target for the HEIF decoder: any bytes must decode or fail with
// a message, never crash, hang or read outside the input.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/formats/PhotoDecoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velmora::DecodedPicture picture;
  (void)velmora::DecodeHeif(std::span<const uint8_t>(data, size), {}, picture);
  return 0;
}
