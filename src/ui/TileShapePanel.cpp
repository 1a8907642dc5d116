#include "ui/TileShapePanel.h"

#include <QGridLayout>
#include <QPixmap>
#include <QSettings>
#include <QShowEvent>
#include <QSignalBlocker>

#include "imaging/PictureOps.h"
#include "project/TileShapePreview.h"
#include "ui/PicturePreviewDialog.h"
#include "ui/QtBitmap.h"
#include "ui/NewProjectWizard.h"
#include "ui/OptionsDialog.h"
#include "ui/RecentFolders.h"

#include <algorithm>
#include <iterator>

namespace velmora::ui {
namespace {

// The shapes in the combo box's order; the last is the user's own mask.
constexpr MaskShape kShapes[] = {MaskShape::kRectangle, MaskShape::kCircle, MaskShape::kHexagon, MaskShape::kRounded,
                                 MaskShape::kDiamond,   MaskShape::kHeart,  MaskShape::kCustom};
constexpr int kPreviewTile = 48;

int IndexOfShape(MaskShape shape) {
  for (int i = 0; i < int(std::size(kShapes)); ++i)
    if (kShapes[i] == shape) return i;
  return 0;
}

QString SettingsKey(const char* name) { return QStringLiteral("TileShape/") + QString::fromLatin1(name); }

}  // namespace

TileShapePanel::TileShapePanel(Session& session, QWidget* parent)
    : QGroupBox(QStringLiteral("Tile Shape"), parent), session_(session) {
  setObjectName(QStringLiteral("gbtileshape"));
  auto* grid = new QGridLayout(this);
  shape_ = new QComboBox(this);
  shape_->setObjectName(QStringLiteral("cbtileshape"));
  for (const char* name : {"rectangle", "circle", "hexagon", "rounded", "diamond", "heart", "my own mask"})
    shape_->addItem(QString::fromLatin1(name));
  shape_->setToolTip(
      QStringLiteral("The shape of every tile. Hexagons on the brick or peyote layout meet edge to edge as a "
                     "honeycomb. My own mask: a greyscale picture, white the tile, black the gap"));
  mask_ = new QPushButton(QStringLiteral("Mask Picture..."), this);
  mask_->setObjectName(QStringLiteral("btmask"));
  mask_->setAutoDefault(false);
  gap_ = new QComboBox(this);
  gap_->setObjectName(QStringLiteral("cbgapfill"));
  gap_->addItem(QStringLiteral("a colour"));
  gap_->addItem(QStringLiteral("the main picture, blurred"));
  gap_->setToolTip(QStringLiteral("The main picture in the gaps keeps the mosaic readable from a distance"));
  gapColor_ = new QPushButton(QStringLiteral("Gap Colour..."), this);
  gapColor_->setObjectName(QStringLiteral("btgapcolor"));
  gapColor_->setAutoDefault(false);
  crop_ = new QComboBox(this);
  crop_->setObjectName(QStringLiteral("cbcropby"));
  crop_->addItem(QStringLiteral("around the centre"));
  crop_->addItem(QStringLiteral("where the detail is"));
  crop_->addItem(QStringLiteral("keeping faces whole"));
  crop_->setToolTip(QStringLiteral("Where each library photo is cropped to its tile"));
  preview_ = new QLabel(this);
  preview_->setObjectName(QStringLiteral("lbshapepreview"));
  preview_->setFixedSize(2 * kPreviewTile, 2 * kPreviewTile);

  grid->addWidget(new QLabel(QStringLiteral("Shape:"), this), 0, 0);
  grid->addWidget(shape_, 0, 1);
  grid->addWidget(mask_, 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("Gaps:"), this), 1, 0);
  grid->addWidget(gap_, 1, 1);
  grid->addWidget(gapColor_, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Crop photos:"), this), 2, 0);
  grid->addWidget(crop_, 2, 1, 1, 2);
  grid->addWidget(preview_, 0, 3, 3, 1);

  connect(shape_, &QComboBox::activated, this, &TileShapePanel::ShapeChosen);
  connect(mask_, &QPushButton::clicked, this, &TileShapePanel::ChooseMask);
  connect(gapColor_, &QPushButton::clicked, this, &TileShapePanel::ChooseGapColor);
  connect(gap_, &QComboBox::activated, this, [this](int index) {
    TileMasking m = session_.engine.MasksSet;
    m.Gap = index == 1 ? GapFill::kMain : GapFill::kColor;
    SetTileShapeChoice(session_, m);
  });
  connect(crop_, &QComboBox::activated, this, [this](int index) {
    TileMasking m = session_.engine.MasksSet;
    m.CropMode = static_cast<uint8_t>(index);
    SetTileShapeChoice(session_, m);
  });
  Refresh();
}

void TileShapePanel::Refresh() {
  const TileMasking& m = session_.engine.MasksSet;
  {
    const QSignalBlocker a(shape_), b(gap_), c(crop_);
    shape_->setCurrentIndex(IndexOfShape(m.Shape));
    gap_->setCurrentIndex(m.Gap == GapFill::kMain ? 1 : 0);
    crop_->setCurrentIndex(std::min<int>(m.CropMode, crop_->count() - 1));
  }
  mask_->setEnabled(m.Shape == MaskShape::kCustom);
  gap_->setEnabled(m.On());
  gapColor_->setEnabled(m.On() && m.Gap == GapFill::kColor);
  // A few tiles of the first library photo over the gap, as the render
  // draws them.
  const Engine& engine = session_.engine;
  const std::string first = engine.PicList.Empty() ? std::string() : engine.PicList[0];
  if (first != photoPath_) {
    photoPath_ = first;
    photo_ = TBitmap32();
    DecodeHints hints = session_.PictureHints();
    hints.acceptScaled = [](int w, int h) { return w >= kPreviewTile && h >= kPreviewTile; };
    hints.usePreviews = true;
    if (!first.empty() && !LoadPictureFile(photo_, first, hints).ok()) photo_ = TBitmap32();
  }
  const TBitmap32 tiles = TileShapePreview(m, photo_, engine.MainBitmap, kPreviewTile);
  preview_->setPixmap(QPixmap::fromImage(ToQImage(tiles)));
}

void TileShapePanel::showEvent(QShowEvent* event) {
  Refresh();
  QGroupBox::showEvent(event);
}

void TileShapePanel::ShapeChosen(int index) {
  TileMasking m = session_.engine.MasksSet;
  m.Shape = kShapes[std::clamp(index, 0, int(std::size(kShapes)) - 1)];
  if (m.Shape == MaskShape::kCustom && m.Custom.Empty()) {
    ChooseMask();  // a mask is needed first; without one the shape stays
    return;
  }
  SetTileShapeChoice(session_, m);
}

void TileShapePanel::ChooseMask() {
  const QString path = session_.prompts.OpenPictureName(this, QStringLiteral("Open Mask Picture"),
                                                        RecentFolder(FileKind::PictureOpen), PictureOpenFilter());
  if (path.isEmpty()) {
    Refresh();
    return;
  }
  TileMasking m = session_.engine.MasksSet;
  if (!ShowIfFailed(session_, this, ReadMaskPicture(ToBytes(path), m.Custom))) {
    Refresh();
    return;
  }
  m.Shape = MaskShape::kCustom;
  SetTileShapeChoice(session_, m, path);
}

void TileShapePanel::ChooseGapColor() {
  const int64_t chosen = session_.prompts.ChooseColor(this, session_.engine.MasksSet.GapColor);
  if (chosen < 0) return;
  TileMasking m = session_.engine.MasksSet;
  m.GapColor = static_cast<int32_t>(chosen);
  SetTileShapeChoice(session_, m);
}

void SetTileShapeChoice(Session& session, const TileMasking& masking, const QString& maskPath) {
  session.engine.MasksSet = masking;
  QSettings settings;
  settings.setValue(SettingsKey("Shape"), QString::fromLatin1(MaskShapeName(masking.Shape)));
  settings.setValue(SettingsKey("GapFill"), masking.Gap == GapFill::kMain ? 1 : 0);
  settings.setValue(SettingsKey("GapColor"), masking.GapColor);
  settings.setValue(SettingsKey("CropBy"), int(masking.CropMode));
  if (!maskPath.isEmpty()) settings.setValue(SettingsKey("MaskPicture"), maskPath);
  for (QWidget* window : {static_cast<QWidget*>(session.windows.options), static_cast<QWidget*>(session.windows.wizard)})
    if (window)
      for (TileShapePanel* panel : window->findChildren<TileShapePanel*>()) panel->Refresh();
}

void LoadTileShapeChoice(Session& session) {
  QSettings settings;
  TileMasking m;
  if (!ParseMaskShape(settings.value(SettingsKey("Shape")).toString().toStdString(), m.Shape))
    m.Shape = MaskShape::kRectangle;
  m.Gap = settings.value(SettingsKey("GapFill"), 0).toInt() == 1 ? GapFill::kMain : GapFill::kColor;
  m.GapColor = settings.value(SettingsKey("GapColor"), m.GapColor).toInt() & 0x00FFFFFF;
  m.CropMode = static_cast<uint8_t>(std::clamp(settings.value(SettingsKey("CropBy"), 0).toInt(), 0, 2));
  if (m.Shape == MaskShape::kCustom) {
    const QString path = settings.value(SettingsKey("MaskPicture")).toString();
    if (path.isEmpty() || !ReadMaskPicture(ToBytes(path), m.Custom).ok()) m.Shape = MaskShape::kRectangle;
  }
  session.engine.MasksSet = m;
}

}  // namespace velmora::ui
