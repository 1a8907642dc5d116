#include "ui/QtBitmap.h"

namespace velmora::ui {

QImage ToQImage(const Bitmap24& bitmap) {
  if (bitmap.Empty()) return QImage();
  // Rows are blue, green, red bytes without padding.
  const QImage view(bitmap.ScanLine(0), bitmap.Width(), bitmap.Height(), qsizetype(bitmap.Stride()),
                    QImage::Format_BGR888);
  return view.copy();
}

QImage ToQImage(const TBitmap32& bitmap) {
  if (bitmap.Empty()) return QImage();
  const QImage view(reinterpret_cast<const uchar*>(bitmap.ScanLine(0)), bitmap.Width(), bitmap.Height(),
                    qsizetype(bitmap.Width()) * 4, QImage::Format_RGB32);
  return view.copy();
}

}  // namespace velmora::ui
