// "Poster Panels..." from the print window: the sheet count and finished
// size follow the fields, settings without room are explained and block the
// commands, the PDF is saved with its map page, and the sheets print through
// the print window's printer.
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#include "UiTestSupport.h"
#include "support/PdfPages.h"
#include "ui/PosterPanelsDialog.h"
#include "ui/PrintWindow.h"

namespace velmora::testing {
namespace {

class PosterPanelsTest : public ProgramTest {
protected:
  // A 128 x 128 mosaic and the panels dialog opened from the print window.
  void OpenPanels() {
    Start(4);
    MakeMosaic();
    ASSERT_EQ(Engine().MosaicBitmap.Width(), 128);
    Find<QToolButton>(&Main(), "sbprint")->click();
    Find<QPushButton>(Session().windows.print, "btpanels")->click();
    dialog = Session().windows.print->Panels();
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->objectName(), "PosterPanels");
  }
  QString Text(const char* label) { return Find<QLabel>(dialog, label)->text(); }

  ui::PosterPanelsDialog* dialog = nullptr;
};

TEST_F(PosterPanelsTest, FieldsGiveTheSheetsAndSettingsWithoutRoomAreExplained) {
  OpenPanels();
  // The project's resolution is the starting point.
  EXPECT_EQ(Find<QSpinBox>(dialog, "sepaneldpi")->value(), Engine().Project.Dpi);
  Find<QSpinBox>(dialog, "sepaneldpi")->setValue(10);  // A4 holds 74 x 109 pixels
  EXPECT_EQ(Text("lbpanelcount"), "2 x 2 = 4 sheets of A4 portrait");
  EXPECT_EQ(Text("lbfinishedsize"), "Finished size 32.5 x 32.5 cm (12.80 x 12.80 in)");
  Find<QComboBox>(dialog, "cbpaper")->setCurrentIndex(1);  // A3: 109 x 157 pixels
  EXPECT_EQ(Text("lbpanelcount"), "2 x 1 = 2 sheets of A3 portrait");

  EXPECT_FALSE(Find<QDoubleSpinBox>(dialog, "sepaperwidth")->isEnabled());
  Find<QComboBox>(dialog, "cbpaper")->setCurrentIndex(3);
  EXPECT_TRUE(Find<QDoubleSpinBox>(dialog, "sepaperwidth")->isEnabled());
  Find<QDoubleSpinBox>(dialog, "sepaperwidth")->setValue(60);
  Find<QDoubleSpinBox>(dialog, "sepaperheight")->setValue(60);
  Find<QDoubleSpinBox>(dialog, "semargin")->setValue(30);
  EXPECT_EQ(Text("lbpanelcount"),
            "The 60x60mm sheet (60.0 x 60.0 mm) is no larger than its margins (2 x 30.0 mm).");
  EXPECT_TRUE(Text("lbfinishedsize").isEmpty());
  EXPECT_FALSE(Find<QPushButton>(dialog, "btsavepanels")->isEnabled());
  EXPECT_FALSE(Find<QPushButton>(dialog, "btprintpanels")->isEnabled());
  Find<QDoubleSpinBox>(dialog, "semargin")->setValue(10);
  EXPECT_TRUE(Find<QPushButton>(dialog, "btsavepanels")->isEnabled());
}

TEST_F(PosterPanelsTest, SavesThePdfAndPrintsTheSheets) {
  OpenPanels();
  Find<QSpinBox>(dialog, "sepaneldpi")->setValue(10);
  prompts.saveAnswers.push_back(QString::fromStdString(folder / "poster"));
  Find<QPushButton>(dialog, "btsavepanels")->click();
  ASSERT_EQ(prompts.errors, 0) << prompts.messages.front().second.toStdString();
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].first, "Finish");
  const int pages = CountPdfPages(folder / "poster.pdf");
  if (pages >= 0) {
    EXPECT_EQ(pages, 5);
  }  // the map and four sheets

  // Cancelled: nothing is asked or written.
  Find<QPushButton>(dialog, "btsavepanels")->click();
  EXPECT_EQ(prompts.messages.size(), 1u);

  QPrinter& printer = Session().windows.print->Printer();
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(folder / "printed.pdf"));
  printer.setResolution(72);
  Find<QPushButton>(dialog, "btprintpanels")->click();
  EXPECT_EQ(prompts.printDialogs, 1);
  EXPECT_EQ(prompts.errors, 0);
  EXPECT_EQ(printer.pageLayout().pageSize().id(), QPageSize::A4);
  const int printed = CountPdfPages(folder / "printed.pdf");
  if (printed >= 0) {
    EXPECT_EQ(printed, 5);  // the map and four sheets
  }
}

}  // namespace
}  // namespace velmora::testing
