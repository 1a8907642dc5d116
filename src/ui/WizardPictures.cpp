#include "ui/WizardPictures.h"

#include <QMouseEvent>
#include <QPainter>

namespace velmora::ui {

PictureArea::PictureArea(QWidget* parent, int width, int height) : QWidget(parent) {
  setFixedSize(width, height);
  setCursor(Qt::PointingHandCursor);
}

void PictureArea::SetPicture(const QImage& picture) {
  picture_ = picture;
  update();
}

void PictureArea::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  QPainter painter(this);
  painter.drawImage(QPoint(0, 0), picture_);
}

void PictureArea::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit doubleClicked();
}

QPixmap StitchLayoutPicture(int stitchMode, int width, int height) {
  QPixmap pixmap(width, height);
  pixmap.fill(Qt::white);
  QPainter painter(&pixmap);
  // Cells in the glyph set's colours, so the three drawings match the toolbar.
  const QColor fills[] = {QColor(0x4f, 0x9b, 0xd9), QColor(0xf2, 0xb1, 0x34), QColor(0x6c, 0xbf, 0x6a),
                          QColor(0xe0, 0x64, 0x5c)};
  painter.setPen(QPen(QColor(0x27, 0x45, 0x6f), 1));
  const int cols = 4, rows = 4;
  const int cw = (width - 1) / cols, ch = (height - 1) / rows;
  // One extra cell each way, so a shifted row or column still reaches the edge.
  for (int y = -1; y <= rows; ++y)
    for (int x = -1; x <= cols; ++x) {
      int left = x * cw, top = y * ch;
      if (stitchMode == 2 && (y & 1)) left += cw / 2;
      if (stitchMode == 3 && (x & 1)) top += ch / 2;
      painter.setBrush(fills[((x + 4) + 2 * (y + 4)) % 4]);
      painter.drawRect(left, top, cw, ch);
    }
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(0, 0, width - 1, height - 1);
  return pixmap;
}

}  // namespace velmora::ui
