// The main view's mouse: right-button scrolling in every mode, and on the
// release of the left or middle button the action of the editing mode (Info,
// Edit I, Edit II, Free Cell Pen). Which cell lies under the mouse and what a
// drag covers come from the view arithmetic below the windows.
#include <QScreen>

#include <cstdlib>

#include "engine/BlockEdit.h"
#include "engine/RepickCells.h"
#include "ui/CellInfoWindow.h"
#include "ui/PickCellDialog.h"
#include "ui/MainWindow.h"
#include "ui/WindowHooks.h"

namespace velmora::ui {

void MainWindow::UpdateEditMode() {
  const int code = modeGroup_->checkedId();
  if (code > 0) editMode_ = code;
  view_->SetModeCursor(editMode_ == kModeInfo ? Qt::WhatsThisCursor : Qt::SizeAllCursor);
}

void MainWindow::ViewPressed(Qt::MouseButton button, QPoint pos) {
  if (session_.jobRunning) return;
  pressPoint_ = ViewPoint{pos.x(), pos.y()};
  pressPos_ = ViewPoint{engine_.ViewOriginX, engine_.ViewOriginY};
  if (button == Qt::LeftButton) leftButtonDown_ = true;
}

void MainWindow::ViewDragged(QPoint pos) {
  if (editMode_ != kModePen || !leftButtonDown_ || session_.jobRunning || engine_.MosaicState != 2) return;
  view_->ShowPenRectangle(PenDragRect(pos));
}

std::optional<TRect> MainWindow::PenDragRect(QPoint pos) const {
  // Both corners measured from the picture's corner, which sits in the
  // middle of a view larger than the picture.
  const QPoint at = view_->PictureTopLeft();
  return PenRectangle(ViewPoint{pressPoint_.X - at.x(), pressPoint_.Y - at.y()},
                      ViewPoint{pos.x() - at.x(), pos.y() - at.y()},
                      ViewPoint{engine_.ViewOriginX, engine_.ViewOriginY}, engine_.Project.FinalWidth,
                      engine_.Project.FinalHeight, view_->Scale());
}

void MainWindow::ViewReleased(Qt::MouseButton button, QPoint pos) {
  if (button == Qt::LeftButton) view_->ShowPenRectangle(std::nullopt);
  // The right button moved the picture in the view itself, live; a click
  // without a move opens the cell's menu.
  if (button == Qt::RightButton) {
    if (std::abs(pos.x() - pressPoint_.X) <= 2 && std::abs(pos.y() - pressPoint_.Y) <= 2) ShowCellMenu(pos);
    return;
  }
  if (button != Qt::LeftButton && button != Qt::MiddleButton) return;
  // Edits change the cell map and the mosaic a job is working on.
  if (session_.jobRunning) return;
  switch (editMode_) {
    case kModeInfo:
      InfoRelease(pos);
      break;
    case kModeEdit1:
      Edit1Release(pos);
      break;
    case kModeEdit2:
      Edit2Release(pos);
      break;
    case kModePen:
      PenRelease(pos);
      break;
    default:
      leftButtonDown_ = false;
      break;
  }
}

bool MainWindow::CellEditingAllowed() const {
  return engine_.MosaicState == 2 && engine_.Project.RenderMode == kRenderStandard;
}

void MainWindow::InfoRelease(QPoint pos) {
  if (!CellEditingAllowed()) return;
  const ViewPoint at = PicturePos(pos);
  const CellPos cell = TileUnder(engine_.Project, engine_.Masks.Shape, at.X, at.Y);
  if (CellInfoWindow* info = session_.windows.cellInfo) {
    info->show();
    info->raise();
    info->ShowCellInfo(cell.X, cell.Y);
  }
  leftButtonDown_ = false;
}

void MainWindow::Edit1Release(QPoint pos) {
  if (!leftButtonDown_ || !CellEditingAllowed()) return;
  const ViewPoint at = PicturePos(pos);
  const CellPos cell = TileUnder(engine_.Project, engine_.Masks.Shape, at.X, at.Y);
  bool changed = false;
  const Status drawn = RecordEdit("Edit I", {cell}, EditHistory::CellRects(engine_, cell.X, cell.Y),
                                  [&] { return RepickCells(engine_, {cell}, &changed); });
  if (changed) SetModified(true);
  leftButtonDown_ = false;
  RepaintView();
  ShowIfFailed(session_, this, drawn);
}

void MainWindow::Edit2Release(QPoint pos) {
  if (!leftButtonDown_ || !CellEditingAllowed()) return;
  const ViewPoint at = PicturePos(pos);
  const CellPos cell = TileUnder(engine_.Project, engine_.Masks.Shape, at.X, at.Y);
  ShowPickCell(session_, cell.X, cell.Y);
  // Not over the clicked cell, which the user wants to watch change.
  if (QWidget* pick = session_.windows.pickCell) {
    const QPoint at = view_->mapToGlobal(pos);
    QRect frame = pick->frameGeometry();
    if (frame.contains(at)) {
      const QRect desk = pick->screen() ? pick->screen()->availableGeometry() : QRect();
      const int right = at.x() + 48, left = at.x() - 48 - frame.width();
      frame.moveLeft(desk.isNull() || right + frame.width() <= desk.right() || left < desk.left() ? right
                                                                                                  : left);
      pick->move(frame.topLeft());
    }
  }
  leftButtonDown_ = false;
}

void MainWindow::PenRelease(QPoint pos) {
  if (!leftButtonDown_) return;
  const auto rect = PenDragRect(pos);
  Status stroke = Status::Ok();
  if (rect && engine_.MosaicState == 2 && penLog_.Strokes.size() >= kMaxPenStrokes) {
    // A stroke the project could not keep would be lost on the next load.
    stroke =
        Status::Error(Format("A mosaic keeps at most %zu pen strokes, and this one has them all. Undo "
                             "some to paint others.",
                             kMaxPenStrokes));
  } else if (rect && engine_.MosaicState == 2) {
    PenStrokeEntry done;
    stroke = RecordEdit(
        "Pen Stroke", {}, {*rect},
        [&] { return engine_.PenStroke(rect->Left, rect->Top, rect->Right, rect->Bottom, &done); }, &done);
    if (stroke.ok()) SetModified(true);
  }
  leftButtonDown_ = false;
  RepaintView();
  ShowIfFailed(session_, this, stroke);
}

void MainWindow::ShowCellMenu(QPoint pos) {
  if (session_.jobRunning || !CellEditingAllowed()) return;
  const ViewPoint at = PicturePos(pos);
  menuCell_ = TileUnder(engine_.Project, engine_.Masks.Shape, at.X, at.Y);
  if (!cellMenu_) {
    cellMenu_ = new QMenu(this);
    cellMenu_->setObjectName(QStringLiteral("cellmenu"));
    QAction* split = cellMenu_->addAction(QStringLiteral("Split block"), this, [this] { EditBlock(false); });
    split->setObjectName(QStringLiteral("splitblock"));
    split->setToolTip(QStringLiteral("Make the block single cells, each keeping the block's photo"));
    QAction* merge = cellMenu_->addAction(QStringLiteral("Merge into block"), this, [this] { EditBlock(true); });
    merge->setObjectName(QStringLiteral("mergeblock"));
    merge->setToolTip(QStringLiteral("Make the 2 x 2 cells from the even column and row one tile, matched again"));
  }
  cellMenu_->actions()[0]->setEnabled(CheckSplit(engine_, menuCell_.X, menuCell_.Y).ok());
  cellMenu_->actions()[1]->setEnabled(CheckMerge(engine_, menuCell_.X, menuCell_.Y).ok());
  cellMenu_->popup(view_->mapToGlobal(pos));
}

void MainWindow::EditBlock(bool merge) {
  if (session_.jobRunning) return;
  const CellPos c = menuCell_;
  const Status done =
      RecordEdit(merge ? "Merge into Block" : "Split Block", BlockEditCells(engine_, c.X, c.Y, merge),
                 BlockEditRects(engine_, c.X, c.Y, merge),
                 [&] { return merge ? MergeBlock(engine_, c.X, c.Y) : SplitBlock(engine_, c.X, c.Y); });
  if (done.ok()) SetModified(true);
  RepaintView();
  ShowIfFailed(session_, this, done);
}

}  // namespace velmora::ui
