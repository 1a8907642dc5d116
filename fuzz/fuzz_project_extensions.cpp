// libFuzzer target for the blocks after a project's tables. They start
// about 14.6 MB into a project file, past what the project targets feed, so
// here the input is the extension area itself. Each block is read as the
// matching block and as a pen-stroke log whatever its tag, so both readers
// see every payload; whatever is read must write out and read back the same.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/PenLog.h"
#include "project/MatchingBlock.h"
#include "project/ProjectExtension.h"

namespace {

const std::string kPath = "fuzz.vm6";

velmora::ExtensionArea ReadBack(const std::vector<velmora::ExtensionBlock>& blocks) {
  velmora::ExtensionArea back;
  if (!velmora::DecodeExtensionArea(velmora::EncodeExtensionArea(blocks), kPath, back).ok() ||
      !back.warnings.empty())
    __builtin_trap();
  return back;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmora;
  ExtensionArea area;
  if (!DecodeExtensionArea(std::span<const uint8_t>(data, size), kPath, area).ok()) return 0;

  const ExtensionArea back = ReadBack(area.blocks);
  if (back.blocks.size() != area.blocks.size()) __builtin_trap();
  for (size_t i = 0; i < area.blocks.size(); ++i) {
    const ExtensionBlock& a = area.blocks[i];
    const ExtensionBlock& b = back.blocks[i];
    if (a.tag != b.tag || a.version != b.version || a.payload != b.payload) __builtin_trap();
  }

  std::string warning;
  const MatchOptions matching = MatchingFromExtensions(area, kPath, &warning);
  std::vector<ExtensionBlock> written;
  AppendMatchingBlock(matching, written);
  std::string again;
  if (MatchingFromExtensions(ReadBack(written), kPath, &again) != matching || !again.empty()) __builtin_trap();

  for (const ExtensionBlock& block : area.blocks) {
    PenLog log;
    if (!DecodePenLog(block.payload, kPath, log).ok()) continue;
    PenLog reread;
    if (!DecodePenLog(EncodePenLog(log), kPath, reread).ok() || !(reread == log)) __builtin_trap();
  }
  return 0;
}
