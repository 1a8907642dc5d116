// Small picture widgets of the new-project wizard: the main picture's area,
// which loads a picture on a double-click, and the drawings of the three
// stitch layouts above their radio buttons.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace velmora::ui {

// Shows a picture from its top-left corner; transparent while there is none,
// so the panel's caption beneath stays readable.
class PictureArea : public QWidget {
  Q_OBJECT
public:
  PictureArea(QWidget* parent, int width, int height);
  void SetPicture(const QImage& picture);
  const QImage& Picture() const { return picture_; }

signals:
  void doubleClicked();

protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
  QImage picture_;
};

// A width x height drawing of cells laid out in stitch mode 1 (loom: a plain
// grid), 2 (peyote: odd rows shifted half a cell) or 3 (brick: odd columns
// shifted half a cell).
QPixmap StitchLayoutPicture(int stitchMode, int width, int height);

}  // namespace velmora::ui
