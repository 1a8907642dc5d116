#include "project/ProjectExtras.h"

#include "engine/Tables.h"
#include "project/BlockMapBlock.h"
#include "project/CropBlock.h"
#include "project/MatchingBlock.h"
#include "project/TileMaskBlock.h"

namespace velmora {
namespace {

// The largest pen block the program writes (every stroke, and a grid of
// 800 x 800 cells drawn again) must be well within the most of an area that
// is read, so no project of ours ever loses a stroke to the bound.
constexpr uint64_t kLargestPenBlockBytes =
    kExtensionHeaderBytes + 8 + 32 * uint64_t(kMaxPenStrokes) + 4 + 2 * uint64_t(kMapSide) * kMapSide;
static_assert(2 * kLargestPenBlockBytes < kMaxExtensionAreaBytes);
// So must the pen block with the largest block map beside it (two-cell
// blocks over the whole grid, six bytes each).
constexpr uint64_t kLargestBlockMapBytes = kExtensionHeaderBytes + 12 + 6 * uint64_t(kMapSide) * kMapSide / 2;
static_assert(kLargestPenBlockBytes + kLargestBlockMapBytes + 64 < kMaxExtensionAreaBytes);
// And the tile shape with the largest mask of the user's, deflated (zlib's
// bound for incompressible bytes).
constexpr uint64_t kLargestTileMaskBytes =
    kExtensionHeaderBytes + 12 + uint64_t(kMaxMaskSide) * kMaxMaskSide * 1001 / 1000 + 64;
static_assert(kLargestPenBlockBytes + kLargestBlockMapBytes + kLargestTileMaskBytes + 64 < kMaxExtensionAreaBytes);

}  // namespace

std::vector<ExtensionBlock> ProjectExtrasBlocks(const MatchOptions& matching, const PenLog& strokes,
                                                const BlockMap& blocks, const TileMasking& masks, CropBy crop) {
  std::vector<ExtensionBlock> out;
  if (strokes.Replays())
    out.push_back(ExtensionBlock{kPenStrokesTag, PenLogFormat(strokes), EncodePenLog(strokes)});
  AppendMatchingBlock(matching, out);
  AppendBlockMapBlock(blocks, out);
  AppendTileMaskBlock(masks, out);
  AppendCropBlock(crop, out);
  return out;
}

ProjectExtras ReadProjectExtras(const ExtensionArea& area, const std::string& path,
                                const tmosaicproject* project) {
  ProjectExtras extras;
  extras.Warnings = area.warnings;
  std::string warning;
  extras.Matching = MatchingFromExtensions(area, path, &warning);
  if (!warning.empty()) extras.Warnings.push_back(std::move(warning));
  warning.clear();
  extras.CropMode = CropFromExtensions(area, path, &warning);
  if (!warning.empty()) extras.Warnings.push_back(std::move(warning));
  if (project != nullptr) {
    warning.clear();
    extras.Blocks = BlockMapFromExtensions(area, project->CellsAcross, project->CellsDown, path, &warning);
    if (!warning.empty()) extras.Warnings.push_back(std::move(warning));
  }
  warning.clear();
  extras.Masks = TileMaskFromExtensions(area, path, &warning);
  if (!warning.empty()) extras.Warnings.push_back(std::move(warning));
  if (const ExtensionBlock* pens = area.Find(kPenStrokesTag)) {
    warning.clear();
    const Status read = pens->version >= 1 && pens->version <= kPenStrokesVersion
                            ? DecodePenLog(pens->payload, path, extras.Strokes, &warning)
                            : Status::Error(path + ": the pen strokes are in a newer format");
    if (!read.ok()) {
      extras.Warnings.push_back(read.message() + "; the pen strokes were left out.");
      extras.Strokes = PenLog{};
    } else if (!warning.empty()) {
      extras.Warnings.push_back(std::move(warning));
    }
  }
  return extras;
}

std::string WarningText(const std::vector<std::string>& warnings) {
  size_t bytes = 0;
  for (const std::string& w : warnings) bytes += w.size() + 1;
  std::string text;
  text.reserve(bytes);
  for (const std::string& w : warnings) {
    if (!text.empty()) text += '\n';
    text += w;
  }
  return text;
}

}  // namespace velmora
