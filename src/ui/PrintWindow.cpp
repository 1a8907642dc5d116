#include "ui/PrintWindow.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/PosterPanelsDialog.h"
#include "ui/WindowSupport.h"

namespace velmora::ui {
namespace {

QLabel* NamedLabel(const char* name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

QPushButton* NamedButton(const char* name, const QString& caption, QWidget* parent) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setAutoDefault(false);
  return b;
}

}  // namespace

PrintWindow::PrintWindow(Session& session, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint),
      session_(session),
      printer_(QPrinter::HighResolution) {
  setObjectName(QStringLiteral("TForm7"));
  setWindowTitle(QStringLiteral("Print Mosaic Picture"));

  auto* column = new QVBoxLayout(this);
  column->setSizeConstraint(QLayout::SetFixedSize);

  auto* sizeBox = new QGroupBox(QStringLiteral("Size"), this);
  auto* size = new QGridLayout(sizeBox);
  size->addWidget(new QLabel(QStringLiteral("Picture size in Pixels"), sizeBox), 0, 0);
  sourceSize_ = NamedLabel("lbsourcesize", QStringLiteral("0 x 0"), sizeBox);
  size->addWidget(sourceSize_, 0, 1, 1, 2);
  fit_ = new QRadioButton(QStringLiteral("Fit to Page"), sizeBox);
  fit_->setObjectName(QStringLiteral("rbfit"));
  size->addWidget(fit_, 1, 0, 1, 3);
  atDpi_ = new QRadioButton(QStringLiteral("Print at this Resolution  (Image Resolution)"), sizeBox);
  atDpi_->setObjectName(QStringLiteral("RadioButton2"));
  atDpi_->setChecked(true);
  size->addWidget(atDpi_, 2, 0, 1, 3);
  dpiList_ = new QComboBox(sizeBox);
  dpiList_->setObjectName(QStringLiteral("cdpi"));
  dpiList_->setEditable(true);
  dpiList_->setInsertPolicy(QComboBox::NoInsert);
  dpiList_->addItems({QStringLiteral("30 DPI"), QStringLiteral("60DPI"), QStringLiteral("72 DPI"),
                      QStringLiteral("96 DPI"), QStringLiteral("100 DPI"), QStringLiteral("150 DPI"),
                      QStringLiteral("300 DPI"), QStringLiteral("600 DPI"), QStringLiteral("1200 DPI"),
                      QStringLiteral("CUSTOM")});
  dpiList_->setCurrentIndex(dpiEntry_);
  size->addWidget(dpiList_, 3, 0);
  auto* customRow = new QHBoxLayout();
  customRow->addWidget(new QLabel(QStringLiteral("Custom DPI:"), sizeBox));
  customDpi_ = new QSpinBox(sizeBox);
  customDpi_->setObjectName(QStringLiteral("seCDPI"));
  customDpi_->setRange(kMinCustomDpi, kMaxCustomDpi);
  customDpi_->setValue(72);
  customRow->addWidget(customDpi_);
  size->addLayout(customRow, 3, 1, 1, 2);
  size->addWidget(new QLabel(QStringLiteral("Printed Picture Size (Inchs)"), sizeBox), 4, 0, 1, 3);
  printedSize_ = NamedLabel("lbprintedfullsize", QStringLiteral("0 x 0"), sizeBox);
  size->addWidget(printedSize_, 5, 0, 1, 3);
  size->addWidget(new QLabel(QStringLiteral("Printed Cell Size"), sizeBox), 6, 0, 1, 3);
  cellSize_ = NamedLabel("lbprintedcellsize", QStringLiteral("0 x 0"), sizeBox);
  size->addWidget(cellSize_, 7, 0, 1, 3);
  pageCount_ = NamedLabel("lbpagecount", QStringLiteral("Page Count"), sizeBox);
  size->addWidget(pageCount_, 8, 0, 1, 3);
  column->addWidget(sizeBox);

  auto* printerBox = new QGroupBox(QStringLiteral("Printer Capabilities"), this);
  auto* printer = new QGridLayout(printerBox);
  printer->addWidget(new QLabel(QStringLiteral("Printer Resolution (DPI)"), printerBox), 0, 0);
  printerDpi_ = NamedLabel("lpdpi", QStringLiteral("0 x 0"), printerBox);
  printer->addWidget(printerDpi_, 1, 0);
  printer->addWidget(new QLabel(QStringLiteral("Printable Area Size"), printerBox), 2, 0);
  pageSize_ = NamedLabel("lpagesize", QStringLiteral("0 x 0"), printerBox);
  printer->addWidget(pageSize_, 3, 0);
  QPushButton* setup = NamedButton("BTPsetup", QStringLiteral("Printer Setup"), printerBox);
  printer->addWidget(setup, 0, 1, 2, 1, Qt::AlignRight | Qt::AlignTop);
  column->addWidget(printerBox);

  auto* buttons = new QHBoxLayout();
  QPushButton* panels = NamedButton("btpanels", QStringLiteral("Poster Panels..."), this);
  buttons->addWidget(panels);
  buttons->addStretch(1);
  print_ = NamedButton("btprint", QStringLiteral("Print"), this);
  QPushButton* print = print_;
  QPushButton* cancel = NamedButton("btcancel", QStringLiteral("Cancel"), this);
  buttons->addWidget(print);
  buttons->addWidget(cancel);
  column->addLayout(buttons);

  connect(fit_, &QRadioButton::clicked, this, &PrintWindow::Recompute);
  connect(atDpi_, &QRadioButton::clicked, this, &PrintWindow::Recompute);
  connect(dpiList_, &QComboBox::currentIndexChanged, this, [this](int entry) {
    if (entry < 0) return;
    dpiEntry_ = entry;
    Recompute();
  });
  connect(dpiList_, &QComboBox::editTextChanged, this, &PrintWindow::DpiTextEdited);
  connect(customDpi_, &QSpinBox::valueChanged, this, &PrintWindow::Recompute);
  connect(setup, &QPushButton::clicked, this, &PrintWindow::PrinterSetup);
  connect(print, &QPushButton::clicked, this, &PrintWindow::Print);
  connect(cancel, &QPushButton::clicked, this, &QWidget::close);
  connect(panels, &QPushButton::clicked, this, [this] { Panels()->ShowWindow(); });
}

PosterPanelsDialog* PrintWindow::Panels() {
  if (panels_ == nullptr) panels_ = new PosterPanelsDialog(session_, printer_, this);
  return panels_;
}

void PrintWindow::ShowWindow() {
  PlaceOnFirstShow(this, placed_);
  UpdateCommands();
  ShowInFront(this);
}

void PrintWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  Recompute();
}

// Typing one of the list's own texts chooses that entry; any other text
// leaves the resolution in force.
void PrintWindow::DpiTextEdited(const QString& text) {
  const int entry = dpiList_->findText(text, Qt::MatchExactly);
  if (entry < 0 || entry == dpiEntry_) return;
  dpiEntry_ = entry;
  Recompute();
}

int PrintWindow::PrintDpi() const { return PrintDpiForEntry(dpiEntry_, customDpi_->value()); }

PrinterMetrics PrintWindow::Metrics() const {
  const QRect area = printer_.pageLayout().paintRectPixels(printer_.resolution());
  return PrinterMetrics{printer_.resolution(), printer_.resolution(), area.width(), area.height()};
}

void PrintWindow::Recompute() {
  layout_ = PrintLayout{};
  if (!printer_.isValid()) return;
  const PrinterMetrics m = Metrics();
  printerDpi_->setText(QString::fromStdString(PrinterResolutionText(m)));
  pageSize_->setText(QString::fromStdString(PrintableAreaText(m)));
  const Engine& engine = session_.engine;
  const int w = engine.MosaicBitmap.Width(), h = engine.MosaicBitmap.Height();
  if (engine.MosaicBitmap.Empty()) return;
  const bool fit = fit_->isChecked();
  layout_ = ComputePrintLayout(m, w, h, fit, PrintDpi());
  sourceSize_->setText(QString::fromStdString(PictureSizeText(w, h)));
  printedSize_->setText(QString::fromStdString(PrintedSizeText(layout_, m)));
  cellSize_->setText(QString::fromStdString(PrintedCellSizeText(
      layout_, m, engine.MosaicState == 2, engine.Project.CellsAcross, engine.Project.CellsDown)));
  pageCount_->setText(QString::fromStdString(PageCountText(layout_, fit)));
}

QString PrintWindow::JobTitle() const {
  return QStringLiteral("Velmora project") +
         QFileInfo(ToQString(session_.engine.Project.MainImageFile)).fileName();
}

void PrintWindow::UpdateCommands() { print_->setEnabled(!session_.jobRunning); }

void PrintWindow::Print() {
  // A job changes the mosaic between its progress steps.
  if (session_.jobRunning) return;
  printer_.setDocName(JobTitle());
  const bool confirmed = session_.prompts.PrintDialog(this, printer_);
  close();
  if (confirmed) ShowIfFailed(session_, this, PrintPages());
}

Status PrintWindow::PrintPages() {
  Recompute();
  const TBitmap32& mosaic = session_.engine.MosaicBitmap;
  if (!layout_.Valid) return Status::Ok();  // nothing to print
  printer_.setDocName(JobTitle());
  const std::vector<PrintTile> tiles = PrintTiles(layout_, Metrics(), mosaic.Width(), mosaic.Height());
  // A page range chosen in the print dialog counts the tiles from 1.
  int first = 1, last = static_cast<int>(tiles.size());
  if (printer_.printRange() == QPrinter::PageRange && printer_.fromPage() > 0) {
    first = std::max(first, printer_.fromPage());
    last = std::min(last, printer_.toPage() > 0 ? printer_.toPage() : last);
  }
  if (first > last) return Status::Ok();
  // The mosaic's own pixels, not a copy: a mosaic may be hundreds of megabytes.
  const QImage picture(reinterpret_cast<const uchar*>(mosaic.ScanLine(0)), mosaic.Width(), mosaic.Height(),
                       qsizetype(mosaic.Width()) * 4, QImage::Format_RGB32);
  QPainter painter;
  if (!painter.begin(&printer_)) return Status::Error("The printer could not start the print job");
  for (int page = first; page <= last; ++page) {
    if (page > first && !printer_.newPage()) {
      painter.end();
      return Status::Error("The printer could not start a new page");
    }
    const PrintTile& t = tiles[static_cast<size_t>(page - 1)];
    const QRect source(t.Source.Left, t.Source.Top, t.Source.Width(), t.Source.Height());
    painter.drawImage(QRect(0, 0, t.TargetWidth, t.TargetHeight), picture, source);
  }
  if (!painter.end()) return Status::Error("The printer could not finish the print job");
  return Status::Ok();
}

void PrintWindow::PrinterSetup() {
  if (session_.prompts.PageSetupDialog(this, printer_)) Recompute();
}

}  // namespace velmora::ui
