#include "project/BlockMapBlock.h"

#include "engine/Tables.h"

namespace velmora {
namespace {

// Payload: cells across, cells down, block count (uint32 each), then per
// block its first cell (uint16 x, uint16 y) and its size (uint8 width,
// uint8 height), all little-endian.
constexpr size_t kHeadBytes = 12;
constexpr size_t kBlockBytes = 6;

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void PutU16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
uint32_t U32At(const std::vector<uint8_t>& in, size_t at) {
  return uint32_t(in[at]) | uint32_t(in[at + 1]) << 8 | uint32_t(in[at + 2]) << 16 | uint32_t(in[at + 3]) << 24;
}
int U16At(const std::vector<uint8_t>& in, size_t at) { return int(in[at]) | int(in[at + 1]) << 8; }

}  // namespace

void AppendBlockMapBlock(const BlockMap& blocks, std::vector<ExtensionBlock>& out) {
  if (blocks.Empty()) return;
  std::vector<uint8_t> payload;
  payload.reserve(kHeadBytes + kBlockBytes * blocks.Blocks().size());
  PutU32(payload, uint32_t(blocks.CellsAcross()));
  PutU32(payload, uint32_t(blocks.CellsDown()));
  PutU32(payload, uint32_t(blocks.Blocks().size()));
  for (const TileBlock& b : blocks.Blocks()) {
    PutU16(payload, uint32_t(b.X));
    PutU16(payload, uint32_t(b.Y));
    payload.push_back(uint8_t(b.Width));
    payload.push_back(uint8_t(b.Height));
  }
  out.push_back(ExtensionBlock{kBlockMapTag, kBlockMapVersion, std::move(payload)});
}

BlockMap BlockMapFromExtensions(const ExtensionArea& area, int cols, int rows, const std::string& path,
                                std::string* warning) {
  const ExtensionBlock* block = area.Find(kBlockMapTag);
  if (block == nullptr) return {};
  auto plain = [&](const std::string& problem) {
    if (warning) *warning = path + ": the tile sizes " + problem + "; the mosaic opens as a plain grid.";
    return BlockMap();
  };
  if (block->version != kBlockMapVersion) return plain("are in a newer format");
  const std::vector<uint8_t>& in = block->payload;
  if (in.size() < kHeadBytes) return plain("are damaged (cut short)");
  const uint32_t storedCols = U32At(in, 0);
  const uint32_t storedRows = U32At(in, 4);
  const uint32_t count = U32At(in, 8);
  if (storedCols != uint32_t(cols) || storedRows != uint32_t(rows) || cols <= 0 || rows <= 0 || cols > kMapSide ||
      rows > kMapSide)
    return plain(Format("are for a grid of %u x %u cells, not the project's %d x %d", storedCols, storedRows, cols,
                        rows));
  // Every block takes two cells at least; the length must be exactly that of
  // the count, checked before anything is made for it.
  if (uint64_t(count) > uint64_t(cols) * uint64_t(rows) / 2 ||
      (in.size() - kHeadBytes) != uint64_t(count) * kBlockBytes)
    return plain(Format("are damaged (%u blocks in %zu bytes)", count, in.size()));
  BlockMap blocks(cols, rows);
  for (size_t i = 0; i < count; ++i) {
    const size_t at = kHeadBytes + i * kBlockBytes;
    const TileBlock b{U16At(in, at), U16At(in, at + 2), in[at + 4], in[at + 5]};
    if (Status s = blocks.Add(b); !s.ok()) return plain("are damaged: " + s.message());
  }
  return blocks;
}

}  // namespace velmora
