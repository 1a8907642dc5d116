// Tab walks every dialog's controls the way a reader reads them: each press
// reaches the next control of the same box to the right, below, or at the top
// of the next column, and every visible control is reached once before the
// walk comes round again (a text box must not keep Tab for itself).
#include <QAbstractButton>
#include <QApplication>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <set>

#include "UiTestSupport.h"
#include "ui/AboutBox.h"
#include "ui/FileLoaderWindow.h"
#include "ui/HelpWindow.h"
#include "ui/LibraryManagerWindow.h"
#include "ui/NewProjectWizard.h"
#include "ui/OptionsDialog.h"
#include "ui/PickCellDialog.h"
#include "ui/PrintWindow.h"
#include "ui/UsageStatsWindow.h"

namespace velmora {
namespace {

using testing::ProgramTest;

class TabOrderTest : public ProgramTest {
protected:
  static bool Reachable(QWidget* w) {
    return w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy();
  }
  // The controls Tab can reach in `window`.
  static std::set<QWidget*> Controls(QWidget* window) {
    std::set<QWidget*> out;
    for (QWidget* w : window->findChildren<QWidget*>())
      if (Reachable(w) && w->window() == window) out.insert(w);
    return out;
  }
  static QString Name(QWidget* w) {
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
  }
  // Presses Tab from the first control until the walk comes round; returns
  // the controls in the order reached.
  std::vector<QWidget*> Walk(QWidget* window) {
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    std::vector<QWidget*> order;
    const std::set<QWidget*> controls = Controls(window);
    if (controls.empty()) return order;
    // The walk starts at the first control of the window's chain.
    QWidget* start = window->nextInFocusChain();
    while (!controls.count(start)) start = start->nextInFocusChain();
    start->setFocus(Qt::TabFocusReason);
    for (size_t i = 0; i <= controls.size() + 1; ++i) {
      QWidget* now = QApplication::focusWidget();
      if (!now || (!order.empty() && now == order.front())) break;
      order.push_back(now);
      QTest::keyClick(now, Qt::Key_Tab);
    }
    return order;
  }
  // Checks the walk: complete, each control once, reading order within a box.
  void CheckWindow(QWidget* window, const QString& what) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const std::vector<QWidget*> order = Walk(window);
    const std::set<QWidget*> controls = Controls(window);
    std::set<QWidget*> seen(order.begin(), order.end());
    QString walked;
    for (QWidget* c : order) walked += Name(c) + QLatin1Char(' ');
    SCOPED_TRACE(walked.toStdString());
    EXPECT_EQ(seen.size(), order.size()) << what.toStdString() << ": a control is reached twice";
    for (QWidget* c : controls)
      EXPECT_TRUE(seen.count(c)) << what.toStdString() << ": Tab never reaches " << Name(c).toStdString();
    for (size_t i = 1; i < order.size(); ++i) {
      QWidget* a = order[i - 1];
      QWidget* b = order[i];
      if (a->parentWidget() != b->parentWidget()) continue;
      const QRect ra = a->geometry(), rb = b->geometry();
      const bool sameRow = rb.top() < ra.bottom() && ra.top() < rb.bottom();
      // Back up to the top is right where the next column starts.
      const bool nextColumn = rb.left() >= ra.right();
      const bool forward = sameRow ? rb.left() >= ra.left() : rb.top() >= ra.top() || nextColumn;
      EXPECT_TRUE(forward) << what.toStdString() << ": Tab goes back from " << Name(a).toStdString() << " to "
                           << Name(b).toStdString();
    }
  }
};

TEST_F(TabOrderTest, EveryDialogIsWalkedInReadingOrder) {
  Start();
  MakeMosaic();
  const ui::Windows& w = Session().windows;
  const std::pair<QWidget*, const char*> windows[] = {
      {w.options, "options"}, {w.pickCell, "pick cell"}, {w.print, "print"},   {w.library, "library"},
      {w.loader, "loader"},   {w.stats, "stats"},        {w.help, "help"},     {w.about, "about"},
  };
  for (const auto& [window, name] : windows) {
    CheckWindow(window, QString::fromLatin1(name));
    window->hide();
  }

  auto* pages = w.wizard->findChild<QTabWidget*>();
  ASSERT_NE(pages, nullptr);
  for (int i = 0; i < pages->count(); ++i) {
    pages->setCurrentIndex(i);
    CheckWindow(w.wizard, QStringLiteral("wizard page %1").arg(i + 1));
  }
}

}  // namespace
}  // namespace velmora
