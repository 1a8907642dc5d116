// The wizard's window and its four pages. What the controls do is in
// NewProjectWizardCommands.cpp.
#include "ui/NewProjectWizard.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QVBoxLayout>

#include "engine/ProjectRecord.h"
#include "project/WizardSizes.h"
#include "ui/AdvicePanel.h"
#include "ui/OptionsDialog.h"
#include "ui/TileShapePanel.h"
#include "ui/ClampingSpinBox.h"
#include "ui/LibraryCheckWindow.h"
#include "ui/WindowSupport.h"
#include "ui/WizardPictures.h"

namespace velmora::ui {
namespace {

constexpr int kAreaWidth = 271;
constexpr int kAreaHeight = 255;
const QColor kWarningRed(0xC0, 0, 0);

QLabel* MakeLabel(QWidget* parent, const QString& text, const char* name = nullptr) {
  auto* label = new QLabel(text, parent);
  if (name) label->setObjectName(QString::fromLatin1(name));
  return label;
}

void SetTextColor(QLabel* label, const QColor& color) {
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, color);
  label->setPalette(pal);
}

}  // namespace

NewProjectWizard::NewProjectWizard(Session& session, QWidget* parent)
    // A dialog of the main window, above it but not above everything: the
    // Library Check it opens and the message boxes must come in front of it.
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      session_(session) {
  setObjectName(QStringLiteral("TForm2"));
  setWindowTitle(QStringLiteral("New Project"));
  setModal(false);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(8, 8, 8, 8);
  pages_ = new QTabWidget(this);
  pages_->setObjectName(QStringLiteral("PageControl1"));
  pages_->addTab(BuildMainImagePage(), QStringLiteral("Main Image"));
  pages_->addTab(BuildSizePage(), QStringLiteral("Mosaic Size"));
  pages_->addTab(BuildOptionsPage(), QStringLiteral("Project Options"));
  // A doubled ampersand shows as one.
  pages_->addTab(BuildFinalPage(), QStringLiteral("Final Check && Output"));
  column->addWidget(pages_);
  // The dialog keeps the size its pages need: a fixed border.
  column->setSizeConstraint(QLayout::SetFixedSize);

  connect(pages_, &QTabWidget::currentChanged, this, [this](int) {
    if (!switchingPage_) CollectProjectSettings();
  });
}

QSpinBox* NewProjectWizard::MakeSpin(QWidget* parent, const char* name, int min, int max, int value,
                                     int digits) {
  QSpinBox* spin = new ClampingSpinBox(parent);
  spin->setObjectName(QString::fromLatin1(name));
  spin->setRange(min, max);
  spin->setValue(value);
  spin->setAlignment(Qt::AlignRight);
  const int digitWidth = spin->fontMetrics().horizontalAdvance(QString(digits, QLatin1Char('8')));
  spin->setFixedWidth(digitWidth + 36);
  // Every keystroke, not only finished numbers: the labels follow the typing.
  // The spin box signals only numbers within its range (and the arrows);
  // its text field signals whatever the user types.
  connect(spin, &QSpinBox::textChanged, this, [this] { ComputeDerivedSizes(); });
  connect(spin->findChild<QLineEdit*>(), &QLineEdit::textEdited, this, [this] { ComputeDerivedSizes(); });
  // Leaving the field shows the nearest number within the range.
  connect(spin, &QSpinBox::editingFinished, this, &NewProjectWizard::ComputeDerivedSizes);
  return spin;
}

QWidget* NewProjectWizard::BuildMainImagePage() {
  auto* page = new QWidget;
  auto* row = new QHBoxLayout(page);

  auto* left = new QVBoxLayout;
  // The picture area lies on a panel whose caption shows until a picture is loaded.
  auto* panel = new QFrame(page);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Sunken);
  panel->setLineWidth(2);
  panel->setFixedSize(kAreaWidth + 4, kAreaHeight + 4);
  auto* caption = MakeLabel(panel, QStringLiteral("Doble Click to Load Main Image"));
  caption->setObjectName(QStringLiteral("lbdoubleclick"));
  caption->setAlignment(Qt::AlignCenter);
  caption->setGeometry(2, 2, kAreaWidth, kAreaHeight);
  pictureArea_ = new PictureArea(panel, kAreaWidth, kAreaHeight);
  pictureArea_->setObjectName(QStringLiteral("f2img1"));
  pictureArea_->move(2, 2);
  connect(pictureArea_, &PictureArea::doubleClicked, this, &NewProjectWizard::LoadMainImage);
  left->addWidget(panel);
  auto* load = new QPushButton(QStringLiteral("Load Main Image"), page);
  load->setObjectName(QStringLiteral("btloadvmmain"));
  connect(load, &QPushButton::clicked, this, &NewProjectWizard::LoadMainImage);
  left->addWidget(load);
  left->addStretch(1);
  row->addLayout(left);

  auto* right = new QVBoxLayout;
  auto* info = new QGridLayout;
  info->setHorizontalSpacing(10);
  mainName_ = MakeLabel(page, QStringLiteral("unknown"), "lbmainname");
  mainSize_ = MakeLabel(page, QStringLiteral("unknown"), "lbmainsize");
  mainAspect_ = MakeLabel(page, QStringLiteral("unknown"), "lbaspect1");
  // A long file name must not widen the dialog.
  mainName_->setFixedWidth(170);
  info->addWidget(MakeLabel(page, QStringLiteral("File Name")), 0, 0);
  info->addWidget(mainName_, 0, 1);
  info->addWidget(MakeLabel(page, QStringLiteral("Image Size (pixels)")), 1, 0);
  info->addWidget(mainSize_, 1, 1);
  info->addWidget(MakeLabel(page, QStringLiteral("Aspect Ratio")), 2, 0);
  info->addWidget(mainAspect_, 2, 1);
  info->setColumnStretch(2, 1);
  right->addLayout(info);
  right->addSpacing(12);

  auto* levelRow = new QHBoxLayout;
  levelRow->addWidget(MakeLabel(page, QStringLiteral("level")), 0, Qt::AlignTop);
  level_ = MakeLabel(page, QString(), "Image1");
  // The 128-pixel-wide level picture shows its left part only.
  level_->setFixedSize(96, 48);
  level_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  levelRow->addWidget(level_);
  levelRow->addStretch(1);
  right->addLayout(levelRow);

  auto* channels = new QHBoxLayout;
  const char* names[] = {"btslrgb", "btslr", "btslg", "btslb"};
  const char* captions[] = {"RGB", "R", "G", "B"};
  for (int i = 0; i < 4; ++i) {
    levelButtons_[i] = new QRadioButton(QString::fromLatin1(captions[i]), page);
    levelButtons_[i]->setObjectName(QString::fromLatin1(names[i]));
    connect(levelButtons_[i], &QRadioButton::clicked, this, &NewProjectWizard::DrawLevelPicture);
    channels->addWidget(levelButtons_[i]);
  }
  levelButtons_[0]->setChecked(true);
  channels->addStretch(1);
  right->addLayout(channels);
  right->addSpacing(12);

  mono_ = new QCheckBox(QStringLiteral("Monochrome (Gray Scale)"), page);
  mono_->setObjectName(QStringLiteral("cbmonomain"));
  connect(mono_, &QCheckBox::clicked, this, &NewProjectWizard::MonochromeClicked);
  right->addWidget(mono_);
  auto* buttons = new QHBoxLayout;
  auto* reset = new QPushButton(QStringLiteral("reset"), page);
  reset->setObjectName(QStringLiteral("breloadvmmain"));
  connect(reset, &QPushButton::clicked, this, &NewProjectWizard::ResetMainImage);
  buttons->addWidget(reset);
  auto* autoLevel = new QPushButton(QStringLiteral("Auto Level"), page);
  autoLevel->setObjectName(QStringLiteral("Button3"));
  autoLevel->setEnabled(false);
  buttons->addWidget(autoLevel);
  buttons->addStretch(1);
  right->addLayout(buttons);
  right->addStretch(1);
  row->addLayout(right, 1);
  return page;
}

QWidget* NewProjectWizard::BuildSizePage() {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);
  auto* group = new QGroupBox(QStringLiteral("Final Mosaic Size"), page);
  group->setObjectName(QStringLiteral("GroupBox1"));
  auto* grid = new QGridLayout(group);
  grid->setHorizontalSpacing(6);

  dpi_ = MakeSpin(group, "eddpi", kDpiMin, kDpiMax, 72, 4);
  grid->addWidget(MakeLabel(group, QStringLiteral("Image Resolution  ( DPI / PPI )")), 0, 0);
  grid->addWidget(dpi_, 0, 1);

  cellsAcross_ = MakeSpin(group, "edhcc", kCellCountMin, kCellCountMax, 48, 3);
  cellsDown_ = MakeSpin(group, "edvcc", kCellCountMin, kCellCountMax, 48, 3);
  cellWidth_ = MakeSpin(group, "edcw", kCellSizeMin, kCellSizeMax, 32, 3);
  cellHeight_ = MakeSpin(group, "edch", kCellSizeMin, kCellSizeMax, 32, 3);
  widthPixels_ = MakeLabel(group, QStringLiteral("1024 Pixels"), "LBMWP");
  heightPixels_ = MakeLabel(group, QStringLiteral("1024 Pixels"), "LBMHP");
  widthInch_ = MakeLabel(group, QStringLiteral("14.22 Inch"), "lbmwi");
  heightInch_ = MakeLabel(group, QStringLiteral("14.22 Inch"), "lbmhi");
  widthCm_ = MakeLabel(group, QStringLiteral("36.12 CM"), "lbmwm");
  heightCm_ = MakeLabel(group, QStringLiteral("36.12 CM"), "lbmhm");
  const struct {
    const char* countCaption;
    QSpinBox* count;
    const char* sizeCaption;
    QSpinBox* size;
    QLabel* pixels;
    QLabel* inch;
    QLabel* cm;
  } rows[] = {{"Horizontal Cell Numbers", cellsAcross_, "Cell Width : ", cellWidth_, widthPixels_, widthInch_,
               widthCm_},
              {"Vertical Cell Numbers", cellsDown_, "Cell Height : ", cellHeight_, heightPixels_, heightInch_,
               heightCm_}};
  int r = 1;
  for (const auto& line : rows) {
    grid->addWidget(MakeLabel(group, QString::fromLatin1(line.countCaption)), r, 0);
    grid->addWidget(line.count, r, 1);
    grid->addWidget(MakeLabel(group, QStringLiteral("Cells")), r, 2);
    grid->addWidget(MakeLabel(group, QString::fromLatin1(line.sizeCaption)), r, 3, Qt::AlignRight);
    grid->addWidget(line.size, r, 4);
    grid->addWidget(MakeLabel(group, QStringLiteral("Pixels")), r, 5);
    grid->addWidget(MakeLabel(group, QStringLiteral("=")), r, 6);
    // Room for the widest figures, so the labels never change the layout.
    line.pixels->setMinimumWidth(
        line.pixels->fontMetrics().horizontalAdvance(QStringLiteral("409600 Pixels")));
    line.inch->setMinimumWidth(line.inch->fontMetrics().horizontalAdvance(QStringLiteral("13653.33 Inch")));
    line.cm->setMinimumWidth(line.cm->fontMetrics().horizontalAdvance(QStringLiteral("34679.46 CM")));
    grid->addWidget(line.pixels, r, 7);
    grid->addWidget(line.inch, r, 8);
    grid->addWidget(line.cm, r, 9);
    ++r;
  }
  // Tab reads the grid row by row: count, then size of each direction.
  setTabOrder(cellsAcross_, cellWidth_);
  setTabOrder(cellWidth_, cellsDown_);
  setTabOrder(cellsDown_, cellHeight_);
  cropMain_ = new QCheckBox(QStringLiteral("Allow Crop Main Image"), group);
  cropMain_->setObjectName(QStringLiteral("cbcropmain"));
  connect(cropMain_, &QCheckBox::clicked, this, &NewProjectWizard::ComputeDerivedSizes);
  grid->addWidget(cropMain_, r++, 0, 1, 3);
  grid->addWidget(MakeLabel(group, QStringLiteral("Tile sizes:")), r, 0);
  grid->addWidget(MakeTileSizesBox(session_, group), r++, 1, 1, 4);
  grid->addWidget(MakeKeepShapeBox(session_, group), r++, 0, 1, 5);

  mosaicAspect_ = MakeLabel(group, QStringLiteral("Aspect Ratio of final mosaic"), "lbaspect");
  imageAspect_ = MakeLabel(group, QStringLiteral("Aspect Ratio of main image"), "lbaspect2");
  grid->addWidget(mosaicAspect_, r++, 0, 1, 10);
  grid->addWidget(imageAspect_, r++, 0, 1, 10);
  stretchNote_ = MakeLabel(
      group,
      QStringLiteral("Avoid Stretch, Make sure final mosaic aspect ratio is close to main image aspect ratio ! "),
      "lbstretch");
  grid->addWidget(stretchNote_, r++, 0, 1, 10);
  ShowStretchNote(false);  // no main picture yet: nothing to compare
  QLabel* cropNote = MakeLabel(group, QStringLiteral("If Your allowed Crop Main Image, You can ignore the aspect ratios"));
  SetTextColor(cropNote, kWarningRed);
  grid->addWidget(cropNote, r++, 0, 1, 10);
  column->addWidget(group);

  const QColor green(0, 0x80, 0);
  memoryInstalled_ = MakeLabel(page, QStringLiteral("Your Computer has 128MB Memory Installed."), "LBMBphy");
  memoryNeeded_ =
      MakeLabel(page, QStringLiteral("You need xxx MB memory to create this project."), "LBMBneed");
  SetTextColor(memoryInstalled_, green);
  SetTextColor(memoryNeeded_, green);
  column->addWidget(memoryInstalled_);
  column->addWidget(memoryNeeded_);
  sizeAdvice_ = new AdvicePanel("advicesize", page);
  connect(sizeAdvice_, &AdvicePanel::useSuggested, this, &NewProjectWizard::UseSuggestedSettings);
  column->addWidget(sizeAdvice_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* preview = new QPushButton(QStringLiteral("Pattern Preview"), page);
  preview->setObjectName(QStringLiteral("Button2"));
  connect(preview, &QPushButton::clicked, this, &NewProjectWizard::PatternPreview);
  buttons->addWidget(preview);
  column->addLayout(buttons);
  column->addStretch(1);
  return page;
}

QWidget* NewProjectWizard::BuildOptionsPage() {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);

  auto* render = new QGroupBox(QStringLiteral("Render Mode"), page);
  render->setObjectName(QStringLiteral("GroupBox2"));
  auto* renderColumn = new QVBoxLayout(render);
  selfMosaic_ = new QRadioButton(QStringLiteral("Self Mosaic"), render);
  selfMosaic_->setObjectName(QStringLiteral("rbrm1"));
  standardRender_ = new QRadioButton(QStringLiteral("Standard Render"), render);
  standardRender_->setObjectName(QStringLiteral("rbrm2"));
  standardRender_->setChecked(true);
  renderColumn->addWidget(selfMosaic_);
  renderColumn->addWidget(standardRender_);
  column->addWidget(render);

  auto* effect = new QGroupBox(QStringLiteral("Cell Effect"), page);
  effect->setObjectName(QStringLiteral("GroupBox3"));
  auto* effectRow = new QHBoxLayout(effect);
  const char* names[] = {"rss1", "rss2", "rss3"};
  const char* captions[] = {" Loom stitch", "Peyote Stitch", "Brick Stitch"};
  for (int i = 0; i < 3; ++i) {
    auto* cell = new QVBoxLayout;
    auto* picture = MakeLabel(effect, QString());
    picture->setObjectName(QStringLiteral("imgstitch%1").arg(i + 1));
    picture->setPixmap(StitchLayoutPicture(i + 1, 97, 73));
    cell->addWidget(picture, 0, Qt::AlignHCenter);
    stitch_[i] = new QRadioButton(QString::fromLatin1(captions[i]), effect);
    stitch_[i]->setObjectName(QString::fromLatin1(names[i]));
    cell->addWidget(stitch_[i], 0, Qt::AlignHCenter);
    effectRow->addLayout(cell);
  }
  stitch_[0]->setChecked(true);
  column->addWidget(effect);
  column->addWidget(new TileShapePanel(session_, page));

  for (QRadioButton* b : {selfMosaic_, standardRender_, stitch_[0], stitch_[1], stitch_[2]})
    connect(b, &QRadioButton::clicked, this, &NewProjectWizard::CollectProjectSettings);

  column->addWidget(MakeLabel(
      page, QStringLiteral("For more options, please Click the option button from the toolbar or menu.")));
  // What the library lacks for this picture, with the settings chosen so far.
  auto* check = new QPushButton(QStringLiteral("Library Check..."), page);
  check->setObjectName(QStringLiteral("btlibcheck"));
  connect(check, &QPushButton::clicked, this, [this] {
    CollectProjectSettings();
    ShowLibraryCheckWindow(session_);
  });
  column->addWidget(check, 0, Qt::AlignLeft);
  column->addStretch(1);
  return page;
}

QWidget* NewProjectWizard::BuildFinalPage() {
  auto* page = new QWidget;
  auto* row = new QHBoxLayout(page);
  auto* left = new QVBoxLayout;
  left->addWidget(MakeLabel(page, QStringLiteral("Project Brief")));
  brief_ = new QPlainTextEdit(page);
  brief_->setObjectName(QStringLiteral("Memo1"));
  brief_->setTabChangesFocus(true);  // Tab moves on, as in every other field of the wizard
  brief_->setLineWrapMode(QPlainTextEdit::NoWrap);
  brief_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  brief_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  left->addWidget(brief_, 1);
  finalAdvice_ = new AdvicePanel("advicefinal", page);
  connect(finalAdvice_, &AdvicePanel::useSuggested, this, &NewProjectWizard::UseSuggestedSettings);
  left->addWidget(finalAdvice_);
  row->addLayout(left, 1);

  auto* buttons = new QVBoxLayout;
  buttons->addSpacing(brief_->fontMetrics().height() + 6);
  auto* save = new QPushButton(QStringLiteral("Save Brief Info"), page);
  save->setObjectName(QStringLiteral("Button4"));
  connect(save, &QPushButton::clicked, this, &NewProjectWizard::SaveBriefInfo);
  buttons->addWidget(save);
  buttons->addStretch(1);
  auto* pen = new QPushButton(QStringLiteral("Mosaic Pen Mode"), page);
  pen->setObjectName(QStringLiteral("Button5"));
  connect(pen, &QPushButton::clicked, this, &NewProjectWizard::MosaicPenMode);
  buttons->addWidget(pen);
  auto* create = new QPushButton(QStringLiteral("Create Photo Mosaic"), page);
  create->setObjectName(QStringLiteral("SpeedButton1"));
  create->setIcon(QIcon(QStringLiteral(":/glyphs/new.svg")));
  create->setIconSize(QSize(22, 22));
  create->setMinimumHeight(40);
  connect(create, &QPushButton::clicked, this, &NewProjectWizard::CreatePhotoMosaic);
  buttons->addWidget(create);
  row->addLayout(buttons);
  return page;
}

void NewProjectWizard::ShowFirstPage() {
  switchingPage_ = true;
  pages_->setCurrentIndex(0);
  switchingPage_ = false;
  if (!isVisible()) {
    adjustSize();
    CentreOnScreen(this);
  }
  show();
  raise();
  activateWindow();
}

void NewProjectWizard::ShowStretchNote(bool ratiosDiffer) {
  if (ratiosDiffer)
    SetTextColor(stretchNote_, kWarningRed);
  else
    stretchNote_->setPalette(QPalette());  // the dialog's own colours again
}

void NewProjectWizard::SetPictureFolder(const QString& folder) { pictureFolder_ = folder; }

}  // namespace velmora::ui
