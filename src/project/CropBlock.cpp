#include "project/CropBlock.h"

namespace velmora {

void AppendCropBlock(CropBy mode, std::vector<ExtensionBlock>& out) {
  if (mode == CropBy::Centre) return;
  out.push_back(ExtensionBlock{kCropTag, kCropVersion, {static_cast<uint8_t>(mode)}});
}

CropBy CropFromExtensions(const ExtensionArea& area, const std::string& path, std::string* warning) {
  const ExtensionBlock* block = area.Find(kCropTag);
  if (block == nullptr) return CropBy::Centre;
  auto centre = [&](const std::string& problem) {
    if (warning)
      *warning = path + ": where photos are cropped " + problem + "; they are cropped in the middle.";
    return CropBy::Centre;
  };
  if (block->version != kCropVersion) return centre("is in a newer format");
  if (block->payload.size() != 1)
    return centre(Format("is damaged (%zu bytes, not 1)", block->payload.size()));
  const uint8_t mode = block->payload[0];
  if (mode >= kCropByCount) return centre(Format("is damaged (mode %u)", unsigned(mode)));
  return static_cast<CropBy>(mode);
}

}  // namespace velmora
