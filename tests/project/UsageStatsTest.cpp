// The usage stats texts on a known cell map: detail and simple lines with
// their exact pieces, file names or full paths, cells that do not count, an
// empty library, and the saved file's CR LF lines.
#include <gtest/gtest.h>

#include <filesystem>

#include "project/UsageStats.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using Lines = std::vector<std::string>;

// Three pictures on a 4 x 3 grid (one column beyond it and one cell out of
// the list that must not count).
struct KnownMap {
  CellPicList list;
  CellMap map;
  KnownMap() {
    list.Assign({"/lib/a.jpg", "/lib/sub/b.jpg", "/lib/c.jpg"});
    const auto show = [&](int x, int y, int k, bool assigned = true) {
      map.At(x, y).PicIndex = k;
      map.At(x, y).Assigned = assigned;
    };
    show(0, 1, 0);
    show(3, 0, 0);
    show(0, 0, 2);
    show(1, 0, 2, false);  // not assigned
    show(2, 2, 7);         // no such picture
    show(4, 0, 0);         // beyond the 4 columns
  }
};

TEST(UsageStats, TextsForAKnownMap) {
  const KnownMap m;
  struct Case {
    bool fileNamesOnly;
    bool detail;
    Lines expected;
  } cases[] = {
      {true,
       true,
       {"a.jpg POSITIONS:  x:1 y:2  ||   x:4 y:1  ||    Total used time:2",
        "c.jpg POSITIONS:  x:1 y:1  ||    Total used time:1", "total ok cell3"}},
      {false,
       true,
       {"/lib/a.jpg POSITIONS:  x:1 y:2  ||   x:4 y:1  ||    Total used time:2",
        "/lib/c.jpg POSITIONS:  x:1 y:1  ||    Total used time:1", "total ok cell3"}},
      {true, false, {"a.jpgTotal used time:2", "c.jpgTotal used time:1"}},
      {false, false, {"/lib/a.jpgTotal used time:2", "/lib/c.jpgTotal used time:1"}},
  };
  for (const Case& c : cases) {
    const auto names = UsageNames(m.list, c.fileNamesOnly);
    const Lines lines =
        c.detail ? UsageDetailLines(names, m.map, 4, 3) : UsageSimpleLines(names, m.map, 4, 3);
    EXPECT_EQ(lines, c.expected) << c.fileNamesOnly << c.detail;
  }
}

TEST(UsageStats, EmptyLibraryAndFullGrid) {
  CellMap map;
  EXPECT_EQ(UsageDetailLines({}, map, 10, 10), Lines{"total ok cell0"});
  EXPECT_TRUE(UsageSimpleLines({}, map, 10, 10).empty());
  for (int x = 0; x < 10; ++x)
    for (int y = 0; y < 10; ++y) map.At(x, y) = CellMapEntry{(x + y) % 2, 0, 0, 0, true, false, false};
  const Lines detail = UsageDetailLines({"p", "q"}, map, 10, 10);
  ASSERT_EQ(detail.size(), 3u);
  EXPECT_EQ(detail.back(), "total ok cell100");
  EXPECT_EQ(UsageSimpleLines({"p", "q"}, map, 10, 10), (Lines{"pTotal used time:50", "qTotal used time:50"}));
  // A damaged grid size reads no further than the map.
  EXPECT_EQ(UsageDetailLines({"p", "q"}, map, 5000, -3).back(), "total ok cell0");
  EXPECT_EQ(FileNamePart("name-only.bmp"), "name-only.bmp");
  EXPECT_EQ(FileNamePart("/a/b/"), "");
}

TEST(UsageStats, SavesCrLfLinesAndReportsAFailedWrite) {
  testing::ScratchFolder folder;
  const std::string path = folder / "stats.txt";
  ASSERT_TRUE(SaveUsageText({"a.jpgTotal used time:2", "total ok cell2"}, path).ok());
  EXPECT_EQ(testing::ReadWholeFile(path), "a.jpgTotal used time:2\r\ntotal ok cell2\r\n");
  EXPECT_FALSE(SaveUsageText({"x"}, folder.str() + "/missing/stats.txt").ok());
  ASSERT_TRUE(SaveUsageText({}, path).ok());
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST(UsageStats, ABlockCountsOnceAtItsFirstCell) {
  CellMap map;
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 3; ++y) {
      map.At(x, y).Assigned = true;
      map.At(x, y).PicIndex = 0;
    }
  BlockMap blocks(4, 3);
  ASSERT_TRUE(blocks.Add(TileBlock{1, 1, 2, 2}).ok());
  EXPECT_EQ(UsageSimpleLines({"p"}, map, 4, 3, &blocks), std::vector<std::string>{"pTotal used time:9"});
  const std::vector<std::string> detail = UsageDetailLines({"p"}, map, 4, 3, &blocks);
  EXPECT_EQ(detail.back(), "total ok cell9");
  EXPECT_NE(detail[0].find(" x:2 y:2  ||  "), std::string::npos);
  EXPECT_EQ(detail[0].find(" x:3 y:3  ||  "), std::string::npos);
}

}  // namespace
}  // namespace velmora
