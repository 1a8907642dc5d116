#include "ui/CellInfoWindow.h"

#include <QVBoxLayout>

#include "imaging/PictureOps.h"
#include "ui/QtBitmap.h"
#include "ui/WindowSupport.h"

namespace velmora::ui {

constexpr int kBoxSide = 193;

CellInfoWindow::CellInfoWindow(Session& session, QWidget* parent)
    : QDialog(parent, Qt::Tool), session_(session) {
  setObjectName(QStringLiteral("TForm9"));
  setWindowTitle(QStringLiteral("Cell Info"));
  setFixedSize(206, 304);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(6, 6, 6, 6);
  image_ = new QLabel(this);
  image_->setObjectName(QStringLiteral("Image1"));
  image_->setFixedSize(kBoxSide, kBoxSide);
  image_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  memo_ = new QPlainTextEdit(this);
  memo_->setObjectName(QStringLiteral("Memo1"));
  memo_->setTabChangesFocus(true);
  memo_->setFixedSize(kBoxSide, 89);
  memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
  column->addWidget(image_);
  column->addWidget(memo_);
  MakeToolWindow(this, session_);
}

void CellInfoWindow::ShowCellInfo(int x, int y) {
  if (session_.jobRunning) return;  // the map may be changing
  Engine& engine = session_.engine;
  memo_->clear();
  // A cell of a block shows the block: its photo is the first cell's.
  const TileBlock tile = engine.TileAt(x, y);
  const CellMapEntry& e = engine.Map.At(tile.X, tile.Y);
  if (e.Assigned) {
    memo_->appendPlainText(QStringLiteral("cell ok"));
    if (tile.Width > 1 || tile.Height > 1)
      memo_->appendPlainText(QStringLiteral("block %1 x %2 cells from cell %3, %4")
                                 .arg(tile.Width)
                                 .arg(tile.Height)
                                 .arg(tile.X)
                                 .arg(tile.Y));
    memo_->appendPlainText(QStringLiteral("cell file id %1").arg(e.PicIndex));
    // The list may have changed since the mosaic was made.
    if (e.PicIndex < 0 || e.PicIndex >= engine.PicList.Count()) {
      session_.prompts.Error(this, QStringLiteral("Error"),
                               QStringLiteral("List index out of bounds (%1)").arg(e.PicIndex));
    } else {
      const std::string& path = engine.PicList[e.PicIndex];
      memo_->appendPlainText(QStringLiteral("cell filename ") + ToQString(path));
      Bitmap24 picture;
      if (ShowIfFailed(session_, this, LoadPictureFile(picture, path, session_.PictureHints()))) {
        Bitmap24 fitted;
        FitToRect(picture, fitted, TRect{0, 0, kBoxSide, kBoxSide});
        image_->setPixmap(QPixmap::fromImage(ToQImage(fitted)));
      }
    }
  }
  image_->update();
}

}  // namespace velmora::ui
