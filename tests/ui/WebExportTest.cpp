// "Export Web Mosaic..." in the Project menu: enabled with a mosaic, writes
// the folder the user names, and says so; a missing viewer is an error box;
// a folder that also holds the user's files is used only after asking.
#include <QAction>
#include <filesystem>

#include "UiTestSupport.h"

namespace velmora::testing {
namespace {

namespace fs = std::filesystem;

class WebExportTest : public ProgramTest {
protected:
  QAction* Action() { return Find<QAction>(&Main(), "ExportWeb1"); }
};

TEST_F(WebExportTest, ExportsTheMosaicShownIntoTheFolderNamed) {
  fs::copy(VELMORA_WEB_VIEWER, folder.path() / "openseadragon", fs::copy_options::recursive);
  Start();
  EXPECT_FALSE(Action()->isEnabled());
  MakeMosaic(kStitchPeyote);
  ASSERT_TRUE(Action()->isEnabled());
  const std::string web = folder / "shared web";
  prompts.saveAnswers.push_back(QString::fromStdString(web));
  Action()->trigger();
  ASSERT_EQ(prompts.errors, 0) << prompts.messages.back().second.toStdString();
  ASSERT_FALSE(prompts.messages.empty());
  EXPECT_EQ(prompts.messages.back().first, QStringLiteral("Finish"));
  EXPECT_TRUE(prompts.messages.back().second.contains(QStringLiteral("index.html")));
  for (const char* f : {"index.html", "mosaic.dzi", "mosaic-cells.js", "openseadragon/openseadragon.min.js"})
    EXPECT_TRUE(fs::is_regular_file(fs::path(web) / f)) << f;
  const std::string cells = ReadWholeFile(fs::path(web) / "mosaic-cells.js");
  EXPECT_NE(cells.find("\"layout\": \"peyote\""), std::string::npos);
  EXPECT_NE(cells.find(fs::path(Engine().PicList[Engine().Map.At(0, 0).PicIndex]).filename().string()),
            std::string::npos);
  EXPECT_TRUE(Action()->isEnabled());  // the job has ended
}

TEST_F(WebExportTest, AMissingViewerIsAnErrorBeforeAnyDialog) {
  Start();
  MakeMosaic();
  prompts.saveAnswers.push_back(QString::fromStdString(folder / "web"));
  Action()->trigger();
  EXPECT_EQ(prompts.errors, 1);
  EXPECT_TRUE(prompts.messages.back().second.contains(QStringLiteral("OpenSeadragon")));
  EXPECT_EQ(prompts.saveAnswers.size(), 1u);  // not asked
  EXPECT_FALSE(fs::exists(folder / "web"));
}

TEST_F(WebExportTest, AFolderWithTheUsersFilesIsUsedOnlyAfterAskingAndKeepsThem) {
  fs::copy(VELMORA_WEB_VIEWER, folder.path() / "openseadragon", fs::copy_options::recursive);
  Start();
  MakeMosaic();
  const fs::path web = folder.path() / "web";
  prompts.saveAnswers.push_back(QString::fromStdString(web.string()));
  Action()->trigger();
  ASSERT_EQ(prompts.errors, 0) << prompts.messages.back().second.toStdString();
  EXPECT_TRUE(prompts.confirms.empty()) << "a new folder needs no question";

  WriteWholeFile(web / "notes.txt", "my notes");
  // Tells whether the export wrote its files again.
  WriteWholeFile(web / "mosaic-cells.js", "earlier");
  for (const bool yes : {false, true}) {
    SCOPED_TRACE(yes);
    prompts.confirmAnswer = yes;
    prompts.saveAnswers.push_back(QString::fromStdString(web.string()));
    Action()->trigger();
    ASSERT_EQ(prompts.confirms.size(), yes ? 2u : 1u);
    EXPECT_TRUE(prompts.confirms.back().contains(QStringLiteral("notes.txt")))
        << prompts.confirms.back().toStdString();
    EXPECT_EQ(ReadWholeFile(web / "notes.txt"), "my notes");
    EXPECT_EQ(ReadWholeFile(web / "mosaic-cells.js") == "earlier", !yes);
  }
  EXPECT_EQ(prompts.errors, 0);
  EXPECT_EQ(prompts.messages.back().first, QStringLiteral("Finish"));
}

}  // namespace
}  // namespace velmora::testing
