// What the wizard's controls do: the main picture and its level picture, the
// sizes, collecting the project's settings, the brief and the two commands
// that hand over to the main window.
#include <algorithm>
#include <QFileInfo>

#include "quality/Advice.h"
#include "engine/ProjectRecord.h"
#include "imaging/PictureOps.h"
#include "imaging/PictureReader.h"
#include "project/ProjectBrief.h"
#include "project/WizardSizes.h"
#include "ui/RecentFolders.h"
#include "ui/AdvicePanel.h"
#include "ui/MainWindow.h"
#include "ui/NewProjectWizard.h"
#include "ui/OptionsDialog.h"
#include "ui/PicturePreviewDialog.h"
#include "ui/QtBitmap.h"
#include "ui/WindowHooks.h"
#include "ui/WizardPictures.h"

namespace velmora::ui {
namespace {

constexpr TRect kAreaRect{0, 0, 271, 255};
constexpr TRect kLevelRect{0, 0, 128, 48};
constexpr const char* kBriefFilter = "*.txt (*.txt)";

// The brief's lines end with CR LF in files; the text box keeps bare line feeds.
QString ToBoxText(const std::string& text) {
  QString s = ToQString(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

std::string ToFileText(const QString& boxText) {
  QString s = boxText;
  s.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  // Every line the box holds ends with a line break in the file, the last one too.
  if (!s.isEmpty() && !s.endsWith(QLatin1Char('\n'))) s += QStringLiteral("\r\n");
  return ToBytes(s);
}

}  // namespace

int NewProjectWizard::TypedValue(const QSpinBox* spin) {
  bool ok = false;
  const int value = spin->cleanText().toInt(&ok);
  return ok ? value : spin->minimum();
}

bool NewProjectWizard::MainFileExists() const {
  const std::string& file = session_.engine.Project.MainImageFile;
  return !file.empty() && QFileInfo(ToQString(file)).isFile();
}

void NewProjectWizard::ShowMainBitmap() {
  // A portrait picture leaves room at its sides, where the caption would show.
  if (auto* caption = findChild<QLabel*>(QStringLiteral("lbdoubleclick"))) caption->hide();
  FitToRect(session_.engine.MainBitmap, areaContent_, kAreaRect);
  pictureArea_->SetPicture(ToQImage(areaContent_));
}

void NewProjectWizard::LoadMainImage() {
  // Where pictures were last opened, the main window's Open Picture included.
  const QString path = session_.prompts.OpenPictureName(this, QStringLiteral("Load Main Image"),
                                                        RecentFolder(FileKind::PictureOpen), PictureOpenFilter());
  if (path.isEmpty()) return;
  RememberFolder(FileKind::PictureOpen, path);
  LoadMainImageFrom(path);
}

void NewProjectWizard::LoadMainImageFrom(const QString& path) {
  Engine& engine = session_.engine;
  // The name is taken before the file is read: a file that cannot be read
  // leaves the previous picture and its labels, but the new name.
  engine.Project.MainImageFile = ToBytes(path);
  if (!ShowIfFailed(session_, this, engine.LoadMainPicture())) return;
  ShowMainBitmap();
  DrawLevelPicture();
  const int width = engine.MainBitmap.Width();
  const int height = engine.MainBitmap.Height();
  mainName_->setText(QFileInfo(path).fileName());
  mainSize_->setText(QStringLiteral("%1 x %2").arg(width).arg(height));
  if (width > 0) mainAspect_->setText(ToQString(AspectText(width, height)));
}

void NewProjectWizard::DrawLevelPicture() {
  if (areaContent_.Empty()) return;
  int channel = 0;
  for (int i = 0; i < 4; ++i)
    if (levelButtons_[i]->isChecked()) channel = i;
  Bitmap24 chart;
  DrawLevelChart(areaContent_, chart, channel, kLevelRect);
  level_->setPixmap(QPixmap::fromImage(ToQImage(chart)));
}

void NewProjectWizard::MonochromeClicked() {
  Engine& engine = session_.engine;
  if (MainFileExists() && ShowIfFailed(session_, this, engine.LoadMainPicture())) {
    // The grey picture is what the mosaic is made from.
    if (mono_->isChecked()) ToGrey(engine.MainBitmap, engine.MainBitmap);
    ShowMainBitmap();
  }
  pictureArea_->update();
}

void NewProjectWizard::ResetMainImage() {
  if (mono_->isChecked()) {
    mono_->setChecked(false);
    MonochromeClicked();
  }
  if (MainFileExists() && ShowIfFailed(session_, this, session_.engine.LoadMainPicture())) ShowMainBitmap();
}

void NewProjectWizard::ComputeDerivedSizes() {
  Engine& engine = session_.engine;
  WizardSizeInput input;
  input.CellsAcross = TypedValue(cellsAcross_);
  input.CellsDown = TypedValue(cellsDown_);
  input.CellWidth = TypedValue(cellWidth_);
  input.CellHeight = TypedValue(cellHeight_);
  input.Dpi = TypedValue(dpi_);
  input.CropMainImage = cropMain_->isChecked();
  // The ranges are applied here, before use: a typed 0 dpi or 900 cells
  // never reach the arithmetic, the cell map or a create command.
  const WizardSizeLabels l = ComputeWizardSizes(input, engine.MainBitmap.Width(), engine.MainBitmap.Height(),
                                                PhysicalMemoryBytes(), engine.Project);
  widthPixels_->setText(ToQString(l.LBMWP));
  heightPixels_->setText(ToQString(l.LBMHP));
  widthInch_->setText(ToQString(l.lbmwi));
  heightInch_->setText(ToQString(l.lbmhi));
  widthCm_->setText(ToQString(l.lbmwm));
  heightCm_->setText(ToQString(l.lbmhm));
  if (!l.lbaspect.empty()) mosaicAspect_->setText(ToQString(l.lbaspect));
  if (!l.lbaspect2.empty()) imageAspect_->setText(ToQString(l.lbaspect2));
  ShowStretchNote(l.RatiosDiffer);
  memoryInstalled_->setText(ToQString(l.LBMBphy));
  memoryNeeded_->setText(ToQString(l.LBMBneed));
  ShowAdvice();
}

void NewProjectWizard::ShowAdvice() {
  Engine& engine = session_.engine;
  const SettingsAdvice advice = AdviseSettings(AdviceInputOf(engine, engine.OptionSet));
  for (AdvicePanel* panel : {sizeAdvice_, finalAdvice_})
    if (panel) panel->ShowAdvice(advice);
}

void NewProjectWizard::UseSuggestedSettings() {
  Engine& engine = session_.engine;
  CollectProjectSettings();
  tmosaicproject options = engine.OptionSet;
  tmosaicproject sizes = engine.Project;
  MatchOptions matching = engine.MatchingSet;
  ApplyAdvice(AdviseSettings(AdviceInputOf(engine, engine.OptionSet)), options, sizes, matching);
  cellsDown_->setValue(sizes.CellsDown);
  // The Options window, when there is one, shows and remembers the advice;
  // its controls are what the next project takes.
  if (OptionsDialog* dialog = session_.windows.options)
    dialog->TakeAdvisedSettings(options, matching);
  else
    engine.OptionSet = options;
  engine.MatchingSet = matching;
  CollectProjectSettings();
}

void NewProjectWizard::CollectProjectSettings() {
  Engine& engine = session_.engine;
  ComputeDerivedSizes();
  if (OptionsDialog* options = session_.windows.options) options->ReadOptionControls();
  CopyOptions(engine.OptionSet, engine.Project);
  engine.Matching = engine.MatchingSet;
  engine.Sizing = engine.SizingSet;
  engine.Project.RenderMode = selfMosaic_->isChecked() ? kRenderSelf : kRenderStandard;
  engine.Project.StitchMode = stitch_[1]->isChecked()   ? kStitchPeyote
                              : stitch_[2]->isChecked() ? kStitchBrick
                                                        : kStitchLoom;
  engine.Aspects.On = engine.KeepShapesSet;
  // The panel keeps the next project's crop with its shape; the project
  // keeps it in a block of its own.
  engine.Masks = engine.MasksSet;
  engine.CropMode = static_cast<CropBy>(std::min<int>(engine.MasksSet.CropMode, int(CropBy::Faces)));
  engine.Masks.CropMode = 0;
  brief_->setPlainText(ToBoxText(BuildProjectBrief(engine)));
  ShowAdvice();
}

bool NewProjectWizard::PrepareToCreate() {
  if (session_.jobRunning) return false;
  ComputeDerivedSizes();
  CollectProjectSettings();
  // An empty library in standard render: the wizard stays open.
  if (!ShowIfFailed(session_, this, session_.engine.CheckCanCreate())) return false;
  hide();
  return true;
}

void NewProjectWizard::CreatePhotoMosaic() {
  if (PrepareToCreate()) session_.windows.main->CreateMosaic(false);
}

void NewProjectWizard::MosaicPenMode() {
  if (PrepareToCreate()) session_.windows.main->CreateMosaic(true);
}

void NewProjectWizard::PatternPreview() {
  ComputeDerivedSizes();
  ShowPatternPreview(session_);
}

void NewProjectWizard::SaveBriefInfo() {
  const QString path =
      session_.prompts.SaveFileName(this, QStringLiteral("Save Brief Info"), QString(),
                                    QString::fromLatin1(kBriefFilter), nullptr, QStringLiteral("txt"));
  if (path.isEmpty()) return;
  ShowIfFailed(session_, this, SaveProjectBrief(ToFileText(brief_->toPlainText()), ToBytes(path)));
}

}  // namespace velmora::ui
