// The main window driven as a user drives it: start-up, a mosaic made through
// the create command, scrolling with the right button, the editing modes,
// saving the picture and the project and loading it back.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QToolButton>

#include "UiTestSupport.h"
#include "imaging/PictureOps.h"
#include "imaging/PictureReader.h"
#include "project/ProjectFile.h"
#include "support/OverLimitProject.h"
#include "ui/CellInfoWindow.h"
#include "ui/MosaicView.h"
#include "ui/OptionsDialog.h"

namespace velmora::testing {
namespace {

class MainWindowTest : public ProgramTest {
protected:
  QLabel* JobLabel() { return Find<QLabel>(&Main(), "LBJOB"); }
  QLabel* Status() { return Find<QLabel>(&Main(), "Label1"); }
  ui::MosaicView* View() { return Main().View(); }
  void Drag(Qt::MouseButton b, QPoint from, QPoint to) {
    QTest::mousePress(View(), b, Qt::NoModifier, from);
    QTest::mouseRelease(View(), b, Qt::NoModifier, to);
  }
  void SelectMode(const char* button) { Find<QToolButton>(&Main(), button)->click(); }
};

TEST_F(MainWindowTest, StartsWithTheSampleLibraryAndInfoMode) {
  Start(6);
  EXPECT_EQ(Engine().PicList.Count(), 6);
  EXPECT_TRUE(std::filesystem::exists(folder / "DefaultImgList.IL2"));
  EXPECT_EQ(JobLabel()->text(), "Current Job : None");
  EXPECT_EQ(Status()->text(), "Scale :100%");
  EXPECT_EQ(Main().EditMode(), ui::kModeInfo);
  EXPECT_EQ(View()->cursor().shape(), Qt::WhatsThisCursor);
  EXPECT_EQ(Main().windowTitle(), "Untitled - Velmora Photo Mosaic - Standard Edition 1.0");
  SelectMode("sbhand4");
  EXPECT_EQ(Main().EditMode(), ui::kModePen);
  EXPECT_EQ(View()->cursor().shape(), Qt::SizeAllCursor);
}

TEST_F(MainWindowTest, CreatesAMosaicAndScrollsWithTheRightButton) {
  Start(6);
  MakeMosaic();
  EXPECT_EQ(Engine().MosaicState, 2);
  EXPECT_EQ(JobLabel()->text(), "Current Job : None");
  EXPECT_EQ(Find<QProgressBar>(&Main(), "gauge")->value(), 0);
  // 128 x 128 pixels: all of it shows, fitted to the view.
  EXPECT_EQ(View()->PictureSize(), QSize(128, 128));
  EXPECT_TRUE(View()->FitMode());
  EXPECT_EQ(Status()->text(),
            "Scale :" + ui::ToQString(ZoomPercentText(View()->Scale())) + "% MainbmpPos x0 y0");

  // A picture larger than the view (800 x 800): drag it left and up by 40
  // and 30 pixels, then far beyond its bottom-right corner.
  MakeMosaic(kStitchLoom, 100);
  Main().ZoomActual();
  View()->ScrollTo({0, 0});
  // The picture area: the work area less its scroll bars.
  const QSize client = View()->size();
  ASSERT_LT(client.width(), 800);
  ASSERT_LT(client.height(), 800);
  EXPECT_EQ(View()->PictureSize(), client);
  Drag(Qt::RightButton, QPoint(50, 50), QPoint(10, 20));
  EXPECT_EQ(Engine().ViewOriginX, 40);
  EXPECT_EQ(Engine().ViewOriginY, 30);
  EXPECT_EQ(Status()->text(),
            QString("Scale :100% MainbmpPos x%1 y%2").arg(Engine().ViewOriginX).arg(Engine().ViewOriginY));
  const QPoint corner(client.width() - 1, client.height() - 1);
  for (int i = 0; i < 3; ++i) Drag(Qt::RightButton, corner, QPoint(0, 0));
  EXPECT_EQ(Engine().ViewOriginX, 800 - client.width());
  EXPECT_EQ(Engine().ViewOriginY, 800 - client.height());
  // Far to the right: the origin stops at 0.
  for (int i = 0; i < 3; ++i) Drag(Qt::RightButton, QPoint(0, 0), corner);
  EXPECT_EQ(Engine().ViewOriginX, 0);
  EXPECT_EQ(Engine().ViewOriginY, 0);
}

TEST_F(MainWindowTest, InfoShowsTheClickedCell) {
  Start(6);
  MakeMosaic();
  ClickView(Qt::MiddleButton, OnPicture(3 * 16 + 2, 5 * 16 + 2));
  auto* info = Session().windows.cellInfo;
  ASSERT_TRUE(info->isVisible());
  const CellMapEntry& e = Engine().Map.At(3, 5);
  const QStringList lines = Find<QPlainTextEdit>(info, "Memo1")->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 3);
  EXPECT_EQ(lines[0], "cell ok");
  EXPECT_EQ(lines[1], QString("cell file id %1").arg(e.PicIndex));
  EXPECT_EQ(lines[2], "cell filename " + ui::ToQString(Engine().PicList[e.PicIndex]));
  EXPECT_FALSE(Find<QLabel>(info, "Image1")->pixmap().isNull());
}

TEST_F(MainWindowTest, EditOneChangesTheCellsPicture) {
  Start(6);
  Engine().OptionSet.MinRepeatRadius = 1;
  MakeMosaic();
  SelectMode("sbhand2");
  const int before = Engine().Map.At(2, 2).PicIndex;
  const TColor32 pixelBefore = Engine().MosaicBitmap.Pixel(2 * 16 + 8, 2 * 16 + 8);
  ClickView(Qt::LeftButton, OnPicture(2 * 16 + 8, 2 * 16 + 8));
  const CellMapEntry& e = Engine().Map.At(2, 2);
  EXPECT_NE(e.PicIndex, before);
  EXPECT_TRUE(e.Assigned);
  EXPECT_NE(Engine().MosaicBitmap.Pixel(2 * 16 + 8, 2 * 16 + 8), pixelBefore);
  // The gauge is the jobs' alone: an edit leaves it alone.
  EXPECT_EQ(Find<QProgressBar>(&Main(), "gauge")->value(), 0);
}

TEST_F(MainWindowTest, InfoAndEditOneTakeTheWholeBlockUnderTheMouse) {
  Start(6);
  Engine().OptionSet.MinRepeatRadius = 1;
  // Calm enough for any area: the grid merges into blocks.
  Engine().Sizing = BlockSizing{true, true, 1000.0};
  MakeMosaic();
  ASSERT_FALSE(Engine().Blocks.Empty());
  const TileBlock b = Engine().Blocks.Blocks()[0];
  ASSERT_GT(b.Width, 1);
  const QPoint inside = OnPicture((b.X + 1) * 16 + 8, (b.Y + 1) * 16 + 8);

  ClickView(Qt::MiddleButton, inside);
  const QString info = Find<QPlainTextEdit>(Session().windows.cellInfo, "Memo1")->toPlainText();
  EXPECT_TRUE(info.contains(QString("block %1 x %2 cells from cell %3, %4").arg(b.Width).arg(b.Height).arg(b.X).arg(b.Y)))
      << info.toStdString();

  const CellMapEntry before = Engine().Map.At(b.X, b.Y);
  SelectMode("sbhand2");
  ClickView(Qt::LeftButton, inside);
  const int picture = Engine().Map.At(b.X, b.Y).PicIndex;
  EXPECT_NE(picture, before.PicIndex);
  for (int y = b.Y; y < b.Y + b.Height; ++y)
    for (int x = b.X; x < b.X + b.Width; ++x) EXPECT_EQ(Engine().Map.At(x, y).PicIndex, picture) << x << "," << y;
  Find<QAction>(&Main(), "Undo1")->trigger();
  for (int y = b.Y; y < b.Y + b.Height; ++y)
    for (int x = b.X; x < b.X + b.Width; ++x) EXPECT_EQ(Engine().Map.At(x, y).PicIndex, before.PicIndex);
}

TEST_F(MainWindowTest, RightClickSplitsABlockAndMergesItAgainUndoably) {
  Start(6);
  Engine().Sizing = BlockSizing{true, true, 1000.0};
  MakeMosaic();
  ASSERT_FALSE(Engine().Blocks.Empty());
  const TileBlock b = Engine().Blocks.Blocks()[0];
  const size_t blocks = Engine().Blocks.Blocks().size();
  const QPoint inside = OnPicture((b.X + 1) * 16 + 8, (b.Y + 1) * 16 + 8);

  ClickView(Qt::RightButton, inside);
  auto* menu = Find<QMenu>(&Main(), "cellmenu");
  ASSERT_TRUE(menu->isVisible());
  EXPECT_TRUE(Find<QAction>(menu, "splitblock")->isEnabled());
  EXPECT_FALSE(Find<QAction>(menu, "mergeblock")->isEnabled());
  Find<QAction>(menu, "splitblock")->trigger();
  menu->hide();
  EXPECT_EQ(Engine().Blocks.Blocks().size(), blocks - 1);
  EXPECT_EQ(Find<QAction>(&Main(), "Undo1")->text(), "&Undo Split Block");

  // The cell is single now: merging takes the aligned 2 x 2 square.
  ClickView(Qt::RightButton, inside);
  EXPECT_FALSE(Find<QAction>(menu, "splitblock")->isEnabled());
  ASSERT_TRUE(Find<QAction>(menu, "mergeblock")->isEnabled());
  Find<QAction>(menu, "mergeblock")->trigger();
  menu->hide();
  EXPECT_EQ(Engine().TileAt(b.X + 1, b.Y + 1), (TileBlock{b.X, b.Y, 2, 2}));
  Find<QAction>(&Main(), "Undo1")->trigger();
  Find<QAction>(&Main(), "Undo1")->trigger();
  EXPECT_EQ(Engine().TileAt(b.X + 1, b.Y + 1), b);
}

TEST_F(MainWindowTest, PenStrokePaintsItsRectangleAndIgnoresDragsBeyondThePicture) {
  Start(6);
  MakeMosaic();
  SelectMode("sbhand4");
  const TBitmap32 before = [&] {
    TBitmap32 b;
    b.Assign(Engine().MosaicBitmap);
    return b;
  }();
  Drag(Qt::LeftButton, OnPicture(20, 20), OnPicture(60, 50));
  int changedInside = 0, changedOutside = 0;
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x) {
      const bool changed = Engine().MosaicBitmap.Pixel(x, y) != before.Pixel(x, y);
      const bool inside = x >= 20 && x <= 60 && y >= 20 && y <= 50;
      (inside ? changedInside : changedOutside) += changed;
    }
  EXPECT_GT(changedInside, 0);
  EXPECT_EQ(changedOutside, 0);
  // Wholly right of the picture: nothing is painted, nothing fails.
  Main().resize(600, 400);
  QTest::qWait(10);
  TBitmap32 again;
  again.Assign(Engine().MosaicBitmap);
  const QPoint right = View()->ShownPictureRect().topRight();
  ASSERT_LT(right.x() + 60, View()->width());
  Drag(Qt::LeftButton, right + QPoint(10, 20), right + QPoint(60, 40));
  EXPECT_TRUE(
      std::equal(again.Pixels().begin(), again.Pixels().end(), Engine().MosaicBitmap.Pixels().begin()));
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(MainWindowTest, SavePictureAddsTheFiltersExtension) {
  Start(6);
  MakeMosaic();
  const struct {
    const char* typed;
    const char* filter;
    const char* written;
  } cases[] = {{"result", "Bitmaps (*.bmp)", "result.bmp"},
               {"result", "JPEG Image File (*.jpg)", "result.jpg"},
               {"shot.JPG", "JPEG Image File (*.jpg)", "shot.JPG"},
               {"pic.bmp", "JPEG Image File (*.jpg)", "pic.bmp.jpg"},
               {"result", "PNG Image File (*.png)", "result.png"},
               {"poster.jpg", "TIFF Image File (*.tif)", "poster.jpg.tif"}};
  for (const auto& c : cases) {
    prompts.saveAnswers.push_back(QString::fromStdString(folder / c.typed));
    prompts.saveFilterAnswer = c.filter;
    Find<QToolButton>(&Main(), "sbsvpic")->click();
    EXPECT_TRUE(std::filesystem::exists(folder / c.written)) << c.written;
  }
  EXPECT_EQ(prompts.lastSaveFilter,
            "Bitmaps (*.bmp);;JPEG Image File (*.jpg);;PNG Image File (*.png);;TIFF Image File (*.tif)");
  // The band-written kinds hold the mosaic itself.
  const Result<DecodedPicture> png = ReadPicture(folder / "result.png");
  ASSERT_TRUE(png.ok()) << png.message();
  EXPECT_EQ(png->bitmap.Width(), Engine().MosaicBitmap.Width());
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(MainWindowTest, SavedProjectLoadsBackTheSameMosaic) {
  Start(6);
  MakeMosaic(kStitchPeyote);
  const std::string path = folder / "my.vm6";
  prompts.saveAnswers.push_back(QString::fromStdString(path));
  Find<QToolButton>(&Main(), "sbsvprj")->click();
  ASSERT_TRUE(std::filesystem::exists(path));
  std::vector<TColor32> pixels(Engine().MosaicBitmap.Pixels().begin(), Engine().MosaicBitmap.Pixels().end());

  // "Open Picture" turns the editing off; loading the project turns it on again.
  prompts.openAnswers.push_back(QString::fromStdString(Engine().PicList[1]));
  Main().findChild<QAction*>("OpenPicture1")->trigger();
  EXPECT_EQ(Engine().MosaicState, 1);
  prompts.openAnswers.push_back(QString::fromStdString(path));
  Find<QToolButton>(&Main(), "sbopprj")->click();
  EXPECT_EQ(Engine().MosaicState, 2);
  EXPECT_EQ(Engine().Project.StitchMode, kStitchPeyote);
  EXPECT_EQ(JobLabel()->text(), "Current Job : None");
  ASSERT_EQ(Engine().MosaicBitmap.Pixels().size(), pixels.size());
  EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), Engine().MosaicBitmap.Pixels().begin()));

  // A damaged project file is reported and changes nothing.
  WriteWholeFile(folder / "bad.vm6", "not a project");
  prompts.openAnswers.push_back(QString::fromStdString(folder / "bad.vm6"));
  Find<QToolButton>(&Main(), "sbopprj")->click();
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].first, "Error");
  EXPECT_EQ(Engine().MosaicState, 2);
}

TEST_F(MainWindowTest, LoadRefusesAPosterTooLargeToShowAndKeepsTheOpenMosaic) {
  Start(6);
  MakeMosaic();
  const std::string path = folder / "poster.vm6";
  WriteOverLimitProject(path);
  prompts.openAnswers.push_back(QString::fromStdString(path));
  prompts.saveQuestionAnswers.push_back(ui::UserPrompts::SaveAnswer::Discard);
  Find<QToolButton>(&Main(), "sbopprj")->click();
  ASSERT_EQ(prompts.messages.size(), 1u);
  const std::string message = prompts.messages[0].second.toStdString();
  EXPECT_NE(message.find("16384 x 16512 pixels"), std::string::npos) << message;
  EXPECT_NE(message.find("velmora-cli render " + path + " --out " + (folder / "poster.tif")),
            std::string::npos)
      << message;
  EXPECT_EQ(Engine().MosaicState, 2);
  EXPECT_EQ(Engine().Project.CellsAcross, 8);
  EXPECT_EQ(Engine().MosaicBitmap.Width(), 8 * 16);
}

}  // namespace
}  // namespace velmora::testing

namespace velmora::testing {
namespace {

TEST_F(MainWindowTest, UprightSwitchOfTheOptionsReachesEveryPictureRead) {
  Start(1);
  auto* upright = Find<QCheckBox>(Session().windows.options, "cbupright");
  ASSERT_TRUE(upright->isChecked());
  // Stored 16 x 24 on its side (tag 6): upright it is 24 x 16.
  const QString sideways = QString(VELMORA_TEST_DATA) + "/orientation/orientation-6.jpg";
  const auto open = [&] {
    prompts.openAnswers.push_back(sideways);
    Main().findChild<QAction*>("OpenPicture1")->trigger();
    return QSize(Engine().MosaicBitmap.Width(), Engine().MosaicBitmap.Height());
  };
  EXPECT_EQ(open(), QSize(24, 16));
  upright->click();
  EXPECT_FALSE(Engine().UprightPictures());
  EXPECT_EQ(open(), QSize(16, 24));
  upright->click();
}

TEST_F(MainWindowTest, KeepsLibrarySummariesAndReportsADamagedCacheAfterTheJob) {
  Start(4);
  ASSERT_FALSE(Engine().SummaryCacheFolder().empty());
  const std::string cache = folder / "cache";
  Engine().SetSummaryCacheFolder(cache);
  MakeMosaic();
  const std::string file = cache + "/library-summaries.cache";
  ASSERT_TRUE(std::filesystem::exists(file));
  EXPECT_TRUE(prompts.messages.empty());
  WriteWholeFile(file, "damaged");
  MakeMosaic();
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].first, "Caution");
  EXPECT_EQ(Engine().MosaicState, 2);
}

}  // namespace
}  // namespace velmora::testing
