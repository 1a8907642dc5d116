// The pick-cell dialog without its window: the label of the loaded cell, the
// preview of a library picture as the cell would show it, the colour deltas
// a hand-picked picture stores, and the apply itself (cell map entry, then
// the cell drawn again). The slider (0..20), not the project's enhance level,
// sets how far a hand-picked picture is tinted toward its cell.
#pragma once

#include <cstdint>
#include <string>

#include "engine/Engine.h"
#include "imaging/Bitmap24.h"
#include "imaging/ColorSignature.h"
#include "imaging/Status.h"

namespace velmora {

inline constexpr int kPickSliderMax = 20;

struct ChannelDeltas {
  int32_t Red = 0;
  int32_t Green = 0;
  int32_t Blue = 0;
  friend constexpr bool operator==(const ChannelDeltas&, const ChannelDeltas&) = default;
};

// "Position : X " + column + "  Y " + row (counted from 0).
std::string PickCellPositionText(int column, int row);
inline constexpr const char* kPickCellInitialPosition = "Position : X   Y ";

// The cell clamped into the project's grid (and the cell map).
CellPos ClampToGrid(const tmosaicproject& project, int column, int row);

// The offsets the preview shifts each channel by: -(picture mean - cell
// mean) x slider div 20, truncated toward zero.
ChannelDeltas PickPreviewOffsets(const ColorSignature& picture, const ColorSignature& cell, int slider);

// The deltas an apply stores: (picture mean - cell mean) x slider x 5 div
// enhance, so that the render's shift of -delta x enhance div 100 equals the
// preview's. At enhance 0 the render shifts nothing whatever is stored; the
// plain differences are stored then (as Edit I does) instead of dividing by
// zero.
ChannelDeltas PickCellDeltas(const ColorSignature& picture, const ColorSignature& cell, int slider,
                             int enhance);

// The loaded picture as the cell would show it before the main picture is
// blended in: cropped to the cell's aspect (CropCell), grey (MonoCell),
// shifted by `offsets`, mirrored; the same order as the cell render.
void PreparePickPreview(const Bitmap24& loaded, Bitmap24& out, const tmosaicproject& project,
                        const ChannelDeltas& offsets, bool hflip, bool vflip);

struct PickChoice {
  int Column = 0;
  int Row = 0;
  int PicIndex = 0;  // any library index, the first (0) included
  int Slider = 10;
  bool HFlip = false;
  bool VFlip = false;
};

// Writes the cell map entry of the chosen cell (of every cell of its block,
// when it lies in one) (picture, deltas against
// `cellSig`, the flips as chosen, assigned) and draws the cell again.
// Refused without changing anything when there is no mosaic to edit (no
// mosaic, self-mosaic render), the cell lies outside the grid or the index
// outside the library list. UseCount is not changed.
Status ApplyPickedPicture(Engine& engine, const PickChoice& choice, const ColorSignature& cellSig);

}  // namespace velmora
