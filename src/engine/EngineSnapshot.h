// The engine's state before a long job, to put back when the job is
// cancelled: the project record and its matching choices, the main picture,
// the grid and its detail tables, the library table, the cell map, the drawn
// flags, the mosaic, its blocks, tile shape and crop, and the view's origin. The library list is left alone: no
// job changes it.
#pragma once

#include "engine/Engine.h"

namespace velmora {

class EngineSnapshot {
public:
  void Capture(const Engine& engine);
  // Moves everything back (the snapshot is empty afterwards). Nothing
  // happens when nothing was captured.
  void Restore(Engine& engine);
  bool Empty() const { return !captured_; }
  // Replaces the project record and main picture to put back: those of the
  // mosaic shown, when the state was captured after a new project's settings
  // had already been taken.
  void SetProject(const tmosaicproject& project, const TBitmap32& mainPicture);
  // Likewise the tile shape and crop of the mosaic shown.
  void SetLook(const TileMasking& masks, CropBy crop);

private:
  bool captured_ = false;
  tmosaicproject project_;
  TBitmap32 main_;
  Bitmap24 grid_;
  DetailTables details_;
  MatchOptions matching_;
  LibraryTable library_;
  CellMap map_;
  DrawnFlags drawn_;
  TBitmap32 mosaic_;
  BlockMap blocks_;
  TileMasking masks_;
  CropBy crop_ = CropBy::Centre;
  int32_t mosaicState_ = 0;
  int32_t originX_ = 0;
  int32_t originY_ = 0;
  TRect viewRect_;
};

}  // namespace velmora
