// The print window on a PDF printer: the figures and texts it shows, a
// two-page layout printed to a PDF file (its pages counted), fit to page,
// the job title, and the print dialog answered with Cancel.
#include <QComboBox>
#include <QLabel>
#include <QPageLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <regex>

#include "UiTestSupport.h"
#include "imaging/PictureOps.h"
#include "ui/PrintWindow.h"

namespace velmora::testing {
namespace {

class PrintWindowTest : public ProgramTest {
protected:
  // An 8 x 8 mosaic of 16-pixel cells (128 x 128) and the print window on a
  // 72-dpi PDF printer with A4 paper and no margins: 595 x 842 dots.
  void StartWithMosaic() {
    Start(4);
    MakeMosaic();
    ASSERT_EQ(Engine().MosaicBitmap.Width(), 128);
    QPrinter& printer = Window()->Printer();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(Pdf()));
    printer.setResolution(72);
    printer.setPageLayout(
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    Find<QToolButton>(&Main(), "sbprint")->click();
    ASSERT_TRUE(Window()->isVisible());
  }
  ui::PrintWindow* Window() { return Session().windows.print; }
  QString Text(const char* label) { return Find<QLabel>(Window(), label)->text(); }
  std::string Pdf() { return folder / "out.pdf"; }
  // Page objects of the PDF file, not the page tree ("/Type /Pages").
  int PdfPages() {
    const std::string pdf = ReadWholeFile(Pdf());
    const std::regex page("/Type\\s*/Page(?![s\\w])");
    return static_cast<int>(
        std::distance(std::sregex_iterator(pdf.begin(), pdf.end(), page), std::sregex_iterator()));
  }
};

TEST_F(PrintWindowTest, PrintsTwoPagesAtACustomResolution) {
  StartWithMosaic();
  EXPECT_EQ(Text("lpdpi"), "72 x 72");
  EXPECT_EQ(Text("lpagesize"), "8.26 x 11.69 Inch  or 20.99 x 29.70 CM  ");
  EXPECT_EQ(Text("lbsourcesize"), "128 x 128 pixels");
  EXPECT_EQ(Text("lbpagecount"), "Page Count : 1 x 1");  // 72 DPI: 128 dots
  // CUSTOM at 12 pixels per inch: 768 dots wide, two pages of 99 pixels and 29.
  Find<QComboBox>(Window(), "cdpi")->setCurrentIndex(9);
  Find<QSpinBox>(Window(), "seCDPI")->setValue(12);
  EXPECT_EQ(Text("lbpagecount"), "Page Count : 2 x 1");
  EXPECT_EQ(Text("lbprintedfullsize"), "10.67 x 10.67 Inch  or 27.09 x 27.09 CM");
  EXPECT_EQ(Text("lbprintedcellsize"), "1.33 x 1.33 Inch  or 3.39 x 3.39 CM");
  // Typed text that is no entry leaves the resolution as it was.
  Find<QComboBox>(Window(), "cdpi")->setEditText("13 DPI");
  EXPECT_EQ(Text("lbpagecount"), "Page Count : 2 x 1");

  Find<QPushButton>(Window(), "btprint")->click();
  EXPECT_EQ(prompts.printDialogs, 1);
  EXPECT_FALSE(Window()->isVisible());
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(PdfPages(), 2);
  EXPECT_EQ(
      Window()->Printer().docName(),
      "Velmora project" + QString::fromStdString(std::filesystem::path(Engine().PicList[0]).filename()));
}

TEST_F(PrintWindowTest, FitsToOnePageAndCancelsWithoutPrinting) {
  StartWithMosaic();
  Find<QRadioButton>(Window(), "rbfit")->click();
  EXPECT_EQ(Text("lbpagecount"), "Page Count : 1");
  EXPECT_EQ(Window()->Layout().PrintedWidth, 595);
  prompts.printAnswer = false;
  Find<QPushButton>(Window(), "btprint")->click();
  EXPECT_FALSE(Window()->isVisible());
  EXPECT_FALSE(std::filesystem::exists(Pdf()));
  // Printed without the dialog: one page.
  ASSERT_TRUE(Window()->PrintPages().ok());
  EXPECT_EQ(PdfPages(), 1);
  // A PDF file that cannot be written fails with a message, not silently.
  Window()->Printer().setOutputFileName(QString::fromStdString(folder / "no-such-folder/out.pdf"));
  EXPECT_FALSE(Window()->PrintPages().ok());
  // A picture opened for viewing has no cells.
  Engine().MosaicState = 1;
  Window()->Recompute();
  EXPECT_EQ(Text("lbprintedcellsize"), "No Cells");
}

}  // namespace
}  // namespace velmora::testing
