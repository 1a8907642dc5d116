// The Tile Shape group of the Options window and the wizard: one choice in
// both, remembered, previewed, taken by the next mosaic, saved with the
// project and read back with it; a mask picture of the user's.
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSettings>

#include "UiTestSupport.h"
#include <algorithm>

#include "ui/NewProjectWizard.h"
#include "ui/OptionsDialog.h"

namespace velmora::testing {
namespace {

class TileShapePanelTest : public ProgramTest {
protected:
  // Each test starts from rectangles, whatever another left behind.
  void SetUp() override { QSettings().remove("TileShape"); }
  void TearDown() override { QSettings().remove("TileShape"); }
  QComboBox* Combo(QWidget* window, const char* name) { return Find<QComboBox>(window, name); }
  // The preview's pixel at (x, y).
  QRgb PreviewAt(QWidget* window, int x, int y) {
    return Find<QLabel>(window, "lbshapepreview")->pixmap().toImage().pixel(x, y);
  }
};

TEST_F(TileShapePanelTest, OneChoiceInBothWindowsPreviewedAndRemembered) {
  Start(6);
  QWidget* options = Session().windows.options;
  QWidget* wizard = Session().windows.wizard;
  ASSERT_EQ(Combo(options, "cbtileshape")->currentText(), "rectangle");
  EXPECT_FALSE(Find<QPushButton>(options, "btgapcolor")->isEnabled());
  const QRgb cornerBefore = PreviewAt(options, 0, 0);

  // Circles over a red gap: the wizard follows, the corner of the preview
  // is the gap, its middle a tile.
  Combo(options, "cbtileshape")->setCurrentIndex(1);
  emit Combo(options, "cbtileshape")->activated(1);
  EXPECT_EQ(Combo(wizard, "cbtileshape")->currentText(), "circle");
  EXPECT_EQ(Engine().MasksSet.Shape, MaskShape::kCircle);
  prompts.colorAnswer = 0x0000FF;  // red, as 0x00BBGGRR
  Find<QPushButton>(wizard, "btgapcolor")->click();
  EXPECT_EQ(Engine().MasksSet.GapColor, 0x0000FF);
  EXPECT_EQ(PreviewAt(options, 0, 0), qRgb(255, 0, 0));
  EXPECT_NE(PreviewAt(options, 0, 0), cornerBefore);
  EXPECT_NE(PreviewAt(options, 24, 24), qRgb(255, 0, 0));
  EXPECT_EQ(QSettings().value("TileShape/Shape").toString(), "circle");

  // A restart takes the remembered choice.
  program.reset();
  program = std::make_unique<ui::Program>(folder.str(), prompts);
  EXPECT_EQ(Engine().MasksSet.Shape, MaskShape::kCircle);
  EXPECT_EQ(Engine().MasksSet.GapColor, 0x0000FF);
  EXPECT_EQ(Combo(Session().windows.wizard, "cbtileshape")->currentText(), "circle");
}

TEST_F(TileShapePanelTest, AMaskPictureOfTheUsersOwnAndAShapedMosaicSavedAndOpened) {
  Start(6);
  QWidget* options = Session().windows.options;
  // Cancelling the mask picture leaves the shape as it was.
  emit Combo(options, "cbtileshape")->activated(6);
  EXPECT_EQ(Engine().MasksSet.Shape, MaskShape::kRectangle);
  EXPECT_EQ(Combo(options, "cbtileshape")->currentText(), "rectangle");

  // A white disc on black, as a user would paint it.
  QImage disc(40, 40, QImage::Format_RGB32);
  disc.fill(Qt::black);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x)
      if ((x - 20) * (x - 20) + (y - 20) * (y - 20) < 15 * 15) disc.setPixel(x, y, qRgb(255, 255, 255));
  const std::string maskPath = folder.str() + "/mask.png";
  ASSERT_TRUE(disc.save(QString::fromStdString(maskPath)));
  prompts.openAnswers.push_back(QString::fromStdString(maskPath));
  emit Combo(options, "cbtileshape")->activated(6);
  ASSERT_EQ(Engine().MasksSet.Shape, MaskShape::kCustom);
  EXPECT_EQ(Engine().MasksSet.Custom.Width, 40);
  EXPECT_TRUE(Find<QPushButton>(options, "btmask")->isEnabled());
  emit Combo(options, "cbgapfill")->activated(1);
  EXPECT_EQ(Engine().MasksSet.Gap, GapFill::kMain);

  // The wizard's create takes the choice; the corner of a tile is the gap.
  Session().windows.wizard->CollectProjectSettings();
  MakeMosaic();
  ASSERT_EQ(Engine().Masks, Engine().MasksSet);
  const TBitmap32 made = Engine().MosaicBitmap;
  const QString path = QString::fromStdString(folder.str() + "/shaped.vm6");
  ASSERT_TRUE(Main().SaveProjectTo(path).ok());

  // Opened after a plain mosaic: the shape and the picture come back.
  Engine().Masks = TileMasking();
  MakeMosaic();
  ASSERT_TRUE(Main().OpenProjectFrom(path).ok());
  EXPECT_EQ(Engine().Masks.Shape, MaskShape::kCustom);
  EXPECT_EQ(Engine().Masks.Custom, Engine().MasksSet.Custom);
  ASSERT_EQ(Engine().MosaicBitmap.Width(), made.Width());
  EXPECT_TRUE(std::equal(made.Pixels().begin(), made.Pixels().end(), Engine().MosaicBitmap.Pixels().begin()));
}

TEST_F(TileShapePanelTest, ACancelledShapedMosaicLeavesTheShownOneAsItWas) {
  Start(6);
  MakeMosaic();
  const TBitmap32 shown = Engine().MosaicBitmap;
  Engine().Masks.Shape = MaskShape::kCircle;  // as the wizard hands it over
  Engine().CropMode = CropBy::Attention;
  {
    CancelWhen cancel(Main(), "Current Job : OutPut Final Mosaic Picture");
    MakeMosaic();
    EXPECT_TRUE(cancel.clicked);
  }
  // Edits of the mosaic shown draw rectangles, cropped as before.
  EXPECT_FALSE(Engine().Masks.On());
  EXPECT_EQ(Engine().CropMode, CropBy::Centre);
  EXPECT_TRUE(std::equal(shown.Pixels().begin(), shown.Pixels().end(), Engine().MosaicBitmap.Pixels().begin()));
}

}  // namespace
}  // namespace velmora::testing
