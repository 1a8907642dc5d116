// The web mosaic folder as libvips and the writer leave it: the pyramid the
// arithmetic predicts, the right colours in the tiles, refusals before any
// work, and a cancelled or repeated export that keeps the earlier folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "imaging/PictureReader.h"
#include "output/WebMosaic.h"
#include "output/WebMosaicWriter.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using velmora::testing::ReadWholeFile;

class StopAtOnce : public JobListener {
public:
  bool CancelRequested() override { return true; }
};

class WebMosaicWriter : public ::testing::Test {
protected:
  // A 600 x 400 loom mosaic of 50 x 40 cells, left half one colour, right
  // half another, so that a tile tells the channels apart.
  void SetUp() override {
    tmosaicproject& p = engine_.Project;
    p.CellsAcross = 50;
    p.CellsDown = 40;
    p.CellWidth = 12;
    p.CellHeight = 10;
    p.StitchMode = kStitchLoom;
    p.FinalWidth = 600;
    p.FinalHeight = 400;
    engine_.MosaicBitmap = TBitmap32(600, 400);
    engine_.MosaicBitmap.Fill(Color32(220, 40, 10));
    engine_.MosaicBitmap.FillRect(TRect{300, 0, 600, 400}, Color32(20, 60, 230));
    for (int x = 0; x < 50; ++x)
      for (int y = 0; y < 40; ++y) {
        engine_.Map.At(x, y).PicIndex = x < 25 ? 0 : 1;
        engine_.Map.At(x, y).Assigned = true;
      }
    settings_.folder = scratch_ / "web";
    settings_.viewerFolder = VELMORA_WEB_VIEWER;
    settings_.names = {"red.jpg", "blue.jpg"};
    settings_.title = "Test mosaic";
  }

  // What lies beside the export folder, apart from it.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(scratch_.path()))
      if (e.path().filename() != "web") names.push_back(e.path().filename().string());
    return names;
  }

  Engine engine_;
  WebExportSettings settings_;
  JobListener quiet_;
  velmora::testing::ScratchFolder scratch_;
};

TEST_F(WebMosaicWriter, WritesThePyramidTheArithmeticPredictsWithThePageAndViewer) {
  const auto made = ExportWebMosaic(engine_, engine_.MosaicBitmap, settings_, quiet_);
  ASSERT_TRUE(made.ok()) << made.message();
  const fs::path web = settings_.folder;
  const auto levels = DeepZoomLevels(600, 400);
  EXPECT_EQ(made->Levels, int(levels.size()));
  EXPECT_EQ(made->Tiles, DeepZoomTileCount(levels));
  for (size_t l = 0; l < levels.size(); ++l) {
    const fs::path level = web / "mosaic_files" / std::to_string(l);
    ASSERT_TRUE(fs::is_directory(level)) << level;
    const auto files = std::distance(fs::directory_iterator(level), fs::directory_iterator());
    EXPECT_EQ(files, levels[l].Columns * levels[l].Rows) << "level " << l;
    EXPECT_TRUE(fs::exists(
        level / (std::to_string(levels[l].Columns - 1) + "_" + std::to_string(levels[l].Rows - 1) + ".jpg")));
  }
  EXPECT_FALSE(fs::exists(web / "mosaic_files" / std::to_string(levels.size())));
  const std::string dzi = ReadWholeFile(web / "mosaic.dzi");
  EXPECT_NE(dzi.find("Width=\"600\""), std::string::npos) << dzi;
  EXPECT_NE(dzi.find("TileSize=\"254\""), std::string::npos) << dzi;
  for (const char* f : {"index.html", "mosaic-cells.js", "openseadragon/openseadragon.min.js",
                        "openseadragon/LICENSE.txt", "openseadragon/images/home_rest.png"})
    EXPECT_TRUE(fs::is_regular_file(web / f)) << f;
  EXPECT_NE(ReadWholeFile(web / "mosaic-cells.js").find("\"red.jpg\""), std::string::npos);

  // The tiles hold red, green, blue in that order: the left half stays red.
  const auto tile =
      ReadPicture((web / "mosaic_files" / std::to_string(levels.size() - 1) / "0_0.jpg").string());
  ASSERT_TRUE(tile.ok()) << tile.message();
  const TColor32 left = tile->bitmap.Pixel(100, 100);
  EXPECT_NEAR(RedOf(left), 220, 8);
  EXPECT_NEAR(GreenOf(left), 40, 8);
  EXPECT_NEAR(BlueOf(left), 10, 8);
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(WebMosaicWriter, BandsGoThroughATemporaryFileThatDoesNotStay) {
  int bands = 0;
  const auto made = ExportWebMosaicInBands(
      engine_,
      [&](int bandRows, const Engine::BandSink& sink) {
        TBitmap32 band(600, bandRows);
        for (int top = 0; top < 400; top += bandRows, ++bands) {
          const int rows = std::min(bandRows, 400 - top);
          for (int r = 0; r < rows; ++r)
            std::copy_n(engine_.MosaicBitmap.ScanLine(top + r), 600, band.ScanLine(r));
          VELMORA_TRY(sink(band, rows));
        }
        return Status::Ok();
      },
      settings_, quiet_);
  ASSERT_TRUE(made.ok()) << made.message();
  EXPECT_GE(bands, 1);
  for (const auto& e : fs::recursive_directory_iterator(settings_.folder))
    EXPECT_EQ(e.path().string().find(".tif"), std::string::npos) << e.path();
  const auto tile = ReadPicture(settings_.folder + "/mosaic_files/9/1_0.jpg");
  ASSERT_TRUE(tile.ok()) << tile.message();
  EXPECT_NEAR(BlueOf(tile->bitmap.Pixel(tile->bitmap.Width() - 5, 20)), 230, 8);
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(WebMosaicWriter, RefusesBeforeAnyWork) {
  WebExportSettings noViewer = settings_;
  noViewer.viewerFolder = scratch_ / "nothing";
  auto made = ExportWebMosaic(engine_, engine_.MosaicBitmap, noViewer, quiet_);
  ASSERT_FALSE(made.ok());
  EXPECT_NE(made.message().find("OpenSeadragon"), std::string::npos) << made.message();
  EXPECT_NE(made.message().find("install-deps.sh"), std::string::npos) << made.message();
  EXPECT_FALSE(fs::exists(settings_.folder));

  fs::create_directories(settings_.folder);
  velmora::testing::WriteWholeFile(fs::path(settings_.folder) / "thesis.txt", "mine");
  made = ExportWebMosaic(engine_, engine_.MosaicBitmap, settings_, quiet_);
  ASSERT_FALSE(made.ok());
  EXPECT_NE(made.message().find("holds files other than the web mosaic's own (thesis.txt)"),
            std::string::npos)
      << made.message();
  EXPECT_EQ(ReadWholeFile(fs::path(settings_.folder) / "thesis.txt"), "mine");
  fs::remove_all(settings_.folder);

  velmora::testing::WriteWholeFile(settings_.folder, "a file");
  EXPECT_FALSE(ExportWebMosaic(engine_, engine_.MosaicBitmap, settings_, quiet_).ok());
  fs::remove(settings_.folder);

  TBitmap32 other(10, 10);  // a picture opened for viewing, not the mosaic
  EXPECT_FALSE(ExportWebMosaic(engine_, other, settings_, quiet_).ok());
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(WebMosaicWriter, ACancelledExportKeepsTheEarlierOneAndANewOneReplacesIt) {
  ASSERT_TRUE(ExportWebMosaic(engine_, engine_.MosaicBitmap, settings_, quiet_).ok());
  const fs::path cells = fs::path(settings_.folder) / "mosaic-cells.js";
  const std::string before = ReadWholeFile(cells);

  settings_.title = "Second";
  StopAtOnce stop;
  const auto cancelled = ExportWebMosaic(engine_, engine_.MosaicBitmap, settings_, stop);
  ASSERT_FALSE(cancelled.ok());
  EXPECT_EQ(cancelled.message(), kJobCancelled);
  EXPECT_EQ(ReadWholeFile(cells), before);
  EXPECT_TRUE(Leftovers().empty());

  // What a killed export left (no process has these numbers) goes too.
  fs::create_directories(scratch_.path() / "web.web-999999999" / "mosaic_files");
  fs::create_directories(scratch_.path() / "web.old-999999998");
  ASSERT_TRUE(ExportWebMosaic(engine_, engine_.MosaicBitmap, settings_, quiet_).ok());
  EXPECT_NE(ReadWholeFile(cells).find("\"Second\""), std::string::npos);
  EXPECT_TRUE(Leftovers().empty());
}

// Every file under `folder` (links as links) with its bytes.
std::map<std::string, std::string> Contents(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
    const std::string rel = it->path().lexically_relative(folder).generic_string();
    if (it->is_symlink())
      files[rel] = "-> " + fs::read_symlink(it->path()).string();
    else if (it->is_regular_file())
      files[rel] = ReadWholeFile(it->path());
    else if (fs::is_empty(it->path()))
      files[rel + "/"] = "";
  }
  return files;
}

// An export into a folder that holds an earlier one replaces exactly the
// files that export listed; the user's files are never removed or
// overwritten, and a folder holding any is used only when the user says so.
TEST_F(WebMosaicWriter, ARepeatedExportReplacesOnlyTheFilesTheEarlierOneWrote) {
  const fs::path web = settings_.folder, outside = scratch_.path() / "outside";
  auto add = [&](const std::string& rel) {
    fs::create_directories((web / rel).parent_path());
    velmora::testing::WriteWholeFile(web / rel, "the user's " + rel);
  };
  auto list = [&](const std::string& rel) {
    velmora::testing::WriteWholeFile(web / kWebManifestName,
                                     ReadWholeFile(web / kWebManifestName) + rel + "\r\n");
  };
  auto oldLevel = [&] {
    add("mosaic_files/99/0_0.jpg");
    list("mosaic_files/99/0_0.jpg");
  };
  auto unlisted = [&] { fs::remove(web / kWebManifestName); };
  struct Case {
    const char* name;
    std::function<void()> arrange;  // after a first export into `web`
    bool replace = false, ok = false, mayReplace = false;
    std::vector<std::string> kept = {};  // the user's files
    std::vector<std::string> gone = {};  // the earlier export's, not written again
  };
  const Case cases[] = {
      {.name = "OnlyItsOwnFiles", .arrange = oldLevel, .ok = true, .gone = {"mosaic_files/99"}},
      {.name = "UserFilesBeside",
       .arrange = [&] { add("notes.txt"), add("photos/beach.jpg"); },
       .mayReplace = true,
       .kept = {"notes.txt", "photos/beach.jpg"}},
      {.name = "UserFilesBesideReplaced",
       .arrange = [&] { add("notes.txt"), add("photos/beach.jpg"), oldLevel(); },
       .replace = true,
       .ok = true,
       .kept = {"notes.txt", "photos/beach.jpg"},
       .gone = {"mosaic_files/99"}},
      {.name = "ExportThatDoesNotList", .arrange = unlisted, .mayReplace = true},
      {.name = "ExportThatDoesNotListReplaced",
       .arrange = [&] { unlisted(), add("notes.txt"), add("mosaic_files/99/0_0.jpg"); },
       .replace = true,
       .ok = true,
       .kept = {"notes.txt"},
       .gone = {"mosaic_files/99"}},
      {.name = "UserFileAtAnExportName",
       .arrange = [&] { fs::remove_all(web), add("index.html"); },
       .replace = true,
       .kept = {"index.html"}},
      {.name = "UserFileAmongTheTiles",
       .arrange = [&] { add("mosaic_files/mine.txt"); },
       .replace = true,
       .kept = {"mosaic_files/mine.txt"}},
      {.name = "ListLeadingOutOfTheFolder",
       .arrange =
           [&] {
             fs::create_directory_symlink(outside, web / "link");
             for (const char* rel : {"../victim.txt", "/tmp/victim.txt", "index.html/../../victim.txt",
                                     "link/inside.txt", "./index.html", "openseadragon//LICENSE.txt"})
               list(rel);
           },
       .replace = true,
       .ok = true,
       .kept = {"link"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(web);
    ASSERT_TRUE(ExportWebMosaic(engine_, engine_.MosaicBitmap, settings_, quiet_).ok());
    // Files outside the folder that a list could name.
    fs::create_directories(outside);
    velmora::testing::WriteWholeFile(outside / "inside.txt", "outside");
    velmora::testing::WriteWholeFile(scratch_.path() / "victim.txt", "outside");
    c.arrange();
    const std::map<std::string, std::string> before = Contents(web);
    const WebFolderCheck check = CheckWebFolder(settings_.folder, c.replace);
    EXPECT_EQ(check.status.ok(), c.ok) << check.status.message();
    EXPECT_EQ(check.mayReplace, c.mayReplace) << check.status.message();

    WebExportSettings again = settings_;
    again.replace = c.replace;
    again.title = "Again";
    const auto made = ExportWebMosaic(engine_, engine_.MosaicBitmap, again, quiet_);
    ASSERT_EQ(made.ok(), c.ok) << made.message();
    const std::map<std::string, std::string> after = Contents(web);
    if (!c.ok) {
      EXPECT_EQ(after, before) << "a refused export changes nothing";
    } else {
      EXPECT_NE(ReadWholeFile(web / "mosaic-cells.js").find("\"Again\""), std::string::npos);
      const std::vector<std::string> listed = ParseWebManifest(ReadWholeFile(web / kWebManifestName));
      for (const std::string& rel : listed) EXPECT_TRUE(after.count(rel)) << rel;
      for (const std::string& rel : c.kept)
        EXPECT_EQ(std::count(listed.begin(), listed.end(), rel), 0) << rel;
      for (const std::string& rel : c.gone) EXPECT_FALSE(fs::exists(web / rel)) << rel;
    }
    for (const std::string& rel : c.kept) {
      ASSERT_TRUE(after.count(rel)) << rel;
      EXPECT_EQ(after.at(rel), before.at(rel)) << rel;
    }
    EXPECT_EQ(ReadWholeFile(scratch_.path() / "victim.txt"), "outside");
    EXPECT_EQ(ReadWholeFile(outside / "inside.txt"), "outside");
    fs::remove(scratch_.path() / "victim.txt");
    fs::remove_all(outside);
    EXPECT_TRUE(Leftovers().empty());
  }
}

// A manifest is read line by line, whatever ends its lines; lines that could
// lead out of the folder or name nothing are dropped, and a file that does
// not start as a manifest lists nothing.
TEST(WebManifest, KeepsOnlyPathsInsideTheFolder) {
  const std::vector<std::string> files = {"index.html", "mosaic_files/0/0_0.jpg",
                                          "openseadragon/images/a b.png"};
  EXPECT_EQ(ParseWebManifest(WebManifestText(files)), files);
  std::string text = WebManifestText({});
  text += "a\rb\n\nc/d\r\n../e\n/f\ng/./h\ni//j\nk/..\n";
  text += std::string("l\0m\n", 4);
  EXPECT_EQ(ParseWebManifest(text), (std::vector<std::string>{"a", "b", "c/d"}));
  EXPECT_TRUE(ParseWebManifest("index.html\r\nmosaic.dzi\r\n").empty());
  EXPECT_TRUE(ParseWebManifest("").empty());
}

}  // namespace
}  // namespace velmora
