// velmora-cli decode INPUT OUTPUT: reads a picture with the program's reader
// and writes it as a 32-bit BMP, a binary PPM or a PAM with alpha.
#include <string>
#include <vector>

#include "cli/Command.h"
#include "imaging/FileIO.h"
#include "imaging/PictureReader.h"
#include "imaging/formats/BmpCodec.h"

namespace velmora::cli {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// PPM (P6, no alpha) or PAM (P7, RGB_ALPHA) bytes of a picture.
std::vector<uint8_t> EncodeNetpbm(const TBitmap32& bitmap, bool withAlpha) {
  std::string header = withAlpha ? Format("P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
                                          bitmap.Width(), bitmap.Height())
                                 : Format("P6\n%d %d\n255\n", bitmap.Width(), bitmap.Height());
  const size_t channels = withAlpha ? 4 : 3;
  std::vector<uint8_t> out(header.begin(), header.end());
  out.reserve(out.size() + bitmap.Pixels().size() * channels);
  for (TColor32 p : bitmap.Pixels()) {
    out.push_back(RedOf(p));
    out.push_back(GreenOf(p));
    out.push_back(BlueOf(p));
    if (withAlpha) out.push_back(AlphaOf(p));
  }
  return out;
}

int RunDecode(const Args& args) {
  if (args.size() != 2) return Fail("decode needs INPUT and OUTPUT (see 'velmora-cli decode --help')");
  const std::string& input = args[0];
  const std::string& output = args[1];
  const std::string ext = Lower(ExtensionOf(output));
  if (ext != "bmp" && ext != "ppm" && ext != "pam")
    return Fail("OUTPUT must end in .bmp, .ppm or .pam: " + output);

  auto picture = ReadPicture(input);
  if (!picture) return Fail(picture.message());

  Status written = ext == "bmp" ? WriteBmpFile(picture->bitmap, output)
                                : WriteFileAtomically(output, EncodeNetpbm(picture->bitmap, ext == "pam"));
  if (!written) return Fail(written.message());
  return 0;
}

const CommandRegistrar registrar({
    "decode",
    "read a picture file and write it as BMP, PPM or PAM",
    "Usage: velmora-cli decode INPUT OUTPUT\n\n"
    "Reads INPUT with the program's picture reader (the decoder is chosen by\n"
    "INPUT's extension) and writes OUTPUT, chosen by its extension:\n"
    "  .bmp  32-bit Windows bitmap (the fourth byte is the picture's alpha)\n"
    "  .ppm  binary portable pixmap (P6)\n"
    "  .pam  portable arbitrary map with alpha (P7, RGB_ALPHA)\n",
    RunDecode,
});

}  // namespace
}  // namespace velmora::cli
