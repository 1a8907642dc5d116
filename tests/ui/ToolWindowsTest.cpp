// The tool windows driven as a user drives them: Edit II and the pick-cell
// dialog (the first library picture included), the usage stats texts and
// their saved file, the overview following a scroll, and the pattern
// preview's sizes and edge lines.
#include <algorithm>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

#include "UiTestSupport.h"
#include "view/OverviewGeometry.h"
#include "engine/PickCell.h"
#include "imaging/PictureOps.h"
#include "project/UsageStats.h"
#include "ui/MosaicView.h"
#include "ui/OverviewWindow.h"
#include "ui/PatternPreviewWindow.h"
#include "ui/PickCellDialog.h"
#include "ui/UsageStatsWindow.h"
#include "ui/WindowHooks.h"

namespace velmora::testing {
namespace {

class ToolWindowsTest : public ProgramTest {
protected:
  static QColor PixelOf(const QLabel* label, int x, int y) {
    return label->pixmap().toImage().pixelColor(x, y);
  }
  // The cell's pixels in the mosaic.
  std::vector<TColor32> CellPixels(int x, int y, int side) {
    std::vector<TColor32> pixels;
    for (int py = y * side; py < (y + 1) * side; ++py)
      for (int px = x * side; px < (x + 1) * side; ++px)
        pixels.push_back(Engine().MosaicBitmap.Pixel(px, py));
    return pixels;
  }
};

TEST_F(ToolWindowsTest, EditTwoPicksAndAppliesAPicture) {
  Start(6);
  MakeMosaic();
  Find<QToolButton>(&Main(), "sbhand3")->click();
  ClickView(Qt::LeftButton, OnPicture(3 * 16 + 5, 5 * 16 + 5));
  ui::PickCellDialog* dialog = Session().windows.pickCell;
  ASSERT_TRUE(dialog->isVisible());
  EXPECT_EQ(Find<QLabel>(dialog, "lbcurrentpos")->text(), "Position : X 3  Y 5");
  EXPECT_FALSE(Find<QLabel>(dialog, "CurrentImage")->pixmap().isNull());
  auto* list = Find<QListWidget>(dialog, "Cimglist");
  ASSERT_EQ(list->count(), 6);
  EXPECT_EQ(list->item(2)->text(), ui::ToQString(Engine().PicList[2]));
  // Beside the names, every picture by how well it fits the cell, best first;
  // a click on a thumbnail selects its name.
  const std::vector<int> best = dialog->BestMatches();
  ASSERT_EQ(best.size(), 6u);
  const tmosaicproject& p = Engine().Project;
  const auto distance = [&](int k) {
    return Engine::Compare(Engine().Library[k].Signature, Engine().SampleCell(3, 5), p.ColorEnhance,
                           p.AllowHFlip, p.AllowVFlip)
        .Distance;
  };
  for (size_t i = 1; i < best.size(); ++i) EXPECT_LE(distance(best[i - 1]), distance(best[i])) << i;
  {  // Tiles that keep the photo: a single cell is offered the square photos.
    AspectShapes shapes = Engine().Aspects;
    Engine().Aspects.Aspect = {1, 1, 2, 2, 1, 0.5};
    Engine().Aspects.Classify(1.0);
    Engine().Aspects.On = true;
    ClickView(Qt::LeftButton, OnPicture(3 * 16 + 5, 5 * 16 + 5));
    std::vector<int> square = dialog->BestMatches();
    std::sort(square.begin(), square.end());
    EXPECT_EQ(square, (std::vector<int>{0, 1, 4}));
    Engine().Aspects = shapes;
    ClickView(Qt::LeftButton, OnPicture(3 * 16 + 5, 5 * 16 + 5));
    ASSERT_EQ(dialog->BestMatches(), best);
  }
  auto* matches = Find<QListWidget>(dialog, "bestmatches");
  emit matches->itemClicked(matches->item(1));
  EXPECT_EQ(list->currentRow(), best[1]);

  const int k = (Engine().Map.At(3, 5).PicIndex + 1) % 6;
  const std::vector<TColor32> before = CellPixels(3, 5, 16);
  list->setCurrentRow(k);
  EXPECT_FALSE(Find<QLabel>(dialog, "AdjustedImage")->pixmap().isNull());
  Find<QSlider>(dialog, "coloradj")->setValue(20);
  Find<QCheckBox>(dialog, "cbhf")->click();
  Find<QPushButton>(dialog, "btapply")->click();

  const CellMapEntry& e = Engine().Map.At(3, 5);
  const ChannelDeltas d = PickCellDeltas(Engine().Library[k].Signature, Engine().SampleCell(3, 5), 20,
                                         Engine().Project.ColorEnhance);
  EXPECT_EQ(e.PicIndex, k);
  EXPECT_EQ((ChannelDeltas{e.DeltaRed, e.DeltaGreen, e.DeltaBlue}), d);
  EXPECT_TRUE(e.Assigned && e.HFlip && !e.VFlip);
  // The mosaic holds the render of the new entry: drawing it again changes
  // nothing, and it is not what the cell showed before.
  const std::vector<TColor32> applied = CellPixels(3, 5, 16);
  EXPECT_NE(applied, before);
  ASSERT_TRUE(Engine().RenderCell(3, 5).ok());
  EXPECT_EQ(CellPixels(3, 5, 16), applied);

  // The first library picture, applied at once on selection, at enhance 0.
  Engine().Project.ColorEnhance = 0;
  Find<QCheckBox>(dialog, "cbapplynow")->click();
  list->setCurrentRow(0);
  EXPECT_EQ(e.PicIndex, 0);
  const ChannelDeltas plain = PickCellDeltas(Engine().Library[0].Signature, Engine().SampleCell(3, 5), 0, 0);
  EXPECT_EQ((ChannelDeltas{e.DeltaRed, e.DeltaGreen, e.DeltaBlue}), plain);

  // A cell that shows nothing opens with its best match selected, not
  // applied although "apply immediately" is on; an apply tints toward the
  // cell's own colours, not toward those of the cell loaded before.
  Engine().Map.At(6, 1).Assigned = false;
  ClickView(Qt::LeftButton, OnPicture(6 * 16 + 5, 1 * 16 + 5));
  EXPECT_FALSE(Engine().Map.At(6, 1).Assigned);
  const int first = dialog->BestMatches().front();
  EXPECT_EQ(dialog->SelectedIndex(), first);
  Find<QPushButton>(dialog, "btapply")->click();
  const CellMapEntry& fresh = Engine().Map.At(6, 1);
  EXPECT_TRUE(fresh.Assigned);
  EXPECT_EQ(fresh.PicIndex, first);
  EXPECT_EQ(fresh.DeltaRed,
            PickCellDeltas(Engine().Library[first].Signature, Engine().SampleCell(6, 1), 0, 0).Red);
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(ToolWindowsTest, StatsListTheCellsAndSaveCrLfText) {
  Start(3);
  // A known 2 x 2 map: picture 2 at the top-left and bottom-right, picture 0
  // at the bottom-left, one cell unassigned.
  Engine().Project.CellsAcross = 2;
  Engine().Project.CellsDown = 2;
  Engine().Map.At(0, 0) = CellMapEntry{2, 0, 0, 0, true, false, false};
  Engine().Map.At(1, 1) = CellMapEntry{2, 0, 0, 0, true, false, false};
  Engine().Map.At(0, 1) = CellMapEntry{0, 0, 0, 0, true, false, false};
  Engine().Map.At(1, 0) = CellMapEntry{};
  Find<QToolButton>(&Main(), "sbstats")->click();
  ui::UsageStatsWindow* stats = Session().windows.stats;
  ASSERT_TRUE(stats->isVisible());
  const QString a = ui::ToQString(FileNamePart(Engine().PicList[0]));
  const QString c = ui::ToQString(FileNamePart(Engine().PicList[2]));
  auto* names = Find<QListWidget>(stats, "mainlist");
  ASSERT_EQ(names->count(), 3);
  EXPECT_EQ(names->item(0)->text(), a);
  auto* memo = Find<QPlainTextEdit>(stats, "Memo1");

  Find<QPushButton>(stats, "btsimple")->click();
  EXPECT_EQ(memo->toPlainText(), a + "Total used time:1\n" + c + "Total used time:2");
  Find<QPushButton>(stats, "btdetail")->click();
  const QString detail = a + " POSITIONS:  x:1 y:2  ||    Total used time:1\n" + c +
                         " POSITIONS:  x:1 y:1  ||   x:2 y:2  ||    Total used time:2\ntotal ok cell3";
  EXPECT_EQ(memo->toPlainText(), detail);

  prompts.saveAnswers.push_back(QString::fromStdString(folder / "report"));
  Find<QPushButton>(stats, "btsave")->click();
  QString expected = detail;
  expected.replace("\n", "\r\n");
  EXPECT_EQ(QString::fromStdString(ReadWholeFile(folder / "report.txt")), expected + "\r\n");

  // Full paths when the box is cleared; the report follows on the next list.
  Find<QCheckBox>(stats, "cbshortname")->click();
  EXPECT_EQ(names->item(0)->text(), ui::ToQString(Engine().PicList[0]));
  Find<QPushButton>(stats, "btsimple")->click();
  EXPECT_TRUE(memo->toPlainText().startsWith(ui::ToQString(Engine().PicList[0]) + "Total used time:1"));
  Find<QPushButton>(stats, "btclear")->click();
  EXPECT_TRUE(memo->toPlainText().isEmpty());
}

TEST_F(ToolWindowsTest, OverviewShowsAfterCreationAndFollowsAScroll) {
  Start(6);
  MakeMosaic(kStitchLoom, 100);  // 800 x 800, larger than the view at 100 %
  Main().ZoomActual();
  Main().View()->ScrollTo({0, 0});
  ui::OverviewWindow* overview = Session().windows.overview;
  ASSERT_TRUE(overview->isVisible());
  auto* image = Find<QLabel>(overview, "Image1");
  const auto fitNow = [&] {
    return FitOverview(image->width(), image->height(), 800, 800, Engine().ViewRect);
  };
  ASSERT_TRUE(fitNow());
  EXPECT_EQ(image->pixmap().size(), QSize(fitNow()->Width, fitNow()->Height));
  ASSERT_TRUE(overview->IndicatorRect());
  EXPECT_EQ(overview->IndicatorRect()->Left, 0);

  QTest::mousePress(Main().View(), Qt::RightButton, Qt::NoModifier, QPoint(300, 200));
  QTest::mouseRelease(Main().View(), Qt::RightButton, Qt::NoModifier, QPoint(250, 170));
  ASSERT_EQ(Engine().ViewRect.Left, 50);
  EXPECT_EQ(*overview->IndicatorRect(), fitNow()->Indicator);
  EXPECT_GT(overview->IndicatorRect()->Left, 0);

  // Red from the colour picker: the frame's corner turns red.
  prompts.colorAnswer = 0x0000FF;
  Find<QPushButton>(overview, "btcolor")->click();
  const TRect r = *overview->IndicatorRect();
  EXPECT_EQ(PixelOf(image, r.Left, r.Top), QColor(255, 0, 0));
  EXPECT_EQ(PixelOf(image, r.Right - 1, r.Bottom - 1), QColor(255, 0, 0));
  Find<QCheckBox>(overview, "cbindicator")->click();
  EXPECT_FALSE(overview->IndicatorRect());
}

TEST_F(ToolWindowsTest, PatternPreviewSizesAndEdgeLines) {
  Start(1);
  tmosaicproject& p = Engine().Project;
  p.CellsAcross = p.CellsDown = 48;
  ComputeDerivedSizes(p);
  ASSERT_TRUE(Engine().MainBitmap.SetSize(96, 96).ok());
  Engine().MainBitmap.Fill(Color32(30, 140, 220));
  ui::ShowPatternPreview(Session());
  ui::PatternPreviewWindow* pattern = Session().windows.pattern;
  ASSERT_TRUE(pattern->isVisible());
  auto* image = Find<QLabel>(pattern, "Image1");
  EXPECT_EQ(image->pixmap().size(), QSize(384, 384));
  const QColor colour(30, 140, 220);
  EXPECT_EQ(PixelOf(image, 8, 3), QColor(Qt::black));  // the top line of the second square
  EXPECT_EQ(PixelOf(image, 9, 9), colour);

  Find<QToolButton>(pattern, "sb4xpt")->click();
  EXPECT_EQ(image->pixmap().size(), QSize(192, 192));
  EXPECT_EQ(PixelOf(image, 4, 5), QColor(Qt::black));
  EXPECT_EQ(PixelOf(image, 5, 5), colour);
  Find<QCheckBox>(pattern, "sbptline")->click();
  EXPECT_EQ(PixelOf(image, 4, 4), colour);
  EXPECT_TRUE(prompts.messages.empty());
}

}  // namespace
}  // namespace velmora::testing
