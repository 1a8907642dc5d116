// The blocks the program writes after a project, read back: the matching
// choices and pen strokes survive, and every block that is damaged, newer
// or too large gives what a project without it has, with a warning naming
// the file, after the area's own warnings.
#include <gtest/gtest.h>

#include <functional>

#include "project/MatchingBlock.h"
#include "project/ProjectExtras.h"

namespace velmora {
namespace {

constexpr const char* kPath = "/projects/p.vm6";

const PenLog kStrokes{true, {{1, 2, 30, 40, 0, 51, 205, 3}, {5, 6, 7, 8, -1, 255, 1, 9}}};

ExtensionArea AreaOf(const std::vector<ExtensionBlock>& blocks) {
  const std::vector<uint8_t> bytes = EncodeExtensionArea(blocks);
  ExtensionArea area;
  EXPECT_TRUE(DecodeExtensionArea(bytes, kPath, area).ok());
  return area;
}

TEST(ProjectExtras, SavedChoicesAndStrokesReadBackWithoutWarnings) {
  const ProjectExtras back = ReadProjectExtras(AreaOf(ProjectExtrasBlocks({true, false}, kStrokes)), kPath);
  EXPECT_EQ(back.Matching, (MatchOptions{true, false}));
  EXPECT_EQ(back.Strokes, kStrokes);
  EXPECT_TRUE(back.Warnings.empty());
  // Nothing to keep: no blocks, so the project is the original layout.
  EXPECT_TRUE(ProjectExtrasBlocks({}, PenLog{false, {}}).empty());
  // The pen's canvas with nothing painted on it yet is a picture to keep.
  EXPECT_EQ(ReadProjectExtras(AreaOf(ProjectExtrasBlocks({}, PenLog{true, {}})), kPath).Strokes,
            PenLog(true, {}));
}

TEST(ProjectExtras, WhatIsLeftOutIsToldAfterTheAreasOwnWarnings) {
  PenLog many{false, std::vector<PenStrokeEntry>(kMaxPenStrokes + 1, kStrokes.Strokes[0])};
  const struct {
    const char* what;
    std::function<void(ExtensionArea&)> change;
    size_t strokes;
    bool detail;
    std::vector<const char*> warnings;  // in order, each after the file's name
  } cases[] = {
      {"a damaged block before",
       [](ExtensionArea& a) { a.warnings.push_back(std::string(kPath) + ": the extension block \"JUNK\""); },
       2,
       true,
       {"the extension block \"JUNK\""}},
      {"damaged matching choices",
       [](ExtensionArea& a) { a.blocks[1].payload[0] = 0x80; },
       2,
       false,
       {"the matching choices are damaged"}},
      {"newer strokes",
       [](ExtensionArea& a) { a.blocks[0].version = 3; },
       0,
       true,
       {"the pen strokes are in a newer format; the pen strokes were left out."}},
      {"strokes cut short and newer matching",
       [](ExtensionArea& a) {
         a.blocks[0].payload.pop_back();
         a.blocks[1].version = 9;
       },
       0,
       false,
       {"the matching choices are in a newer format", "the pen strokes do not match their count"}},
      {"more strokes than a mosaic keeps",
       [&](ExtensionArea& a) { a.blocks[0].payload = EncodePenLog(many); },
       kMaxPenStrokes,
       true,
       {"the project holds 20001 pen strokes"}},
  };
  for (const auto& c : cases) {
    ExtensionArea area = AreaOf(ProjectExtrasBlocks({true, false}, kStrokes));
    ASSERT_EQ(area.blocks.size(), 2u);
    c.change(area);
    const ProjectExtras back = ReadProjectExtras(area, kPath);
    EXPECT_EQ(back.Strokes.Strokes.size(), c.strokes) << c.what;
    EXPECT_EQ(back.Matching.Detail, c.detail) << c.what;
    ASSERT_EQ(back.Warnings.size(), c.warnings.size()) << c.what;
    for (size_t i = 0; i < c.warnings.size(); ++i)
      EXPECT_EQ(back.Warnings[i].rfind(std::string(kPath) + ": " + c.warnings[i], 0), 0u)
          << c.what << ": " << back.Warnings[i];
  }
}

}  // namespace
}  // namespace velmora
