#include "project/ProjectExtras.h"

#include "project/MatchingBlock.h"

namespace velmora {
namespace {

// The largest pen block the program writes must be far from the most of an
// area that is read, so no project of ours ever loses a stroke to the bound.
constexpr uint64_t kLargestPenBlockBytes = kExtensionHeaderBytes + 8 + 32 * uint64_t(kMaxPenStrokes);
static_assert(4 * kLargestPenBlockBytes < kMaxExtensionAreaBytes);

}  // namespace

std::vector<ExtensionBlock> ProjectExtrasBlocks(const MatchOptions& matching, const PenLog& strokes) {
  std::vector<ExtensionBlock> blocks;
  if (!strokes.Strokes.empty())
    blocks.push_back(ExtensionBlock{kPenStrokesTag, kPenStrokesVersion, EncodePenLog(strokes)});
  AppendMatchingBlock(matching, blocks);
  return blocks;
}

ProjectExtras ReadProjectExtras(const ExtensionArea& area, const std::string& path) {
  ProjectExtras extras;
  extras.Warnings = area.warnings;
  std::string warning;
  extras.Matching = MatchingFromExtensions(area, path, &warning);
  if (!warning.empty()) extras.Warnings.push_back(std::move(warning));
  if (const ExtensionBlock* pens = area.Find(kPenStrokesTag)) {
    warning.clear();
    const Status read = pens->version == kPenStrokesVersion
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
