// Long jobs run on a thread of their own: while a mosaic is created the
// window's events go on, the gauge moves, the commands that would edit the
// picture or start another job are disabled, Cancel and Escape stop the job
// and put back the mosaic before it, and a finished job gives the picture the
// engine gives on its own.
#include <QAction>
#include <QComboBox>
#include <QShortcut>
#include <QToolButton>
#include <atomic>
#include <set>
#include <thread>

#include "UiTestSupport.h"

namespace velmora::testing {
namespace {

// What the window showed while a job ran, seen by a 0 ms timer and at every
// pause of the job's thread (which the watch asks for at every report, so a
// short job is seen too).
class JobWatch : public QObject {
public:
  explicit JobWatch(ui::MainWindow& main) : main_(main) {
    main_.Jobs().SetPauseEvery(std::chrono::milliseconds(0));
    connect(&main_.Jobs(), &ui::GuiJobListener::paused, this, [this] { Look(false); });
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, [this] { Look(true); });
    timer_.start();
  }
  ~JobWatch() override { main_.Jobs().SetPauseEvery(std::chrono::milliseconds(100)); }

  // Called once the render's gauge has passed `percent`: a cancel by the
  // button or the key, for instance.
  void WhenPast(int percent, std::function<void()> act) {
    actAt_ = percent;
    act_ = std::move(act);
  }

  int ticks = 0;           // timer shots while the job ran
  std::set<int> gauge;     // the gauge's values during the render
  QStringList enabled;     // commands seen enabled during a job
  bool acted = false;

private:
  void Look(bool fromTimer) {
    if (!main_.findChild<QPushButton*>("btcancel")->isEnabled()) return;  // no job
    if (fromTimer) ++ticks;
    const auto* label = main_.findChild<QLabel*>("LBJOB");
    const int value = main_.findChild<QProgressBar*>("gauge")->value();
    if (label->text() == QStringLiteral("Current Job : OutPut Final Mosaic Picture")) gauge.insert(value);
    for (const char* name : {"sbhandinfo", "sbhand2", "sbhand3", "sbhand4", "sbnew", "sbopprj", "sboption",
                             "sbstats", "sboverview"})
      if (auto* b = main_.findChild<QToolButton*>(name); b && b->isEnabled() && !enabled.contains(name))
        enabled << name;
    for (const char* name : {"ModeInfo1", "ModeEdit1", "ModeEdit2", "ModePen1", "NewProject1", "LoadProject1",
                             "SaveProject1", "Undo1", "ZoomIn1", "ZoomFit1", "BeadChart1", "LibraryCheck1"})
      if (auto* a = main_.findChild<QAction*>(name); a && a->isEnabled() && !enabled.contains(name))
        enabled << name;
    if (auto* zoom = main_.findChild<QComboBox*>("zoomfield"); zoom->isEnabled() && !enabled.contains("zoomfield"))
      enabled << "zoomfield";
    if (act_ && !acted && label->text() == QStringLiteral("Current Job : OutPut Final Mosaic Picture") &&
        value > actAt_) {
      acted = true;
      act_();
    }
  }

  ui::MainWindow& main_;
  QTimer timer_;
  int actAt_ = 0;
  std::function<void()> act_;
};

class JobThreadTest : public ProgramTest {
protected:
  // A mosaic of `cols` x `rows` cells of `cell` px from the first sample
  // picture, set up as the wizard leaves it, not yet created.
  void SetUpGrid(int cols, int rows, int cell) {
    tmosaicproject& p = Engine().Project;
    p.CellsAcross = cols;
    p.CellsDown = rows;
    p.CellWidth = cell;
    p.CellHeight = cell;
    CopyOptions(Engine().OptionSet, p);
    ComputeDerivedSizes(p);
    p.MainImageFile = Engine().PicList[0];
    ASSERT_TRUE(LoadPictureFile(Engine().MainBitmap, p.MainImageFile).ok());
  }
  std::vector<TColor32> Pixels() {
    const auto px = Engine().MosaicBitmap.Pixels();
    return std::vector<TColor32>(px.begin(), px.end());
  }
};

TEST_F(JobThreadTest, CreateRunsWhileTheWindowGoesOnAndGivesTheEnginesPicture) {
  Start(6);
  SetUpGrid(90, 60, 16);
  // The engine on its own, from the same settings, library and seed.
  velmora::Engine alone;
  alone.Project = Engine().Project;
  alone.MainBitmap.Assign(Engine().MainBitmap);
  alone.PicList.Assign(Engine().PicList.Paths());
  alone.Matching = Engine().Matching;
  alone.SetUprightPictures(Engine().UprightPictures());
  alone.SetThreadCount(1);
  alone.Rng.SetSeed(1);
  ASSERT_TRUE(alone.CreateMosaic().ok());

  JobWatch watch(Main());
  Main().CreateMosaic(false);
  EXPECT_GT(watch.ticks, 0) << "the window's timers stood still during the job";
  EXPECT_GE(watch.gauge.size(), 3u) << "the gauge did not move during the render";
  EXPECT_GT(*watch.gauge.rbegin(), 50);
  EXPECT_TRUE(watch.enabled.isEmpty()) << watch.enabled.join(' ').toStdString();
  EXPECT_EQ(Engine().MosaicState, 2);
  EXPECT_EQ(Pixels(), std::vector<TColor32>(alone.MosaicBitmap.Pixels().begin(), alone.MosaicBitmap.Pixels().end()));
  // Idle again: the commands are back.
  EXPECT_TRUE(Find<QToolButton>(&Main(), "sbhand2")->isEnabled());
  EXPECT_TRUE(Find<QAction>(&Main(), "NewProject1")->isEnabled());
  EXPECT_FALSE(Find<QPushButton>(&Main(), "btcancel")->isEnabled());
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(JobThreadTest, CancelByButtonOrKeyStopsTheRenderAndPutsBackTheMosaicBefore) {
  Start(6);
  MakeMosaic();
  ASSERT_EQ(Engine().MosaicState, 2);
  const std::vector<TColor32> before = Pixels();
  Main().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Main()));
  const struct {
    const char* how;
    std::function<void(ui::MainWindow&)> cancel;
  } ways[] = {
      {"button", [](ui::MainWindow& m) { m.findChild<QPushButton*>("btcancel")->click(); }},
      {"Escape", [](ui::MainWindow& m) { QTest::keyClick(&m, Qt::Key_Escape); }},
  };
  for (const auto& way : ways) {
    SetUpGrid(60, 40, 16);
    JobWatch watch(Main());
    watch.WhenPast(5, [&] { way.cancel(Main()); });
    // A click on the picture meanwhile edits nothing.
    QTimer::singleShot(0, &Main(), [&] { ClickView(Qt::LeftButton, QPoint(5, 5)); });
    Main().CreateMosaic(false);
    EXPECT_TRUE(watch.acted) << way.how;
    EXPECT_EQ(Find<QLabel>(&Main(), "LBJOB")->text(), "Current Job : Cancelled") << way.how;
    EXPECT_EQ(Engine().MosaicState, 2) << way.how;
    EXPECT_EQ(Engine().Project.CellsAcross, 8) << way.how;
    EXPECT_EQ(Pixels(), before) << way.how;
    EXPECT_FALSE(Session().history.CanUndo()) << way.how;
    EXPECT_FALSE(Find<QPushButton>(&Main(), "btcancel")->isEnabled());
  }
  EXPECT_TRUE(prompts.messages.empty());
}

}  // namespace
}  // namespace velmora::testing

namespace velmora::testing {
namespace {

TEST_F(ProgramTest, ASecondJobStartedDuringTheFirstIsRefused) {
  Start();
  std::atomic<bool> release{false};
  Status inner = Status::Ok();
  bool innerRan = false;
  // Started from the first job's event loop, as a command that slipped past
  // the disabled buttons would be.
  QTimer::singleShot(0, [&] {
    inner = Main().RunJob([&] {
      innerRan = true;
      return Status::Ok();
    });
    release = true;
  });
  const Status outer = Main().RunJob(
      [&] {
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return Status::Ok();
      },
      {}, false);
  EXPECT_TRUE(outer.ok());
  EXPECT_FALSE(innerRan);
  EXPECT_NE(inner.message().find("Another job is still running"), std::string::npos) << inner.message();
}

}  // namespace
}  // namespace velmora::testing
