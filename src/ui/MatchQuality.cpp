#include "ui/MatchQuality.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <algorithm>

#include "engine/EditHistory.h"
#include "engine/RepickCells.h"
#include "ui/MainWindow.h"

namespace velmora::ui {
namespace {

const QString kDeltaE = QString::fromUtf8("\u0394E");

// Clear up to kMapGood, then ever more opaque red up to kMapPoor.
QRgb MapColour(float error) {
  const double t = std::clamp((error - kMapGood) / (kMapPoor - kMapGood), 0.0, 1.0);
  return qPremultiply(qRgba(230, 0, 0, static_cast<int>(t * 200)));
}

}  // namespace

MatchQuality::MatchQuality(Session& session, MainWindow& main)
    : QObject(&main), session_(session), main_(main) {}

void MatchQuality::AddMenuItems(QMenu* view, QMenu* edit) {
  mapAction_ = new QAction(QStringLiteral("Match &Quality Map"), &main_);
  mapAction_->setObjectName(QStringLiteral("QualityMap1"));
  mapAction_->setCheckable(true);
  mapAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
  connect(mapAction_, &QAction::toggled, this, &MatchQuality::SetMapShown);
  repickAction_ = new QAction(QStringLiteral("Re-pick &Worst Cells..."), &main_);
  repickAction_->setObjectName(QStringLiteral("RepickWorst1"));
  connect(repickAction_, &QAction::triggered, this, &MatchQuality::RepickWorstCells);
  if (view) {
    view->addSeparator();
    view->addAction(mapAction_);
  }
  if (edit) {
    edit->addSeparator();
    edit->addAction(repickAction_);
  }
  main_.addAction(mapAction_);
  main_.addAction(repickAction_);
  UpdateActions();
}

QLabel* MatchQuality::MakeStatusLabel(QWidget* parent) {
  label_ = new QLabel(parent);
  label_->setObjectName(QStringLiteral("lbquality"));
  label_->setToolTip(
      QStringLiteral("Mean colour error per cell between the mosaic and its main picture "
                     "(CIE76 delta E, one sample per cell; about 2.3 is just noticeable)"));
  return label_;
}

bool MatchQuality::Measurable() const {
  const Engine& e = session_.engine;
  return e.MosaicState == 2 && !e.MainBitmap.Empty();
}

void MatchQuality::UpdateActions() {
  const Engine& e = session_.engine;
  // While a job draws a new mosaic the figures and the map belong to the
  // old one: both are hidden until the job ends (a cancelled job puts the
  // old mosaic back, and with it its figures).
  if (label_) {
    if (session_.jobRunning)
      label_->clear();
    else
      ShowFigures();
  }
  if (repickAction_)
    repickAction_->setEnabled(!session_.jobRunning && !report_.Empty() &&
                              e.Project.RenderMode == kRenderStandard);
}

void MatchQuality::Refresh() {
  if (session_.jobRunning) return;  // measured again when the job has ended
  Measure();
  Show();
}

void MatchQuality::Measure() {
  report_ = QualityReport();
  const Engine& e = session_.engine;
  const tmosaicproject& p = e.Project;
  meter_.SetThreads(e.ThreadCount());
  if (Measurable() && e.MosaicBitmap.Width() == int64_t(p.CellsAcross) * p.CellWidth &&
      e.MosaicBitmap.Height() == int64_t(p.CellsDown) * p.CellHeight &&
      meter_.Start(e.MainBitmap, QualityMainArea(e), p).ok()) {
    meter_.MeasureMosaic(e.MosaicBitmap);
    report_ = meter_.Report();
  }
}

void MatchQuality::Show() {
  RebuildMap();
  ShowFigures();
  UpdateActions();
}

void MatchQuality::PixelsChanged(const std::vector<TRect>& rects) {
  if (session_.jobRunning) return;
  if (report_.Empty() || !Measurable()) return;
  std::vector<CellPos> cells;
  for (const TRect& r : rects) {
    const std::vector<CellPos> in = meter_.CellsIn(r);
    cells.insert(cells.end(), in.begin(), in.end());
  }
  meter_.Remeasure(session_.engine.MosaicBitmap, cells, report_);
  RebuildMap();
  ShowFigures();
}

void MatchQuality::ShowFigures() {
  if (!label_) return;
  label_->setText(
      report_.Empty()
          ? QString()
          : QStringLiteral("Mean colour error %1 %2").arg(report_.MeanSingle, 0, 'f', 2).arg(kDeltaE));
}

void MatchQuality::RebuildMap() {
  map_ = QImage();
  if (report_.Empty()) {
    main_.View()->update();
    return;
  }
  const int cols = report_.Cols;
  const int rows = report_.Rows;
  const int stitch = session_.engine.Project.StitchMode;
  map_ = QImage(2 * cols, 2 * rows, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < cols; ++x) {
      const QRgb c = MapColour(report_.SingleAt(x, y));
      const int left = 2 * x - (stitch == kStitchPeyote && (y & 1) ? 1 : 0);
      const int top = 2 * y - (stitch == kStitchBrick && (x & 1) ? 1 : 0);
      for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i)
          map_.setPixel((left + i + 2 * cols) % (2 * cols), (top + j + 2 * rows) % (2 * rows), c);
    }
  main_.View()->update();
}

bool MatchQuality::MapShown() const { return mapAction_ && mapAction_->isChecked(); }

void MatchQuality::SetMapShown(bool shown) {
  if (mapAction_ && mapAction_->isChecked() != shown) {
    mapAction_->setChecked(shown);  // comes back here through the toggle
    return;
  }
  if (shown)
    main_.View()->SetOverlay([this](QPainter& p, const TRect& r, double scale) { Paint(p, r, scale); });
  else
    main_.View()->SetOverlay(nullptr);
}

void MatchQuality::Paint(QPainter& painter, const TRect& shown, double scale) const {
  const tmosaicproject& p = session_.engine.Project;
  if (map_.isNull() || session_.jobRunning || p.CellWidth <= 0 || p.CellHeight <= 0) return;
  // Map pixels are half cells: the picture rectangle shown, in those units.
  const QRectF from(shown.Left * 2.0 / p.CellWidth, shown.Top * 2.0 / p.CellHeight,
                    shown.Width() * 2.0 / p.CellWidth, shown.Height() * 2.0 / p.CellHeight);
  const QRectF to(0, 0, shown.Width() * scale, shown.Height() * scale);
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(to, map_, from);
  painter.restore();
  PaintLegend(painter);
}

void MatchQuality::PaintLegend(QPainter& painter) const {
  const QRect area = painter.viewport();
  const QFontMetrics fm = painter.fontMetrics();
  const int line = fm.height();
  const QString title = QStringLiteral("Match quality: colour error per cell (%1)").arg(kDeltaE);
  const int width = std::max(fm.horizontalAdvance(title) + 16, 220);
  const QRect box(8, area.height() - (3 * line + 22), width, 3 * line + 14);
  painter.save();
  painter.setPen(QColor(90, 90, 90));
  painter.setBrush(QColor(255, 255, 255, 225));
  painter.drawRect(box);
  painter.setPen(Qt::black);
  painter.drawText(box.left() + 8, box.top() + 4 + fm.ascent(), title);
  const QRect bar(box.left() + 8, box.top() + line + 8, box.width() - 16, line - 2);
  QLinearGradient ramp(bar.topLeft(), bar.topRight());
  ramp.setColorAt(0, QColor(255, 255, 255));
  ramp.setColorAt(0.2, QColor(255, 255, 255));  // clear up to the good mark
  ramp.setColorAt(1, QColor(230, 0, 0));
  painter.fillRect(bar, ramp);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(bar);
  const int y = bar.bottom() + 2 + fm.ascent();
  painter.drawText(bar.left(), y, QStringLiteral("good, up to %1").arg(kMapGood));
  const QString poor = QStringLiteral("poor, %1 and more").arg(kMapPoor);
  painter.drawText(bar.right() - fm.horizontalAdvance(poor), y, poor);
  painter.restore();
}

void MatchQuality::RepickWorstCells() {
  if (session_.jobRunning || !repickAction_ || !repickAction_->isEnabled()) return;
  bool ok = false;
  const double percent =
      session_.prompts.AskNumber(&main_, QStringLiteral("Re-pick Worst Cells"),
                                 QStringLiteral("Re-pick the cells with the largest colour "
                                                "error, in percent of all cells:"),
                                 5, 0.1, 100, 1, &ok);
  if (!ok) return;
  ShowIfFailed(session_, &main_, RepickWorst(percent));
}

Status MatchQuality::RepickWorst(double percent) {
  Engine& engine = session_.engine;
  if (session_.jobRunning || engine.MosaicState != 2 || engine.Project.RenderMode != kRenderStandard)
    return Status::Ok();
  if (report_.Empty()) Refresh();
  const std::vector<CellPos> cells = WorstCells(report_, percent);
  if (cells.empty()) return Status::Ok();
  std::vector<TRect> rects;
  for (const CellPos& c : cells) {
    const std::vector<TRect> r = EditHistory::CellRects(engine, c.X, c.Y);
    rects.insert(rects.end(), r.begin(), r.end());
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  bool changed = false;
  // As Edit I, cell by cell, worst first.
  const Status status = main_.RecordEdit("Re-pick Worst Cells", cells, rects,
                                         [&] { return RepickCells(engine, cells, &changed); });
  QApplication::restoreOverrideCursor();
  if (changed) main_.SetModified(true);
  main_.RepaintView();
  return status;
}

}  // namespace velmora::ui
