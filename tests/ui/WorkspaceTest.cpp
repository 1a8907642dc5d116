// The mosaic workspace: zoom and the editing modes at other scales in every
// layout, the live right-drag, the overview click, undo and redo of each kind
// of edit, the keys reaching their commands, and Cancel during a job.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <set>

#include "UiTestSupport.h"
#include "view/OverviewGeometry.h"
#include "view/ViewGeometry.h"
#include "ui/MainWindow.h"
#include "ui/MosaicView.h"
#include "ui/OverviewWindow.h"
#include "ui/PickCellDialog.h"

namespace velmora::testing {
namespace {

class WorkspaceTest : public ProgramTest {
protected:
  ui::MosaicView* View() { return Main().View(); }
  QString StatusText() { return Find<QLabel>(&Main(), "Label1")->text(); }
  void Mode(const char* button) { Find<QToolButton>(&Main(), button)->click(); }
  QAction* Action(const char* name) { return Find<QAction>(&Main(), name); }
  std::vector<TColor32> Pixels() {
    return {Engine().MosaicBitmap.Pixels().begin(), Engine().MosaicBitmap.Pixels().end()};
  }
  std::vector<CellMapEntry> Cells() {
    std::vector<CellMapEntry> cells;
    for (int x = 0; x < 8; ++x)
      for (int y = 0; y < 8; ++y) cells.push_back(Engine().Map.At(x, y));
    return cells;
  }
  static bool Same(const std::vector<CellMapEntry>& a, const std::vector<CellMapEntry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), [](const CellMapEntry& p, const CellMapEntry& q) {
      return p.PicIndex == q.PicIndex && p.DeltaRed == q.DeltaRed && p.HFlip == q.HFlip &&
             p.VFlip == q.VFlip && p.Assigned == q.Assigned;
    });
  }
  // Types a scale into the status line's zoom field.
  void TypeZoom(const QString& text) { emit Find<QComboBox>(&Main(), "zoomfield")->textActivated(text); }
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(&Main(), static_cast<Qt::Key>(key), modifiers);
  }
  void Activate() {
    Main().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Main()));
  }
};

TEST_F(WorkspaceTest, EditModesActOnThePicturePixelUnderTheMouseAtEveryScaleAndLayout) {
  Start(6);
  Engine().OptionSet.MinRepeatRadius = 1;
  for (int stitch : {kStitchLoom, kStitchPeyote, kStitchBrick}) {
    for (const char* zoom : {"50%", "200%"}) {
      MakeMosaic(stitch, 16);
      TypeZoom(zoom);
      const double scale = QString(zoom).chopped(1).toDouble() / 100;
      ASSERT_DOUBLE_EQ(View()->Scale(), scale);
      EXPECT_TRUE(StatusText().startsWith(QString("Scale :") + zoom)) << StatusText().toStdString();

      // The 128 x 128 picture is smaller than the view at both scales: it
      // sits in the middle.
      const ViewPoint off = PictureOffset(View()->width(), View()->height(), 128, 128, scale);
      const QPoint corner(off.X, off.Y);
      EXPECT_EQ(View()->PictureTopLeft(), corner);

      // Edit I on the cell under (45, 27) from the picture's corner: only
      // that cell changes, and undo and redo put back each state exactly.
      Mode("sbhand2");
      const QPoint at = corner + QPoint(45, 27);
      const ViewPoint p = ViewToPicture({45, 27}, View()->Origin(), scale);
      const CellPos cell = ReleaseCell(Engine().Project, p.X, p.Y);
      const auto cellsBefore = Cells();
      const auto pixelsBefore = Pixels();
      ClickView(Qt::LeftButton, at);
      const auto cellsAfter = Cells();
      for (int i = 0; i < 64; ++i)
        EXPECT_EQ(cellsAfter[i].PicIndex != cellsBefore[i].PicIndex, i == cell.X * 8 + cell.Y)
            << "stitch " << stitch << " " << zoom << " cell " << i;
      EXPECT_EQ(Action("Undo1")->text(), "&Undo Edit I");
      Action("Undo1")->trigger();
      EXPECT_TRUE(Same(Cells(), cellsBefore));
      EXPECT_EQ(Pixels(), pixelsBefore);
      Action("Redo1")->trigger();
      EXPECT_TRUE(Same(Cells(), cellsAfter));

      // The pen paints the picture rectangle under the drag.
      Mode("sbhand4");
      const auto beforeStroke = Pixels();
      QTest::mousePress(View(), Qt::LeftButton, Qt::NoModifier, corner + QPoint(10, 12));
      QTest::mouseRelease(View(), Qt::LeftButton, Qt::NoModifier, corner + QPoint(40, 30));
      const auto rect = PenRectangle({10, 12}, {40, 30}, View()->Origin(), 128, 128, scale);
      ASSERT_TRUE(rect.has_value());
      int outside = 0, inside = 0;
      const auto after = Pixels();
      for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
          const bool changed = after[y * 128 + x] != beforeStroke[y * 128 + x];
          const bool in = x >= rect->Left && x < rect->Right && y >= rect->Top && y < rect->Bottom;
          (in ? inside : outside) += changed;
        }
      EXPECT_GT(inside, 0) << zoom;
      EXPECT_EQ(outside, 0) << zoom;
      EXPECT_EQ(Action("Undo1")->text(), "&Undo Pen Stroke");
      Action("Undo1")->trigger();
      EXPECT_EQ(Pixels(), beforeStroke);
      Mode("sbhandinfo");
    }
  }
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(WorkspaceTest, PickCellApplyIsOneStepAndANewMosaicClearsTheHistory) {
  Start(6);
  MakeMosaic(kStitchPeyote);
  Mode("sbhand3");
  ClickView(Qt::LeftButton, OnPicture(3, 20));  // odd row, split cell 0
  auto* pick = Session().windows.pickCell;
  ASSERT_TRUE(pick->isVisible());
  const auto pixelsBefore = Pixels();
  const auto cellsBefore = Cells();
  auto* list = Find<QListWidget>(pick, "Cimglist");
  const int other = Engine().Map.At(0, 1).PicIndex == 2 ? 3 : 2;
  list->setCurrentRow(other);
  pick->PickCellApply(other);
  EXPECT_EQ(Engine().Map.At(0, 1).PicIndex, other);
  EXPECT_EQ(Action("Undo1")->text(), "&Undo Pick Cell");
  EXPECT_FALSE(Action("Redo1")->isEnabled());
  Action("Undo1")->trigger();
  EXPECT_TRUE(Same(Cells(), cellsBefore));
  EXPECT_EQ(Pixels(), pixelsBefore);  // both pieces of the split cell
  EXPECT_EQ(Action("Redo1")->text(), "&Redo Pick Cell");
  EXPECT_TRUE(Session().modified);
  MakeMosaic();
  EXPECT_FALSE(Action("Undo1")->isEnabled());
  EXPECT_FALSE(Action("Redo1")->isEnabled());
  EXPECT_EQ(Action("Undo1")->text(), "&Undo");
}

TEST_F(WorkspaceTest, RightDragMovesThePictureLiveAndEndsWhereTheReleaseRulePutsIt) {
  Start(6);
  MakeMosaic(kStitchLoom, 100);  // 800 x 800
  const QSize client = View()->size();
  for (double scale : {1.0, 2.0}) {
    View()->SetScale(scale, QPoint(0, 0));
    View()->ScrollTo({0, 0});
    QTest::mousePress(View(), Qt::RightButton, Qt::NoModifier, QPoint(50, 50));
    QTest::mouseMove(View(), QPoint(30, 40));
    // Moving: the picture follows while the button is held.
    EXPECT_EQ(View()->Origin(),
              DraggedOrigin({0, 0}, {50, 50}, {30, 40}, client.width(), client.height(), 800, 800, scale));
    EXPECT_NE(View()->Origin(), (ViewPoint{0, 0}));
    QTest::mouseRelease(View(), Qt::RightButton, Qt::NoModifier, QPoint(10, 20));
    EXPECT_EQ(View()->Origin(),
              DraggedOrigin({0, 0}, {50, 50}, {10, 20}, client.width(), client.height(), 800, 800, scale));
  }
  // At 100 % exactly the release-only rule: (40, 30).
  View()->SetScale(1, QPoint(0, 0));
  View()->ScrollTo({0, 0});
  QTest::mousePress(View(), Qt::RightButton, Qt::NoModifier, QPoint(50, 50));
  QTest::mouseRelease(View(), Qt::RightButton, Qt::NoModifier, QPoint(10, 20));
  EXPECT_EQ(View()->Origin(), (ViewPoint{40, 30}));
  EXPECT_EQ(StatusText(), "Scale :100% MainbmpPos x40 y30");
  // The scroll bars follow, and move the picture.
  auto* hbar = Find<QScrollBar>(&Main(), "hscroll");
  EXPECT_EQ(hbar->value(), 40);
  hbar->setValue(120);
  EXPECT_EQ(Engine().ViewOriginX, 120);
}

TEST_F(WorkspaceTest, OverviewClickCentresTheViewAndFitShowsTheWhole) {
  Start(6);
  MakeMosaic(kStitchLoom, 100);
  Main().ZoomActual();
  auto* overview = Session().windows.overview;
  ASSERT_TRUE(overview->isVisible());
  auto* image = Find<QLabel>(overview, "Image1");
  const auto fit = FitOverview(image->width(), image->height(), 800, 800, Engine().ViewRect);
  ASSERT_TRUE(fit.has_value());
  const QPoint click(static_cast<int>(400 * fit->Scale), static_cast<int>(500 * fit->Scale));
  QTest::mouseClick(image, Qt::LeftButton, Qt::NoModifier, click);
  const QSize client = View()->size();
  const ViewPoint centre{static_cast<int>(click.x() / fit->Scale), static_cast<int>(click.y() / fit->Scale)};
  EXPECT_EQ(View()->Origin(), CentredOrigin(centre, client.width(), client.height(), 800, 800, 1));
  EXPECT_GT(Engine().ViewOriginY, 0);

  Action("ZoomFit1")->trigger();
  EXPECT_TRUE(View()->FitMode());
  EXPECT_DOUBLE_EQ(View()->Scale(), FitScale(client.width(), client.height(), 800, 800));
  EXPECT_EQ(Engine().ViewRect, (TRect{0, 0, 800, 800}));
  EXPECT_EQ(Find<QComboBox>(&Main(), "zoomfield")->currentText(), "Fit");
  // The indicator frames the whole overview picture.
  EXPECT_EQ(overview->IndicatorRect()->Right, fit->Width);
}

TEST_F(WorkspaceTest, KeysReachTheirCommands) {
  Start(6);
  MakeMosaic(kStitchLoom, 100);
  Main().ZoomActual();
  Activate();
  Key(Qt::Key_Plus, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(View()->Scale(), 2);
  Key(Qt::Key_Minus, Qt::ControlModifier);
  Key(Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(View()->Scale(), 0.5);
  Key(Qt::Key_0, Qt::ControlModifier);
  EXPECT_TRUE(View()->FitMode());
  Key(Qt::Key_1, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(View()->Scale(), 1);
  const struct {
    Qt::Key key;
    int mode;
  } modes[] = {{Qt::Key_F3, ui::kModeEdit1},
               {Qt::Key_F4, ui::kModeEdit2},
               {Qt::Key_F5, ui::kModePen},
               {Qt::Key_F2, ui::kModeInfo}};
  for (const auto& m : modes) {
    Key(m.key);
    EXPECT_EQ(Main().EditMode(), m.mode);
  }
  // Undo and both redo keys.
  Key(Qt::Key_F5);
  const auto before = Pixels();
  QTest::mousePress(View(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
  QTest::mouseRelease(View(), Qt::LeftButton, Qt::NoModifier, QPoint(90, 60));
  const auto stroked = Pixels();
  ASSERT_NE(stroked, before);
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Pixels(), before);
  Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(Pixels(), stroked);
  Key(Qt::Key_Z, Qt::ControlModifier);
  Key(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(Pixels(), stroked);
  // The standard keys sit on their commands.
  EXPECT_EQ(Action("NewProject1")->shortcut(), QKeySequence(QKeySequence::New));
  EXPECT_EQ(Action("LoadProject1")->shortcut(), QKeySequence(QKeySequence::Open));
  EXPECT_EQ(Action("SaveProject1")->shortcut(), QKeySequence(QKeySequence::Save));
  EXPECT_EQ(Action("Print1")->shortcut(), QKeySequence(QKeySequence::Print));
  EXPECT_EQ(Action("Exit1")->shortcut(), QKeySequence(QKeySequence::Quit));
  // Every item of every menu can be reached by its letter, one item per letter.
  for (QMenu* menu : Main().findChildren<QMenu*>()) {
    std::set<QChar> letters;
    for (QAction* a : menu->actions()) {
      if (a->isSeparator() || a->text().isEmpty()) continue;
      const QString text = a->text();
      const qsizetype amp = text.indexOf(QLatin1Char('&'));
      ASSERT_TRUE(amp >= 0 && amp + 1 < text.size()) << text.toStdString() << " has no mnemonic";
      EXPECT_TRUE(letters.insert(text[amp + 1].toLower()).second)
          << text.toStdString() << " shares its letter in " << menu->title().toStdString();
    }
  }
}

TEST_F(WorkspaceTest, CancelDuringAJobPutsBackThePreviousMosaic) {
  Start(6);
  // Nothing shown yet: a cancelled creation leaves the view empty.
  {
    CancelWhen cancel(Main(), "Current Job : OutPut Final Mosaic Picture");
    MakeMosaic();
    EXPECT_TRUE(cancel.clicked);
  }
  EXPECT_EQ(Find<QLabel>(&Main(), "LBJOB")->text(), "Current Job : Cancelled");
  EXPECT_EQ(Engine().MosaicState, 0);
  EXPECT_TRUE(Engine().MosaicBitmap.Empty());
  EXPECT_FALSE(Find<QPushButton>(&Main(), "btcancel")->isEnabled());

  MakeMosaic();
  const auto pixels = Pixels();
  const auto cells = Cells();
  for (const char* job :
       {"Current Job : Mosaic Mapping Table", "Current Job : OutPut Final Mosaic Picture"}) {
    CancelWhen cancel(Main(), job);
    MakeMosaic(kStitchBrick, 12);
    EXPECT_TRUE(cancel.clicked) << job;
    EXPECT_EQ(Find<QLabel>(&Main(), "LBJOB")->text(), "Current Job : Cancelled");
    EXPECT_EQ(Engine().MosaicState, 2);
    EXPECT_EQ(Engine().Project.CellWidth, 16);
    EXPECT_EQ(Engine().Project.StitchMode, kStitchLoom);
    EXPECT_EQ(Pixels(), pixels) << job;
    EXPECT_TRUE(Same(Cells(), cells)) << job;
  }
  EXPECT_TRUE(prompts.messages.empty());
}

}  // namespace
}  // namespace velmora::testing
