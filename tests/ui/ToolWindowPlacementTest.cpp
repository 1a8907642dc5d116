// The tool windows stay out of the way: they close with Escape, the overview
// the program shows after a job takes no focus and stays where the user put
// it, every tool window reopens where it was put (also in the next run), and
// a modal message box shown over them is above them.
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <QWindow>
#include <functional>

#include "UiTestSupport.h"
#include "ui/CellInfoWindow.h"
#include "ui/LibraryCheckWindow.h"
#include "ui/NewProjectWizard.h"
#include "ui/OverviewWindow.h"
#include "ui/PickCellDialog.h"
#include "ui/UsageStatsWindow.h"
#include "ui/WindowSupport.h"

namespace velmora::testing {
namespace {

class ToolWindowPlacementTest : public ProgramTest {
protected:
  // Every test starts from no remembered places.
  void SetUp() override { QSettings().remove(QStringLiteral("ToolWindows")); }
  void TearDown() override { QSettings().remove(QStringLiteral("ToolWindows")); }

  // The five tool windows, by their captions.
  struct Tool {
    const char* caption;
    std::function<QDialog*(const ui::Windows&)> window;
  };
  static std::vector<Tool> Tools() {
    return {{"OverView", [](const ui::Windows& w) -> QDialog* { return w.overview; }},
            {"Cell Info", [](const ui::Windows& w) -> QDialog* { return w.cellInfo; }},
            {"Library Check", [](const ui::Windows& w) -> QDialog* { return w.libraryCheck; }},
            {"Usage Stats and Position Extractor", [](const ui::Windows& w) -> QDialog* { return w.stats; }},
            {"PickCell", [](const ui::Windows& w) -> QDialog* { return w.pickCell; }}};
  }
  // The main window active, as after the user clicked it.
  void ActivateMain() {
    Main().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Main()));
  }
  static QRect Place(const QWidget* w) { return QRect(w->pos(), w->size()); }
};

TEST_F(ToolWindowPlacementTest, ToolWindowsAreToolChildrenOfTheMainWindowAndNeverStayOnTop) {
  Start(2);
  for (const Tool& t : Tools()) {
    SCOPED_TRACE(t.caption);
    QDialog* w = t.window(Session().windows);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), QString::fromLatin1(t.caption));
    EXPECT_EQ(w->windowType(), Qt::Tool);
    EXPECT_FALSE(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(w->parentWidget(), &Main());
    EXPECT_TRUE(w->testAttribute(Qt::WA_ShowWithoutActivating));
  }
  // The wizard opens Library Check: it must not stay above it.
  EXPECT_FALSE(Session().windows.wizard->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(ToolWindowPlacementTest, EscapeClosesEachToolWindow) {
  Start(2);
  for (const Tool& t : Tools()) {
    SCOPED_TRACE(t.caption);
    QDialog* w = t.window(Session().windows);
    // Opened by the user: in front, with the focus.
    ui::ShowInFront(w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    // Through the window system, as a key press arrives: the main window's
    // own Escape (stop a running job) must not swallow it.
    QTest::keyClick(w->windowHandle(), Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
  }
  EXPECT_TRUE(Main().isVisible());

  // While a job runs, Escape is the job's: it stops the job and the window
  // stays.
  QDialog* overview = Session().windows.overview;
  ui::ShowInFront(overview);
  ASSERT_TRUE(QTest::qWaitForWindowActive(overview));
  Session().jobRunning = true;
  QTest::keyClick(overview->windowHandle(), Qt::Key_Escape);
  Session().jobRunning = false;
  EXPECT_TRUE(overview->isVisible());
}

TEST_F(ToolWindowPlacementTest, OverviewAfterAJobTakesNoFocusAndStaysWhereItWasPut) {
  Start(4);
  ui::OverviewWindow* overview = Session().windows.overview;
  ASSERT_FALSE(overview->isVisible());
  ActivateMain();
  MakeMosaic();
  ASSERT_TRUE(overview->isVisible()) << "shown by the finished job";
  EXPECT_EQ(QApplication::activeWindow(), &Main());
  EXPECT_FALSE(overview->isActiveWindow());

  // The user moves it and closes it; the next job shows it there again,
  // still without the focus.
  const QRect put(QPoint(40, 60), QSize(300, 280));
  overview->resize(put.size());
  overview->move(put.topLeft());
  overview->close();
  ActivateMain();
  MakeMosaic();
  ASSERT_TRUE(overview->isVisible());
  EXPECT_EQ(Place(overview), put);
  EXPECT_EQ(QApplication::activeWindow(), &Main());
}

TEST_F(ToolWindowPlacementTest, MovedWindowReopensWhereItWasPutInThisRunAndTheNext) {
  Start(2);
  // Fixed-size windows (cell info, pick cell) keep their size wherever they go.
  std::vector<QRect> put;
  int k = 0;
  for (const Tool& t : Tools()) {
    SCOPED_TRACE(t.caption);
    QDialog* w = t.window(Session().windows);
    w->show();
    const QRect place(QPoint(30 + 20 * k, 40 + 10 * k), w->size() + QSize(12, 8));
    w->resize(place.size());
    w->move(place.topLeft());
    put.push_back(Place(w));
    w->hide();
    w->move(0, 0);  // as a window manager placing it anew
    ui::ShowInFront(w);
    EXPECT_EQ(Place(w), put.back());
    w->close();
    ++k;
  }
  // The next run: every window opens where it was left.
  program.reset();
  program = std::make_unique<ui::Program>(folder.str(), prompts);
  Main().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Main()));
  k = 0;
  for (const Tool& t : Tools()) {
    SCOPED_TRACE(t.caption);
    QDialog* w = t.window(Session().windows);
    ui::ShowInFront(w);
    EXPECT_EQ(Place(w), put[size_t(k++)]);
    EXPECT_EQ(QSettings().value(ui::ToolPlacementKey(w)).toRect(), Place(w));
  }
}

TEST_F(ToolWindowPlacementTest, ModalMessageBoxIsAboveTheVisibleOverview) {
  Start(4);
  ActivateMain();
  MakeMosaic();
  ui::OverviewWindow* overview = Session().windows.overview;
  ASSERT_TRUE(overview->isVisible());
  // The desktop's own message box, as the "Caution" box is shown.
  ui::UserPrompts desktop;
  bool checked = false;
  QTimer::singleShot(0, &Main(), [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    checked = true;
    EXPECT_EQ(box->windowTitle(), "Caution");
    EXPECT_EQ(QGuiApplication::modalWindow(), box->windowHandle());
    // The box belongs to the main window; the overview stays above the main
    // window only, never above everything, so it cannot cover the box.
    EXPECT_EQ(box->windowHandle()->transientParent(), Main().windowHandle());
    EXPECT_EQ(overview->windowHandle()->transientParent(), Main().windowHandle());
    EXPECT_FALSE(overview->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(overview->isVisible());
    box->button(QMessageBox::Ok)->click();
  });
  desktop.Message(&Main(), QStringLiteral("Caution"), QStringLiteral("A test message"));
  EXPECT_TRUE(checked);
}

}  // namespace
}  // namespace velmora::testing
