// libFuzzer target for every registered picture format at once. The first
// input byte picks the format (modulo the number of registered formats); the
// rest is decoded as a file with that format's first extension. Any bytes must
// decode or fail with a message, never crash, hang or read outside the input.
// Seeds: a fixture of format k is the byte k followed by the file. No outside
// program is started (EPS files are read through their TIFF preview only):
// a Ghostscript run per input would be far too slow, and it is not our code.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "imaging/PictureReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmora;
  if (size < 1) return 0;
  const auto& formats = PictureFormats();
  const PictureFormat& format = formats[data[0] % formats.size()];
  if (format.decode == nullptr) return 0;
  const std::string name = "fuzz." + std::string(format.extensions.front());
  DecodeHints hints;
  hints.allowExternalPrograms = false;
  (void)DecodePicture(name, std::span<const uint8_t>(data + 1, size - 1), hints);
  return 0;
}
