#include "ui/PosterPanelsDialog.h"

#include <QApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPrinter>
#include <QVBoxLayout>
#include <algorithm>

#include "output/PanelPdf.h"
#include "ui/MainWindow.h"
#include "ui/WindowSupport.h"

namespace velmora::ui {
namespace {

QDoubleSpinBox* MillimetreBox(const char* name, double lo, double hi, double value, QWidget* parent) {
  auto* box = new QDoubleSpinBox(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setRange(lo, hi);
  box->setDecimals(1);
  box->setSuffix(QStringLiteral(" mm"));
  box->setValue(value);
  return box;
}

QPushButton* Button(const char* name, const QString& caption, QWidget* parent) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setAutoDefault(false);
  return b;
}

// The printer's pixels for the sheet's millimetres.
QPointF At(double xMm, double yMm, double dotsPerMm) { return QPointF(xMm * dotsPerMm, yMm * dotsPerMm); }

// The first page as the PDF has it: title, texts, the mosaic small with
// every sheet outlined and labelled.
void DrawMapPage(QPainter& painter, const PanelPlan& plan, const QImage& picture, double dots) {
  const double m = plan.MarginMm, textHeight = 33;
  QFont font = painter.font();
  font.setBold(true);
  font.setPixelSize(std::max(1, static_cast<int>(5.6 * dots)));
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawText(At(m, m + 5.6, dots), QStringLiteral("Poster panels"));
  font.setBold(false);
  font.setPixelSize(std::max(1, static_cast<int>(3.5 * dots)));
  painter.setFont(font);
  double y = m + 12.7;
  for (const std::string& line : AssemblyMapLines(plan)) {
    painter.drawText(At(m, y, dots), QString::fromStdString(line));
    y += 4.9;
  }
  const double roomW = plan.Paper.WidthMm - 2 * m,
               roomH = std::max(plan.Paper.HeightMm - 2 * m - textHeight, 3.0);
  const double scale = std::min(roomW / plan.PictureWidth, roomH / plan.PictureHeight);  // mm per pixel
  const double left = m + (roomW - plan.PictureWidth * scale) / 2, top = m + textHeight;
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRectF(At(left, top, dots),
                           At(left + plan.PictureWidth * scale, top + plan.PictureHeight * scale, dots)),
                    picture);
  painter.restore();
  painter.setPen(QPen(QColor(230, 25, 25), 0.3 * dots));
  for (const Panel& p : plan.Panels)
    painter.drawRect(QRectF(At(left + p.Source.Left * scale, top + p.Source.Top * scale, dots),
                            At(left + p.Source.Right * scale, top + p.Source.Bottom * scale, dots)));
  font.setBold(true);
  for (const Panel& p : plan.Panels) {
    const QRectF cell(At(left + p.Source.Left * scale, top + p.Source.Top * scale, dots),
                      At(left + p.Source.Right * scale, top + p.Source.Bottom * scale, dots));
    font.setPixelSize(std::max(1, static_cast<int>(std::clamp(std::min(cell.width(), cell.height()) * 0.3,
                                                              1.4 * dots, 10.0 * dots))));
    painter.setFont(font);
    painter.setPen(Qt::black);
    // Black on white, so the label reads on any picture.
    const QString label = QString::fromStdString(p.Label);
    QRectF box = painter.fontMetrics().boundingRect(label);
    box.moveCenter(cell.center());
    painter.fillRect(box.adjusted(-0.5 * dots, 0, 0.5 * dots, 0), Qt::white);
    painter.drawText(cell, Qt::AlignCenter, label);
  }
}

}  // namespace

PosterPanelsDialog::PosterPanelsDialog(Session& session, QPrinter& printer, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint), session_(session), printer_(printer) {
  setObjectName(QStringLiteral("PosterPanels"));
  setWindowTitle(QStringLiteral("Poster Panels"));
  auto* column = new QVBoxLayout(this);
  column->setSizeConstraint(QLayout::SetFixedSize);
  auto* grid = new QGridLayout();
  grid->addWidget(new QLabel(QStringLiteral("Paper"), this), 0, 0);
  paper_ = new QComboBox(this);
  paper_->setObjectName(QStringLiteral("cbpaper"));
  paper_->addItems(
      {QStringLiteral("A4"), QStringLiteral("A3"), QStringLiteral("letter"), QStringLiteral("Custom")});
  grid->addWidget(paper_, 0, 1, 1, 3);
  grid->addWidget(new QLabel(QStringLiteral("Width"), this), 1, 0);
  paperWidth_ = MillimetreBox("sepaperwidth", 50, 5000, 300, this);
  grid->addWidget(paperWidth_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("Height"), this), 1, 2);
  paperHeight_ = MillimetreBox("sepaperheight", 50, 5000, 400, this);
  grid->addWidget(paperHeight_, 1, 3);
  grid->addWidget(new QLabel(QStringLiteral("Resolution (DPI)"), this), 2, 0);
  dpi_ = new QSpinBox(this);
  dpi_->setObjectName(QStringLiteral("sepaneldpi"));
  dpi_->setRange(kMinPanelDpi, kMaxPanelDpi);
  dpi_->setValue(150);
  grid->addWidget(dpi_, 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("Overlap"), this), 3, 0);
  overlap_ = MillimetreBox("seoverlap", 0, 200, 10, this);
  grid->addWidget(overlap_, 3, 1);
  grid->addWidget(new QLabel(QStringLiteral("Margin"), this), 3, 2);
  margin_ = MillimetreBox("semargin", kMinPanelMarginMm, kMaxPanelMarginMm, 10, this);
  grid->addWidget(margin_, 3, 3);
  column->addLayout(grid);
  count_ = new QLabel(this);
  count_->setObjectName(QStringLiteral("lbpanelcount"));
  count_->setWordWrap(true);
  count_->setMinimumWidth(360);
  column->addWidget(count_);
  size_ = new QLabel(this);
  size_->setObjectName(QStringLiteral("lbfinishedsize"));
  column->addWidget(size_);

  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  save_ = Button("btsavepanels", QStringLiteral("Save Panels PDF..."), this);
  print_ = Button("btprintpanels", QStringLiteral("Print Panels..."), this);
  QPushButton* close = Button("btclosepanels", QStringLiteral("Close"), this);
  buttons->addWidget(save_);
  buttons->addWidget(print_);
  buttons->addWidget(close);
  column->addLayout(buttons);

  connect(paper_, &QComboBox::currentIndexChanged, this, &PosterPanelsDialog::Recompute);
  for (QDoubleSpinBox* box : {paperWidth_, paperHeight_, overlap_, margin_})
    connect(box, &QDoubleSpinBox::valueChanged, this, &PosterPanelsDialog::Recompute);
  connect(dpi_, &QSpinBox::valueChanged, this, &PosterPanelsDialog::Recompute);
  connect(save_, &QPushButton::clicked, this, &PosterPanelsDialog::SavePdf);
  connect(print_, &QPushButton::clicked, this, &PosterPanelsDialog::PrintPanels);
  connect(close, &QPushButton::clicked, this, &QWidget::close);
}

void PosterPanelsDialog::ShowWindow() {
  if (!placed_) {
    const int dpi = session_.engine.Project.Dpi;
    if (dpi >= kMinPanelDpi && dpi <= kMaxPanelDpi) dpi_->setValue(dpi);
  }
  PlaceOnFirstShow(this, placed_);
  Recompute();
  ShowInFront(this);
}

PanelSettings PosterPanelsDialog::Settings() const {
  PanelSettings s;
  const int entry = paper_->currentIndex();
  if (entry == 3) {
    s.Paper = PaperSize{Format("%.0fx%.0fmm", paperWidth_->value(), paperHeight_->value()),
                        paperWidth_->value(), paperHeight_->value()};
  } else {
    s.Paper = *ParsePaperSize(ToBytes(paper_->currentText()));
  }
  s.Dpi = dpi_->value();
  s.OverlapMm = overlap_->value();
  s.MarginMm = margin_->value();
  return s;
}

QString PosterPanelsDialog::Title() const {
  const std::string& main = session_.engine.Project.MainImageFile;
  return QFileInfo(session_.projectPath.isEmpty() ? ToQString(main) : session_.projectPath).fileName();
}

void PosterPanelsDialog::Recompute() {
  const bool custom = paper_->currentIndex() == 3;
  paperWidth_->setEnabled(custom);
  paperHeight_->setEnabled(custom);
  const TBitmap32& mosaic = session_.engine.MosaicBitmap;
  plan_ = PlanPosterPanels(mosaic.Width(), mosaic.Height(), Settings());
  if (plan_) {
    count_->setText(QString::fromStdString(PanelCountText(*plan_)));
    size_->setText(QStringLiteral("Finished size ") + QString::fromStdString(FinishedSizeText(*plan_)));
  } else {
    count_->setText(QString::fromStdString(plan_.message()));
    size_->clear();
  }
  save_->setEnabled(plan_.ok() && !session_.jobRunning);
  print_->setEnabled(plan_.ok() && !session_.jobRunning);
}

void PosterPanelsDialog::SavePdf() {
  Recompute();
  if (!plan_ || session_.jobRunning) return;
  const QString path =
      session_.prompts.SaveFileName(this, QStringLiteral("Save Panels PDF"), lastFolder_,
                                    QStringLiteral("PDF files (*.pdf)"), nullptr, QStringLiteral("pdf"));
  if (path.isEmpty()) return;
  lastFolder_ = QFileInfo(path).absolutePath();
  const Status saved = SavePdfTo(path);
  // Cancelled: the job label says so, and the earlier file stays.
  if (!saved.ok() && saved.message() == kJobCancelled) return;
  if (!ShowIfFailed(session_, this, saved)) return;
  session_.prompts.Message(this, QStringLiteral("Finish"),
                           QString::fromStdString(PanelCountText(*plan_)) +
                               QStringLiteral(" and the assembly map "
                                              "saved to ") +
                               QFileInfo(path).fileName());
}

Status PosterPanelsDialog::SavePdfTo(const QString& path) {
  Recompute();
  if (!plan_) return plan_.status();
  // The mosaic on screen, edits included, read in bands as a rendered poster
  // would be; on a job's thread, with its pages on the gauge and Cancel.
  const std::string file = ToBytes(path), title = ToBytes(Title());
  const PanelPlan plan = *plan_;
  Engine& engine = session_.engine;
  const auto write = [&] {
    return WritePanelPdf(file, plan, BandsOfBitmap(engine.MosaicBitmap), title, engine.Listener());
  };
  if (MainWindow* main = session_.windows.main) return main->RunJob(write, file, false);
  return WritePanelPdf(file, plan, BandsOfBitmap(engine.MosaicBitmap), title);
}

void PosterPanelsDialog::PrintPanels() {
  Recompute();
  if (!plan_ || session_.jobRunning) return;
  printer_.setDocName(QStringLiteral("Velmora panels ") + Title());
  if (!session_.prompts.PrintDialog(this, printer_)) return;
  ShowIfFailed(session_, this, PrintPanelPages());
}

Status PosterPanelsDialog::PrintPanelPages() {
  Recompute();
  if (!plan_) return plan_.status();
  const PanelPlan& plan = *plan_;
  // The sheet's own size and way round, without the printer's margins: the
  // plan keeps its margins itself.
  const QPageSize named = plan.Paper.Name == "A4"       ? QPageSize(QPageSize::A4)
                          : plan.Paper.Name == "A3"     ? QPageSize(QPageSize::A3)
                          : plan.Paper.Name == "letter" ? QPageSize(QPageSize::Letter)
                                                        : QPageSize();
  const double shortSide = std::min(plan.Paper.WidthMm, plan.Paper.HeightMm);
  const double longSide = std::max(plan.Paper.WidthMm, plan.Paper.HeightMm);
  const QPageSize page =
      named.isValid() ? named : QPageSize(QSizeF(shortSide, longSide), QPageSize::Millimeter);
  printer_.setFullPage(true);
  printer_.setPageLayout(QPageLayout(page, plan.Landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                                     QMarginsF(0, 0, 0, 0)));
  const TBitmap32& mosaic = session_.engine.MosaicBitmap;
  const QImage picture(reinterpret_cast<const uchar*>(mosaic.ScanLine(0)), mosaic.Width(), mosaic.Height(),
                       qsizetype(mosaic.Width()) * 4, QImage::Format_RGB32);
  QPainter painter;
  if (!painter.begin(&printer_)) return Status::Error("The printer could not start the print job");
  const double dots = printer_.resolution() / 25.4;
  DrawMapPage(painter, plan, picture, dots);
  for (size_t k = 0; k < plan.Panels.size(); ++k) {
    if (!printer_.newPage()) {
      painter.end();
      return Status::Error("The printer could not start a new page");
    }
    const Panel& p = plan.Panels[k];
    const PanelSheet sheet = LayOutPanelSheet(plan, p);
    const QRectF target(
        At(sheet.PictureLeft, sheet.PictureTop, dots),
        At(sheet.PictureLeft + sheet.PictureWidth, sheet.PictureTop + sheet.PictureHeight, dots));
    painter.drawImage(target, picture,
                      QRectF(p.Source.Left, p.Source.Top, p.Source.Width(), p.Source.Height()));
    painter.setPen(QPen(Qt::black, 0.1 * dots));
    for (const SheetLine& l : sheet.CropMarks) painter.drawLine(At(l.X0, l.Y0, dots), At(l.X1, l.Y1, dots));
    const double r = kAlignmentMarkRadiusMm;
    QFont small = painter.font();
    small.setPixelSize(std::max(1, static_cast<int>(1.8 * dots)));
    painter.setFont(small);
    for (const AlignmentMark& m : sheet.Marks) {
      painter.drawEllipse(At(m.X, m.Y, dots), r * dots, r * dots);
      painter.drawLine(At(m.X - r * 1.6, m.Y, dots), At(m.X + r * 1.6, m.Y, dots));
      painter.drawLine(At(m.X, m.Y - r * 1.6, dots), At(m.X, m.Y + r * 1.6, dots));
      painter.drawText(At(m.X + r * 1.2, m.Y - r * 1.2, dots), QString::fromStdString(m.Neighbour));
    }
    QFont label = painter.font();
    label.setBold(true);
    label.setPixelSize(std::max(1, static_cast<int>(sheet.LabelSize * dots)));
    painter.setFont(label);
    const QString text = QString::fromStdString(p.Label + "   " + sheet.Detail);
    const double width = painter.fontMetrics().horizontalAdvance(text);
    painter.drawText(QPointF(PanelLabelLeft(sheet, width / dots) * dots, sheet.LabelBaseline * dots), text);
  }
  if (!painter.end()) return Status::Error("The printer could not finish the print job");
  return Status::Ok();
}

}  // namespace velmora::ui
