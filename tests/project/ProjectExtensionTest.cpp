// The extension area of a damaged or hostile project: whatever it holds, the
// blocks looked at and the warnings about them stay few, each warning names
// the file, and an area far longer than any project's is read only as far as
// the bound.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "project/ProjectFile.h"
#include "support/ExtensionAreaBytes.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using testing::BlockHeader;
using testing::DamagedBlocks;
using testing::ExtensionMagic;
using testing::GoodBlock;

constexpr const char* kPath = "/projects/hostile.vm6";

struct AreaCase {
  const char* name;
  std::function<std::string()> blocks;  // what follows the magic
  uint64_t areaBytes;                   // the area's length in the file; 0: all given
  size_t kept;
  size_t warnings;
  const char* lastWarning;
};

const AreaCase kAreas[] = {
    {"ManyDamagedBlocks", [] { return DamagedBlocks(100000); }, 0, 0, kMaxExtensionBlockWarnings + 2,
     "more than 256 blocks"},
    {"MoreBlocksThanAProjectHolds",
     [] {
       std::string b;
       for (int i = 0; i < 300; ++i) b += GoodBlock("GOOD", "x");
       return b;
     },
     0, kMaxExtensionBlocks, 1, "more than 256 blocks"},
    {"DamagedBlocksAmongGoodOnes",
     [] { return GoodBlock("FRST", "1") + DamagedBlocks(20) + GoodBlock("LAST", "2"); }, 0, 2,
     kMaxExtensionBlockWarnings + 1, "17 more damaged extension blocks"},
    {"HeaderCutShort", [] { return GoodBlock("FRST", "1") + BlockHeader("CUTS", 0, 0).substr(0, 5); }, 0, 1,
     1, "damaged at byte 25"},
    {"LengthOfAllOnes", [] { return GoodBlock("FRST", "1") + BlockHeader("HUGE", 0xFFFFFFFF, 0) + "abc"; }, 0,
     1, 1, "\"HUGE\" is cut off (4294967295 bytes announced, 3 present)"},
    {"BlockRunningPastTheBound",
     [] {
       return GoodBlock("FRST", "1") + BlockHeader("BIGB", 5 << 20, 0) + std::string(size_t(5) << 20, '\0');
     },
     0, 1, 1, "more than the 4194304 a project holds"},
    {"AreaReadOnlyUpToTheBound", [] { return GoodBlock("FRST", "1"); }, uint64_t(1) << 30, 1, 1,
     "has 1073741824 bytes, more than the 4194304"},
};

void PrintTo(const AreaCase& c, std::ostream* os) { *os << c.name; }

class ExtensionAreaBounds : public ::testing::TestWithParam<AreaCase> {};

TEST_P(ExtensionAreaBounds, KeepsTheGoodBlocksAndAFewWarningsNamingTheFile) {
  const AreaCase& c = GetParam();
  const std::string bytes = ExtensionMagic() + c.blocks();
  ExtensionArea area;
  ASSERT_TRUE(DecodeExtensionArea({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, kPath, area,
                                  c.areaBytes)
                  .ok());
  EXPECT_EQ(area.blocks.size(), c.kept);
  ASSERT_EQ(area.warnings.size(), c.warnings) << (area.warnings.empty() ? "" : area.warnings.back());
  for (const std::string& w : area.warnings) EXPECT_EQ(w.rfind(kPath, 0), 0u) << w;
  EXPECT_NE(area.warnings.back().find(c.lastWarning), std::string::npos) << area.warnings.back();
}

INSTANTIATE_TEST_SUITE_P(ProjectExtension, ExtensionAreaBounds, ::testing::ValuesIn(kAreas),
                         [](const ::testing::TestParamInfo<AreaCase>& info) {
                           return std::string(info.param.name);
                         });

// A project followed by an area of 2 GB, almost all of it a hole in the
// file: it opens with its blocks before the bound and one warning.
TEST(ProjectExtension, AProjectWithAnAreaOfGigabytesOpensReadingOnlyTheBound) {
  testing::ScratchFolder dir;
  const std::string path = dir / "huge.vm6";
  Engine engine;
  engine.Project = DefaultProject();
  const std::vector<ExtensionBlock> blocks = {{"KEEP", 1, {7, 8, 9}}};
  ASSERT_TRUE(SaveProjectFile(engine, path, blocks).ok());
  const std::string tail = BlockHeader("BIGB", 0x7FFFFFF0, 0);
  {
    std::FILE* f = std::fopen(path.c_str(), "ab");
    ASSERT_NE(f, nullptr);
    std::fwrite(tail.data(), 1, tail.size(), f);
    std::fclose(f);
  }
  const uint64_t size = std::filesystem::file_size(path) + 0x7FFFFFF0;
  ASSERT_EQ(::truncate(path.c_str(), off_t(size)), 0);

  ExtensionArea area;
  const Status loaded = LoadProjectFile(engine, path, &area);
  ASSERT_TRUE(loaded.ok()) << loaded.message();
  ASSERT_EQ(area.blocks.size(), 1u);
  EXPECT_EQ(area.blocks[0].payload, (std::vector<uint8_t>{7, 8, 9}));
  ASSERT_EQ(area.warnings.size(), 1u);
  EXPECT_NE(area.warnings[0].find(path + ": the extension area has"), std::string::npos) << area.warnings[0];
}

}  // namespace
}  // namespace velmora
