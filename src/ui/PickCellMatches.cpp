// The pick-cell dialog's best matches: the library sorted by how well each
// picture fits the loaded cell (the matcher's own distance, mirrors and tint
// allowed as the project allows them), the best shown as thumbnails.
#include <QTimer>
#include <algorithm>

#include "imaging/PictureOps.h"
#include "ui/PickCellDialog.h"
#include "ui/QtBitmap.h"

namespace velmora::ui {
namespace {

constexpr int kMatchesShown = 60;
constexpr int kMatchSide = 64;
constexpr int kReadPerTurn = 4;

}  // namespace

std::vector<int> PickCellDialog::BestMatches() const {
  std::vector<int> out;
  for (int i = 0; i < matches_->count(); ++i) out.push_back(matches_->item(i)->data(Qt::UserRole).toInt());
  return out;
}

void PickCellDialog::FillBestMatches() {
  const Engine& engine = session_.engine;
  const tmosaicproject& p = engine.Project;
  const int count = std::min(engine.PicList.Count(), list_->count());
  // Tiles that keep the photo offer the photos of the tile's own shape.
  std::vector<int> order;
  const TileBlock tile = engine.TileAt(column_, row_);
  const TileShape shape = ShapeOfBlock(tile.Width, tile.Height);
  for (int k = 0; k < count; ++k)
    if (!engine.Aspects.On || engine.Aspects.Fits(k, shape)) order.push_back(k);
  std::vector<int32_t> distance(static_cast<size_t>(count));
  for (int k : order)
    distance[size_t(k)] =
        Engine::Compare(engine.Library[k].Signature, cellSig_, p.ColorEnhance, p.AllowHFlip, p.AllowVFlip).Distance;
  const auto shown = std::min<size_t>(order.size(), kMatchesShown);
  // Ties keep the list's order, so the view does not shuffle between loads.
  std::partial_sort(order.begin(), order.begin() + ptrdiff_t(shown), order.end(), [&](int a, int b) {
    return distance[size_t(a)] != distance[size_t(b)] ? distance[size_t(a)] < distance[size_t(b)] : a < b;
  });
  matches_->clear();
  QPixmap blank(kMatchSide, kMatchSide);
  blank.fill(palette().color(QPalette::Base));
  for (size_t i = 0; i < shown; ++i) {
    const int k = order[i];
    auto* item = new QListWidgetItem(QIcon(blank), QString(), matches_);
    item->setData(Qt::UserRole, k);
    item->setToolTip(list_->item(k)->text());
  }
  matchesRead_ = 0;
  QTimer::singleShot(0, this, &PickCellDialog::LoadMatchThumbnails);
}

void PickCellDialog::SelectBestMatch() {
  matches_->scrollToTop();
  if (matches_->count() == 0) return;
  const int best = matches_->item(0)->data(Qt::UserRole).toInt();
  if (best < 0 || best >= list_->count()) return;
  selectingBest_ = true;
  if (list_->currentRow() == best) {
    // No row change to preview it: the cell is another one now.
    list_->item(best)->setSelected(true);
    PreviewSelected();
  } else {
    list_->setCurrentRow(best);
  }
  selectingBest_ = false;
  list_->scrollToItem(list_->item(best));
  const QSignalBlocker quiet(matches_);
  matches_->setCurrentRow(0);
  matches_->scrollToItem(matches_->item(0));
}

void PickCellDialog::LoadMatchThumbnails() {
  DecodeHints hints = session_.PictureHints();
  hints.allowExternalPrograms = false;
  hints.acceptScaled = [](int w, int h) { return w >= kMatchSide || h >= kMatchSide; };
  const int end = std::min(matches_->count(), matchesRead_ + kReadPerTurn);
  for (; matchesRead_ < end; ++matchesRead_) {
    QListWidgetItem* item = matches_->item(matchesRead_);
    const int k = item->data(Qt::UserRole).toInt();
    if (k < 0 || k >= session_.engine.PicList.Count()) continue;
    Bitmap24 picture;
    if (!LoadPictureFile(picture, session_.engine.PicList[k], hints).ok()) continue;
    Bitmap24 fitted;
    FitToRect(picture, fitted, TRect{0, 0, kMatchSide, kMatchSide});
    item->setIcon(QIcon(QPixmap::fromImage(ToQImage(fitted))));
  }
  if (matchesRead_ < matches_->count()) QTimer::singleShot(0, this, &PickCellDialog::LoadMatchThumbnails);
}

}  // namespace velmora::ui
