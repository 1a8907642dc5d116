// libFuzzer target for the Windows bitmap reader. Whatever decodes must also
// survive the writer: written back and read again, all four bytes of every
// pixel come out as they went in.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/formats/BmpCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmora;
  DecodedPicture picture;
  if (!DecodeBmp(std::span<const uint8_t>(data, size), {}, picture).ok()) return 0;

  // Run-length files may legitimately unpack to the full pixel budget; the
  // round trip is kept to pictures that fit the fuzzer's memory limit twice.
  const TBitmap32& bitmap = picture.bitmap;
  if (int64_t(bitmap.Width()) * bitmap.Height() > (int64_t(1) << 22)) return 0;
  const std::vector<uint8_t> file = EncodeBmp32(bitmap);
  DecodedPicture again;
  if (!DecodeBmp(file, {}, again).ok()) __builtin_trap();
  if (again.bitmap.Width() != bitmap.Width() || again.bitmap.Height() != bitmap.Height()) __builtin_trap();
  const auto a = bitmap.Pixels();
  const auto b = again.bitmap.Pixels();
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) __builtin_trap();
  return 0;
}
