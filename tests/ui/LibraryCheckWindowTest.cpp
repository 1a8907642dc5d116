// The Library Check window driven as a user drives it: opened from the
// Tools menu and from the wizard, its families adding up to the grid, the
// near-duplicate groups and unreadable photos listed, and Save Report
// writing the text and the chart.
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <fstream>

#include "UiTestSupport.h"
#include "imaging/PictureOps.h"
#include "ui/LibraryCheckWindow.h"
#include "ui/NewProjectWizard.h"

namespace velmora::testing {
namespace {

class LibraryCheckWindowTest : public ProgramTest {
protected:
  // An 8 x 6 grid over the first sample picture.
  void SetUpProject() {
    tmosaicproject& p = Engine().Project;
    p.CellsAcross = 8;
    p.CellsDown = 6;
    p.MainImageFile = Engine().PicList[0];
    ASSERT_TRUE(LoadPictureFile(Engine().MainBitmap, p.MainImageFile).ok());
  }
  ui::LibraryCheckWindow* Window() { return Session().windows.libraryCheck; }
  int CellsListed() {
    auto* table = Find<QTableWidget>(Window(), "familylist");
    int cells = 0;
    for (int row = 0; row < table->rowCount(); ++row) cells += table->item(row, 1)->text().toInt();
    return cells;
  }
};

TEST_F(LibraryCheckWindowTest, ToolsMenuChecksAndSaveReportWritesTextAndChart) {
  Start(4);
  // A copy of the first photo (a duplicate) and a damaged one.
  const std::string copy = folder / "images/zz-copy.jpg";
  std::filesystem::copy_file(Engine().PicList[0], copy);
  Engine().PicList.Append(copy);
  std::ofstream(folder / "images/zz-broken.jpg") << "damaged";
  Engine().PicList.Append(folder / "images/zz-broken.jpg");
  SetUpProject();

  Find<QAction>(&Main(), "LibraryCheck1")->trigger();
  ASSERT_TRUE(Window()->isVisible());
  ASSERT_TRUE(Window()->Report().has_value());
  EXPECT_EQ(CellsListed(), 48);
  auto* table = Find<QTableWidget>(Window(), "familylist");
  EXPECT_FALSE(table->item(0, 4)->text().isEmpty()) << "every family has its sentence";
  EXPECT_FALSE(table->item(0, 0)->icon().isNull()) << "and its swatch";

  auto* photos = Find<QTreeWidget>(Window(), "duplicatelist");
  ASSERT_GE(photos->topLevelItemCount(), 2);
  QTreeWidgetItem* group = photos->topLevelItem(0);
  EXPECT_EQ(group->text(0), QStringLiteral("Group 1: 2 photos"));
  EXPECT_EQ(group->child(1)->text(0), ui::ToQString(copy));
  EXPECT_FALSE(group->child(0)->icon(0).isNull()) << "a thumbnail";
  QTreeWidgetItem* unreadable = photos->topLevelItem(photos->topLevelItemCount() - 1);
  EXPECT_EQ(unreadable->text(0), QStringLiteral("Photos that could not be read: 1"));
  EXPECT_TRUE(unreadable->child(0)->text(0).contains(QStringLiteral("zz-broken.jpg")));
  EXPECT_TRUE(Find<QLabel>(Window(), "lbsummary")->text().contains(QStringLiteral("1 could not be read")));
  EXPECT_EQ(Engine().MosaicState, 0) << "the check makes no mosaic";

  prompts.saveAnswers.push_back(ui::ToQString(folder / "report"));
  Find<QPushButton>(Window(), "btsavereport")->click();
  const std::string text = ReadWholeFile(folder / "report.txt");
  EXPECT_NE(text.find("zz-broken.jpg"), std::string::npos);
  EXPECT_NE(text.find("\r\n"), std::string::npos);
  EXPECT_EQ(ReadWholeFile(folder / "report.png").substr(1, 3), "PNG");
  EXPECT_EQ(prompts.errors, 0);
}

TEST_F(LibraryCheckWindowTest, WizardButtonChecksWithTheWizardsSettings) {
  Start(3);
  SetUpProject();
  auto* wizard = Session().windows.wizard;
  auto* cells = Find<QSpinBox>(wizard, "edhcc");
  cells->setValue(10);
  Find<QPushButton>(wizard, "btlibcheck")->click();
  ASSERT_TRUE(Window()->isVisible());
  EXPECT_EQ(Engine().Project.CellsAcross, 10);
  EXPECT_EQ(CellsListed(), 10 * Engine().Project.CellsDown);
}

TEST_F(LibraryCheckWindowTest, WithoutAMainPictureSaysSoAndKeepsSaveOff) {
  Start(2);
  Engine().MainBitmap = TBitmap32();
  Find<QAction>(&Main(), "LibraryCheck1")->trigger();
  ASSERT_EQ(prompts.errors, 1);
  EXPECT_TRUE(prompts.messages.back().second.contains(QStringLiteral("main picture")));
  EXPECT_FALSE(Find<QPushButton>(Window(), "btsavereport")->isEnabled());
}

}  // namespace
}  // namespace velmora::testing
