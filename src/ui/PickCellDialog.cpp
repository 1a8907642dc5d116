#include "ui/PickCellDialog.h"

#include <QGroupBox>
#include <QPushButton>

#include "engine/PickCell.h"
#include "imaging/PictureOps.h"
#include "ui/MainWindow.h"
#include "ui/QtBitmap.h"
#include "ui/WindowSupport.h"

namespace velmora::ui {
namespace {

constexpr int kMatchSide = 64;
constexpr int kMatchesWidth = 3 * (kMatchSide + 8) + 24;

constexpr int kBoxSide = 129;
constexpr int kSwatchSide = 32;

QLabel* Caption(QWidget* parent, const QString& text, int x, int y, int width = 150) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(x, y, width, 16);
  return label;
}

// The picture scaled to fit a box, aspect kept, at the box's top-left corner.
void ShowFitted(QLabel* box, const Bitmap24& picture) {
  Bitmap24 fitted;
  FitToRect(picture, fitted, TRect{0, 0, kBoxSide, kBoxSide});
  box->setPixmap(QPixmap::fromImage(ToQImage(fitted)));
}

}  // namespace

PickCellDialog::PickCellDialog(Session& session, QWidget* parent)
    : QDialog(parent, Qt::Tool), session_(session) {
  setObjectName(QStringLiteral("TFormPickCell"));
  setWindowTitle(QStringLiteral("PickCell"));
  setFixedSize(620 + kMatchesWidth + 8, 353);

  // The left group: the loaded cell.
  auto* cellGroup = new QGroupBox(QStringLiteral("Cell Info"), this);
  cellGroup->setGeometry(6, 4, 168, 314);
  position_ = Caption(cellGroup, QString::fromLatin1(kPickCellInitialPosition), 10, 20, 150);
  position_->setObjectName(QStringLiteral("lbcurrentpos"));
  Caption(cellGroup, QStringLiteral("Cell Color"), 10, 40);
  cellSwatches_ = MakeSwatches(cellGroup, 10, 58, "CellColor");
  Caption(cellGroup, QStringLiteral("Current Cell Image"), 10, 110);
  currentBox_ = MakeBox(cellGroup, 10, 128, "CurrentImage");
  currentSwatches_ = MakeSwatches(cellGroup, 10, 262, "Current");

  // The right group: the library and the previews.
  auto* pickGroup = new QGroupBox(QStringLiteral("Pick a new image from Libragy"), this);
  pickGroup->setGeometry(180, 4, 434, 314);
  list_ = new QListWidget(pickGroup);
  list_->setObjectName(QStringLiteral("Cimglist"));
  list_->setGeometry(8, 20, 140, 286);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  // Full paths, shortened at the left: the file name is the telling part.
  list_->setTextElideMode(Qt::ElideLeft);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  constexpr int right = 158;
  Caption(pickGroup, QStringLiteral("Color Enhance"), right, 20);
  slider_ = new QSlider(Qt::Horizontal, pickGroup);
  slider_->setObjectName(QStringLiteral("coloradj"));
  slider_->setRange(0, kPickSliderMax);
  slider_->setValue(10);
  slider_->setTickPosition(QSlider::TicksBelow);
  slider_->setGeometry(right, 36, 262, 24);
  Caption(pickGroup, QStringLiteral("OFF <--   Low   -->  High"), right, 60, 262);
  hflip_ = new QCheckBox(QStringLiteral("Horizontal Flip"), pickGroup);
  hflip_->setObjectName(QStringLiteral("cbhf"));
  hflip_->setGeometry(right, 80, 130, 20);
  vflip_ = new QCheckBox(QStringLiteral("Vertical Flip"), pickGroup);
  vflip_->setObjectName(QStringLiteral("cbvf"));
  vflip_->setGeometry(right + 136, 80, 126, 20);
  Caption(pickGroup, QStringLiteral("Orginal Cell Image"), right, 104, kBoxSide);
  originalBox_ = MakeBox(pickGroup, right, 122, "OriginalImage");
  originalSwatches_ = MakeSwatches(pickGroup, right, 256, "Original");
  constexpr int second = right + kBoxSide + 6;
  Caption(pickGroup, QStringLiteral("Adjusted Cell Image"), second, 104, kBoxSide);
  adjustedBox_ = MakeBox(pickGroup, second, 122, "AdjustedImage");
  adjustedSwatches_ = MakeSwatches(pickGroup, second, 256, "Adjusted");

  // The bottom row.
  applyNow_ = new QCheckBox(QStringLiteral("Applay new image immediately"), this);
  applyNow_->setObjectName(QStringLiteral("cbapplynow"));
  applyNow_->setGeometry(10, 324, 260, 22);
  auto* apply = new QPushButton(QStringLiteral("Apply"), this);
  apply->setObjectName(QStringLiteral("btapply"));
  apply->setGeometry(444, 322, 80, 26);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  close->setObjectName(QStringLiteral("btclose"));
  close->setGeometry(530, 322, 80, 26);

  connect(list_, &QListWidget::currentRowChanged, this, [this](int) { PreviewSelected(); });
  connect(list_, &QListWidget::itemClicked, this, &PickCellDialog::ListClicked);
  connect(slider_, &QSlider::valueChanged, this, [this](int) { PreviewSelected(); });
  connect(hflip_, &QCheckBox::clicked, this, [this] { PreviewSelected(); });
  connect(vflip_, &QCheckBox::clicked, this, [this] { PreviewSelected(); });
  connect(apply, &QPushButton::clicked, this, [this] {
    if (const int i = SelectedIndex(); i >= 0) PickCellApply(i);
  });
  connect(close, &QPushButton::clicked, this, &QWidget::hide);

  // Beside it all, the best matches by eye; the name list stays in step.
  auto* matchCaption = new QLabel(QStringLiteral("Best matches"), this);
  matchCaption->setGeometry(620, 4, kMatchesWidth, 16);
  matches_ = new QListWidget(this);
  matches_->setObjectName(QStringLiteral("bestmatches"));
  matches_->setGeometry(620, 22, kMatchesWidth, 296);
  matches_->setViewMode(QListView::IconMode);
  matches_->setMovement(QListView::Static);
  matches_->setUniformItemSizes(true);
  matches_->setIconSize(QSize(kMatchSide, kMatchSide));
  matches_->setGridSize(QSize(kMatchSide + 8, kMatchSide + 8));
  // Tab goes through the picking controls and the matches before the
  // bottom row's commands.
  setTabOrder(vflip_, matches_);
  setTabOrder(matches_, applyNow_);
  setTabOrder(applyNow_, apply);
  setTabOrder(apply, close);
  connect(matches_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    const int k = item->data(Qt::UserRole).toInt();
    if (k >= 0 && k < list_->count()) {
      list_->setCurrentRow(k);
      list_->scrollToItem(list_->item(k));
    }
  });
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    for (int i = 0; i < matches_->count(); ++i)
      if (matches_->item(i)->data(Qt::UserRole).toInt() == row) {
        const QSignalBlocker quiet(matches_);
        matches_->setCurrentRow(i);
        return;
      }
    matches_->clearSelection();
  });
  MakeToolWindow(this, session_);
}

PickCellDialog::Swatches PickCellDialog::MakeSwatches(QWidget* parent, int x, int y, const char* prefix) {
  Swatches swatches{};
  const char* kinds[] = {"Detail", "Single", "Mono"};
  for (int i = 0; i < 3; ++i) {
    const int left = x + i * (kSwatchSide + 10);
    auto* swatch = new QLabel(parent);
    swatch->setObjectName(QString::fromLatin1(prefix) + QString::fromLatin1(kinds[i]));
    swatch->setGeometry(left, y, kSwatchSide, kSwatchSide);
    swatch->setFrameShape(QFrame::NoFrame);
    swatches[static_cast<size_t>(i)] = swatch;
    Caption(parent, QString::fromLatin1(kinds[i]), left, y + kSwatchSide + 1, kSwatchSide + 10);
  }
  return swatches;
}

QLabel* PickCellDialog::MakeBox(QWidget* parent, int x, int y, const char* name) {
  auto* box = new QLabel(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setGeometry(x, y, kBoxSide, kBoxSide);
  box->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return box;
}

void PickCellDialog::PaintSwatches(const Swatches& swatches, const ColorSignature& signature) {
  struct Kind {
    int kind;
    bool grey;
  };
  constexpr Kind kinds[] = {{4, false}, {1, false}, {4, true}};  // Detail, Single, Mono
  for (size_t i = 0; i < 3; ++i) {
    Bitmap24 swatch(kSwatchSide, kSwatchSide);
    DrawSignatureSwatch(swatch, signature, kinds[i].kind, kinds[i].grey);
    swatches[i]->setPixmap(QPixmap::fromImage(ToQImage(swatch)));
  }
}

void PickCellDialog::CopyPictureList() {
  // Loading the new list must not preview (or apply) anything.
  const QSignalBlocker block(list_);
  list_->clear();
  for (const std::string& path : session_.engine.PicList.Paths()) {
    auto* item = new QListWidgetItem(ToQString(path), list_);
    item->setToolTip(item->text());
  }
  previewedRow_ = -1;
  loadedPath_.clear();
}

int PickCellDialog::SelectedIndex() const {
  const int row = list_->currentRow();
  if (row < 0 || row >= list_->count() || !list_->item(row)->isSelected()) return -1;
  return row;
}

void PickCellDialog::PickCellLoad(int column, int row) {
  if (session_.jobRunning) return;
  Engine& engine = session_.engine;
  const CellPos cell = ClampToGrid(engine.Project, column, row);
  column_ = cell.X;
  row_ = cell.Y;
  ++loadSerial_;
  position_->setText(ToQString(PickCellPositionText(column_, row_)));
  // The cell's own colours even when it shows nothing yet: an apply to it
  // must tint toward this cell, not toward the one loaded before.
  cellSig_ = engine.SampleCell(column_, row_);
  cellLoaded_ = true;
  FillBestMatches();
  SelectBestMatch();
  const CellMapEntry& e = engine.Map.At(column_, row_);
  if (!e.Assigned) return;
  const int k = e.PicIndex;
  const bool known = k >= 0 && k < engine.PicList.Count();
  currentPicSig_ = known ? engine.Library[k].Signature : ColorSignature{};
  PaintSwatches(cellSwatches_, cellSig_);
  PaintSwatches(currentSwatches_, currentPicSig_);
  if (!known) {
    session_.prompts.Error(this, QStringLiteral("Error"),
                           QStringLiteral("List index out of bounds (%1)").arg(k));
    return;
  }
  Bitmap24 picture;
  if (ShowIfFailed(session_, this, LoadPictureFile(picture, engine.PicList[k], session_.PictureHints())))
    ShowFitted(currentBox_, picture);
}

void PickCellDialog::PreviewSelected() {
  if (const int i = SelectedIndex(); i >= 0) PickCellPreview(i);
}

void PickCellDialog::ListClicked(QListWidgetItem* item) {
  const int row = list_->row(item);
  if (row == previewedRow_ && previewedSerial_ == loadSerial_) return;
  loadedPath_.clear();  // a click reads the file afresh
  PreviewSelected();
}

void PickCellDialog::PickCellPreview(int index) {
  if (session_.jobRunning) return;  // the library and the cells may be changing
  Engine& engine = session_.engine;
  previewedRow_ = index;
  previewedSerial_ = loadSerial_;
  // The list is a copy made at the last creation or load; the library list
  // may have been edited since.
  if (index < 0 || index >= engine.PicList.Count()) {
    session_.prompts.Error(this, QStringLiteral("Error"),
                           QStringLiteral("List index out of bounds (%1)").arg(index));
    return;
  }
  // The slider and the flip boxes preview the same picture again and again:
  // it is read once per selection.
  const std::string& path = engine.PicList[index];
  if (loadedPath_ != path || loaded_.Empty()) {
    loadedPath_.clear();
    if (!ShowIfFailed(session_, this, LoadPictureFile(loaded_, path, session_.PictureHints()))) return;
    loadedPath_ = path;
  }
  const Bitmap24& loaded = loaded_;
  ShowFitted(originalBox_, loaded);
  newPicSig_ = engine.Library[index].Signature;
  const ChannelDeltas offsets = PickPreviewOffsets(newPicSig_, cellSig_, slider_->value());
  Bitmap24 adjusted;
  PreparePickPreview(loaded, adjusted, engine.Project, offsets, hflip_->isChecked(), vflip_->isChecked());
  ShowFitted(adjustedBox_, adjusted);
  adjustedSig_ = ComputeColorSignature(adjusted);
  PaintSwatches(originalSwatches_, newPicSig_);
  PaintSwatches(adjustedSwatches_, adjustedSig_);
  if (applyNow_->isChecked() && !selectingBest_ && index < list_->count()) PickCellApply(index);
}

void PickCellDialog::PickCellApply(int index) {
  // Before any cell was loaded there is nothing to apply to; while a job
  // runs, the cell map belongs to it.
  if (!cellLoaded_ || session_.jobRunning || index < 0 || index >= list_->count()) return;
  Engine& engine = session_.engine;
  PickChoice choice;
  choice.Column = column_;
  choice.Row = row_;
  choice.PicIndex = index;
  choice.Slider = slider_->value();
  choice.HFlip = hflip_->isChecked();
  choice.VFlip = vflip_->isChecked();
  if (index < engine.PicList.Count()) newPicSig_ = engine.Library[index].Signature;
  MainWindow* main = session_.windows.main;
  const Status applied = main ? main->RecordEdit("Pick Cell", {CellPos{column_, row_}},
                                                 EditHistory::CellRects(engine, column_, row_),
                                                 [&] { return ApplyPickedPicture(engine, choice, cellSig_); })
                              : ApplyPickedPicture(engine, choice, cellSig_);
  if (main) {
    if (applied.ok()) main->SetModified(true);
    main->RepaintView();
  }
  ShowIfFailed(session_, this, applied);
}

}  // namespace velmora::ui
