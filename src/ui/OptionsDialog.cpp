#include "ui/OptionsDialog.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "project/DefaultOptionsFile.h"
#include "ui/ClampingSpinBox.h"
#include "ui/NewProjectWizard.h"
#include "ui/TileShapePanel.h"

namespace velmora::ui {
namespace {

constexpr int kSwatchSide = 24;

QLabel* MakeLabel(QWidget* parent, const char* text) { return new QLabel(QString::fromLatin1(text), parent); }

QColor FromBgr(int32_t bgr) {
  const auto v = static_cast<uint32_t>(bgr);
  return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

}  // namespace

OptionsDialog::OptionsDialog(Session& session, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      session_(session) {
  setObjectName(QStringLiteral("Tformopt"));
  setWindowTitle(QStringLiteral("Options"));
  setModal(false);

  auto* column = new QVBoxLayout(this);
  auto* groups = new QHBoxLayout;
  groups->addWidget(BuildRepeatGroup());
  groups->addWidget(BuildEffectGroup());
  column->addLayout(groups);
  column->addWidget(BuildAdvanceGroup());
  // The wizard, made first, shows the remembered shape from here on too.
  LoadTileShapeChoice(session_);
  column->addWidget(new TileShapePanel(session_, this));
  SetTileShapeChoice(session_, session_.engine.MasksSet);

  auto* buttons = new QHBoxLayout;
  const char* names[3] = {"Button6", "Button7", "Button1"};
  const char* captions[3] = {"Set As Default", "Restore Default", "Close"};
  QPushButton* made[3] = {};
  for (int i = 0; i < 3; ++i) {
    made[i] = new QPushButton(QString::fromLatin1(captions[i]), this);
    made[i]->setObjectName(QString::fromLatin1(names[i]));
    made[i]->setAutoDefault(false);
    if (i == 2) buttons->addStretch(1);
    buttons->addWidget(made[i]);
  }
  connect(made[0], &QPushButton::clicked, this,
          [this] { ShowIfFailed(session_, this, SaveDefaultOptions()); });
  connect(made[1], &QPushButton::clicked, this,
          [this] { ShowIfFailed(session_, this, RestoreDefaultOptions()); });
  connect(made[2], &QPushButton::clicked, this, &QWidget::hide);
  column->addLayout(buttons);
  column->setSizeConstraint(QLayout::SetFixedSize);
  FillSwatch();
}

QCheckBox* OptionsDialog::MakeCheck(QWidget* parent, const char* name, const char* caption, bool on) {
  auto* box = new QCheckBox(QString::fromLatin1(caption), parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setChecked(on);
  connect(box, &QCheckBox::clicked, this, &OptionsDialog::ReadOptionControls);
  return box;
}

QSpinBox* OptionsDialog::MakeSpin(QWidget* parent, const char* name, ControlRange range, int value) {
  QSpinBox* spin = new ClampingSpinBox(parent);
  spin->setObjectName(QString::fromLatin1(name));
  spin->setRange(range.Min, range.Max);
  spin->setValue(value);
  spin->setAlignment(Qt::AlignRight);
  spin->setFixedWidth(spin->fontMetrics().horizontalAdvance(QStringLiteral("8888")) + 36);
  // Typing and the arrows leave OptionSet alone; a click into the number
  // reads the controls (the value typed is taken then).
  spin->findChild<QLineEdit*>()->installEventFilter(this);
  return spin;
}

QSlider* OptionsDialog::MakeSlider(QWidget* parent, const char* name, ControlRange range, int value,
                                   int tick) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setObjectName(QString::fromLatin1(name));
  slider->setRange(range.Min, range.Max);
  slider->setValue(value);
  slider->setTickPosition(QSlider::TicksBelow);
  slider->setTickInterval(tick);
  slider->setPageStep(tick);
  slider->setMinimumWidth(150);
  connect(slider, &QSlider::valueChanged, this, &OptionsDialog::ReadOptionControls);
  return slider;
}

QLabel* OptionsDialog::MakePercent(QWidget* parent, const char* name, const char* text) {
  QLabel* label = MakeLabel(parent, text);
  label->setObjectName(QString::fromLatin1(name));
  label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("100 %")));
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return label;
}

QComboBox* MakeTileSizesBox(Session& session, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setObjectName(QStringLiteral("cbtilesizes"));
  box->addItem(QStringLiteral("one"));
  box->addItem(QStringLiteral("by detail (up to 2x2, 4x4)"));
  box->setToolTip(
      QStringLiteral("By detail: calm areas of the picture become one photo over 2 x 2 or 4 x 4 cells, busy "
                     "ones keep a photo a cell. Plain grid only"));
  box->setCurrentIndex(ChoiceOfSizing(session.engine.SizingSet));
  QObject::connect(box, &QComboBox::currentIndexChanged, box,
                   [&session](int index) { SetTileSizesChoice(session, index); });
  return box;
}

void SetTileSizesChoice(Session& session, int choice) {
  session.engine.SizingSet = SizingOfChoice(choice);
  choice = ChoiceOfSizing(session.engine.SizingSet);
  QSettings().setValue(QStringLiteral("Matching/TileSizes"), ChoiceOfSizing(session.engine.SizingSet));
  for (QWidget* window : {static_cast<QWidget*>(session.windows.options), static_cast<QWidget*>(session.windows.wizard)})
    if (window)
      if (auto* box = window->findChild<QComboBox*>(QStringLiteral("cbtilesizes")); box && box->currentIndex() != choice) {
        const QSignalBlocker quiet(box);
        box->setCurrentIndex(choice);
      }
}

QCheckBox* MakeKeepShapeBox(Session& session, QWidget* parent) {
  auto* box = new QCheckBox(QStringLiteral("Keep each photo's shape"), parent);
  box->setObjectName(QStringLiteral("cbkeepshape"));
  box->setToolTip(
      QStringLiteral("Landscape photos on tiles two or three cells wide, portrait photos on tiles two or three "
                     "cells tall, so each is shown nearly whole. Plain grid only; Ensure Use All Photos and "
                     "the repeat-cap solver give way to it"));
  box->setChecked(session.engine.KeepShapesSet);
  QObject::connect(box, &QCheckBox::toggled, box, [&session](bool on) { SetKeepShapeChoice(session, on); });
  return box;
}

void SetKeepShapeChoice(Session& session, bool on) {
  session.engine.KeepShapesSet = on;
  QSettings().setValue(QStringLiteral("Matching/KeepShape"), on);
  for (QWidget* window : {static_cast<QWidget*>(session.windows.options), static_cast<QWidget*>(session.windows.wizard)})
    if (window)
      if (auto* box = window->findChild<QCheckBox*>(QStringLiteral("cbkeepshape")); box && box->isChecked() != on) {
        const QSignalBlocker quiet(box);
        box->setChecked(on);
      }
}

QWidget* OptionsDialog::BuildRepeatGroup() {
  auto* group = new QGroupBox(QStringLiteral("Cell Repeat Control"), this);
  group->setObjectName(QStringLiteral("GroupBox1"));
  auto* grid = new QGridLayout(group);
  useAll_ = MakeCheck(group, "cbuseall", "Ensure Use All Photos", true);
  limitRepeat_ = MakeCheck(group, "cbrptlimit", "Limit Repeat Times", false);
  radius_ = MakeSpin(group, "seradius", kRadiusRange, 4);
  repeatTimes_ = MakeSpin(group, "serepeattime", kRepeatTimesRange, 10);
  grid->addWidget(useAll_, 0, 0, 1, 3);
  grid->addWidget(limitRepeat_, 1, 0, 1, 3);
  grid->addWidget(MakeLabel(group, "Min Repeat radius"), 2, 0);
  grid->addWidget(radius_, 2, 1);
  grid->addWidget(MakeLabel(group, "Max repeat time"), 3, 0);
  grid->addWidget(repeatTimes_, 3, 1);
  // Not stored option fields either: kept in the user's settings, taken
  // into the next project as the option fields are.
  QSettings settings;
  MatchOptions& matching = session_.engine.MatchingSet;
  matching.Detail = settings.value(QStringLiteral("Matching/Detail"), false).toBool();
  matching.FairUseAll = settings.value(QStringLiteral("Matching/FairUseAll"), false).toBool();
  detail_ = new QCheckBox(QStringLiteral("Detail matching"), group);
  detail_->setObjectName(QStringLiteral("cbdetail"));
  detail_->setToolTip(QStringLiteral("Compare cells and photos on 4 x 4 samples in CIELAB"));
  detail_->setChecked(matching.Detail);
  connect(detail_, &QCheckBox::toggled, this, [this](bool on) {
    session_.engine.MatchingSet.Detail = on;
    QSettings().setValue(QStringLiteral("Matching/Detail"), on);
  });
  fairUseAll_ = new QCheckBox(QStringLiteral("Place every photo well"), group);
  fairUseAll_->setObjectName(QStringLiteral("cbfairuseall"));
  fairUseAll_->setToolTip(
      QStringLiteral("With Ensure Use All Photos: place all photos at once, for the least total distance"));
  fairUseAll_->setChecked(matching.FairUseAll);
  connect(fairUseAll_, &QCheckBox::toggled, this, [this](bool on) {
    session_.engine.MatchingSet.FairUseAll = on;
    QSettings().setValue(QStringLiteral("Matching/FairUseAll"), on);
  });
  matching.UseCap = settings.value(QStringLiteral("Matching/UseCap"), false).toBool();
  useCap_ = new QCheckBox(QStringLiteral("Keep the repeat cap by the solver"), group);
  useCap_->setObjectName(QStringLiteral("cbusecap"));
  useCap_->setToolTip(
      QStringLiteral("Give every cell the photo that keeps the whole mosaic closest to the picture while no "
                     "photo is shown more often than Limit Repeat Times allows. Works with Limit Repeat "
                     "Times on"));
  useCap_->setChecked(matching.UseCap);
  connect(useCap_, &QCheckBox::toggled, this, [this](bool on) {
    session_.engine.MatchingSet.UseCap = on;
    QSettings().setValue(QStringLiteral("Matching/UseCap"), on);
  });
  // The wizard, made first, shows it from here on too.
  SetTileSizesChoice(session_, settings.value(QStringLiteral("Matching/TileSizes"), kTileSizesOne).toInt());
  grid->addWidget(MakeLabel(group, "Tile sizes:"), 9, 0);
  grid->addWidget(MakeTileSizesBox(session_, group), 9, 1, 1, 2);
  SetKeepShapeChoice(session_, settings.value(QStringLiteral("Matching/KeepShape"), false).toBool());
  grid->addWidget(MakeKeepShapeBox(session_, group), 10, 0, 1, 3);
  grid->addWidget(fairUseAll_, 6, 0, 1, 3);
  grid->addWidget(detail_, 7, 0, 1, 3);
  grid->addWidget(useCap_, 8, 0, 1, 3);
  grid->addWidget(MakeLabel(group, "Randomize Level      Low <- -> High"), 4, 0, 1, 3);
  randomize_ = MakeSlider(group, "tbrandom", kRandomizeRange, 20, 10);
  randomizeLabel_ = MakePercent(group, "lbrl", "20 %");
  auto* sliderRow = new QHBoxLayout;
  sliderRow->addWidget(randomize_, 1);
  sliderRow->addWidget(randomizeLabel_);
  grid->addLayout(sliderRow, 5, 0, 1, 3);
  // Tab in reading order: the matching switches sit below the slider.
  setTabOrder(repeatTimes_, randomize_);
  setTabOrder(randomize_, fairUseAll_);
  setTabOrder(fairUseAll_, detail_);
  setTabOrder(detail_, useCap_);
  grid->setColumnStretch(2, 1);
  grid->setRowStretch(10, 1);
  return group;
}

QWidget* OptionsDialog::BuildEffectGroup() {
  auto* group = new QGroupBox(QStringLiteral("Cell Effect"), this);
  group->setObjectName(QStringLiteral("GroupBox2"));
  auto* grid = new QGridLayout(group);
  int r = 0;
  grid->addWidget(MakeLabel(group, "Color Enhance"), r, 0);
  enhance_ = MakeSlider(group, "tbenhance", kEnhanceRange, 50, 10);
  enhanceLabel_ = MakePercent(group, "lbce", "50 %");
  grid->addWidget(enhance_, r, 1);
  grid->addWidget(enhanceLabel_, r++, 2);
  grid->addWidget(MakeLabel(group, "OFF <--   Low   -->  High"), r++, 1, Qt::AlignHCenter);
  // How the strength above recolours a cell's picture; kept in the user's
  // settings with the matching choices, and saved in a project with them.
  grid->addWidget(MakeLabel(group, "Recolour tiles"), r, 0);
  recolor_ = new QComboBox(group);
  recolor_->setObjectName(QStringLiteral("cbrecolor"));
  recolor_->addItem(QStringLiteral("tint"));
  recolor_->addItem(QStringLiteral("colour transfer"));
  recolor_->setToolTip(
      QStringLiteral("Tint: shift each photo toward its cell's colour. Colour transfer: move its colours to "
                     "the cell's and keep its own light and dark"));
  session_.engine.MatchingSet.Transfer =
      QSettings().value(QStringLiteral("Matching/Transfer"), false).toBool();
  recolor_->setCurrentIndex(session_.engine.MatchingSet.Transfer ? 1 : 0);
  connect(recolor_, &QComboBox::currentIndexChanged, this, [this](int index) {
    session_.engine.MatchingSet.Transfer = index == 1;
    QSettings().setValue(QStringLiteral("Matching/Transfer"), index == 1);
  });
  grid->addWidget(recolor_, r++, 1);
  grid->addWidget(MakeLabel(group, "Alpha Blend -  MainImage"), r, 0);
  alphaMain_ = MakeSlider(group, "tbalphablendmain", kAlphaPositionRange, 20, 10);
  alphaMainLabel_ = MakePercent(group, "lbabm", "20 %");
  grid->addWidget(alphaMain_, r, 1);
  grid->addWidget(alphaMainLabel_, r++, 2);
  grid->addWidget(MakeLabel(group, "Alpha Blend -  Mosaic Pen"), r, 0);
  alphaPen_ = MakeSlider(group, "tbalphablendpen", kAlphaPositionRange, 80, 10);
  alphaPenLabel_ = MakePercent(group, "lbabp", "80 %");
  grid->addWidget(alphaPen_, r, 1);
  grid->addWidget(alphaPenLabel_, r++, 2);

  // Made in reading order, which is the order Tab visits them.
  cropCell_ = MakeCheck(group, "cbcropcell", "Crop Cell Image", true);
  hFlip_ = MakeCheck(group, "cbhf", "Allow Horizontal Flip", true);
  monoCell_ = MakeCheck(group, "cbmonocell", "Monochrome Cell", false);
  vFlip_ = MakeCheck(group, "cbvf", "Allow Vertical Flip", false);
  grid->addWidget(cropCell_, r, 0);
  grid->addWidget(hFlip_, r++, 1);
  grid->addWidget(monoCell_, r, 0);
  grid->addWidget(vFlip_, r++, 1);

  auto* borderRow = new QHBoxLayout;
  borderRow->addWidget(MakeLabel(group, "Border Size in Pixels :"));
  border_ = MakeSpin(group, "ebs", kBorderRange, 0);
  borderRow->addWidget(border_);
  borderRow->addSpacing(16);
  borderRow->addWidget(MakeLabel(group, "Border Color"));
  swatch_ = new QLabel(group);
  swatch_->setObjectName(QStringLiteral("imgcolor"));
  swatch_->setFixedSize(kSwatchSide, kSwatchSide);
  swatch_->setCursor(Qt::PointingHandCursor);
  swatch_->installEventFilter(this);
  borderRow->addWidget(swatch_);
  borderRow->addStretch(1);
  grid->addLayout(borderRow, r++, 0, 1, 3);
  grid->setRowStretch(r, 1);
  return group;
}

QWidget* OptionsDialog::BuildAdvanceGroup() {
  auto* group = new QGroupBox(QStringLiteral("Advance Options"), this);
  group->setObjectName(QStringLiteral("GroupBox3"));
  auto* row = new QHBoxLayout(group);

  // The kernel buttons have a box of their own, so they exclude only each other.
  auto* kernelBox = new QGroupBox(QStringLiteral("Cell Render Parament"), group);
  auto* kernelGrid = new QGridLayout(kernelBox);
  kernelGrid->setVerticalSpacing(2);
  const char* kernelNames[kKernelCount] = {"Nearest", "Draft",   "Linear",  "Cosine",
                                           "Spline",  "Lanczos", "Mitchell"};
  for (int i = 0; i < kKernelCount; ++i) {
    kernels_[i] = new QRadioButton(QString::fromLatin1(kernelNames[i]), kernelBox);
    kernels_[i]->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
    connect(kernels_[i], &QRadioButton::clicked, this, &OptionsDialog::ReadOptionControls);
    kernelGrid->addWidget(kernels_[i], i % 4, i / 4);
  }
  kernels_[4]->setChecked(true);
  auto* left = new QVBoxLayout();
  left->addWidget(kernelBox);
  // Not one of the stored option fields: photos taken on their side are
  // turned upright by their orientation tag unless the user needs the
  // pixels as stored. Kept in the user's settings, read by every mosaic.
  upright_ = new QCheckBox(QStringLiteral("Turn photos upright (orientation tag)"), group);
  upright_->setObjectName(QStringLiteral("cbupright"));
  QSettings settings;
  upright_->setChecked(settings.value(QStringLiteral("Reading/UprightPhotos"), true).toBool());
  session_.engine.SetUprightPictures(upright_->isChecked());
  connect(upright_, &QCheckBox::toggled, this, [this](bool on) {
    session_.engine.SetUprightPictures(on);
    QSettings().setValue(QStringLiteral("Reading/UprightPhotos"), on);
  });
  left->addWidget(upright_);
  // Likewise: library photos read from the small copy their camera
  // embedded where it serves the cells.
  previews_ = new QCheckBox(QStringLiteral("Read photos from their camera previews"), group);
  previews_->setObjectName(QStringLiteral("cbpreviews"));
  previews_->setToolTip(QStringLiteral("Much faster on phone and camera photos. Turn off for photos edited by a "
                                       "program that left the old preview in the file."));
  previews_->setChecked(settings.value(QStringLiteral("Reading/CameraPreviews"), true).toBool());
  session_.engine.SetUsePreviews(previews_->isChecked());
  connect(previews_, &QCheckBox::toggled, this, [this](bool on) {
    session_.engine.SetUsePreviews(on);
    QSettings().setValue(QStringLiteral("Reading/CameraPreviews"), on);
  });
  left->addWidget(previews_);
  row->addLayout(left);

  auto* jpegBox = new QGroupBox(QStringLiteral("Save Jpeg Files Setting"), group);
  auto* jpeg = new QGridLayout(jpegBox);
  jpeg->addWidget(MakeLabel(jpegBox, "Jpeg Encoder Parament"), 0, 0, 1, 3);
  jpeg->addWidget(MakeLabel(jpegBox, "Quality"), 1, 0);
  jpegQuality_ = MakeSlider(jpegBox, "tbjpegq", kJpegQualityRange, 75, 5);
  jpegQuality_->setMinimumWidth(110);
  jpegQualityLabel_ = MakePercent(jpegBox, "lbjpgq", "75 %");
  jpeg->addWidget(jpegQuality_, 1, 1);
  jpeg->addWidget(jpegQualityLabel_, 1, 2);
  progressive_ = MakeCheck(jpegBox, "cbjpegp", "Progressive_Passes", false);
  jpeg->addWidget(progressive_, 2, 0, 1, 3);
  jpeg->setRowStretch(3, 1);
  row->addWidget(jpegBox, 1);
  return group;
}

bool OptionsDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease) {
    if (watched == swatch_)
      ChooseBorderColor();
    else
      ReadOptionControls();
  }
  return QDialog::eventFilter(watched, event);
}

int OptionsDialog::Pictures() const { return session_.engine.PicList.Count(); }

OptionControls OptionsDialog::Controls() const {
  OptionControls c;
  c.cbuseall = useAll_->isChecked();
  c.cbrptlimit = limitRepeat_->isChecked();
  c.seradius = radius_->value();
  c.serepeattime = repeatTimes_->value();
  c.tbrandom = randomize_->value();
  c.tbenhance = enhance_->value();
  c.tbalphablendmain = alphaMain_->value();
  c.tbalphablendpen = alphaPen_->value();
  c.cbcropcell = cropCell_->isChecked();
  c.cbmonocell = monoCell_->isChecked();
  c.cbhf = hFlip_->isChecked();
  c.cbvf = vFlip_->isChecked();
  c.ebs = border_->value();
  c.color1 = color1_;
  c.kernel = -1;
  for (int i = 0; i < kKernelCount; ++i)
    if (kernels_[i]->isChecked()) c.kernel = i;
  c.tbjpegq = jpegQuality_->value();
  c.cbjpegp = progressive_->isChecked();
  return c;
}

void OptionsDialog::ShowControls(const OptionControls& c) {
  const auto check = [](QCheckBox* box, bool on) {
    const QSignalBlocker block(box);
    box->setChecked(on);
  };
  const auto set = [](auto* control, int value) {
    const QSignalBlocker block(control);
    control->setValue(value);
  };
  check(useAll_, c.cbuseall);
  check(limitRepeat_, c.cbrptlimit);
  check(cropCell_, c.cbcropcell);
  check(monoCell_, c.cbmonocell);
  check(hFlip_, c.cbhf);
  check(vFlip_, c.cbvf);
  check(progressive_, c.cbjpegp);
  set(radius_, c.seradius);
  set(repeatTimes_, c.serepeattime);
  set(border_, c.ebs);
  set(randomize_, c.tbrandom);
  set(enhance_, c.tbenhance);
  set(alphaMain_, c.tbalphablendmain);
  set(alphaPen_, c.tbalphablendpen);
  set(jpegQuality_, c.tbjpegq);
  // No kernel (-1) leaves the selection as it is.
  if (c.kernel >= 0 && c.kernel < kKernelCount) {
    const QSignalBlocker block(kernels_[c.kernel]);
    kernels_[c.kernel]->setChecked(true);
  }
  color1_ = c.color1;
  FillSwatch();
}

void OptionsDialog::ShowLabels(const OptionLabels& l) {
  randomizeLabel_->setText(ToQString(l.lbrl));
  enhanceLabel_->setText(ToQString(l.lbce));
  alphaMainLabel_->setText(ToQString(l.lbabm));
  alphaPenLabel_->setText(ToQString(l.lbabp));
  jpegQualityLabel_->setText(ToQString(l.lbjpgq));
}

void OptionsDialog::ShowControlsAndLabels(const OptionControls& c) {
  ShowControls(c);
  // The labels as the controls show the values. OptionSet must not change
  // here (at start-up it keeps the file's values as stored), so they are
  // worked out on copies.
  OptionControls controls = c;
  tmosaicproject scratch = session_.engine.OptionSet;
  ShowLabels(velmora::ReadOptionControls(controls, Pictures(), session_.engine.Project, scratch));
}

void OptionsDialog::FillSwatch() {
  QPixmap fill(kSwatchSide, kSwatchSide);
  fill.fill(FromBgr(color1_));
  swatch_->setPixmap(fill);
}

void OptionsDialog::TakeAdvisedSettings(const tmosaicproject& options, const MatchOptions& matching) {
  OptionControls c = Controls();
  c.seradius = kRadiusRange.Limit(options.MinRepeatRadius);
  c.cbuseall = options.UseAllPhotos;
  c.cbrptlimit = options.LimitRepeat;
  c.serepeattime = kRepeatTimesRange.Limit(options.MaxRepeatTimes);
  c.tbenhance = kEnhanceRange.Limit(options.ColorEnhance);
  c.tbalphablendmain = kAlphaPositionRange.Limit(AlphaToPosition(options.AlphaMain));
  ShowControls(c);
  // The matching switches through their own handling, so the user's
  // settings remember them as if they had been clicked.
  detail_->setChecked(matching.Detail);
  fairUseAll_->setChecked(matching.FairUseAll);
  useCap_->setChecked(matching.UseCap);
  recolor_->setCurrentIndex(matching.Transfer ? 1 : 0);
  ReadOptionControls();
}

void OptionsDialog::ReadOptionControls() {
  Engine& engine = session_.engine;
  OptionControls c = Controls();
  const OptionLabels labels = velmora::ReadOptionControls(c, Pictures(), engine.Project, engine.OptionSet);
  // The repeat-limit raise and a negative border size go back to their spin edits.
  ShowControls(c);
  ShowLabels(labels);
}

Status OptionsDialog::LoadDefaultOptions() {
  Engine& engine = session_.engine;
  OptionControls c = Controls();
  const Status status = velmora::LoadDefaultOptions(engine.OptionSet, c, session_.programFolder);
  ShowControlsAndLabels(c);
  update();
  return status;
}

Status OptionsDialog::SaveDefaultOptions() {
  Engine& engine = session_.engine;
  OptionControls c = Controls();
  const Status status =
      velmora::SaveDefaultOptions(c, Pictures(), engine.Project, engine.OptionSet, session_.programFolder);
  ShowControlsAndLabels(c);
  return status;
}

Status OptionsDialog::RestoreDefaultOptions() {
  Engine& engine = session_.engine;
  OptionControls c = Controls();
  const Status status =
      velmora::RestoreDefaultOptions(c, Pictures(), engine.Project, engine.OptionSet, session_.programFolder);
  ShowControlsAndLabels(c);
  return status;
}

void OptionsDialog::ChooseBorderColor() {
  const int64_t chosen = session_.prompts.ChooseColor(this, color1_);
  if (chosen < 0) return;
  color1_ = static_cast<int32_t>(chosen);
  FillSwatch();
  session_.engine.OptionSet.BorderColor = color1_;
}

}  // namespace velmora::ui
