// The "Bead Chart" window driven from the Tools menu: enabled once a mosaic
// exists, its preview and summary following the settings, a user palette
// file (a broken one refused), and the four exports.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <filesystem>
#include <fstream>

#include "UiTestSupport.h"
#include "output/BeadChart.h"
#include "ui/BeadChartWindow.h"
#include "ui/MainWindow.h"

namespace velmora::testing {
namespace {

class BeadChartWindowTest : public ProgramTest {
protected:
  // The program's folder gets the palettes an installed or built copy has.
  void PlacePalettes() {
    namespace fs = std::filesystem;
    fs::copy(fs::path(VELMORA_TEST_DATA) / "../../data/palettes", folder.path() / "palettes");
  }
  QAction* Action() { return Find<QAction>(&Main(), "BeadChart1"); }
};

TEST_F(BeadChartWindowTest, ShowsTheMosaicAsBeadsAndSavesEveryForm) {
  PlacePalettes();
  Start(6);
  ASSERT_NE(Action(), nullptr);
  EXPECT_FALSE(Action()->isEnabled()) << "no mosaic yet";
  MakeMosaic(kStitchPeyote);
  EXPECT_TRUE(Action()->isEnabled());
  Action()->trigger();
  auto* window = Main().findChild<ui::BeadChartWindow*>("BeadChartWindow");
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), "Bead Chart");
  auto* summary = Find<QLabel>(window, "lbsummary");
  EXPECT_TRUE(summary->text().startsWith("Peyote stitch, 8 x 8 beads")) << summary->text().toStdString();
  EXPECT_TRUE(summary->text().contains("of hama")) << summary->text().toStdString();
  EXPECT_FALSE(Find<QLabel>(window, "imgpreview")->pixmap().isNull());
  ASSERT_TRUE(window->Chart().has_value());
  EXPECT_EQ(window->Chart()->Cells.size(), 64u);

  // The settings rebuild the chart at once.
  Find<QSpinBox>(window, "secolors")->setValue(3);
  EXPECT_LE(window->Chart()->UsedColors().size(), 3u);
  Find<QComboBox>(window, "cbbead")->setCurrentIndex(2);  // cylinder beads
  EXPECT_DOUBLE_EQ(window->Chart()->Bead.WidthMm, 1.6);
  EXPECT_TRUE(summary->text().contains("1.4 x 1.0 cm")) << summary->text().toStdString();
  Find<QCheckBox>(window, "cbdither")->setChecked(true);
  EXPECT_LE(window->Chart()->UsedColors().size(), 3u);

  // A broken palette file is refused with its name and the palette stays;
  // a good one is used.
  auto* palette = Find<QComboBox>(window, "cbpalette");
  palette->setCurrentIndex(1);  // Perler
  std::ofstream(folder / "bad.csv") << "A,one,1,2\n";
  std::ofstream(folder / "seed.csv") << "K,Black,0,0,0\nW,White,255,255,255\n";
  prompts.openAnswers = {QString::fromStdString(folder / "bad.csv")};
  palette->setCurrentIndex(3);
  EXPECT_EQ(prompts.errors, 1);
  ASSERT_FALSE(prompts.messages.empty());
  EXPECT_TRUE(prompts.messages.back().second.contains("bad.csv, line 1"))
      << prompts.messages.back().second.toStdString();
  EXPECT_EQ(palette->currentIndex(), 1);
  EXPECT_EQ(window->Chart()->Palette.Name, "perler");
  prompts.openAnswers = {QString::fromStdString(folder / "seed.csv")};
  palette->setCurrentIndex(3);
  EXPECT_EQ(palette->currentIndex(), 3);
  EXPECT_EQ(window->Chart()->Palette.Name, "seed");
  EXPECT_LE(window->Chart()->UsedColors().size(), 2u);

  struct Export {
    const char* button;
    const char* file;
    std::string start;
  };
  for (const Export& e :
       {Export{"btpdf", "chart.pdf", "%PDF-"}, Export{"btwords", "words.txt", "Peyote stitch, 8 x 8"},
        Export{"btcsv", "grid.csv", ""}, Export{"btpng", "preview.png", "\x89PNG"}}) {
    prompts.saveAnswers = {QString::fromStdString(folder / e.file)};
    Find<QPushButton>(window, e.button)->click();
    const std::string bytes = ReadWholeFile(folder / e.file);
    EXPECT_EQ(bytes.substr(0, e.start.size()), e.start) << e.file;
    EXPECT_FALSE(bytes.empty()) << e.file;
  }
  auto grid =
      ParseBeadGridCsv(ReadWholeFile(folder / "grid.csv"), window->Chart()->Palette, 8, 8, "grid.csv");
  ASSERT_TRUE(grid.ok()) << grid.message();
  EXPECT_EQ(*grid, window->Chart()->Cells);
  EXPECT_EQ(prompts.errors, 1);
}

TEST_F(BeadChartWindowTest, WithoutItsPalettesTheWindowSaysWhyAndExportsNothing) {
  Start(6);
  MakeMosaic(kStitchLoom);
  Action()->trigger();
  auto* window = Main().findChild<ui::BeadChartWindow*>("BeadChartWindow");
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(window->Chart().has_value());
  EXPECT_TRUE(Find<QLabel>(window, "lbsummary")->text().contains("hama.csv"));
  EXPECT_FALSE(Find<QPushButton>(window, "btpdf")->isEnabled());
}

}  // namespace
}  // namespace velmora::testing
