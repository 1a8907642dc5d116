#include "ui/MosaicView.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

namespace velmora::ui {

MosaicView::MosaicView(Engine& engine, QWidget* parent) : QWidget(parent), engine_(engine) {
  setObjectName(QStringLiteral("img1"));
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

QSize MosaicView::PictureSize() const {
  const TRect& r = engine_.ViewRect;
  return r.IsEmpty() ? QSize(0, 0) : QSize(r.Width(), r.Height());
}

void MosaicView::paintEvent(QPaintEvent*) {
  const TBitmap32& bmp = engine_.MosaicBitmap;
  // ViewRect was set at the last RepaintView; the picture may have been
  // resized since (a job is drawing a new one), so clip it again.
  const TRect r = Intersect(engine_.ViewRect, bmp.BoundsRect());
  if (r.IsEmpty()) return;
  // Pixels are 0xAARRGGBB words; RGB32 ignores the top byte, which may hold
  // anything after a blend.
  const auto* first = reinterpret_cast<const uchar*>(bmp.ScanLine(r.Top) + r.Left);
  const QImage image(first, r.Width(), r.Height(), qsizetype(bmp.Width()) * 4, QImage::Format_RGB32);
  QPainter painter(this);
  painter.drawImage(QPoint(0, 0), image);
}

void MosaicView::mousePressEvent(QMouseEvent* event) {
  emit pressed(event->button(), event->position().toPoint());
}

void MosaicView::mouseReleaseEvent(QMouseEvent* event) {
  emit released(event->button(), event->position().toPoint());
}

}  // namespace velmora::ui
