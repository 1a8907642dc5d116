// Tiles of any shape, previewed without a window: the Options window's small
// picture of a few tiles and their gaps, and the shape laid over the pattern
// preview's cells.
#pragma once

#include "engine/CellMask.h"
#include "imaging/Bitmap24.h"
#include "imaging/Bitmap32.h"

namespace velmora {

// 2 x 2 tiles of `side` pixels each showing `photo` (cropped to a square
// around its centre; a grey ramp when empty), masked by the shape, over the
// gap: its colour, or `main` (a grey ramp when empty) shrunk to the preview
// and blurred as the render blurs it. Rectangles show the photos edge to edge.
TBitmap32 TileShapePreview(const TileMasking& masking, const TBitmap32& photo, const TBitmap32& main, int side);

// Lays the shape over a pattern of one colour per `zoom` x `zoom` square:
// each square keeps its colour where the shape covers it, and shows the gap
// elsewhere (the gap colour, or for the main picture the mean of the square
// and its four neighbours, which is what a blur leaves at this scale).
void MaskPattern(const TileMasking& masking, int zoom, Bitmap24& pattern);

}  // namespace velmora
