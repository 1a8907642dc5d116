// The match quality in the desktop program: the mean in the status line after
// a job and an edit, the map over the view, re-picking the worst cells as one
// undoable step, and the wizard's settings advice with its button.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <algorithm>

#include "UiTestSupport.h"
#include "quality/Advice.h"
#include "quality/Quality.h"
#include "imaging/formats/BmpCodec.h"
#include "ui/MainWindow.h"
#include "ui/MatchQuality.h"
#include "ui/NewProjectWizard.h"
#include "ui/OptionsDialog.h"

namespace velmora {
namespace {

class MatchQualityTest : public testing::ProgramTest {
protected:
  QualityReport Fresh() {
    QualityReport r;
    EXPECT_TRUE(MeasureQuality(Engine(), r).ok());
    return r;
  }
  // The advice's matching choices are remembered in the user's settings;
  // the other tests start without them.
  void TearDown() override { QSettings().remove(QStringLiteral("Matching")); }
  QString Status() { return Find<QLabel>(&Main(), "lbquality")->text(); }
  QImage Shot() { return Main().View()->grab().toImage(); }
};

TEST_F(MatchQualityTest, StatusMapAndRepickOfTheWorstCells) {
  Start(6);
  EXPECT_EQ(Status(), "");
  MakeMosaic(kStitchPeyote, 16);
  const QualityReport made = Main().Quality()->Report();
  ASSERT_EQ(made.Single.size(), 64u);
  EXPECT_EQ(made.Single, Fresh().Single);
  EXPECT_EQ(Status(), QString::fromUtf8("Mean colour error %1 \u0394E").arg(made.MeanSingle, 0, 'f', 2));

  // The map shows over the picture, and goes again.
  const QImage plain = Shot();
  QAction* map = Find<QAction>(&Main(), "QualityMap1");
  ASSERT_TRUE(map->isCheckable());
  map->trigger();
  EXPECT_TRUE(Main().Quality()->MapShown());
  const QImage mapped = Shot();
  EXPECT_NE(mapped, plain);
  // The worst cell is tinted red (a cell of an even row: no shift).
  const std::vector<CellPos> worst = WorstCells(made, 100);
  for (const CellPos& c : worst) {
    if (c.Y % 2 != 0 || made.SingleAt(c.X, c.Y) < ui::kMapPoor) continue;
    const QPoint centre = OnPicture(c.X * 16 + 8, c.Y * 16 + 8);
    EXPECT_GT(qRed(mapped.pixel(centre)) - qGreen(mapped.pixel(centre)),
              qRed(plain.pixel(centre)) - qGreen(plain.pixel(centre)));
    break;
  }
  // While a job runs, the figures and the map of the old mosaic are hidden.
  Session().jobRunning = true;
  Main().UpdateActions();
  Main().View()->update();
  EXPECT_EQ(Shot(), plain);
  EXPECT_EQ(Status(), "");
  Session().jobRunning = false;
  Main().UpdateActions();
  EXPECT_EQ(Shot(), mapped);
  EXPECT_FALSE(Status().isEmpty());
  // At another zoom it is drawn too.
  Main().ZoomIn();
  QCoreApplication::processEvents();
  const QImage zoomedMapped = Shot();
  map->trigger();
  EXPECT_NE(Shot(), zoomedMapped);
  Main().ZoomActual();

  // Re-pick: asked with 5 % offered; cancelled, nothing changes.
  QAction* repick = Find<QAction>(&Main(), "RepickWorst1");
  ASSERT_TRUE(repick->isEnabled());
  repick->trigger();
  ASSERT_EQ(prompts.numberQuestions.size(), 1u);
  EXPECT_TRUE(prompts.numberQuestions[0].endsWith("[5]"));
  EXPECT_FALSE(Session().history.CanUndo());

  TBitmap32 before;
  before.Assign(Engine().MosaicBitmap);
  prompts.numberAnswers.push_back(25);
  repick->trigger();
  ASSERT_EQ(Session().history.Count(), 1u);
  EXPECT_EQ(Session().history.UndoName(), "Re-pick Worst Cells");
  const QualityReport after = Main().Quality()->Report();
  EXPECT_EQ(after.Single, Fresh().Single);  // measured again where it changed
  int changed = 0;
  for (size_t i = 0; i < 64; ++i) changed += after.Single[i] != made.Single[i];
  EXPECT_GE(changed, 1);
  EXPECT_LE(changed, 16 + 16);  // the 16 re-picked cells and the split halves they share rows with
  EXPECT_EQ(Status(), QString::fromUtf8("Mean colour error %1 \u0394E").arg(after.MeanSingle, 0, 'f', 2));

  // One step: one undo puts every cell back, and the figures with them.
  Find<QAction>(&Main(), "Undo1")->trigger();
  EXPECT_TRUE(
      std::equal(before.Pixels().begin(), before.Pixels().end(), Engine().MosaicBitmap.Pixels().begin()));
  EXPECT_EQ(Main().Quality()->Report().Single, made.Single);
}

TEST_F(MatchQualityTest, OpenedPictureHasNoFigures) {
  Start(6);
  MakeMosaic();
  EXPECT_FALSE(Status().isEmpty());
  prompts.saveQuestionAnswers.push_back(testing::ScriptedPrompts::SaveAnswer::Discard);
  prompts.openAnswers.push_back(ui::ToQString(Engine().PicList[1]));
  Main().OpenPicture();
  EXPECT_EQ(Status(), "");
  EXPECT_TRUE(Main().Quality()->Report().Empty());
  EXPECT_FALSE(Find<QAction>(&Main(), "RepickWorst1")->isEnabled());
}

TEST_F(MatchQualityTest, WizardShowsTheAdviceAndUsesIt) {
  Start(12);
  TBitmap32 main(400, 300);  // 4:3
  main.Fill(Color32(90, 120, 150));
  ASSERT_TRUE(WriteBmpFile(main, folder / "main.bmp").ok());
  Find<QToolButton>(&Main(), "sbnew")->click();
  ui::NewProjectWizard* wizard = Session().windows.wizard;
  wizard->LoadMainImageFrom(QString::fromStdString(folder / "main.bmp"));
  wizard->ComputeDerivedSizes();

  auto* panel = Find<QWidget>(wizard, "advicesize");
  ASSERT_FALSE(panel->isHidden());
  auto* first = Find<QLabel>(panel, "lbadvice1");
  EXPECT_EQ(
      first->text(),
      "Repeat radius 1 leaves at least 4 of the 12 photos for every cell; the radius set now leaves only 0, "
      "so cells get poor matches.");
  EXPECT_EQ(first->palette().color(QPalette::WindowText), QColor(0xC0, 0, 0));  // not followed: red
  EXPECT_EQ(Find<QLabel>(panel, "lbadvice2")->palette().color(QPalette::WindowText), QColor(0, 0x80, 0));
  // The solver, detail and transfer lines, red while the desktop keeps its own defaults.
  EXPECT_TRUE(
      Find<QLabel>(panel, "lbadvice5")->text().startsWith("Place the photos by the solver under that cap"));
  for (const char* name : {"lbadvice5", "lbadvice6", "lbadvice7"})
    EXPECT_EQ(Find<QLabel>(panel, name)->palette().color(QPalette::WindowText), QColor(0xC0, 0, 0)) << name;
  auto* button = Find<QAbstractButton>(panel, "btadvice");
  EXPECT_EQ(button->text(), "Use suggested settings");
  ASSERT_TRUE(button->isEnabled());

  button->click();
  EXPECT_EQ(Find<QSpinBox>(wizard, "edvcc")->value(), 36);
  EXPECT_EQ(Engine().Project.CellsDown, 36);
  EXPECT_EQ(Find<QSpinBox>(Session().windows.options, "seradius")->value(), 1);
  EXPECT_EQ(Engine().OptionSet.MinRepeatRadius, 1);
  EXPECT_EQ(Engine().Project.MinRepeatRadius, 1);
  EXPECT_FALSE(button->isEnabled());  // the settings follow it now
  for (QLabel* line : panel->findChildren<QLabel*>()) {
    if (!line->isVisibleTo(panel)) continue;
    EXPECT_EQ(line->palette().color(QPalette::WindowText), QColor(0, 0x80, 0)) << line->text().toStdString();
  }

  // The whole advice is in the Options window's controls and in the engine.
  const SettingsAdvice advice = AdviseSettings(AdviceInputOf(Engine(), Engine().OptionSet));
  ASSERT_TRUE(advice.Followed());
  const MatchOptions advised{true, true, true, true};
  EXPECT_EQ(advice.Matching, advised);
  EXPECT_EQ(Engine().MatchingSet, advised);
  EXPECT_EQ(Engine().Matching, advised);
  QWidget* options = Session().windows.options;
  for (const char* name : {"cbdetail", "cbfairuseall", "cbusecap", "cbrptlimit", "cbuseall"})
    EXPECT_TRUE(Find<QCheckBox>(options, name)->isChecked()) << name;
  EXPECT_EQ(Find<QComboBox>(options, "cbrecolor")->currentIndex(), 1);
  EXPECT_EQ(Find<QSpinBox>(options, "serepeattime")->value(), 360);  // 2.5 x 1,728 cells / 12 photos
  EXPECT_EQ(Find<QSlider>(options, "tbenhance")->value(), 100);
  EXPECT_EQ(Find<QSlider>(options, "tbalphablendmain")->value(), 45);  // 115 of 255
  const tmosaicproject& set = Engine().OptionSet;
  EXPECT_TRUE(set.LimitRepeat);
  EXPECT_EQ(set.MaxRepeatTimes, advice.MaxRepeatTimes);
  EXPECT_EQ(set.ColorEnhance, 100);
  EXPECT_EQ(set.AlphaMain, 115);
  EXPECT_EQ(Engine().Project.MaxRepeatTimes, 360);
  EXPECT_TRUE(QSettings().value(QStringLiteral("Matching/UseCap")).toBool());

  // The last page shows the same notes, and the brief lists them.
  auto* final = Find<QWidget>(wizard, "advicefinal");
  EXPECT_EQ(Find<QLabel>(final, "lbadvice1")->text(), first->text());
  const QString brief = Find<QPlainTextEdit>(wizard, "Memo1")->toPlainText();
  EXPECT_TRUE(brief.contains("--------Advice--------\nRepeat radius 1 leaves at least 4 of the 12 photos"));
  EXPECT_TRUE(brief.contains(
      "Suggested settings: radius 1, use all photos on, 48 x 36 cells, repeat cap 360 kept by the "
      "solver, detail matching, colour transfer at 100 % with overlay 115"));
}

}  // namespace
}  // namespace velmora
