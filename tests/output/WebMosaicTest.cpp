// The web mosaic's arithmetic: pyramid levels, the cell under a point in the
// three layouts, and the cell data script with hostile file names.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/CellLayout.h"
#include "output/WebMosaic.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

TEST(WebMosaic, DeepZoomLevelsHalveRoundingUpDownToOnePixel) {
  struct Case {
    int w, h;
    size_t levels;
    DeepZoomLevel top, below;
  };
  const Case cases[] = {
      {1, 1, 1, {1, 1, 1, 1}, {1, 1, 1, 1}},
      {2, 1, 2, {2, 1, 1, 1}, {1, 1, 1, 1}},
      {254, 254, 9, {254, 254, 1, 1}, {127, 127, 1, 1}},
      {255, 100, 9, {255, 100, 2, 1}, {128, 50, 1, 1}},
      {600, 400, 11, {600, 400, 3, 2}, {300, 200, 2, 1}},
      {25600, 3, 16, {25600, 3, 101, 1}, {12800, 2, 51, 1}},
  };
  for (const Case& c : cases) {
    const auto levels = DeepZoomLevels(c.w, c.h);
    ASSERT_EQ(levels.size(), c.levels) << c.w << "x" << c.h;
    auto same = [](const DeepZoomLevel& a, const DeepZoomLevel& b) {
      return a.Width == b.Width && a.Height == b.Height && a.Columns == b.Columns && a.Rows == b.Rows;
    };
    EXPECT_TRUE(same(levels.back(), c.top)) << c.w << "x" << c.h;
    EXPECT_TRUE(same(levels[levels.size() > 1 ? levels.size() - 2 : 0], c.below)) << c.w << "x" << c.h;
    EXPECT_EQ(levels.front().Width, 1);
    EXPECT_EQ(levels.front().Height, 1);
  }
  EXPECT_TRUE(DeepZoomLevels(0, 5).empty());
  EXPECT_EQ(DeepZoomTileCount(DeepZoomLevels(600, 400)), 6 + 2 + 9);  // 3x2, 2x1, then nine of one tile
}

tmosaicproject Grid(int stitch, int cols, int rows, int cw, int ch, int border) {
  tmosaicproject p = DefaultProject();
  p.StitchMode = stitch;
  p.CellsAcross = cols;
  p.CellsDown = rows;
  p.CellWidth = cw;
  p.CellHeight = ch;
  p.BorderSize = border;
  p.FinalWidth = cols * cw;
  p.FinalHeight = rows * ch;
  return p;
}

// Every pixel a cell's picture is drawn on (by the renderer's own placement)
// maps back to that cell, in every layout, odd and even cell sizes, with and
// without a border.
TEST(WebMosaic, CellAtPointFindsTheCellTheRendererDrawsThere) {
  for (int stitch : {kStitchLoom, kStitchPeyote, kStitchBrick})
    for (auto [cw, ch, border] : {std::tuple{12, 10, 0}, std::tuple{11, 9, 2}, std::tuple{2, 3, 1}}) {
      const tmosaicproject p = Grid(stitch, 5, 4, cw, ch, border);
      int covered = 0;
      for (int x = 0; x < p.CellsAcross; ++x)
        for (int y = 0; y < p.CellsDown; ++y) {
          const CellPlacement place = PlaceCellPicture(x, y, 40, 40, p);
          for (int k = 0; k < place.Count; ++k) {
            const TRect& r = place.Pieces[size_t(k)].Target;
            for (int py = r.Top; py < r.Bottom; ++py)
              for (int px = r.Left; px < r.Right; ++px, ++covered) {
                const WebCell c = CellAtPoint(px, py, p);
                ASSERT_TRUE(c.X == x && c.Y == y)
                    << "stitch " << stitch << " cell " << cw << "x" << ch << " b" << border << ": pixel "
                    << px << "," << py << " gave " << c.X << "," << c.Y << " for " << x << "," << y;
              }
          }
        }
      EXPECT_GT(covered, 0);
    }
}

TEST(WebMosaic, CellAtPointAtTheEdgesAndInTheGaps) {
  const tmosaicproject loom = Grid(kStitchLoom, 10, 8, 12, 10, 2);
  const tmosaicproject peyote = Grid(kStitchPeyote, 10, 8, 12, 10, 0);
  const tmosaicproject brick = Grid(kStitchBrick, 10, 8, 12, 10, 0);
  struct Case {
    const tmosaicproject* p;
    int px, py, x, y;
  };
  const Case cases[] = {
      {&loom, 0, 0, 0, 0},      {&loom, 11, 9, 0, 0},  // the border gap goes with its cell
      {&loom, 119, 79, 9, 7},   {&loom, 120, 0, -1, -1},  {&loom, 0, 80, -1, -1}, {&loom, -1, 3, -1, -1},
      {&peyote, 5, 10, 0, 1},   {&peyote, 6, 10, 1, 1},    // odd row: cell 1 starts half a cell early
      {&peyote, 113, 19, 9, 1}, {&peyote, 114, 19, 0, 1},  // the far half slot: the split first cell
      {&peyote, 6, 20, 0, 2},   {&brick, 12, 4, 1, 0},    {&brick, 12, 5, 1, 1},  {&brick, 23, 75, 1, 0},
      {&brick, 0, 75, 0, 7},
  };
  for (const Case& c : cases) {
    const WebCell cell = CellAtPoint(c.px, c.py, *c.p);
    EXPECT_EQ(cell.X, c.x) << c.p->StitchMode << " at " << c.px << "," << c.py;
    EXPECT_EQ(cell.Y, c.y) << c.p->StitchMode << " at " << c.px << "," << c.py;
  }
  tmosaicproject broken = loom;
  broken.CellWidth = 0;  // a damaged project
  EXPECT_FALSE(CellAtPoint(3, 3, broken).Inside());
}

TEST(WebMosaic, ScriptStringsEscapeEverythingAPageCouldTripOn) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain.jpg", "\"plain.jpg\""},
      {"say \"cheese\".jpg", "\"say \\\"cheese\\\".jpg\""},
      {"back\\slash", "\"back\\\\slash\""},
      {"</script><script>alert(1)</script>",
       "\"\\u003c/script\\u003e\\u003cscript\\u003ealert(1)\\u003c/script\\u003e\""},
      {"a&b<!--", "\"a\\u0026b\\u003c!--\""},
      {"two\nlines\r\tx", "\"two\\nlines\\r\\tx\""},
      {std::string("nul\0bell\x07\x7f", 10), "\"nul\\u0000bell\\u0007\\u007f\""},
      {"caf\xC3\xA9 \xE2\x82\xAC.jpg", "\"caf\xC3\xA9 \xE2\x82\xAC.jpg\""},  // UTF-8 kept
      {"caf\xE9.jpg", "\"caf\\u00e9.jpg\""},                                 // Latin-1 byte
      {"cut\xE2\x82", "\"cut\\u00e2\\u0082\""},                              // truncated sequence
      {"over\xC0\xAF", "\"over\\u00c0\\u00af\""},                            // overlong form
      {"sur\xED\xA0\x80", "\"sur\\u00ed\\u00a0\\u0080\""},                   // a surrogate
      {"ls\xE2\x80\xA8ps\xE2\x80\xA9", "\"ls\\u2028ps\\u2029\""},            // script line ends
      {"\xF0\x9F\x93\xB7", "\"\xF0\x9F\x93\xB7\""},                          // four bytes
  };
  for (const auto& [in, want] : cases) EXPECT_EQ(ScriptStringLiteral(in), want);
}

TEST(WebMosaic, CellScriptListsUsedPhotosAndEachCellRowByRow) {
  tmosaicproject p = Grid(kStitchBrick, 3, 2, 8, 6, 1);
  CellMap map;
  auto set = [&](int x, int y, int k) {
    map.At(x, y).PicIndex = k;
    map.At(x, y).Assigned = true;
  };
  set(0, 0, 2);
  set(1, 0, 0);
  set(2, 0, 2);
  set(0, 1, 7);  // not a library picture (a damaged project)
  set(1, 1, 0);
  map.At(2, 1).PicIndex = 1;  // not assigned: shows nothing
  const std::vector<std::string> names = {"a.jpg", "unused.jpg", "c\"</script>.jpg"};
  const std::string js = WebCellScript(names, map, p, "My <mosaic>");
  EXPECT_NE(js.find("\"layout\": \"brick\""), std::string::npos);
  EXPECT_NE(js.find("\"columns\": 3, \"rows\": 2"), std::string::npos);
  EXPECT_NE(js.find("\"title\": \"My \\u003cmosaic\\u003e\""), std::string::npos);
  EXPECT_NE(js.find("\"names\": [\n    \"a.jpg\",\n    \"c\\\"\\u003c/script\\u003e.jpg\"\n  ]"),
            std::string::npos)
      << js;
  EXPECT_NE(js.find("\"cells\": [\n    1,0,1,\n    -1,0,-1\n  ]"), std::string::npos) << js;
  EXPECT_EQ(js.find("unused"), std::string::npos);
  EXPECT_EQ(js.find("</"), std::string::npos);
}

// The script as a browser's engine reads it: node (when installed) gives
// back every name, byte for byte as UTF-8.
TEST(WebMosaic, CellScriptParsesAndGivesTheNamesBack) {
  if (std::system("command -v node >/dev/null 2>&1") != 0) GTEST_SKIP() << "node is not installed";
  velmora::testing::ScratchFolder dir;
  tmosaicproject p = Grid(kStitchPeyote, 4, 1, 8, 8, 0);
  const std::vector<std::string> names = {"it's \"quoted\".jpg", "</script><!--.jpg", "new\nline\u2028.jpg",
                                          "back\\slash\t.jpg"};
  CellMap map;
  for (int x = 0; x < 4; ++x) {
    map.At(x, 0).PicIndex = x;
    map.At(x, 0).Assigned = true;
  }
  velmora::testing::WriteWholeFile(dir.path() / "cells.js", WebCellScript(names, map, p, "t"));
  const std::string command =
      "node -e 'const vm = require(\"vm\"); const c = {}; "
      "vm.runInNewContext(require(\"fs\").readFileSync(\"" +
      dir / "cells.js" +
      "\", \"utf8\"), c); for (const n of c.velmoraMosaic.names) "
      "console.log(Buffer.from(n).toString(\"hex\"))' > " +
      dir / "out.txt";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::string want;
  static const char kHex[] = "0123456789abcdef";
  for (const std::string& n : names) {
    for (unsigned char c : n) want += {kHex[c >> 4], kHex[c & 15]};
    want += '\n';
  }
  EXPECT_EQ(velmora::testing::ReadWholeFile(dir.path() / "out.txt"), want);
}

}  // namespace
}  // namespace velmora
