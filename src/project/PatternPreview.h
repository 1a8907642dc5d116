// The pattern preview without its window: the main picture reduced to one
// colour per cell (centre-cropped to the mosaic's aspect first when the
// project crops the main picture) and drawn enlarged, each cell a square of
// 4 or 8 pixels, optionally with a black line along each square's top and
// left edges. Always a plain grid: the stitch offsets are not drawn. Tiles
// of a shape show it on every square (TileShapePreview.h).
#pragma once

#include "engine/CellMask.h"
#include "engine/ProjectRecord.h"
#include "imaging/Bitmap24.h"
#include "imaging/Bitmap32.h"
#include "imaging/Status.h"

namespace velmora {

// `zoom` is 4 or 8. Fails (and leaves `out` as it was) without a main
// picture or with a grid the cell tables cannot hold.
Status RenderPatternPreview(const tmosaicproject& project, const TBitmap32& mainPicture, int zoom,
                            bool edgeLine, Bitmap24& out, const TileMasking* masking = nullptr);

}  // namespace velmora
