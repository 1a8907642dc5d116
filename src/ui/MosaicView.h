// The main view `img1`: shows the visible rectangle of the engine's mosaic at
// the view's scale, painted straight from the engine's pixels (or, zoomed
// out, from the zoom pyramid's reduced copies) through a QImage over them,
// never by scaling the whole picture. It owns the zoom and the moves of the
// picture: scroll bars, wheel and shift+wheel, ctrl+wheel zoom around the
// pointer, a right-drag or space+drag that moves the picture live. The left
// and middle buttons are reported to the main window for the editing modes.
// Where the picture ends, the work area's colour shows.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRubberBand>
#include <QScrollBar>
#include <QWidget>
#include <functional>
#include <optional>

#include "engine/Engine.h"
#include "view/ViewGeometry.h"
#include "view/ZoomPyramid.h"

namespace velmora::ui {

class MosaicView : public QWidget {
  Q_OBJECT
public:
  MosaicView(Engine& engine, QWidget* parent);
  // The size of the picture the view shows (the last ViewRect).
  QSize PictureSize() const;
  // The scroll bars beside the view, kept in step with the origin.
  void AttachScrollBars(QScrollBar* horizontal, QScrollBar* vertical);

  double Scale() const { return scale_; }
  bool FitMode() const { return fit_; }
  // A new scale (clamped to 1/16..8), keeping the picture pixel under view
  // position `anchor` in place; leaves fit mode.
  void SetScale(double scale, QPoint anchor);
  void SetScale(double scale) { SetScale(scale, rect().center()); }
  void ZoomIn() { SetScale(StepZoom(scale_, +1)); }
  void ZoomOut() { SetScale(StepZoom(scale_, -1)); }
  // Fit follows the window's size until another scale is chosen.
  void ZoomFit();
  // Before a repaint: the fit scale for the current size, the origin within
  // the picture when the scale changed. Returns the scale.
  double PrepareRepaint();

  // Drawn over the picture after every paint (the match-quality map), given
  // the picture rectangle shown and the scale: picture pixel p lies at view
  // position (p - shown.Left) * scale.
  using Overlay = std::function<void(QPainter& painter, const TRect& shown, double scale)>;
  void SetOverlay(Overlay overlay) {
    overlay_ = std::move(overlay);
    update();
  }

  // The editing mode's cursor (space shows the open hand meanwhile).
  void SetModeCursor(Qt::CursorShape shape);

  // The picture pixel under a view position, at the current scale.
  ViewPoint ToPicture(QPoint pos) const;
  // The view position of picture pixel `p`'s top-left corner.
  QPoint FromPicture(ViewPoint p) const;
  // Where the picture's top-left corner lies when the picture is smaller
  // than the view: it sits in the middle. Elsewhere 0, and the origin
  // scrolls it.
  QPoint PictureTopLeft() const;
  // The view rectangle the whole picture covers (beyond the view where the
  // picture is larger); empty without a picture.
  QRect ShownPictureRect() const;
  ViewPoint Origin() const { return ViewPoint{engine_.ViewOriginX, engine_.ViewOriginY}; }
  // Moves the origin (clamped) and asks for a repaint.
  void ScrollTo(ViewPoint origin);
  // Puts picture pixel `centre` in the middle of the view.
  void CentreOn(ViewPoint centre);
  void SyncScrollBars();

  // The pen's rectangle of picture pixels (Right and Bottom included),
  // outlined while the mouse drags it; nothing removes the outline.
  void ShowPenRectangle(const std::optional<TRect>& rect);
  const QRubberBand* PenOutline() const { return penOutline_; }
  // What the view says in its middle while it has no picture.
  static QString EmptyHint();

  // The whole picture was replaced: the reduced copies are made again before
  // the next zoomed-out paint.
  void PictureReplaced();
  // While `live` (a job runs on its own thread and may change or replace the
  // picture), the view never reads the engine: it paints its own copy of
  // what it showed, taken when the job starts and again by TakeLiveCopy, and
  // the picture does not move or zoom (scroll bars, wheel, drags are left).
  void SetLive(bool live);
  bool Live() const { return live_; }
  // The visible part of the picture copied at the view's size, at the
  // view's scale. Only while the job's thread waits (the listener's pause).
  void TakeLiveCopy();
  const QImage& LiveCopy() const { return liveCopy_; }
  // Pixels of the picture changed: only their reduced copies are redone.
  void PixelsChanged(const TRect& rect);
  const ZoomPyramid& Pyramid() const { return pyramid_; }
  // The reduced copies of the current picture, made now if they are due;
  // nothing while a job draws the picture.
  const ZoomPyramid* ReducedCopies();
  // Makes the reduced copies now, even while live: only on a job's thread,
  // while the window's thread leaves the engine and the copies alone.
  void BuildReducedCopies();

signals:
  void pressed(Qt::MouseButton button, QPoint pos);
  void released(Qt::MouseButton button, QPoint pos);
  // The mouse moved with the left button held, not moving the picture.
  void dragged(QPoint pos);
  // The origin or the scale changed: the main window repaints.
  void viewMoved();
  void scaleChanged(double scale);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void Pan(QPoint pos);
  void ScrollBy(int dx, int dy);  // view pixels
  void ApplyScale(double scale, QPoint anchor);
  void PaintEmptyHint();

  Engine& engine_;
  QScrollBar* hbar_ = nullptr;
  QScrollBar* vbar_ = nullptr;
  double scale_ = 1;
  bool fit_ = false;
  ZoomPyramid pyramid_;
  bool pyramidStale_ = true;
  bool live_ = false;
  QImage liveCopy_;
  // A picture move in progress (right button, or left with space held).
  bool panning_ = false;
  Qt::MouseButton panButton_ = Qt::NoButton;
  QPoint panPress_;
  ViewPoint panOrigin_;
  bool spaceHeld_ = false;
  QCursor modeCursor_;
  Overlay overlay_;
  QRubberBand* penOutline_ = nullptr;
};

}  // namespace velmora::ui
