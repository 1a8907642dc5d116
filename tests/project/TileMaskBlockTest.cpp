// The tile shape saved after a project: read back exactly, the user's mask
// with it; a damaged, hostile or newer block gives rectangles and one
// warning naming the file.
#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>

#include "project/ProjectExtras.h"
#include "project/TileMaskBlock.h"

namespace velmora {
namespace {

constexpr const char* kPath = "/projects/shapes.vm6";

ExtensionArea AreaOf(const std::vector<ExtensionBlock>& blocks) {
  ExtensionArea area;
  EXPECT_TRUE(DecodeExtensionArea(EncodeExtensionArea(blocks), kPath, area).ok());
  return area;
}

TileMasking UsersMask() {
  TileMasking m;
  m.Shape = MaskShape::kCustom;
  m.Gap = GapFill::kMain;
  m.GapColor = 0x00123456;
  m.CropMode = 7;  // a crop choice this program does not know: kept as it is
  m.Custom.Width = 256;
  m.Custom.Height = 3;
  for (int i = 0; i < 256 * 3; ++i) m.Custom.Pixels.push_back(uint8_t(i * 7));
  return m;
}

TEST(TileMaskBlock, ShapesReadBackExactly) {
  for (TileMasking m : {UsersMask(), TileMasking{MaskShape::kHexagon, GapFill::kColor, 0x00FFEEDD, 0, {}},
                        TileMasking{MaskShape::kRectangle, GapFill::kColor, 0x00FFFFFF, 2, {}}}) {
    const ProjectExtras back =
        ReadProjectExtras(AreaOf(ProjectExtrasBlocks({}, PenLog{}, BlockMap(), m)), kPath);
    EXPECT_TRUE(back.Masks == m) << MaskShapeName(m.Shape);
    EXPECT_TRUE(back.Warnings.empty());
  }
  // Rectangles cropped around the centre: no block, the original layout.
  EXPECT_TRUE(ProjectExtrasBlocks({}, PenLog{}, BlockMap(), TileMasking()).empty());
  EXPECT_TRUE(ReadProjectExtras(AreaOf({}), kPath).Masks == TileMasking());
}

TEST(TileMaskBlock, DamagedOrHostileBlocksGiveRectangles) {
  std::vector<ExtensionBlock> good;
  AppendTileMaskBlock(UsersMask(), good);
  ASSERT_EQ(good.size(), 1u);
  // Payload: shape, gap, crop, 0, colour (4), width (2), height (2), deflated rows.
  const struct {
    const char* what;
    std::function<void(ExtensionBlock&)> change;
    const char* warning;
    uint8_t crop;
  } cases[] = {
      {"newer", [](ExtensionBlock& b) { b.version = 2; }, "newer format", 0},
      {"cut", [](ExtensionBlock& b) { b.payload.resize(11); }, "cut short", 0},
      {"shape", [](ExtensionBlock& b) { b.payload[0] = 99; }, "does not know", 7},
      {"gap", [](ExtensionBlock& b) { b.payload[1] = 5; }, "gap fill", 7},
      {"wide", [](ExtensionBlock& b) { b.payload[9] = 0x40; }, "x 3 pixels", 7},
      {"empty", [](ExtensionBlock& b) { b.payload[10] = b.payload[11] = 0; }, "256 x 0", 7},
      {"rows", [](ExtensionBlock& b) { b.payload.resize(b.payload.size() - 3); }, "does not unpack", 7},
      {"short", [](ExtensionBlock& b) { b.payload[10] = 2; }, "does not unpack", 7},
      {"garbage", [](ExtensionBlock& b) { std::fill(b.payload.begin() + 12, b.payload.end(), 0xAB); },
       "does not unpack", 7},
      {"named with mask", [](ExtensionBlock& b) { b.payload[0] = uint8_t(MaskShape::kCircle); },
       "none belongs", 7},
  };
  for (const auto& c : cases) {
    ExtensionBlock block = good[0];
    c.change(block);
    std::string warning;
    const TileMasking m = TileMaskFromExtensions(AreaOf({block}), kPath, &warning);
    EXPECT_FALSE(m.On()) << c.what;
    EXPECT_EQ(m.CropMode, c.crop) << c.what;
    EXPECT_NE(warning.find(kPath), std::string::npos) << c.what;
    EXPECT_NE(warning.find(c.warning), std::string::npos) << c.what << ": " << warning;
  }
  // A mask that would unpack to far more than its stated size is refused
  // without unpacking past it.
  ExtensionBlock bomb = good[0];
  std::vector<uint8_t> zeros(size_t(64) << 20, 0);
  uLongf packed = compressBound(uLong(zeros.size()));
  std::vector<uint8_t> bytes(packed);
  ASSERT_EQ(compress2(bytes.data(), &packed, zeros.data(), uLong(zeros.size()), 9), Z_OK);
  bomb.payload.resize(12);
  bomb.payload.insert(bomb.payload.end(), bytes.begin(), bytes.begin() + std::ptrdiff_t(packed));
  std::string warning;
  EXPECT_FALSE(TileMaskFromExtensions(AreaOf({bomb}), kPath, &warning).On());
  EXPECT_NE(warning.find("does not unpack"), std::string::npos);
}

}  // namespace
}  // namespace velmora
