// Where photos are cropped, saved in a project: read back for every mode,
// absent for the centre crop, and every damaged or newer block gives the
// centre crop with one warning naming the file.
#include <gtest/gtest.h>

#include "project/CropBlock.h"
#include "project/ProjectExtras.h"

namespace velmora {
namespace {

constexpr const char* kPath = "/projects/faces.vm6";

ExtensionArea AreaOf(const std::vector<ExtensionBlock>& blocks) {
  ExtensionArea area;
  EXPECT_TRUE(DecodeExtensionArea(EncodeExtensionArea(blocks), kPath, area).ok());
  return area;
}

TEST(CropBlock, EveryModeReadsBackAndTheCentreWritesNothing) {
  for (CropBy mode : {CropBy::Centre, CropBy::Attention, CropBy::Faces}) {
    std::vector<ExtensionBlock> blocks;
    AppendCropBlock(mode, blocks);
    EXPECT_EQ(blocks.empty(), mode == CropBy::Centre);
    const ProjectExtras extras = ReadProjectExtras(AreaOf(blocks), kPath);
    EXPECT_EQ(extras.CropMode, mode) << CropByName(mode);
    EXPECT_TRUE(extras.Warnings.empty());
  }
}

TEST(CropBlock, DamagedOrNewerBlocksGiveTheCentreWithAWarning) {
  struct Case {
    const char* what;
    uint16_t version;
    std::vector<uint8_t> payload;
    const char* said;
  };
  const std::vector<Case> cases = {
      {"empty", 1, {}, "0 bytes"},
      {"two bytes", 1, {2, 0}, "2 bytes"},
      {"unknown mode", 1, {3}, "mode 3"},
      {"newer", 2, {2}, "newer format"},
  };
  for (const Case& c : cases) {
    const ProjectExtras extras =
        ReadProjectExtras(AreaOf({ExtensionBlock{kCropTag, c.version, c.payload}}), kPath);
    EXPECT_EQ(extras.CropMode, CropBy::Centre) << c.what;
    ASSERT_EQ(extras.Warnings.size(), 1u) << c.what;
    EXPECT_NE(extras.Warnings[0].find(kPath), std::string::npos) << c.what;
    EXPECT_NE(extras.Warnings[0].find(c.said), std::string::npos) << extras.Warnings[0];
  }
}

}  // namespace
}  // namespace velmora
