// Every committed fixture of the metafile, PostScript and older raster
// formats decodes through the reader (they also seed the fuzzer, so a seed
// that stopped decoding would quietly weaken it).
#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/PictureReader.h"
#include "imaging/formats/EpsDecoder.h"

namespace velmora {
namespace {

TEST(FormatFixtures, EveryFixtureDecodes) {
  const std::filesystem::path data(VELMORA_TEST_DATA);
  int files = 0;
  for (const char* dir : {"rla", "autodesk", "cut", "pcd", "psp", "eps", "wmf", "emf", "png"}) {
    for (const auto& entry : std::filesystem::directory_iterator(data / dir)) {
      const std::string path = entry.path().string();
      if (FindPictureFormat(path) == nullptr) continue;  // palettes, sources, TIFF previews
      if (ExtensionOf(path) == "tif") continue;
      SCOPED_TRACE(path);
      DecodeHints hints;
      // PostScript without a preview needs Ghostscript.
      if (ExtensionOf(path) == "eps" && FindGhostscript().empty()) hints.allowExternalPrograms = false;
      const Result<DecodedPicture> r = ReadPicture(path, hints);
      if (!r.ok() && !hints.allowExternalPrograms) continue;
      ASSERT_TRUE(r.ok()) << r.message();
      EXPECT_GT(r->bitmap.Width(), 0);
      ++files;
    }
  }
  EXPECT_GE(files, 20);
}

}  // namespace
}  // namespace velmora
