// The block map saved after a project: read back exactly for the project's
// grid, and every damaged, hostile or newer block gives the plain grid with
// one warning naming the file.
#include <gtest/gtest.h>

#include <functional>

#include "project/BlockMapBlock.h"
#include "project/ProjectExtras.h"

namespace velmora {
namespace {

constexpr const char* kPath = "/projects/tiles.vm6";

BlockMap SampleBlocks() {
  BlockMap map(12, 8);
  for (const TileBlock& b : {TileBlock{0, 0, 4, 4}, TileBlock{4, 0, 2, 2}, TileBlock{10, 6, 2, 2}})
    EXPECT_TRUE(map.Add(b).ok());
  return map;
}

tmosaicproject GridOf(int cols, int rows) {
  tmosaicproject p = DefaultProject();
  p.CellsAcross = cols;
  p.CellsDown = rows;
  return p;
}

ExtensionArea AreaOf(const std::vector<ExtensionBlock>& blocks) {
  ExtensionArea area;
  EXPECT_TRUE(DecodeExtensionArea(EncodeExtensionArea(blocks), kPath, area).ok());
  return area;
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = uint8_t(v >> (8 * i));
}

TEST(BlockMapBlock, SavedBlocksReadBackForTheProjectsGrid) {
  const tmosaicproject grid = GridOf(12, 8);
  const ProjectExtras back =
      ReadProjectExtras(AreaOf(ProjectExtrasBlocks({true, false}, PenLog{}, SampleBlocks())), kPath, &grid);
  EXPECT_EQ(back.Blocks, SampleBlocks());
  EXPECT_TRUE(back.Matching.Detail);
  EXPECT_TRUE(back.Warnings.empty());
  // No blocks, no block: the project keeps the original layout.
  EXPECT_TRUE(ProjectExtrasBlocks({}, PenLog{}, BlockMap(12, 8)).empty());
  // Without the grid the block is not read.
  EXPECT_TRUE(ReadProjectExtras(AreaOf(ProjectExtrasBlocks({}, PenLog{}, SampleBlocks())), kPath).Blocks.Empty());
}

TEST(BlockMapBlock, DamagedOrHostileBlocksGiveThePlainGrid) {
  // Payload: cols, rows, count, then 6 bytes a block from byte 12.
  const struct {
    const char* what;
    std::function<void(ExtensionBlock&)> change;
    int cols, rows;
    const char* warning;
  } cases[] = {
      {"cut short", [](ExtensionBlock& b) { b.payload.resize(8); }, 12, 8, "are damaged (cut short)"},
      {"last block cut", [](ExtensionBlock& b) { b.payload.pop_back(); }, 12, 8, "are damaged (3 blocks"},
      {"bytes to spare", [](ExtensionBlock& b) { b.payload.push_back(0); }, 12, 8, "are damaged (3 blocks"},
      {"a huge count", [](ExtensionBlock& b) { PutU32(b.payload, 8, 0xFFFFFFFFu); }, 12, 8, "are damaged (4294967295"},
      {"more blocks than the grid holds", [](ExtensionBlock& b) { PutU32(b.payload, 8, 49); }, 12, 8,
       "are damaged (49 blocks"},
      {"another grid", [](ExtensionBlock&) {}, 12, 9, "are for a grid of 12 x 8 cells"},
      {"a huge grid", [](ExtensionBlock& b) { PutU32(b.payload, 0, 100000); }, 100000, 8, "are for a grid"},
      {"overlapping", [](ExtensionBlock& b) { b.payload[12 + 6] = 3; }, 12, 8, "are damaged: a block at cell 3, 0"},
      {"outside the grid", [](ExtensionBlock& b) { b.payload[12 + 12] = 11; }, 12, 8,
       "are damaged: a block at cell 11, 6"},
      {"too large", [](ExtensionBlock& b) { b.payload[12 + 4] = 200; }, 12, 8, "are damaged: a block of 200 x 4"},
      {"a single cell", [](ExtensionBlock& b) { b.payload[12 + 10] = b.payload[12 + 11] = 1; }, 12, 8,
       "are damaged: a block of 1 x 1"},
      {"newer", [](ExtensionBlock& b) { b.version = 2; }, 12, 8, "are in a newer format"},
  };
  for (const auto& c : cases) {
    std::vector<ExtensionBlock> blocks;
    AppendBlockMapBlock(SampleBlocks(), blocks);
    ASSERT_EQ(blocks.size(), 1u);
    c.change(blocks[0]);
    std::string warning;
    const BlockMap back = BlockMapFromExtensions(AreaOf(blocks), c.cols, c.rows, kPath, &warning);
    EXPECT_TRUE(back.Empty()) << c.what;
    EXPECT_EQ(warning.rfind(std::string(kPath) + ": the tile sizes " + c.warning, 0), 0u) << c.what << ": " << warning;
    EXPECT_NE(warning.find("opens as a plain grid"), std::string::npos) << c.what;
  }
}

}  // namespace
}  // namespace velmora
