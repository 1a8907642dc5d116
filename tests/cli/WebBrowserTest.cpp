// The exported web mosaic in a real browser: headless Chromium opens the page
// from disk, a screenshot shows the mosaic, and pointer moves over known
// cells (through the viewer's own pointer events, triggered by the page's
// probe parameter) show those cells' file names and positions, in all three
// layouts and for a file name full of characters a page could trip on.
// Skipped where Chromium is not installed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "engine/Engine.h"
#include "imaging/PictureReader.h"
#include "imaging/formats/BmpCodec.h"
#include "output/WebMosaic.h"
#include "project/ProjectFile.h"
#include "project/UsageStats.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using velmora::testing::ReadWholeFile;

constexpr const char* kHostileName = "it's \"odd\" <script>alert(1)<b> & co.bmp";  // no "/" in a file name
constexpr TColor32 kHostileColor = Color32(250, 30, 200);

std::string FindChromium() {
  for (const char* name : {"chromium", "chromium-browser"}) {
    const std::string probe = std::string("command -v ") + name + " >/dev/null 2>&1";
    if (std::system(probe.c_str()) == 0) return name;
  }
  return {};
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// Text of an element as --dump-dom serialises it, with its entities undone.
std::string Unescape(std::string s) {
  for (auto [from, to] :
       {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&nbsp;", " "}, {"&amp;", "&"}})
    for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += std::string(to).size())
      s.replace(at, std::string(from).size(), to);
  return s;
}

class WebInBrowser : public ::testing::Test {
protected:
  void SetUp() override {
    chromium_ = FindChromium();
    if (chromium_.empty()) GTEST_SKIP() << "chromium is not installed";
    // A library of flat colours, one of them with a hostile name; the main
    // picture's left part has that picture's colour, so cells there show it.
    fs::create_directories(dir_ / "lib");
    for (int i = 0; i < 8; ++i) {
      TBitmap32 b(20, 16);
      b.Fill(Color32(uint8_t(i * 30), uint8_t(200 - i * 20), uint8_t(60 + i * 10)));
      ASSERT_TRUE(WriteBmpFile(b, (dir_ / "lib" / ("p" + std::to_string(10 + i) + ".bmp")).string()).ok());
    }
    TBitmap32 odd(20, 16);
    odd.Fill(kHostileColor);
    ASSERT_TRUE(WriteBmpFile(odd, (dir_ / "lib" / kHostileName).string()).ok());
    TBitmap32 main(90, 60);
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 90; ++x)
        main.Pixel(x, y) = x < 20 ? kHostileColor : Color32(uint8_t(x * 2), uint8_t(y * 4), 90);
    ASSERT_TRUE(WriteBmpFile(main, (dir_ / "main.bmp").string()).ok());
  }

  int Run(const std::string& command) {
    const int raw = std::system((command + " >>" + Quoted(dir_ / "log.txt") + " 2>&1").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  // Creates a project in `stitch` and exports it to web-STITCH; the project
  // is read back into `engine`.
  void Export(const std::string& stitch, Engine& engine) {
    const std::string project = dir_ / (stitch + ".vm6");
    ASSERT_EQ(
        Run(std::string(VELMORA_CLI) + " create --quiet --main " + Quoted(dir_ / "main.bmp") + " --library " +
            Quoted(dir_ / "lib") + " --cells 10x8 --cell-size 12x10 --seed 42 --stitch " + stitch +
            " --out " + Quoted(dir_ / (stitch + ".bmp")) + " --project " + Quoted(project)),
        0)
        << ReadWholeFile(dir_ / "log.txt");
    ASSERT_EQ(Run(std::string(VELMORA_CLI) + " web --quiet " + Quoted(project) + " --out " +
                  Quoted(dir_ / ("web-" + stitch))),
              0)
        << ReadWholeFile(dir_ / "log.txt");
    ASSERT_TRUE(LoadProjectFile(engine, project).ok());
  }

  std::string Page(const std::string& stitch, const std::string& query) const {
    return "file://" + (dir_ / ("web-" + stitch) / "index.html").string() + "?" + query;
  }

  // Chromium's flags for a page from disk, in a profile of the test's own.
  std::string Browser(const std::string& what) const {
    return "timeout 90 " + chromium_ +
           " --headless --no-sandbox --disable-gpu --hide-scrollbars --no-first-run" +
           " --user-data-dir=" + Quoted(dir_ / "profile") +
           " --window-size=800,600 --virtual-time-budget=8000 " + what;
  }

  // The page's title after it has opened with `query`.
  std::string Title(const std::string& stitch, const std::string& query) {
    const std::string dom = dir_ / "dom.html";
    std::system((Browser("--dump-dom " + Quoted(Page(stitch, query))) + " >" + Quoted(dom) + " 2>>" +
                 Quoted(dir_ / "log.txt"))
                    .c_str());
    std::smatch m;
    const std::string text = ReadWholeFile(dom);
    if (!std::regex_search(text, m, std::regex("<title>([^<]*)</title>")))
      return "(no title) " + text.substr(0, 300);
    return Unescape(m[1].str());
  }

  // What the page should show for mosaic pixel (px, py).
  static std::string Expected(const Engine& engine, int px, int py) {
    const WebCell c = CellAtPoint(px, py, engine.Project);
    const CellMapEntry& e = engine.Map.At(c.X, c.Y);
    const std::string name = e.Assigned ? FileNamePart(engine.PicList[e.PicIndex]) : "(no photo)";
    return "probe: " + name + " @ column " + std::to_string(c.X + 1) + ", row " + std::to_string(c.Y + 1);
  }

  std::string chromium_;
  velmora::testing::ScratchFolder scratch_;
  const fs::path& dir_ = scratch_.path();
};

TEST_F(WebInBrowser, ThePageShowsTheMosaicAndNamesThePhotoUnderThePointer) {
  Engine engine;
  Export("loom", engine);
  ASSERT_FALSE(HasFailure());

  // The mosaic fills the middle of the window: its pixels are the library's
  // colours, not the page's dark background.
  const std::string shot = dir_ / "shot.png";
  Run(Browser("--screenshot=" + Quoted(shot) + " " + Quoted(Page("loom", ""))));
  const auto picture = ReadPicture(shot);
  ASSERT_TRUE(picture.ok()) << picture.message() << "\n" << ReadWholeFile(dir_ / "log.txt");
  int mosaic = 0, total = 0;
  for (int y = 200; y < 400; y += 4)
    for (int x = 300; x < 500; x += 4, ++total) {
      const TColor32 c = picture->bitmap.Pixel(x, y);
      if (std::abs(RedOf(c) - 29) + std::abs(GreenOf(c) - 29) + std::abs(BlueOf(c) - 29) > 40) ++mosaic;
    }
  EXPECT_GT(mosaic, total * 9 / 10) << mosaic << " of " << total;

  // The hostile name is shown as it is, never as markup.
  int hx = -1, hy = -1;
  for (int x = 0; x < 10 && hx < 0; ++x)
    for (int y = 0; y < 8; ++y)
      if (engine.Map.At(x, y).Assigned &&
          FileNamePart(engine.PicList[engine.Map.At(x, y).PicIndex]) == kHostileName) {
        hx = x;
        hy = y;
        break;
      }
  ASSERT_GE(hx, 0) << "no cell shows the picture with the hostile name";
  const int px = hx * 12 + 6, py = hy * 10 + 5;
  EXPECT_EQ(Title("loom", "probe=3,4;" + std::to_string(px) + "," + std::to_string(py) + ";119,79"),
            Expected(engine, 3, 4) + " | " + Expected(engine, px, py) + " | " + Expected(engine, 119, 79));
  EXPECT_NE(Expected(engine, px, py).find(kHostileName), std::string::npos);

  // The search marks every cell of one photo.
  int count = 0;
  for (int x = 0; x < 10; ++x)
    for (int y = 0; y < 8; ++y)
      count += engine.Map.At(x, y).Assigned && engine.Map.At(x, y).PicIndex == engine.Map.At(hx, hy).PicIndex;
  EXPECT_EQ(Title("loom", "find=odd"), "find: " + std::to_string(count) + (count == 1 ? " cell" : " cells"));
}

TEST_F(WebInBrowser, TheShiftedLayoutsNameTheCellUnderThePointerToo) {
  // Points in shifted cells and in the halves of the split first cell.
  const std::pair<const char*, std::vector<std::pair<int, int>>> layouts[] = {
      {"peyote", {{5, 13}, {6, 13}, {117, 15}, {60, 25}}},
      {"brick", {{14, 3}, {14, 6}, {15, 77}, {30, 40}}},
  };
  for (const auto& [stitch, points] : layouts) {
    Engine engine;
    Export(stitch, engine);
    ASSERT_FALSE(HasFailure());
    std::string query = "probe=", want;
    for (const auto& [x, y] : points) {
      query += (want.empty() ? "" : ";") + std::to_string(x) + "," + std::to_string(y);
      want += (want.empty() ? "" : " | ") + Expected(engine, x, y);
    }
    EXPECT_EQ(Title(stitch, query), want) << stitch;
  }
}

}  // namespace
}  // namespace velmora
