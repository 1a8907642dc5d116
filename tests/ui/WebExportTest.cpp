// "Export Web Mosaic..." in the Project menu: enabled with a mosaic, writes
// the folder the user names, and says so; a missing viewer is an error box.
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

}  // namespace
}  // namespace velmora::testing
