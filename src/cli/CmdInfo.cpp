// velmora-cli info INPUT: the picture's size and its colour signature.
#include <iostream>

#include "cli/Command.h"
#include "imaging/PictureOps.h"

namespace velmora::cli {
namespace {

int RunInfo(const Args& args) {
  if (args.size() != 1) return Fail("info needs one INPUT (see 'velmora-cli info --help')");
  auto picture = ReadPicture(args[0]);
  if (!picture) return Fail(picture.message());
  const TBitmap32& bitmap = picture->bitmap;
  std::cout << "size " << bitmap.Width() << ' ' << bitmap.Height() << "\n";
  std::cout << "signature";
  if (!bitmap.Empty()) {
    for (uint8_t b : ComputeColorSignature(bitmap).Bytes()) std::cout << ' ' << int(b);
  }
  std::cout << "\n";
  return 0;
}

const CommandRegistrar registrar({
    "info",
    "print a picture's size and colour signature",
    "Usage: velmora-cli info INPUT\n\n"
    "Prints two lines:\n"
    "  size W H\n"
    "  signature followed by the 20 bytes of the picture's colour signature in\n"
    "  memory order: blue green red grey of the top-left, top-right,\n"
    "  bottom-left, bottom-right and overall slots.\n",
    RunInfo,
});

}  // namespace
}  // namespace velmora::cli
