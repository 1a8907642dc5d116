#include "ui/BeadChartWindow.h"

#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>

#include "library/ProgramFolders.h"
#include "output/BeadChartWriter.h"
#include "ui/MainWindow.h"
#include "ui/WindowSupport.h"

namespace velmora::ui {
namespace {

constexpr int kPreviewSide = 520;

}  // namespace

BeadChartWindow::BeadChartWindow(Session& session, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint), session_(session) {
  setObjectName(QStringLiteral("BeadChartWindow"));
  setWindowTitle(QStringLiteral("Bead Chart"));
  auto* row = new QHBoxLayout(this);

  preview_ = new QLabel(this);
  preview_->setObjectName(QStringLiteral("imgpreview"));
  preview_->setMinimumSize(kPreviewSide, kPreviewSide);
  preview_->setAlignment(Qt::AlignCenter);
  preview_->setFrameShape(QFrame::StyledPanel);
  row->addWidget(preview_, 1);

  auto* side = new QVBoxLayout();
  auto* form = new QFormLayout();
  palette_ = new QComboBox(this);
  palette_->setObjectName(QStringLiteral("cbpalette"));
  palette_->addItem(QStringLiteral("Hama"), QStringLiteral("hama"));
  palette_->addItem(QStringLiteral("Perler"), QStringLiteral("perler"));
  palette_->addItem(QStringLiteral("Artkal S"), QStringLiteral("artkal-s"));
  palette_->addItem(QStringLiteral("Other palette file..."), QString());
  form->addRow(QStringLiteral("Palette"), palette_);
  colors_ = new QSpinBox(this);
  colors_->setObjectName(QStringLiteral("secolors"));
  colors_->setRange(0, static_cast<int>(kMaxPaletteColors));
  colors_->setSpecialValueText(QStringLiteral("No limit"));
  colors_->setValue(24);
  form->addRow(QStringLiteral("Colours at most"), colors_);
  bead_ = new QComboBox(this);
  bead_->setObjectName(QStringLiteral("cbbead"));
  for (const BeadSize& size : StandardBeadSizes()) bead_->addItem(ToQString(size.Label), ToQString(size.Key));
  form->addRow(QStringLiteral("Beads"), bead_);
  side->addLayout(form);
  dither_ = new QCheckBox(QStringLiteral("Mix neighbouring beads (error diffusion)"), this);
  dither_->setObjectName(QStringLiteral("cbdither"));
  side->addWidget(dither_);
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("lbsummary"));
  summary_->setWordWrap(true);
  summary_->setMinimumWidth(240);
  side->addWidget(summary_);
  side->addStretch(1);
  side->addWidget(
      MakePushButton(this, "btpdf", QStringLiteral("Save PDF Chart..."), &BeadChartWindow::ExportPdf));
  side->addWidget(
      MakePushButton(this, "btwords", QStringLiteral("Save Word Chart..."), &BeadChartWindow::ExportWords));
  side->addWidget(
      MakePushButton(this, "btcsv", QStringLiteral("Save CSV Grid..."), &BeadChartWindow::ExportCsv));
  side->addWidget(
      MakePushButton(this, "btpng", QStringLiteral("Save Preview PNG..."), &BeadChartWindow::ExportPng));
  QPushButton* close = MakePushButton(this, "btclose", QStringLiteral("Close"));
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  side->addWidget(close);
  row->addLayout(side);

  connect(palette_, &QComboBox::currentIndexChanged, this, &BeadChartWindow::PaletteChosen);
  connect(colors_, &QSpinBox::valueChanged, this, &BeadChartWindow::Rebuild);
  connect(bead_, &QComboBox::currentIndexChanged, this, &BeadChartWindow::Rebuild);
  connect(dither_, &QCheckBox::toggled, this, &BeadChartWindow::Rebuild);
}

void BeadChartWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  Rebuild();
}

void BeadChartWindow::PaletteChosen() {
  if (!palette_->currentData().toString().isEmpty()) {
    lastPalette_ = palette_->currentIndex();
    Rebuild();
    return;
  }
  const QString path =
      session_.prompts.OpenFileName(this, QStringLiteral("Bead palette"), QString(),
                                    QStringLiteral("Bead palettes (*.csv);;All files (*)"), nullptr);
  Result<BeadPalette> palette =
      path.isEmpty() ? Result<BeadPalette>(Status::Error("")) : ReadBeadPaletteFile(ToBytes(path));
  if (!palette) {
    if (!path.isEmpty()) ShowIfFailed(session_, this, palette.status());
    QSignalBlocker block(palette_);
    palette_->setCurrentIndex(lastPalette_);
    return;
  }
  userPalette_ = std::move(*palette);
  palette_->setItemText(palette_->count() - 1, ToQString(userPalette_->Name) + QStringLiteral(" (file)"));
  lastPalette_ = palette_->currentIndex();
  Rebuild();
}

void BeadChartWindow::Rebuild() {
  // A job is running (this one's own, too): the engine is not read now.
  if (session_.jobRunning) {
    rebuildAgain_ = true;
    return;
  }
  rebuildAgain_ = false;
  Engine& engine = session_.engine;
  const int cols = engine.Project.CellsAcross, rows = engine.Project.CellsDown;
  const BeadLayout layout = BeadLayoutOfStitch(engine.Project.StitchMode);
  chart_.reset();
  cells_.clear();

  Result<BeadPalette> palette = Status::Error("");
  const QString key = palette_->currentData().toString();
  if (!key.isEmpty())
    palette = LoadBeadPalette(ToBytes(key), LocateProgramFolders(session_.programFolder).data);
  else if (userPalette_)
    palette = *userPalette_;
  auto size = ParseBeadSize(ToBytes(bead_->currentData().toString()));

  // The cell colours, the chart and its preview of a large mosaic take a
  // while: worked out on a job's thread, the windows going on meanwhile.
  const BeadChartOptions options{colors_->value(), dither_->isChecked()};
  std::string text;
  BeadPreview pixels;
  const auto work = [&] {
    if (engine.MosaicState == 2) cells_ = CellColorsFromGrid(engine.GridBitmap, cols, rows, layout);
    if (cells_.empty()) {
      text = "No mosaic: create or open a mosaic project first.";
    } else if (!palette) {
      text = palette.message();
    } else if (size) {
      chart_ = MakeBeadChart(cells_, cols, rows, layout, *palette, *size, options);
      text = Format("%s, %d x %d beads\n%d colours of %s\nFinished size %.1f x %.1f cm\nMean difference %.2f",
                    std::string(BeadLayoutName(layout)).c_str(), cols, rows,
                    static_cast<int>(chart_->UsedColors().size()), palette->Name.c_str(), chart_->WidthMm() / 10,
                    chart_->HeightMm() / 10, ChartError(*chart_, cells_) / static_cast<double>(cells_.size()));
      pixels = RenderBeadPreview(*chart_, kPreviewSide);
    }
    return Status::Ok();
  };
  if (MainWindow* main = session_.windows.main)
    (void)main->RunJob(work, {}, false);
  else
    (void)work();
  summary_->setText(ToQString(text));
  if (chart_) {
    QImage image(reinterpret_cast<const uchar*>(pixels.Pixels.data()), pixels.Width, pixels.Height,
                 pixels.Width * 4, QImage::Format_ARGB32);
    preview_->setPixmap(QPixmap::fromImage(image.copy()));
  } else {
    preview_->clear();
  }
  for (const char* name : {"btpdf", "btwords", "btcsv", "btpng"})
    if (auto* b = findChild<QPushButton*>(QString::fromLatin1(name))) b->setEnabled(chart_.has_value());
  // A setting changed meanwhile: the chart follows it.
  if (rebuildAgain_) QTimer::singleShot(0, this, &BeadChartWindow::Rebuild);
}

void BeadChartWindow::Export(const QString& caption, const QString& filter, const QString& suffix,
                             const std::function<Status(const std::string&)>& write) {
  if (!chart_) return;
  const QString path = session_.prompts.SaveFileName(this, caption, QString(), filter, nullptr, suffix);
  if (path.isEmpty()) return;
  ShowIfFailed(session_, this, write(ToBytes(path)));
}

void BeadChartWindow::ExportPdf() {
  BeadChartPdfOptions options;
  options.Title = session_.projectPath.isEmpty()
                      ? std::string("mosaic")
                      : ToBytes(QFileInfo(session_.projectPath).completeBaseName());
  Export(QStringLiteral("Save PDF Chart"), QStringLiteral("PDF (*.pdf)"), QStringLiteral("pdf"),
         [&](const std::string& path) { return WriteBeadChartPdf(*chart_, path, options); });
}

void BeadChartWindow::ExportWords() {
  Export(QStringLiteral("Save Word Chart"), QStringLiteral("Text (*.txt)"), QStringLiteral("txt"),
         [&](const std::string& path) { return WriteBeadText(BeadWordChart(*chart_), path); });
}

void BeadChartWindow::ExportCsv() {
  Export(QStringLiteral("Save CSV Grid"), QStringLiteral("CSV (*.csv)"), QStringLiteral("csv"),
         [&](const std::string& path) { return WriteBeadText(BeadGridCsv(*chart_), path); });
}

void BeadChartWindow::ExportPng() {
  Export(QStringLiteral("Save Preview PNG"), QStringLiteral("PNG (*.png)"), QStringLiteral("png"),
         [&](const std::string& path) { return WriteBeadPreviewPng(*chart_, path); });
}

}  // namespace velmora::ui
