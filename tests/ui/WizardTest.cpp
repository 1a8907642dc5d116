// The new-project wizard driven as a user drives it: loading the main
// picture, the size labels, the brief and its file, and the two create
// commands with the refusal of an empty library.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSettings>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <regex>

#include "UiTestSupport.h"
#include "project/ProjectBrief.h"
#include "ui/MosaicView.h"
#include "ui/NewProjectWizard.h"
#include "ui/OptionsDialog.h"

namespace velmora::testing {
namespace {

class WizardTest : public ProgramTest {
protected:
  QWidget* Wizard() { return Session().windows.wizard; }
  void OpenWizard() {
    Find<QToolButton>(&Main(), "sbnew")->click();
    ASSERT_TRUE(Wizard()->isVisible());
  }
  std::string Text(const char* label) { return Find<QLabel>(Wizard(), label)->text().toStdString(); }
  void Click(const char* button) { Find<QAbstractButton>(Wizard(), button)->click(); }
  void SetSpin(const char* name, int value) { Find<QSpinBox>(Wizard(), name)->setValue(value); }
  // A click on the page's tab, as the user switches pages.
  void SwitchToPage(int index) {
    QTabBar* bar = Find<QTabWidget>(Wizard(), "PageControl1")->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    ASSERT_EQ(bar->currentIndex(), index);
  }
  void LoadMainPicture(const std::string& path) {
    prompts.openAnswers.push_back(ui::ToQString(path));
    Click("btloadvmmain");
  }
  // The small mosaic of the tests: 8 x 8 cells of 16 x 16 pixels.
  void SetSmallGrid() {
    SetSpin("edhcc", 8);
    SetSpin("edvcc", 8);
    SetSpin("edcw", 16);
    SetSpin("edch", 16);
  }
  QStringList BriefLines() {
    QStringList lines = Find<QPlainTextEdit>(Wizard(), "Memo1")->toPlainText().split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.pop_back();
    return lines;
  }
  QString JobText() { return Find<QLabel>(&Main(), "LBJOB")->text(); }
};

TEST_F(WizardTest, CreatesAMosaicFromTheLoadedMainPicture) {
  Start(6);
  OpenWizard();
  auto* pages = Find<QTabWidget>(Wizard(), "PageControl1");
  EXPECT_EQ(Wizard()->windowTitle(), "New Project");
  // Above the main window, but the tool windows it opens (Library Check) and
  // message boxes come in front of it.
  EXPECT_FALSE(Wizard()->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(Wizard()->parentWidget(), &Main());
  EXPECT_EQ(pages->currentIndex(), 0);
  EXPECT_EQ(pages->tabText(3), "Final Check && Output");
  EXPECT_EQ(Text("lbmainname"), "unknown");

  const std::string picture = Engine().PicList[0];  // 270 x 405
  LoadMainPicture(picture);
  EXPECT_EQ(Engine().Project.MainImageFile, picture);
  EXPECT_EQ(Engine().MainBitmap.Width(), 270);
  EXPECT_EQ(Text("lbmainname"), std::filesystem::path(picture).filename().string());
  EXPECT_EQ(Text("lbmainsize"), "270 x 405");
  EXPECT_EQ(Text("lbaspect1"), "150 / 100");
  EXPECT_EQ(Find<QLabel>(Wizard(), "Image1")->pixmap().size(), QSize(128, 48));

  SetSmallGrid();
  Click("SpeedButton1");
  EXPECT_FALSE(Wizard()->isVisible());
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(Engine().MosaicState, 2);
  EXPECT_EQ(JobText(), "Current Job : None");  // the job over
  EXPECT_EQ(Main().View()->PictureSize(), QSize(128, 128));

  // Opened again: the first page, the values kept.
  SwitchToPage(2);
  prompts.saveQuestionAnswers.push_back(ui::UserPrompts::SaveAnswer::Discard);
  OpenWizard();
  EXPECT_EQ(pages->currentIndex(), 0);
  EXPECT_EQ(Find<QSpinBox>(Wizard(), "edhcc")->value(), 8);
}

TEST_F(WizardTest, PenModeMakesThePenBasePicture) {
  Start(6);
  OpenWizard();
  LoadMainPicture(Engine().PicList[1]);
  SetSmallGrid();
  Click("Button5");
  EXPECT_FALSE(Wizard()->isVisible());
  EXPECT_EQ(Engine().MosaicState, 2);
  EXPECT_EQ(JobText(), "Current Job : None");  // the job over
  EXPECT_EQ(Main().View()->PictureSize(), QSize(128, 128));
}

TEST_F(WizardTest, TileSizesByDetailMergesCalmAreasOnThePlainGridOnly) {
  Start(6);
  OpenWizard();
  LoadMainPicture(Engine().PicList[0]);
  SetSmallGrid();
  // The wizard's choice is the Options window's, and the user's setting.
  auto* sizes = Find<QComboBox>(Wizard(), "cbtilesizes");
  auto* optionSizes = Find<QComboBox>(Session().windows.options, "cbtilesizes");
  ASSERT_EQ(sizes->count(), 2);
  EXPECT_EQ(sizes->itemText(1), "by detail (up to 2x2, 4x4)");
  sizes->setCurrentIndex(kTileSizesByDetail);
  EXPECT_EQ(optionSizes->currentIndex(), kTileSizesByDetail);
  EXPECT_EQ(QSettings().value("Matching/TileSizes").toInt(), kTileSizesByDetail);

  Click("rss3");  // brick
  Click("SpeedButton1");
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_TRUE(prompts.messages[0].second.contains("plain grid")) << prompts.messages[0].second.toStdString();
  EXPECT_TRUE(Wizard()->isVisible());
  EXPECT_EQ(Engine().MosaicState, 0);

  Click("rss1");
  Click("SpeedButton1");
  EXPECT_EQ(prompts.messages.size(), 1u);
  ASSERT_EQ(Engine().MosaicState, 2);
  // The merge the command line makes with --sizes 1,2,4 at the default calm.
  BlockSizing cli;
  ASSERT_TRUE(ParseBlockSides("1,2,4", cli).ok());
  EXPECT_TRUE(Engine().Sizing.Allow2 && Engine().Sizing.Allow4);
  EXPECT_EQ(Engine().Sizing.Calm, cli.Calm);
  EXPECT_FALSE(Engine().Blocks.Empty());
  EXPECT_EQ(Engine().Blocks, MergeCalmBlocks(Engine().GridBitmap, 8, 8, cli));

  optionSizes->setCurrentIndex(kTileSizesOne);
  EXPECT_EQ(sizes->currentIndex(), kTileSizesOne);
  EXPECT_FALSE(Engine().SizingSet.On());
}

TEST_F(WizardTest, KeepEachPhotosShapeReadsTheShapesOnThePlainGridOnly) {
  Start(6);
  OpenWizard();
  LoadMainPicture(Engine().PicList[0]);
  SetSmallGrid();
  auto* keep = Find<QCheckBox>(Wizard(), "cbkeepshape");
  auto* optionKeep = Find<QCheckBox>(Session().windows.options, "cbkeepshape");
  keep->setChecked(true);
  EXPECT_TRUE(optionKeep->isChecked());
  EXPECT_TRUE(QSettings().value("Matching/KeepShape").toBool());

  Click("rss3");  // brick
  Click("SpeedButton1");
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_TRUE(prompts.messages[0].second.contains("plain grid")) << prompts.messages[0].second.toStdString();
  EXPECT_EQ(Engine().MosaicState, 0);

  Click("rss1");
  Click("SpeedButton1");
  EXPECT_EQ(prompts.messages.size(), 1u);
  ASSERT_EQ(Engine().MosaicState, 2);
  // Every photo's shape was read, and each tile shows one of its shape.
  ASSERT_TRUE(Engine().Aspects.On);
  ASSERT_EQ(Engine().Aspects.Shape.size(), size_t(Engine().PicList.Count()));
  for (int y = 0; y < Engine().Project.CellsDown; ++y)
    for (int x = 0; x < Engine().Project.CellsAcross; ++x) {
      const TileBlock tile = Engine().TileAt(x, y);
      EXPECT_TRUE(Engine().Aspects.Fits(Engine().Map.At(x, y).PicIndex, ShapeOfBlock(tile.Width, tile.Height)))
          << x << ", " << y;
    }

  optionKeep->setChecked(false);
  EXPECT_FALSE(keep->isChecked());
  EXPECT_FALSE(Engine().KeepShapesSet);
}

TEST_F(WizardTest, RefusesAnEmptyLibraryInStandardRenderOnly) {
  Start(0);
  OpenWizard();
  Click("SpeedButton1");
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].first, "Error");
  EXPECT_EQ(prompts.messages[0].second, "You do not have enough images in your Image Lib, please load more");
  EXPECT_TRUE(Wizard()->isVisible());
  EXPECT_EQ(Engine().MosaicState, 0);

  // Self mosaic needs no library.
  LoadMainPicture(std::string(VELMORA_SAMPLE_IMAGES) + "/lib0001.jpg");
  SetSmallGrid();
  SwitchToPage(2);
  Click("rbrm1");
  EXPECT_EQ(Engine().Project.RenderMode, kRenderSelf);
  Click("SpeedButton1");
  EXPECT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(Engine().MosaicState, 2);
}

TEST_F(WizardTest, SizeLabelsFollowTheSpinEdits) {
  Start(1);
  OpenWizard();
  SwitchToPage(1);
  const struct {
    int across, dpi;
    const char *pixels, *inch, *cm, *aspect, *need;
  } cases[] = {
      {48, 72, "1536 Pixels", "21.33 Inch", "54.19 CM", "100 / 100", "6.75"},
      {48, 300, "1536 Pixels", "5.12 Inch", "13 CM", "100 / 100", "6.75"},
      {64, 72, "2048 Pixels", "28.44 Inch", "72.25 CM", "75 / 100", "9.00"},
  };
  for (const auto& c : cases) {
    SetSpin("edhcc", c.across);
    SetSpin("eddpi", c.dpi);
    EXPECT_EQ(Text("LBMWP"), c.pixels);
    EXPECT_EQ(Text("lbmwi"), c.inch);
    EXPECT_EQ(Text("lbmwm"), c.cm);
    EXPECT_EQ(Text("LBMHP"), "1536 Pixels");
    EXPECT_EQ(Text("lbaspect"), std::string("Aspect Ratio of final mosaic : ") + c.aspect);
    EXPECT_EQ(Text("LBMBneed"), std::string("You need ") + c.need + " MB memory to create this project.");
    // The project follows at once, before any mosaic is made.
    EXPECT_EQ(Engine().Project.CellsAcross, c.across);
  }
  EXPECT_TRUE(std::regex_match(Text("LBMBphy"),
                               std::regex("Your Computer has [0-9]+\\.[0-9]{2}MB Memory Installed\\.  ")))
      << Text("LBMBphy");

  // Typed text is taken as it stands, with the range applied before use: a
  // resolution of 1 (on the way to 150, say) is computed as 30.
  auto* dpi = Find<QSpinBox>(Wizard(), "eddpi");
  dpi->selectAll();
  QTest::keyClicks(dpi, "1");
  ASSERT_EQ(dpi->text(), "1");
  EXPECT_EQ(Engine().Project.Dpi, 30);
  EXPECT_EQ(Text("lbmwi"), "68.27 Inch");
  // Leaving the field shows the nearest number within the range.
  QTest::keyClick(dpi, Qt::Key_Return);
  EXPECT_EQ(dpi->text(), "30");
  EXPECT_EQ(Engine().Project.Dpi, 30);
  EXPECT_EQ(Text("lbmwi"), "68.27 Inch");
}

TEST_F(WizardTest, TypedValuesOutOfRangeBecomeTheNearestAllowed) {
  Start(1);
  OpenWizard();
  const struct {
    QWidget* window;
    const char* spin;
    const char* typed;
    const char* shown;
  } cases[] = {
      {Wizard(), "edhcc", "9999", "640"},
      {Wizard(), "edhcc", "0", "8"},
      {Wizard(), "eddpi", "0", "30"},
      {Wizard(), "eddpi", "99999", "1200"},
      {Wizard(), "edcw", "12", "12"},
      {Wizard(), "edch", "5", "8"},
      {Session().windows.options, "serepeattime", "5000", "999"},
      {Session().windows.options, "seradius", "0", "1"},
  };
  for (const auto& c : cases) {
    auto* spin = Find<QSpinBox>(c.window, c.spin);
    spin->selectAll();
    QTest::keyClicks(spin, c.typed);
    EXPECT_EQ(spin->text(), c.typed) << c.spin << " " << c.typed;  // every keystroke taken
    QTest::keyClick(spin, Qt::Key_Return);
    EXPECT_EQ(spin->text(), c.shown) << c.spin << " " << c.typed;
    EXPECT_EQ(spin->value(), QString(c.shown).toInt()) << c.spin << " " << c.typed;
  }
  EXPECT_EQ(Engine().Project.CellsAcross, 8);
  EXPECT_EQ(Engine().Project.Dpi, 1200);
}

TEST_F(WizardTest, BriefListsTheProjectAndSavesIt) {
  Start(6);
  OpenWizard();
  SwitchToPage(3);
  QStringList lines = BriefLines();
  ASSERT_EQ(lines.size(), 24);  // the project's fifteen lines, then the settings advice
  EXPECT_EQ(lines[0], "Project Brief");
  EXPECT_EQ(lines[2], "Source Image = ");
  EXPECT_EQ(lines[4], "Image Library 6 Files");
  const QStringList tail = {"Cell Count : 48 x 48 = 2304 Cells",
                            "Cell Size : 32 x 32 Pixels",
                            "Final Size : 1536 x 1536 Pixels",
                            "--------Option Info--------",
                            "Minimum Repeat Radius = 4",
                            "Randomize Level = 20",
                            "Color Enhance = 50%",
                            "Border Size = 0",
                            "Border Color = 0"};
  EXPECT_EQ(lines.mid(6, 9), tail);
  EXPECT_EQ(lines[15], "--------Advice--------");
  EXPECT_TRUE(lines[16].startsWith("! Repeat radius 1 leaves at least 0 of the 6 photos"))
      << lines[16].toStdString();
  EXPECT_TRUE(lines[19].startsWith("! Place the photos by the solver under that cap"))
      << lines[19].toStdString();
  EXPECT_TRUE(lines[22].startsWith("Tile sizes by detail (calm 10) would put")) << lines[22].toStdString();
  EXPECT_EQ(
      lines[23],
      "Suggested settings: radius 1, use all photos on, 48 x 48 cells, repeat cap 960 kept by the solver, "
      "detail matching, colour transfer at 100 % with overlay 115");

  // Saved with a ".txt" added, byte for byte as built (CR LF after every line).
  prompts.saveAnswers.push_back(QString::fromStdString(folder / "brief"));
  Click("Button4");
  EXPECT_EQ(prompts.lastSaveFilter, "*.txt (*.txt)");
  EXPECT_EQ(ReadWholeFile(folder / "brief.txt"), BuildProjectBrief(Engine()));

  // The options dialog's repeat limit shows up at the next page switch.
  Find<QAbstractButton>(Session().windows.options, "cbrptlimit")->click();
  SwitchToPage(0);
  lines = BriefLines();
  ASSERT_EQ(lines.size(), 25);
  EXPECT_EQ(lines[11], "Max Repeat time for each file = 461");  // 2304 x 1.2 div 6 + 1

  // A file that cannot be written is reported.
  prompts.saveAnswers.push_back(QString::fromStdString(folder / "missing/brief.txt"));
  SwitchToPage(3);
  Click("Button4");
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].first, "Error");
}

TEST_F(WizardTest, MonochromeResetAndAnUnreadablePicture) {
  Start(1);
  OpenWizard();
  // A double-click on the picture area loads as the button does.
  prompts.openAnswers.push_back(ui::ToQString(Engine().PicList[0]));
  QTest::mouseDClick(Find(Wizard(), "f2img1"), Qt::LeftButton);
  const auto isGrey = [&] {
    for (TColor32 c : Engine().MainBitmap.Pixels())
      if (((c >> 16) & 0xFF) != (c & 0xFF) || ((c >> 8) & 0xFF) != (c & 0xFF)) return false;
    return true;
  };
  ASSERT_EQ(Engine().MainBitmap.Width(), 270);
  ASSERT_FALSE(isGrey());
  Click("cbmonomain");
  EXPECT_TRUE(isGrey());
  Click("breloadvmmain");
  EXPECT_FALSE(Find<QAbstractButton>(Wizard(), "cbmonomain")->isChecked());
  EXPECT_FALSE(isGrey());

  // A damaged file: the loader's message, the new name, the old picture.
  WriteWholeFile(folder / "broken.jpg", "not a picture");
  LoadMainPicture(folder / "broken.jpg");
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].first, "Error");
  EXPECT_EQ(Engine().Project.MainImageFile, folder / "broken.jpg");
  EXPECT_EQ(Engine().MainBitmap.Width(), 270);
  EXPECT_EQ(Text("lbmainsize"), "270 x 405");
}

}  // namespace
}  // namespace velmora::testing
