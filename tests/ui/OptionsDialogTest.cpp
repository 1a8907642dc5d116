// The options dialog driven as a user drives it: the controls feeding
// OptionSet, the opacity percentages, the colour swatch, "Set As Default",
// "Restore Default" and the defaults file read at start-up.
#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>

#include "UiTestSupport.h"
#include "project/DefaultOptionsFile.h"
#include "support/RestoredOptionBlock.h"
#include "ui/OptionsDialog.h"

namespace velmora::testing {
namespace {

class OptionsDialogTest : public ProgramTest {
protected:
  QWidget* Dialog() { return Session().windows.options; }
  template <typename T = QAbstractButton>
  T* Control(const char* name) {
    return Find<T>(Dialog(), name);
  }
  std::string Text(const char* label) { return Control<QLabel>(label)->text().toStdString(); }
  std::string OptionsFile() { return ReadWholeFile(folder / kDefaultOptionsName); }
  const tmosaicproject& Options() { return Engine().OptionSet; }
};

TEST_F(OptionsDialogTest, SetAsDefaultAndRestoreDefaultWriteTheOptionBlock) {
  Start(1);
  Find<QToolButton>(&Main(), "sboption")->click();
  ASSERT_TRUE(Dialog()->isVisible());
  EXPECT_FALSE(std::filesystem::exists(folder / kDefaultOptionsName));
  EXPECT_EQ(Options().AlphaPen, 205);  // built in, until the controls are read

  Control("Button6")->click();
  EXPECT_EQ(OptionsFile(), kRestoredOptionBlock);
  EXPECT_EQ(Options().AlphaPen, 204);

  Control("cbvf")->click();
  Control<QSlider>("tbrandom")->setValue(40);
  Control("RadioButton6")->click();
  Control("Button6")->click();
  const std::string changed = OptionsFile();
  ASSERT_EQ(changed.size(), 60u);
  EXPECT_EQ(changed[0], 40);
  EXPECT_EQ(changed[12], 1);
  EXPECT_EQ(changed[48], 5);

  Control("Button7")->click();
  EXPECT_EQ(OptionsFile(), kRestoredOptionBlock);
  EXPECT_EQ(Options().AlphaPen, 204);
  EXPECT_EQ(Options().RandomizeLevel, 20);
  EXPECT_FALSE(Control("cbvf")->isChecked());
  EXPECT_TRUE(Control("RadioButton5")->isChecked());
  EXPECT_EQ(Text("lbrl"), "20 %");
  EXPECT_TRUE(prompts.messages.empty());

  Control("Button1")->click();
  EXPECT_FALSE(Dialog()->isVisible());
}

// The matching choices live in the user's settings, not in Defaultopt.opt:
// a new program starts with them, a new project takes them, and a saved
// project brings its own back when opened.
TEST_F(OptionsDialogTest, MatchingChoicesAreKeptInTheSettingsAndTheProject) {
  Start(6);
  Find<QToolButton>(&Main(), "sboption")->click();
  EXPECT_FALSE(Control("cbdetail")->isChecked());
  EXPECT_FALSE(Control("cbfairuseall")->isChecked());
  EXPECT_FALSE(Control("cbusecap")->isChecked());
  Control("cbdetail")->click();
  Control("cbfairuseall")->click();
  Control("cbusecap")->click();
  const MatchOptions chosen{true, true, false, true};
  EXPECT_EQ(Engine().MatchingSet, chosen);
  EXPECT_EQ(Engine().Matching, MatchOptions{}) << "the open project keeps its own";
  Control("Button6")->click();  // "Set As Default" writes the 60 bytes only
  EXPECT_EQ(OptionsFile().size(), 60u);

  Engine().Matching = Engine().MatchingSet;
  MakeMosaic();
  const QString path = QString::fromStdString(folder / "matching.vm6");
  ASSERT_TRUE(Main().SaveProjectTo(path).ok());
  Control("cbfairuseall")->click();
  Engine().Matching = MatchOptions{};
  ASSERT_TRUE(Main().OpenProjectFrom(path).ok());
  EXPECT_EQ(Engine().Matching, chosen);
  EXPECT_TRUE(prompts.messages.empty());

  // The program started again, on the same folder and settings.
  program.reset();
  program = std::make_unique<ui::Program>(folder.str(), prompts);
  EXPECT_EQ(Engine().MatchingSet, (MatchOptions{true, false, false, true}));
  EXPECT_TRUE(Control("cbdetail")->isChecked());
  EXPECT_FALSE(Control("cbfairuseall")->isChecked());
  EXPECT_TRUE(Control("cbusecap")->isChecked());
  // Leaves the settings as the other tests expect them.
  Control("cbdetail")->click();
  Control("cbusecap")->click();
}

TEST_F(OptionsDialogTest, SetAsDefaultReportsAFileThatCannotBeWritten) {
  Start(1);
  std::filesystem::create_directory(folder / kDefaultOptionsName);
  Control<QSlider>("tbenhance")->setValue(70);
  Control("Button6")->click();
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].first, "Error");
  EXPECT_FALSE(prompts.messages[0].second.isEmpty());
  EXPECT_EQ(Options().ColorEnhance, 70);  // up to date all the same
}

TEST_F(OptionsDialogTest, OpacitySlidersStoreAndShowPercentages) {
  Start(1);
  const struct {
    int position, stored;
    const char* shown;
  } cases[] = {{20, 51, "20 %"}, {80, 204, "80 %"}, {100, 255, "100 %"}, {0, 0, "0 %"}, {50, 128, "50 %"}};
  for (const auto& c : cases) {
    Control<QSlider>("tbalphablendmain")->setValue(c.position);
    Control<QSlider>("tbalphablendpen")->setValue(c.position);
    EXPECT_EQ(Options().AlphaMain, c.stored) << c.position;
    EXPECT_EQ(Options().AlphaPen, c.stored) << c.position;
    EXPECT_EQ(Text("lbabm"), c.shown);
    EXPECT_EQ(Text("lbabp"), c.shown);
  }
}

TEST_F(OptionsDialogTest, ColourSwatchStoresTheChosenBorderColour) {
  Start(1);
  QLabel* swatch = Control<QLabel>("imgcolor");
  EXPECT_EQ(swatch->size(), QSize(24, 24));
  prompts.colorAnswer = 0x0000FF;  // pure red, 0x00BBGGRR
  QTest::mouseClick(swatch, Qt::LeftButton);
  EXPECT_EQ(Options().BorderColor, 255);
  EXPECT_EQ(swatch->pixmap().toImage().pixelColor(12, 12), QColor(255, 0, 0));
  prompts.colorAnswer = -1;  // cancelled
  QTest::mouseClick(swatch, Qt::LeftButton);
  EXPECT_EQ(Options().BorderColor, 255);
  // The controls keep the colour when they are next read.
  Control("cbmonocell")->click();
  EXPECT_EQ(Options().BorderColor, 255);
}

TEST_F(OptionsDialogTest, StartUpCautionsAboutAFileOutOfRangeAndTakesTheBuiltInOptions) {
  tmosaicproject stored = DefaultProject();
  stored.RandomizeLevel = 200;
  stored.AlphaPen = 100;
  const auto block = WriteOptionBlock(stored);
  WriteWholeFile(folder / kDefaultOptionsName, std::string(block.begin(), block.end()));
  Start(1);
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].first, "Caution");
  EXPECT_NE(prompts.messages[0].second.toStdString().find("RandomizeLevel is 200, outside its range 1..80"),
            std::string::npos)
      << prompts.messages[0].second.toStdString();
  EXPECT_EQ(WriteOptionBlock(Options()), WriteOptionBlock(DefaultProject()));
  EXPECT_EQ(Control<QSlider>("tbrandom")->value(), 20);
  EXPECT_EQ(Text("lbrl"), "20 %");
  EXPECT_TRUE(Control("RadioButton5")->isChecked());
}

TEST_F(OptionsDialogTest, SpinEditsAreReadOnAClickNotWhileTyping) {
  Start(6);
  QLineEdit* radius = Control<QSpinBox>("seradius")->findChild<QLineEdit*>();
  radius->selectAll();
  QTest::keyClicks(radius, "7");
  EXPECT_EQ(Options().MinRepeatRadius, 4);
  QTest::mouseClick(radius, Qt::LeftButton);
  EXPECT_EQ(Options().MinRepeatRadius, 7);

  // Six pictures cannot fill 48 x 48 cells ten times each: the limit is
  // raised to 2304 x 1.2 div 6 + 1 and shown.
  Control("cbrptlimit")->click();
  EXPECT_EQ(Options().MaxRepeatTimes, 461);
  EXPECT_EQ(Control<QSpinBox>("serepeattime")->value(), 461);
}

}  // namespace
}  // namespace velmora::testing
