// The main view `img1`: shows the visible rectangle of the engine's mosaic 1:1
// at its top-left corner, painted straight from the engine's pixels through a
// QImage over them (no copy of the picture), and reports mouse presses and
// releases in view coordinates. Where the picture ends, the work area's
// colour shows.
#pragma once

#include <QWidget>

#include "engine/Engine.h"

namespace velmora::ui {

class MosaicView : public QWidget {
  Q_OBJECT
public:
  MosaicView(Engine& engine, QWidget* parent);
  // The size of the picture the view shows (the last ViewRect).
  QSize PictureSize() const;

signals:
  void pressed(Qt::MouseButton button, QPoint pos);
  void released(Qt::MouseButton button, QPoint pos);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  Engine& engine_;
};

}  // namespace velmora::ui
