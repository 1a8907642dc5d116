#include "engine/EngineSnapshot.h"

namespace velmora {

void EngineSnapshot::Capture(const Engine& engine) {
  project_ = engine.Project;
  main_.Assign(engine.MainBitmap);
  grid_ = engine.GridBitmap;
  details_ = engine.Details;
  matching_ = engine.Matching;
  library_ = engine.Library;
  map_ = engine.Map;
  drawn_ = engine.Drawn;
  mosaic_.Assign(engine.MosaicBitmap);
  blocks_ = engine.Blocks;
  masks_ = engine.Masks;
  crop_ = engine.CropMode;
  mosaicState_ = engine.MosaicState;
  originX_ = engine.ViewOriginX;
  originY_ = engine.ViewOriginY;
  viewRect_ = engine.ViewRect;
  captured_ = true;
}

void EngineSnapshot::SetProject(const tmosaicproject& project, const TBitmap32& mainPicture) {
  project_ = project;
  main_.Assign(mainPicture);
}

void EngineSnapshot::SetLook(const TileMasking& masks, CropBy crop) {
  masks_ = masks;
  crop_ = crop;
}

void EngineSnapshot::Restore(Engine& engine) {
  if (!captured_) return;
  engine.Project = project_;
  engine.MainBitmap.TakePixels(main_);
  engine.GridBitmap = std::move(grid_);
  engine.Details = std::move(details_);
  engine.Matching = matching_;
  engine.Library = std::move(library_);
  engine.Map = std::move(map_);
  engine.Drawn = std::move(drawn_);
  engine.MosaicBitmap.TakePixels(mosaic_);
  engine.Blocks = std::move(blocks_);
  engine.Masks = std::move(masks_);
  engine.CropMode = crop_;
  engine.MosaicState = mosaicState_;
  engine.ViewOriginX = originX_;
  engine.ViewOriginY = originY_;
  engine.ViewRect = viewRect_;
  captured_ = false;
}

}  // namespace velmora
