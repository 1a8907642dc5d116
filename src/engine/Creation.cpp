// The creation sequences: "Create Photo Mosaic", "Mosaic Pen Mode" and the
// rebuild after a stored project has been read back. The caller has already
// set Project (sizes, derived sizes, options taken over from OptionSet) and
// MainBitmap.
#include "engine/Engine.h"

namespace velmora {
namespace {

constexpr const char* kEmptyLibrary = "You do not have enough images in your Image Lib, please load more";

}  // namespace

Status Engine::CheckCanCreate() const {
  if (Project.RenderMode != kRenderSelf && PicList.Empty()) return Status::Error(kEmptyLibrary);
  if (!GridFitsTables()) return GridError();
  if (Sizing.On() && Project.StitchMode != kStitchLoom)
    return Status::Error(
        "Tile sizes by detail work with the plain grid only: choose the plain layout, or single tiles, for the "
        "brick and peyote layouts.");
  if (Sizing.On() && Project.RenderMode == kRenderSelf)
    return Status::Error("Tile sizes by detail work with library photos only, not with a self-mosaic.");
  if (Aspects.On && Project.StitchMode != kStitchLoom)
    return Status::Error(
        "Keeping each photo's shape works with the plain grid only: choose the plain layout, or turn it off, for "
        "the brick and peyote layouts.");
  if (Aspects.On && Project.RenderMode == kRenderSelf)
    return Status::Error("Keeping each photo's shape works with library photos only, not with a self-mosaic.");
  return Status::Ok();
}

Status Engine::CreateMosaic() {
  VELMORA_TRY(CheckCanCreate());
  MakeGrid();
  if (cancelled_) return CancelledJob();
  VELMORA_TRY(PrepareLibrary());
  AssignCells();
  if (cancelled_) return CancelledJob();
  VELMORA_TRY(RenderMosaic());
  ViewOriginX = 0;
  ViewOriginY = 0;
  return Status::Ok();
}

Status Engine::StartPenMode() {
  VELMORA_TRY(CheckCanCreate());
  MakeGrid();
  if (cancelled_) return CancelledJob();
  VELMORA_TRY(PrepareLibrary());
  AssignCells();
  if (cancelled_) return CancelledJob();
  VELMORA_TRY(MakePenBasePicture());
  ViewOriginX = 0;
  ViewOriginY = 0;
  return Status::Ok();
}

Status Engine::ReopenProject() {
  if (!GridFitsTables()) return GridError();
  MakeGrid();
  if (cancelled_) return CancelledJob();
  RestoreDetails();
  VELMORA_TRY(RenderMosaic());
  ViewOriginX = 0;
  ViewOriginY = 0;
  return Status::Ok();
}

Status Engine::CreateMosaicInBands(int bandRows, const BandSink& sink) {
  VELMORA_TRY(CheckCanCreate());
  MakeGrid();
  if (cancelled_) return CancelledJob();
  VELMORA_TRY(PrepareLibrary());
  AssignCells();
  if (cancelled_) return CancelledJob();
  return RenderMosaicBands(bandRows, sink);
}

Status Engine::ReopenProjectInBands(int bandRows, const BandSink& sink) {
  if (!GridFitsTables()) return GridError();
  MakeGrid();
  if (cancelled_) return CancelledJob();
  RestoreDetails();
  return RenderMosaicBands(bandRows, sink);
}

}  // namespace velmora
