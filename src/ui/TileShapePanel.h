// The "Tile Shape" group of the Options window and of the wizard's size
// page: the shape of every tile (with a small preview of a few tiles and
// their gaps), what fills the gaps and how photos are cropped. Both panels
// show the next project's choice (the engine's MasksSet), kept in the user's
// settings; a change in either is the other's too.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <string>

#include "ui/Session.h"

namespace velmora::ui {

class TileShapePanel : public QGroupBox {
  Q_OBJECT
public:
  TileShapePanel(Session& session, QWidget* parent);
  // The controls and the preview from the session's choice.
  void Refresh();

protected:
  // The library and the main picture may have changed while it was hidden.
  void showEvent(QShowEvent* event) override;

private:
  void ShapeChosen(int index);
  void ChooseMask();
  void ChooseGapColor();

  Session& session_;
  QComboBox* shape_ = nullptr;
  QPushButton* mask_ = nullptr;
  QComboBox* gap_ = nullptr;
  QPushButton* gapColor_ = nullptr;
  QComboBox* crop_ = nullptr;
  QLabel* preview_ = nullptr;
  // The first library photo, small, for the preview.
  std::string photoPath_;
  TBitmap32 photo_;
};

// Makes `masking` the next project's choice, remembers it (a user's mask by
// the path it was read from, `maskPath`) and shows it in every panel.
void SetTileShapeChoice(Session& session, const TileMasking& masking, const QString& maskPath = QString());
// At start-up: the choice remembered in the user's settings. A mask picture
// that can no longer be read gives rectangles.
void LoadTileShapeChoice(Session& session);

}  // namespace velmora::ui
