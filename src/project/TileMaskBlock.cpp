#include "project/TileMaskBlock.h"

#include <zlib.h>

#include <cstddef>

namespace velmora {
namespace {

// Payload: shape, gap fill, crop byte, 0 (one byte each), the gap colour
// (uint32, 0x00BBGGRR), the mask's width and height (uint16 each, 0 without
// a mask of the user's), then its rows deflated with zlib; little-endian.
constexpr size_t kHeadBytes = 12;

uint32_t U32At(const std::vector<uint8_t>& in, size_t at) {
  return uint32_t(in[at]) | uint32_t(in[at + 1]) << 8 | uint32_t(in[at + 2]) << 16 |
         uint32_t(in[at + 3]) << 24;
}

}  // namespace

void AppendTileMaskBlock(const TileMasking& masks, std::vector<ExtensionBlock>& out) {
  if (!masks.On() && masks.CropMode == 0) return;
  const bool custom = masks.Shape == MaskShape::kCustom && !masks.Custom.Empty() &&
                      masks.Custom.Width <= kMaxMaskSide && masks.Custom.Height <= kMaxMaskSide &&
                      masks.Custom.Pixels.size() == size_t(masks.Custom.Width) * size_t(masks.Custom.Height);
  std::vector<uint8_t> payload = {
      uint8_t(custom || masks.Shape != MaskShape::kCustom ? masks.Shape : MaskShape::kRectangle),
      uint8_t(masks.Gap), masks.CropMode, 0};
  for (int i = 0; i < 4; ++i) payload.push_back(uint8_t(uint32_t(masks.GapColor) >> (8 * i)));
  const int w = custom ? masks.Custom.Width : 0;
  const int h = custom ? masks.Custom.Height : 0;
  payload.insert(payload.end(), {uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8)});
  if (custom) {
    uLongf packed = compressBound(uLong(masks.Custom.Pixels.size()));
    std::vector<uint8_t> bytes(packed);
    if (compress2(bytes.data(), &packed, masks.Custom.Pixels.data(), uLong(masks.Custom.Pixels.size()), 9) !=
        Z_OK)
      return;
    payload.insert(payload.end(), bytes.begin(), bytes.begin() + std::ptrdiff_t(packed));
  }
  out.push_back(ExtensionBlock{kTileMaskTag, kTileMaskVersion, std::move(payload)});
}

TileMasking TileMaskFromExtensions(const ExtensionArea& area, const std::string& path, std::string* warning) {
  TileMasking masks;
  const ExtensionBlock* block = area.Find(kTileMaskTag);
  if (block == nullptr) return masks;
  auto plain = [&](const std::string& problem) {
    if (warning) *warning = path + ": the tile shape " + problem + "; the tiles are drawn as rectangles.";
    TileMasking rect;
    rect.CropMode = masks.CropMode;
    return rect;
  };
  if (block->version != kTileMaskVersion) return plain("is in a newer format");
  const std::vector<uint8_t>& in = block->payload;
  if (in.size() < kHeadBytes) return plain("is damaged (cut short)");
  masks.CropMode = in[2];
  if (in[0] >= kMaskShapeCount) return plain("is one this program does not know");
  if (in[1] > uint8_t(GapFill::kMain)) return plain("has a gap fill this program does not know");
  masks.Shape = MaskShape(in[0]);
  masks.Gap = GapFill(in[1]);
  masks.GapColor = int32_t(U32At(in, 4) & 0x00FFFFFFu);
  const int w = int(in[8]) | int(in[9]) << 8;
  const int h = int(in[10]) | int(in[11]) << 8;
  if (masks.Shape != MaskShape::kCustom) {
    if (w != 0 || h != 0 || in.size() != kHeadBytes) return plain("is damaged (a mask where none belongs)");
    return masks;
  }
  if (w < 1 || h < 1 || w > kMaxMaskSide || h > kMaxMaskSide)
    return plain("is damaged (a mask of " + std::to_string(w) + " x " + std::to_string(h) + " pixels)");
  // The size is checked first, so what is unpacked is bounded by it.
  std::vector<uint8_t> pixels(size_t(w) * size_t(h));
  uLongf unpacked = uLongf(pixels.size());
  if (uncompress(pixels.data(), &unpacked, in.data() + kHeadBytes, uLong(in.size() - kHeadBytes)) != Z_OK ||
      unpacked != pixels.size())
    return plain("is damaged (its mask does not unpack)");
  masks.Custom = GreyMask{w, h, std::move(pixels)};
  return masks;
}

}  // namespace velmora
