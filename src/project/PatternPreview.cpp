#include "project/PatternPreview.h"

#include "engine/Tables.h"
#include "imaging/PictureOps.h"
#include "project/TileShapePreview.h"

namespace velmora {

Status RenderPatternPreview(const tmosaicproject& project, const TBitmap32& mainPicture, int zoom,
                            bool edgeLine, Bitmap24& out, const TileMasking* masking) {
  if (mainPicture.Empty()) return Status::Error("There is no main picture to preview.");
  const int cols = project.CellsAcross;
  const int rows = project.CellsDown;
  // The preview is at most 800 x 8 = 6,400 pixels a side.
  if (cols < 1 || rows < 1 || cols > kMapSide || rows > kMapSide)
    return Status::Error(Format("A pattern of %d x %d cells cannot be previewed (1 to %d cells each way).",
                                cols, rows, kMapSide));
  if (zoom != 4 && zoom != 8)
    return Status::Error(Format("The pattern is drawn at 4x or 8x, not %dx.", zoom));
  Bitmap24 pattern;
  if (project.CropMainImage) {
    TBitmap32 cropped;
    CropToAspect(mainPicture, cropped, project.FinalWidth, project.FinalHeight);
    EnlargePixels(cropped, pattern, cols, edgeLine, zoom, rows);
  } else {
    EnlargePixels(mainPicture, pattern, cols, edgeLine, zoom, rows);
  }
  if (pattern.Width() != cols * zoom || pattern.Height() != rows * zoom)
    return Status::Error("Out of memory drawing the pattern preview.");
  if (masking) MaskPattern(*masking, zoom, pattern);
  out = std::move(pattern);
  return Status::Ok();
}

}  // namespace velmora
