// The pick-cell dialog `TFormPickCell` ("PickCell"), opened by Edit II: the
// loaded cell's colours and current picture on the left; on the right the
// library list, the selected picture as loaded and as the cell would show it
// (colour shift by the slider, flips), and the apply that writes the choice
// into the cell and draws it again.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QSlider>
#include <array>
#include <string>
#include <vector>

#include "imaging/Bitmap24.h"
#include "imaging/ColorSignature.h"
#include "ui/Session.h"

namespace velmora::ui {

class PickCellDialog : public QDialog {
  Q_OBJECT
public:
  PickCellDialog(Session& session, QWidget* parent);

  // The library list becomes the picture list (after a creation or a load).
  void CopyPictureList();
  // Edit II: shows cell (column, row), clamped into the grid.
  void PickCellLoad(int column, int row);
  // The selected picture as loaded and as the cell would show it.
  void PickCellPreview(int index);
  // Writes picture `index` into the loaded cell and draws it again.
  void PickCellApply(int index);

  // The list's selected position, or -1.
  int SelectedIndex() const;
  // The library positions shown as thumbnails, best fit to the loaded cell first.
  std::vector<int> BestMatches() const;

private:
  // Three 32 x 32 swatches ("Detail", "Single", "Mono") of one signature.
  using Swatches = std::array<QLabel*, 3>;
  Swatches MakeSwatches(QWidget* parent, int x, int y, const char* prefix);
  QLabel* MakeBox(QWidget* parent, int x, int y, const char* name);
  static void PaintSwatches(const Swatches& swatches, const ColorSignature& signature);
  void PreviewSelected();
  void ListClicked(QListWidgetItem* item);
  // Thumbnails of the pictures that fit the loaded cell best, best first;
  // read a few at a time while events run.
  void FillBestMatches();
  // The best match selected in both lists and previewed, the matches
  // scrolled to their start; never applied by "apply immediately", which
  // is for the user's own choices.
  void SelectBestMatch();
  void LoadMatchThumbnails();

  Session& session_;
  QLabel* position_;  // lbcurrentpos
  Swatches cellSwatches_{};
  QLabel* currentBox_;
  Swatches currentSwatches_{};
  QListWidget* list_;  // Cimglist
  QSlider* slider_;    // coloradj
  QCheckBox* hflip_;   // cbhf
  QCheckBox* vflip_;   // cbvf
  QLabel* originalBox_;
  Swatches originalSwatches_{};
  QLabel* adjustedBox_;
  Swatches adjustedSwatches_{};
  QCheckBox* applyNow_;  // cbapplynow
  QListWidget* matches_ = nullptr;  // bestmatches
  int matchesRead_ = 0;
  bool selectingBest_ = false;

  // PickCellPos and the signatures of the dialog's state.
  int column_ = 0;
  int row_ = 0;
  bool cellLoaded_ = false;  // an assigned cell was loaded: CellSig is real
  ColorSignature cellSig_;
  ColorSignature currentPicSig_;
  ColorSignature newPicSig_;
  ColorSignature adjustedSig_;
  // A click on the row just previewed for the same cell previews nothing new;
  // the row change before the click already did.
  int previewedRow_ = -1;
  int previewedSerial_ = -1;
  int loadSerial_ = 0;
  // The picture last read for a preview, and its path.
  Bitmap24 loaded_;
  std::string loadedPath_;
};

}  // namespace velmora::ui
