#include "ui/MosaicView.h"

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <vector>

namespace velmora::ui {
namespace {

// Pixels are 0xAARRGGBB words; RGB32 ignores the top byte, which may hold
// anything after a blend.
QImage Wrap(const TBitmap32& bmp) {
  return QImage(reinterpret_cast<const uchar*>(bmp.ScanLine(0)), bmp.Width(), bmp.Height(),
                qsizetype(bmp.Width()) * 4, QImage::Format_RGB32);
}

// One wheel notch scrolls this many view pixels, as an arrow key does.
constexpr int kWheelStep = kScrollStep;

// The keys that move the picture; Shift turns the page keys sideways.
std::optional<ScrollKey> KeyMove(const QKeyEvent& event) {
  const bool sideways = event.modifiers() & Qt::ShiftModifier;
  switch (event.key()) {
    case Qt::Key_Left: return ScrollKey::Left;
    case Qt::Key_Right: return ScrollKey::Right;
    case Qt::Key_Up: return ScrollKey::Up;
    case Qt::Key_Down: return ScrollKey::Down;
    case Qt::Key_PageUp: return sideways ? ScrollKey::PageLeft : ScrollKey::PageUp;
    case Qt::Key_PageDown: return sideways ? ScrollKey::PageRight : ScrollKey::PageDown;
    case Qt::Key_Home: return ScrollKey::Home;
    case Qt::Key_End: return ScrollKey::End;
    default: return std::nullopt;
  }
}

}  // namespace

MosaicView::MosaicView(Engine& engine, QWidget* parent) : QWidget(parent), engine_(engine) {
  setObjectName(QStringLiteral("img1"));
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  setFocusPolicy(Qt::WheelFocus);
}

QSize MosaicView::PictureSize() const {
  const TRect& r = engine_.ViewRect;
  return r.IsEmpty() ? QSize(0, 0) : QSize(r.Width(), r.Height());
}

void MosaicView::AttachScrollBars(QScrollBar* horizontal, QScrollBar* vertical) {
  hbar_ = horizontal;
  vbar_ = vertical;
  for (QScrollBar* bar : {hbar_, vbar_}) {
    bar->setRange(0, 0);
    connect(bar, &QScrollBar::valueChanged, this, [this] {
      ScrollTo(ViewPoint{hbar_->value(), vbar_->value()});
    });
  }
}

void MosaicView::SetModeCursor(Qt::CursorShape shape) {
  modeCursor_ = QCursor(shape);
  if (!spaceHeld_) setCursor(modeCursor_);
}

ViewPoint MosaicView::ToPicture(QPoint pos) const {
  const QPoint at = pos - PictureTopLeft();
  return ViewToPicture(ViewPoint{at.x(), at.y()}, Origin(), scale_);
}

QPoint MosaicView::PictureTopLeft() const {
  const TBitmap32& bmp = engine_.MosaicBitmap;
  if (bmp.Empty()) return QPoint(0, 0);
  const ViewPoint o = PictureOffset(width(), height(), bmp.Width(), bmp.Height(), scale_);
  return QPoint(o.X, o.Y);
}

QPoint MosaicView::FromPicture(ViewPoint p) const {
  // The first view pixel whose left (top) edge is not left of (above) the
  // picture pixel's: at 100 % and more it lies over that pixel.
  const auto at = [this](int d) { return static_cast<int>(std::ceil(d * scale_)); };
  return PictureTopLeft() + QPoint(at(p.X - Origin().X), at(p.Y - Origin().Y));
}

QRect MosaicView::ShownPictureRect() const {
  const TBitmap32& bmp = engine_.MosaicBitmap;
  if (bmp.Empty()) return QRect();
  const QPoint at = PictureTopLeft();
  const TRect r =
      PictureToViewRect(bmp.BoundsRect(), Origin(), ViewPoint{at.x(), at.y()}, scale_);
  return QRect(QPoint(r.Left, r.Top), QPoint(r.Right - 1, r.Bottom - 1));
}

void MosaicView::ShowPenRectangle(const std::optional<TRect>& rect) {
  if (!rect) {
    if (penOutline_) penOutline_->hide();
    return;
  }
  if (!penOutline_) {
    penOutline_ = new QRubberBand(QRubberBand::Rectangle, this);
    penOutline_->setObjectName(QStringLiteral("penoutline"));
  }
  const QPoint at = PictureTopLeft();
  const TRect r = PictureToViewRect(TRect{rect->Left, rect->Top, rect->Right + 1, rect->Bottom + 1}, Origin(),
                                    ViewPoint{at.x(), at.y()}, scale_);
  penOutline_->setGeometry(QRect(QPoint(r.Left, r.Top), QPoint(r.Right - 1, r.Bottom - 1)));
  penOutline_->show();
}

QString MosaicView::EmptyHint() { return QStringLiteral("New\u2026 or drop a picture here"); }

double MosaicView::PrepareRepaint() {
  if (live_) return scale_;
  const TBitmap32& bmp = engine_.MosaicBitmap;
  if (fit_ && !bmp.Empty()) {
    const double s = FitScale(width(), height(), bmp.Width(), bmp.Height());
    if (s != scale_) {
      scale_ = s;
      const ViewPoint o = ClampOrigin(Origin(), width(), height(), bmp.Width(), bmp.Height(), scale_);
      engine_.ViewOriginX = o.X;
      engine_.ViewOriginY = o.Y;
      emit scaleChanged(scale_);
    }
  }
  return scale_;
}

void MosaicView::ApplyScale(double scale, QPoint anchor) {
  if (live_) return;
  const TBitmap32& bmp = engine_.MosaicBitmap;
  const double old = scale_;
  scale_ = ClampZoom(scale);
  if (!bmp.Empty()) {
    const ViewPoint o = ZoomedOrigin(Origin(), ViewPoint{anchor.x(), anchor.y()}, old, scale_, width(),
                                     height(), bmp.Width(), bmp.Height());
    engine_.ViewOriginX = o.X;
    engine_.ViewOriginY = o.Y;
  }
  emit scaleChanged(scale_);
  emit viewMoved();
}

void MosaicView::SetScale(double scale, QPoint anchor) {
  fit_ = false;
  ApplyScale(std::clamp(scale, kMinZoom, kMaxZoom), anchor);
}

void MosaicView::ZoomFit() {
  if (live_) return;
  fit_ = true;
  const TBitmap32& bmp = engine_.MosaicBitmap;
  ApplyScale(bmp.Empty() ? 1 : FitScale(width(), height(), bmp.Width(), bmp.Height()), QPoint(0, 0));
}

void MosaicView::ScrollTo(ViewPoint origin) {
  if (live_) return;
  const TBitmap32& bmp = engine_.MosaicBitmap;
  const ViewPoint o = ClampOrigin(origin, width(), height(), bmp.Width(), bmp.Height(), scale_);
  if (o == Origin()) return;
  engine_.ViewOriginX = o.X;
  engine_.ViewOriginY = o.Y;
  emit viewMoved();
}

void MosaicView::CentreOn(ViewPoint centre) {
  if (live_) return;
  const TBitmap32& bmp = engine_.MosaicBitmap;
  ScrollTo(CentredOrigin(centre, width(), height(), bmp.Width(), bmp.Height(), scale_));
}

void MosaicView::ScrollBy(int dx, int dy) {
  const int px = static_cast<int>(std::lround(dx / scale_));
  const int py = static_cast<int>(std::lround(dy / scale_));
  ScrollTo(ViewPoint{engine_.ViewOriginX + px, engine_.ViewOriginY + py});
}

void MosaicView::SyncScrollBars() {
  if (!hbar_ || !vbar_ || live_) return;
  const TBitmap32& bmp = engine_.MosaicBitmap;
  const int spanW = PictureSpan(width(), scale_);
  const int spanH = PictureSpan(height(), scale_);
  // The range keeps the origin as it is: enlarging the window does not move
  // the picture until the next scroll.
  const struct {
    QScrollBar* bar;
    int size, span, value;
  } bars[] = {{hbar_, bmp.Width(), spanW, engine_.ViewOriginX},
              {vbar_, bmp.Height(), spanH, engine_.ViewOriginY}};
  for (const auto& b : bars) {
    const QSignalBlocker block(b.bar);
    b.bar->setRange(0, std::max({0, b.size - b.span, b.value}));
    b.bar->setPageStep(std::max(1, b.span));
    b.bar->setSingleStep(std::max(1, static_cast<int>(kWheelStep / scale_)));
    b.bar->setValue(b.value);
    b.bar->setEnabled(b.bar->maximum() > 0);
  }
}

void MosaicView::PictureReplaced() {
  pyramidStale_ = true;
  pyramid_.Clear();
  update();
}

void MosaicView::SetLive(bool live) {
  if (live) {
    // What the view shows now, until the job's first pause.
    TakeLiveCopy();
    live_ = true;
  } else {
    live_ = false;
    liveCopy_ = QImage();
    panning_ = false;
  }
  for (QScrollBar* bar : {hbar_, vbar_})
    if (bar && live) bar->setEnabled(false);
  update();
}

void MosaicView::TakeLiveCopy() {
  const TBitmap32& bmp = engine_.MosaicBitmap;
  if (bmp.Empty() || width() <= 0 || height() <= 0) {
    liveCopy_ = QImage();
    return;
  }
  // The job may have given the picture another size since the last paint.
  const ViewPoint o = ClampOrigin(Origin(), width(), height(), bmp.Width(), bmp.Height(), scale_);
  const int w = std::min(width(), static_cast<int>(std::ceil((bmp.Width() - o.X) * scale_)));
  const int h = std::min(height(), static_cast<int>(std::ceil((bmp.Height() - o.Y) * scale_)));
  if (w <= 0 || h <= 0) {
    liveCopy_ = QImage();
    return;
  }
  if (liveCopy_.size() != QSize(w, h)) liveCopy_ = QImage(w, h, QImage::Format_RGB32);
  // Each view pixel shows the picture pixel under it (nearest, as a live
  // paint did).
  std::vector<int> column(static_cast<size_t>(w));
  for (int x = 0; x < w; ++x)
    column[static_cast<size_t>(x)] = std::min(bmp.Width() - 1, o.X + static_cast<int>(x / scale_));
  for (int y = 0; y < h; ++y) {
    const int py = std::min(bmp.Height() - 1, o.Y + static_cast<int>(y / scale_));
    const TColor32* from = bmp.ScanLine(py);
    auto* to = reinterpret_cast<TColor32*>(liveCopy_.scanLine(y));
    for (int x = 0; x < w; ++x) to[x] = from[column[static_cast<size_t>(x)]];
  }
}

void MosaicView::PixelsChanged(const TRect& rect) {
  if (live_) return;
  if (!pyramidStale_ && pyramid_.Matches(engine_.MosaicBitmap)) pyramid_.Update(engine_.MosaicBitmap, rect);
  update();
}

void MosaicView::BuildReducedCopies() {
  const TBitmap32& bmp = engine_.MosaicBitmap;
  if (bmp.Empty()) return;
  pyramid_.Rebuild(bmp, engine_.ThreadCount());
  pyramidStale_ = false;
}

const ZoomPyramid* MosaicView::ReducedCopies() {
  if (live_) return nullptr;
  const TBitmap32& bmp = engine_.MosaicBitmap;
  if (bmp.Empty()) return nullptr;
  if (pyramidStale_ || !pyramid_.Matches(bmp)) {
    pyramid_.Rebuild(bmp, engine_.ThreadCount());
    pyramidStale_ = false;
  }
  return &pyramid_;
}

void MosaicView::paintEvent(QPaintEvent*) {
  if (live_) {
    // A copy smaller than the view is of a picture smaller than it: in the
    // middle, as the picture was.
    if (!liveCopy_.isNull())
      QPainter(this).drawImage(
          QPoint((width() - liveCopy_.width()) / 2, (height() - liveCopy_.height()) / 2), liveCopy_);
    return;
  }
  const TBitmap32& bmp = engine_.MosaicBitmap;
  // ViewRect was set at the last RepaintView; the picture may have been
  // resized since (a job is drawing a new one), so clip it again.
  const TRect r = Intersect(engine_.ViewRect, bmp.BoundsRect());
  if (r.IsEmpty()) {
    if (bmp.Empty()) PaintEmptyHint();
    return;
  }
  QPainter painter(this);
  painter.translate(PictureTopLeft());
  if (scale_ == 1) {
    const auto* first = reinterpret_cast<const uchar*>(bmp.ScanLine(r.Top) + r.Left);
    const QImage image(first, r.Width(), r.Height(), qsizetype(bmp.Width()) * 4, QImage::Format_RGB32);
    painter.drawImage(QPoint(0, 0), image);
    if (overlay_) overlay_(painter, r, scale_);
    return;
  }
  // Zoomed out, the level whose scale is nearest above the view's, drawn
  // smoothly (it shrinks by at most half); zoomed in, the picture's own
  // pixels, drawn sharp.
  int level = 0;
  if (scale_ < 1 && !live_ && ReducedCopies()) level = ZoomPyramid::LevelFor(scale_, pyramid_.Levels());
  const TBitmap32& source = level == 0 ? bmp : pyramid_.Level(level);
  const double unit = std::ldexp(1.0, level);  // picture pixels per level pixel
  const QRectF from(r.Left / unit, r.Top / unit, r.Width() / unit, r.Height() / unit);
  const QRectF to(0, 0, r.Width() * scale_, r.Height() * scale_);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, scale_ < 1 && !live_);
  painter.drawImage(to, Wrap(source), from);
  if (overlay_) overlay_(painter, r, scale_);
}

void MosaicView::PaintEmptyHint() {
  QPainter painter(this);
  QFont font = painter.font();
  font.setPointSizeF(font.pointSizeF() * 1.5);
  painter.setFont(font);
  painter.setPen(palette().color(QPalette::BrightText));
  painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, EmptyHint());
}

void MosaicView::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  if (live_) return;
  const QPoint pos = event->position().toPoint();
  const bool spacePan = event->button() == Qt::LeftButton && spaceHeld_;
  if ((event->button() == Qt::RightButton || spacePan) && !panning_) {
    panning_ = true;
    panButton_ = event->button();
    panPress_ = pos;
    panOrigin_ = Origin();
  }
  // A space+drag only moves the picture; the editing modes never see it.
  if (!spacePan) emit pressed(event->button(), pos);
}

void MosaicView::Pan(QPoint pos) {
  if (live_) return;
  const TBitmap32& bmp = engine_.MosaicBitmap;
  const ViewPoint o =
      DraggedOrigin(panOrigin_, ViewPoint{panPress_.x(), panPress_.y()}, ViewPoint{pos.x(), pos.y()}, width(),
                    height(), bmp.Width(), bmp.Height(), scale_);
  engine_.ViewOriginX = o.X;
  engine_.ViewOriginY = o.Y;
  emit viewMoved();
}

void MosaicView::mouseMoveEvent(QMouseEvent* event) {
  if (panning_ && (event->buttons() & panButton_))
    Pan(event->position().toPoint());
  else if (!live_ && (event->buttons() & Qt::LeftButton))
    emit dragged(event->position().toPoint());
}

void MosaicView::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (live_) return;
  if (panning_ && event->button() == panButton_) {
    panning_ = false;
    // The release applies the limits again even without a move, as a
    // release-only drag did.
    Pan(pos);
    if (panButton_ == Qt::LeftButton) return;
  }
  emit released(event->button(), pos);
}

void MosaicView::wheelEvent(QWheelEvent* event) {
  if (live_) {
    event->accept();
    return;
  }
  const QPoint delta = event->angleDelta();
  const int notches = (delta.y() != 0 ? delta.y() : delta.x()) / 120;
  if (notches == 0) return;
  if (event->modifiers() & Qt::ControlModifier) {
    double s = scale_;
    for (int i = 0; i < std::abs(notches); ++i) s = StepZoom(s, notches > 0 ? +1 : -1);
    SetScale(s, event->position().toPoint());
  } else if ((event->modifiers() & Qt::ShiftModifier) || delta.y() == 0) {
    ScrollBy(-notches * kWheelStep, 0);
  } else {
    ScrollBy(0, -notches * kWheelStep);
  }
  event->accept();
}

void MosaicView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space) {
    if (!event->isAutoRepeat() && !spaceHeld_) {
      spaceHeld_ = true;
      setCursor(Qt::OpenHandCursor);
    }
    return;
  }
  if (const auto move = KeyMove(*event); move && !live_ && !engine_.MosaicBitmap.Empty()) {
    const TBitmap32& bmp = engine_.MosaicBitmap;
    ScrollTo(KeyScrolledOrigin(Origin(), *move, width(), height(), bmp.Width(), bmp.Height(), scale_));
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void MosaicView::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space) {
    if (!event->isAutoRepeat() && spaceHeld_) {
      spaceHeld_ = false;
      setCursor(modeCursor_);
    }
    return;
  }
  QWidget::keyReleaseEvent(event);
}

void MosaicView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The scroll bars' range and a fitted scale follow the view's own size,
  // which the layout may settle after the window's resize.
  emit viewMoved();
}

void MosaicView::focusOutEvent(QFocusEvent* event) {
  if (spaceHeld_) {
    spaceHeld_ = false;
    setCursor(modeCursor_);
  }
  QWidget::focusOutEvent(event);
}

}  // namespace velmora::ui
