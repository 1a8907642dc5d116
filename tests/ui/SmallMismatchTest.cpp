// Small mismatches between windows: the wizard and the print window show the
// same printed size for the same mosaic, the wizard's "Avoid Stretch" note is
// red only while the ratios differ, and Library Check's rows hold the two
// lines of their advice.
#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPageLayout>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStyle>
#include <QTableWidget>
#include <QToolButton>

#include "UiTestSupport.h"
#include "imaging/PictureOps.h"
#include "ui/LibraryCheckWindow.h"
#include "ui/NewProjectWizard.h"
#include "ui/PrintWindow.h"
#include "ui/WindowHooks.h"

namespace velmora::testing {
namespace {

class SmallMismatchTest : public ProgramTest {
protected:
  QWidget* Wizard() { return Session().windows.wizard; }
  void OpenWizardAt(int page) {
    Find<QToolButton>(&Main(), "sbnew")->click();
    ASSERT_TRUE(Wizard()->isVisible());
    Find<QTabWidget>(Wizard(), "PageControl1")->setCurrentIndex(page);
  }
  void SetSpin(const char* name, int value) { Find<QSpinBox>(Wizard(), name)->setValue(value); }
  // The numbers of a label's text, in order: "21.33 x 21.33 Inch  or 54.19 x
  // 54.19 CM" gives 21.33, 21.33, 54.19, 54.19.
  static std::vector<double> Numbers(const QString& text) {
    std::vector<double> numbers;
    static const QRegularExpression number(QStringLiteral("[0-9]+(\\.[0-9]+)?"));
    for (auto it = number.globalMatch(text); it.hasNext();) numbers.push_back(it.next().captured().toDouble());
    return numbers;
  }
  static QString TwoDecimals(double v) { return QString::number(v, 'f', 2); }
};

TEST_F(SmallMismatchTest, WizardAndPrintWindowShowTheSameSizeRoundedExactly) {
  Start(2);
  ui::PrintWindow* print = Session().windows.print;
  QPrinter& printer = print->Printer();
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(ui::ToQString(folder / "sizes.pdf"));
  printer.setResolution(600);
  printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
  OpenWizardAt(1);
  const struct {
    int cells, cellSize, dpi;
    const char *inch, *cm;  // pixels / dpi and that times 2.54, rounded to hundredths
  } cases[] = {
      {48, 32, 72, "21.33", "54.19"},   // 54.1866...: the wizard cut it to 54.18
      {40, 25, 72, "13.89", "35.28"},   // 13.888... and 35.277...: both were cut
      {64, 32, 72, "28.44", "72.25"},   // 72.248...
      {48, 32, 300, "5.12", "13.00"},   // exact
      {15, 15, 100, "2.25", "5.72"},    // 5.715 exactly: the half goes up
      {100, 13, 1200, "1.08", "2.75"},  // 1.0833... and 2.7516...
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.cells << " x " << c.cellSize << " pixels at " << c.dpi);
    SetSpin("edhcc", c.cells);
    SetSpin("edcw", c.cellSize);
    SetSpin("eddpi", c.dpi);
    const std::vector<double> wizardInch = Numbers(Find<QLabel>(Wizard(), "lbmwi")->text());
    const std::vector<double> wizardCm = Numbers(Find<QLabel>(Wizard(), "lbmwm")->text());
    ASSERT_EQ(wizardInch.size(), 1u);
    ASSERT_EQ(wizardCm.size(), 1u);

    // The same picture in the print window at the same resolution.
    ASSERT_TRUE(Engine().MosaicBitmap.SetSize(c.cells * c.cellSize, 64).ok());
    ui::ShowPrintWindow(Session());
    Find<QRadioButton>(print, "RadioButton2")->click();
    Find<QComboBox>(print, "cdpi")->setCurrentIndex(kCustomDpiEntry);
    Find<QSpinBox>(print, "seCDPI")->setValue(c.dpi);
    print->Recompute();
    const std::vector<double> printed = Numbers(Find<QLabel>(print, "lbprintedfullsize")->text());
    ASSERT_EQ(printed.size(), 4u);

    EXPECT_EQ(TwoDecimals(wizardInch[0]), c.inch);
    EXPECT_EQ(TwoDecimals(wizardCm[0]), c.cm);
    EXPECT_EQ(TwoDecimals(printed[0]), c.inch);
    EXPECT_EQ(TwoDecimals(printed[2]), c.cm);
    print->close();
  }
}

TEST_F(SmallMismatchTest, AvoidStretchNoteIsRedOnlyWhileTheRatiosDiffer) {
  Start(2);
  OpenWizardAt(1);
  auto* note = Find<QLabel>(Wizard(), "lbstretch");
  ASSERT_TRUE(note->text().startsWith(QStringLiteral("Avoid Stretch")));
  const QColor red(0xC0, 0, 0);
  const QColor normal = Wizard()->palette().color(QPalette::WindowText);
  ASSERT_NE(normal, red);
  // 48 cells of 32 pixels across: 1536 pixels wide.
  SetSpin("edhcc", 48);
  SetSpin("edcw", 32);
  SetSpin("edch", 32);
  const struct {
    int pictureWidth, pictureHeight, cellsDown;
    bool red;
  } cases[] = {
      {800, 600, 36, false},   // 1152 pixels high: the same ratio
      {800, 600, 48, true},    // square on a 4:3 picture
      {800, 600, 37, true},    // a whole cell too high
      {800, 605, 36, false},   // 1161.6 asked for: 36 cells are as near as whole cells get
      {800, 605, 37, true},    // 22.4 pixels off: 36 are nearer
      {600, 800, 64, false},   // portrait, 2048 high
      {600, 800, 36, true},
      {1000, 1000, 48, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.pictureWidth << " x " << c.pictureHeight << ", " << c.cellsDown
                                    << " cells down");
    ASSERT_TRUE(Engine().MainBitmap.SetSize(c.pictureWidth, c.pictureHeight).ok());
    SetSpin("edvcc", c.cellsDown);
    EXPECT_EQ(note->palette().color(QPalette::WindowText), c.red ? red : normal);
  }
  // Without a main picture there is nothing to stretch.
  Engine().MainBitmap = TBitmap32();
  SetSpin("edvcc", 40);
  EXPECT_EQ(note->palette().color(QPalette::WindowText), normal);
}

TEST_F(SmallMismatchTest, LibraryCheckRowsHoldTwoLinesOfTheirFont) {
  Start(4);
  tmosaicproject& p = Engine().Project;
  p.CellsAcross = 8;
  p.CellsDown = 6;
  p.MainImageFile = Engine().PicList[0];
  ASSERT_TRUE(LoadPictureFile(Engine().MainBitmap, p.MainImageFile).ok());
  Find<QAction>(&Main(), "LibraryCheck1")->trigger();
  ui::LibraryCheckWindow* window = Session().windows.libraryCheck;
  ASSERT_TRUE(window->isVisible());
  auto* table = Find<QTableWidget>(window, "familylist");
  ASSERT_GT(table->rowCount(), 0);

  // Every row has room for two lines; the advice, wrapped within its column,
  // takes no more than the row.
  const auto checkRows = [&] {
    int wrapping = 0;
    const QFontMetrics metrics(table->font());
    const int margin = table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1;
    for (int row = 0; row < table->rowCount(); ++row) {
      SCOPED_TRACE(row);
      EXPECT_GE(table->rowHeight(row), 2 * metrics.lineSpacing() + 1);
      const QString advice = table->item(row, 4)->text();
      const QRect wrapped = metrics.boundingRect(QRect(0, 0, table->columnWidth(4) - 2 * margin, 100000),
                                                 Qt::TextWordWrap, advice);
      if (wrapped.height() > metrics.lineSpacing()) ++wrapping;
      EXPECT_LE(wrapped.height(), table->rowHeight(row) - 1) << advice.toStdString();
      EXPECT_EQ(table->item(row, 4)->toolTip(), advice);
    }
    EXPECT_GT(wrapping, 0) << "some advice needs its second line";
  };
  checkRows();
  // A larger font: the rows grow with it.
  const int before = table->rowHeight(0);
  QFont larger = window->font();
  larger.setPointSizeF(larger.pointSizeF() * 1.5);
  window->setFont(larger);
  EXPECT_GT(table->rowHeight(0), before);
  EXPECT_GE(table->rowHeight(0), 2 * QFontMetrics(table->font()).lineSpacing() + 1);
  EXPECT_EQ(table->verticalHeader()->defaultSectionSize(), table->rowHeight(0));
}

}  // namespace
}  // namespace velmora::testing
