// How the main view behaves from the first look on: a new, loaded or opened
// picture fitted and in the middle of the view (at every zoom where it is
// smaller than the view), scales typed into the zoom field, the keys that
// scroll, the window's size at the first start and after, the pen's outline
// while it is dragged, the pick-cell window opening on the best match, and
// the empty view's hint.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRubberBand>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QToolButton>
#include <functional>

#include "UiTestSupport.h"
#include "imaging/PictureOps.h"
#include "ui/MosaicView.h"
#include "ui/PickCellDialog.h"
#include "view/ViewGeometry.h"

namespace velmora::testing {
namespace {

class ViewHabitsTest : public ProgramTest {
protected:
  ui::MosaicView* View() { return Main().View(); }
  void Mode(const char* button) { Find<QToolButton>(&Main(), button)->click(); }
  void Activate() {
    Main().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Main()));
  }
  // A mosaic of across x down cells of 16 pixels, made by the create command.
  void Create(int across, int down) {
    tmosaicproject& p = Engine().Project;
    p.CellsAcross = across;
    p.CellsDown = down;
    p.CellWidth = 16;
    p.CellHeight = 16;
    CopyOptions(Engine().OptionSet, p);
    ComputeDerivedSizes(p);
    p.MainImageFile = Engine().PicList[0];
    ASSERT_TRUE(LoadPictureFile(Engine().MainBitmap, p.MainImageFile).ok());
    Main().CreateMosaic(false);
  }
  // The view as the screen shows it: the work area's colour where no
  // picture is.
  QImage Shot() { return Main().WorkArea()->grab(View()->geometry()).toImage(); }
  QRgb Background() { return Main().WorkArea()->palette().color(QPalette::Window).rgb(); }
  // The bounds of what is painted over the work area's colour within `area`.
  QRect Painted(const QImage& shot, const QRect& area) {
    QRect bounds;
    for (int y = area.top(); y <= area.bottom(); ++y)
      for (int x = area.left(); x <= area.right(); ++x)
        if (shot.pixel(x, y) != Background()) bounds |= QRect(x, y, 1, 1);
    return bounds;
  }
  // The picture's rectangle is in the middle of the view within a pixel, and
  // it is what is painted.
  void ExpectCentred(const char* what) {
    SCOPED_TRACE(what);
    const QRect shown = View()->ShownPictureRect();
    const QRect view = View()->rect();
    ASSERT_FALSE(shown.isEmpty());
    if (shown.width() <= view.width()) {
      EXPECT_LE(std::abs(shown.center().x() - view.center().x()), 1);
    }
    if (shown.height() <= view.height()) {
      EXPECT_LE(std::abs(shown.center().y() - view.center().y()), 1);
    }
    const QRect painted = Painted(Shot(), view);
    EXPECT_LE(std::abs(painted.left() - std::max(shown.left(), 0)), 1);
    EXPECT_LE(std::abs(painted.top() - std::max(shown.top(), 0)), 1);
    EXPECT_LE(std::abs(painted.right() - std::min(shown.right(), view.right())), 1);
    EXPECT_LE(std::abs(painted.bottom() - std::min(shown.bottom(), view.bottom())), 1);
  }
};

TEST_F(ViewHabitsTest, ANewLoadedOrOpenedPictureIsFittedAndCentredAtEveryZoom) {
  Start(6);
  const std::string project = folder / "wide.vm6";
  const struct {
    const char* what;
    std::function<void()> show;
  } ways[] = {
      {"made square", [&] { Create(8, 8); }},
      {"made wide", [&] { Create(24, 4); }},
      {"loaded", [&] {
         ASSERT_TRUE(Main().SaveProjectTo(QString::fromStdString(project)).ok());
         Create(8, 8);
         Main().ZoomActual();
         ASSERT_TRUE(Main().OpenProjectFrom(QString::fromStdString(project)).ok());
       }},
      {"opened picture", [&] {
         Main().ZoomActual();
         prompts.openAnswers.push_back(QString::fromStdString(Engine().PicList[2]));
         Main().OpenPicture();
       }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.what);
    way.show();
    const TBitmap32& bmp = Engine().MosaicBitmap;
    ASSERT_FALSE(bmp.Empty());
    EXPECT_TRUE(View()->FitMode());
    EXPECT_EQ(Find<QComboBox>(&Main(), "zoomfield")->currentText(), "Fit");
    EXPECT_DOUBLE_EQ(View()->Scale(), FitScale(View()->width(), View()->height(), bmp.Width(), bmp.Height()));
    EXPECT_EQ(View()->Origin(), (ViewPoint{0, 0}));
    ExpectCentred("fitted");
  }
  // Zoomed out below fit, and back to 100 % with the picture smaller than
  // the view: still in the middle. Larger than the view, it starts at the
  // view's corner.
  EXPECT_EQ(Engine().MosaicState, 1);
  Create(8, 8);
  const double fit = View()->Scale();
  View()->SetScale(fit / 4);
  ExpectCentred("below fit");
  Main().ZoomActual();
  ExpectCentred("100 %");
  View()->SetScale(8);
  EXPECT_EQ(View()->PictureTopLeft(), QPoint(0, 0));
  ExpectCentred("800 %");
  // The window made smaller: a fitted picture follows, in the middle.
  Main().ZoomFit();
  Main().resize(Main().width() - 120, Main().height() - 40);
  QApplication::processEvents();
  ExpectCentred("resized");
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(ViewHabitsTest, TypedZoomIsAppliedClampedOrPutBack) {
  Start(6);
  Create(8, 8);
  auto* field = Find<QComboBox>(&Main(), "zoomfield");
  QLineEdit* edit = field->lineEdit();
  ASSERT_NE(edit, nullptr);
  const struct {
    const char* typed;
    double scale;  // 0: the scale stays
    const char* shown;
  } cases[] = {
      {"150", 1.5, "150%"},    {"150 %", 1.5, "150%"}, {" 75%", 0.75, "75%"},
      {"abc", 0, "100%"},      {"100000", 8, "800%"},  {"0", 0, "100%"},
      {"1", 1.0 / 16, "6.2%"}, {"37.5%", 0.375, "38%"}, {"fit", -1, "Fit"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    Main().ZoomActual();
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromLatin1(c.typed));
    QTest::keyClick(edit, Qt::Key_Return);
    if (c.scale < 0) {
      EXPECT_TRUE(View()->FitMode());
    } else {
      EXPECT_DOUBLE_EQ(View()->Scale(), c.scale > 0 ? c.scale : 1.0);
      EXPECT_FALSE(View()->FitMode());
    }
    EXPECT_EQ(field->currentText(), c.shown);
  }
  // Leaving the field applies what was typed; Enter hands the keys back to
  // the picture.
  Activate();
  Main().ZoomActual();
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, QStringLiteral("250"));
  View()->setFocus();
  EXPECT_DOUBLE_EQ(View()->Scale(), 2.5);
  EXPECT_EQ(field->currentText(), "250%");
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, QStringLiteral("50"));
  QTest::keyClick(edit, Qt::Key_Enter);
  EXPECT_DOUBLE_EQ(View()->Scale(), 0.5);
  EXPECT_TRUE(View()->hasFocus());
}

TEST_F(ViewHabitsTest, KeysScrollTheViewInEveryMode) {
  Start(6);
  Create(80, 60);  // 1280 x 960, larger than the view at 100 %
  constexpr int W = 1280, H = 960;
  Main().ZoomActual();
  Activate();
  QApplication::processEvents();
  const int w = View()->width(), h = View()->height();
  ASSERT_LT(w, W - 200);
  ASSERT_LT(h, H - 200);
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    ViewPoint expected;
  } cases[] = {
      {Qt::Key_Right, Qt::NoModifier, {100 + kScrollStep, 100}},
      {Qt::Key_Left, Qt::NoModifier, {100 - kScrollStep, 100}},
      {Qt::Key_Down, Qt::NoModifier, {100, 100 + kScrollStep}},
      {Qt::Key_Up, Qt::NoModifier, {100, 100 - kScrollStep}},
      {Qt::Key_PageDown, Qt::NoModifier, {100, std::min(100 + h, H - h)}},
      {Qt::Key_PageUp, Qt::NoModifier, {100, 0}},
      {Qt::Key_PageDown, Qt::ShiftModifier, {std::min(100 + w, W - w), 100}},
      {Qt::Key_Home, Qt::NoModifier, {0, 0}},
      {Qt::Key_End, Qt::NoModifier, {W - w, H - h}},
  };
  for (const char* mode : {"sbhandinfo", "sbhand4"}) {
    Mode(mode);
    View()->setFocus();
    ASSERT_TRUE(View()->hasFocus());
    for (const auto& c : cases) {
      View()->ScrollTo({100, 100});
      // Through the window, to the widget with the focus.
      QTest::keyClick(Main().windowHandle(), c.key, c.modifiers);
      EXPECT_EQ(View()->Origin(), c.expected) << mode << " key " << c.key;
    }
  }
  // The scroll bars and the status line follow.
  EXPECT_EQ(Find<QScrollBar>(&Main(), "vscroll")->value(), H - h);
  EXPECT_EQ(Find<QLabel>(&Main(), "Label1")->text(),
            QString("Scale :100% MainbmpPos x%1 y%2").arg(W - w).arg(H - h));
}

TEST_F(ViewHabitsTest, FirstStartFillsMostOfTheScreenAndLaterStartsKeepTheLastSize) {
  // The tests after this one start with the place they would have had.
  const QString key = QStringLiteral("MainWindow/geometry");
  struct PutBack {
    QString key;
    QVariant value = QSettings().value(key);
    ~PutBack() { value.isValid() ? QSettings().setValue(key, value) : QSettings().remove(key); }
  } putBack{key};
  QSettings().remove(key);
  Start(1);
  const QRect desk = Main().screen()->availableGeometry();
  const TRect first =
      FirstWindowRect(TRect{desk.left(), desk.top(), desk.right() + 1, desk.bottom() + 1}, 685, 463);
  EXPECT_EQ(Main().size(), QSize(first.Width(), first.Height()));
  EXPECT_TRUE(desk.contains(Main().geometry())) << desk.width() << "x" << desk.height();

  // Never smaller than 685 x 463: a little wider, a little lower.
  const QSize last(first.Width() + 40, first.Height() - 30);
  Main().resize(last);
  Main().close();
  program = std::make_unique<ui::Program>(folder.str(), prompts);
  EXPECT_EQ(Main().size(), last);
}

TEST_F(ViewHabitsTest, PenRectangleIsOutlinedWhileDragged) {
  Start(6);
  Create(8, 8);
  Mode("sbhand4");
  for (const char* zoom : {"fit", "50%"}) {
    SCOPED_TRACE(zoom);
    if (QString(zoom) == "50%") View()->SetScale(0.5);
    const QImage before = Shot();
    QTest::mousePress(View(), Qt::LeftButton, Qt::NoModifier, OnPicture(20, 20));
    QTest::mouseMove(View(), OnPicture(60, 50));
    const QRubberBand* outline = View()->PenOutline();
    ASSERT_NE(outline, nullptr);
    EXPECT_TRUE(outline->isVisible());
    // It frames the pixels the stroke will paint, 20..60 and 20..50.
    const QPoint corner = View()->PictureTopLeft();
    const TRect want = PictureToViewRect({20, 20, 61, 51}, View()->Origin(), {corner.x(), corner.y()},
                                         View()->Scale());
    EXPECT_EQ(outline->geometry(), QRect(want.Left, want.Top, want.Width(), want.Height()));
    // It is on the screen: the outline's pixels changed, the picture's
    // middle far from it did not.
    const QImage during = Shot();
    const QRect g = outline->geometry();
    int changed = 0;
    for (int x = g.left(); x <= g.right(); ++x) changed += during.pixel(x, g.top()) != before.pixel(x, g.top());
    EXPECT_GT(changed, g.width() / 2);
    const QPoint far = OnPicture(110, 110);
    EXPECT_EQ(during.pixel(far), before.pixel(far));
    // Beyond the picture's edge it stops there.
    QTest::mouseMove(View(), View()->ShownPictureRect().bottomRight() + QPoint(30, 30));
    EXPECT_EQ(outline->geometry().bottomRight(), View()->ShownPictureRect().bottomRight());
    // The release paints the stroke and the outline goes.
    const size_t strokes = Main().PenStrokes().Strokes.size();
    QTest::mouseRelease(View(), Qt::LeftButton, Qt::NoModifier, OnPicture(60, 50));
    EXPECT_FALSE(outline->isVisible());
    EXPECT_EQ(Main().PenStrokes().Strokes.size(), strokes + 1);
  }
  // Other modes draw no outline.
  Mode("sbhand2");
  QTest::mousePress(View(), Qt::LeftButton, Qt::NoModifier, OnPicture(20, 20));
  QTest::mouseMove(View(), OnPicture(60, 50));
  EXPECT_FALSE(View()->PenOutline()->isVisible());
  QTest::mouseRelease(View(), Qt::LeftButton, Qt::NoModifier, OnPicture(60, 50));
}

TEST_F(ViewHabitsTest, PickCellOpensOnTheBestMatch) {
  Start(40);  // more thumbnails than the list shows at once
  Create(8, 8);
  Mode("sbhand3");
  ui::PickCellDialog* dialog = Session().windows.pickCell;
  auto* matches = Find<QListWidget>(dialog, "bestmatches");
  auto* names = Find<QListWidget>(dialog, "Cimglist");
  for (const QPoint cell : {QPoint(3, 5), QPoint(0, 0), QPoint(7, 7)}) {
    SCOPED_TRACE(cell.x() * 10 + cell.y());
    ClickView(Qt::LeftButton, OnPicture(cell.x() * 16 + 8, cell.y() * 16 + 8));
    ASSERT_TRUE(dialog->isVisible());
    QApplication::processEvents();  // the lists lay out their items
    ASSERT_GT(matches->verticalScrollBar()->maximum(), 0);
    const std::vector<int> best = dialog->BestMatches();
    ASSERT_EQ(best.size(), 40u);
    EXPECT_EQ(matches->currentRow(), 0);
    EXPECT_TRUE(matches->item(0)->isSelected());
    EXPECT_EQ(matches->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(matches->viewport()->rect().contains(matches->visualItemRect(matches->item(0))));
    EXPECT_EQ(dialog->SelectedIndex(), best[0]);
    EXPECT_TRUE(names->viewport()->rect().intersects(names->visualItemRect(names->item(best[0]))));
    // Scrolled away and another choice made: the next cell opens on its
    // best match again.
    matches->verticalScrollBar()->setValue(matches->verticalScrollBar()->maximum());
    names->setCurrentRow(best.back());
  }
}

TEST_F(ViewHabitsTest, EmptyViewShowsItsHintInTheMiddle) {
  Start(1);
  EXPECT_EQ(ui::MosaicView::EmptyHint(), QString::fromUtf8("New\u2026 or drop a picture here"));
  const QImage empty = Shot();
  const QRect view = View()->rect();
  // Text across the middle, nothing near the edges.
  const QRect middle(view.center().x() - view.width() / 4, view.center().y() - 20, view.width() / 2, 40);
  const QRect painted = Painted(empty, view);
  ASSERT_FALSE(painted.isEmpty());
  EXPECT_TRUE(middle.contains(painted)) << painted.x() << "," << painted.y() << " " << painted.width() << "x"
                                        << painted.height();
  EXPECT_LE(std::abs(painted.center().x() - view.center().x()), 2);
  EXPECT_LE(std::abs(painted.center().y() - view.center().y()), 2);
  // With a picture it goes: around a wide picture only the work area shows.
  Create(24, 4);
  const QRect shown = View()->ShownPictureRect();
  ASSERT_GT(shown.top(), 10);
  EXPECT_TRUE(Painted(Shot(), QRect(0, 0, view.width(), shown.top() - 1)).isEmpty());
}

}  // namespace
}  // namespace velmora::testing
