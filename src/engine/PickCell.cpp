#include "engine/PickCell.h"

#include <algorithm>

#include "imaging/PictureOps.h"

namespace velmora {
namespace {

ChannelDeltas MeanDifferences(const ColorSignature& picture, const ColorSignature& cell) {
  const SigColor& p = picture.Mean();
  const SigColor& c = cell.Mean();
  return ChannelDeltas{p.Red - c.Red, p.Green - c.Green, p.Blue - c.Blue};
}

}  // namespace

std::string PickCellPositionText(int column, int row) {
  return "Position : X " + std::to_string(column) + "  Y " + std::to_string(row);
}

CellPos ClampToGrid(const tmosaicproject& project, int column, int row) {
  // Clamped from above first, so an empty grid still gives (0, 0); never
  // beyond the cell map, whatever a damaged project says.
  return CellPos{std::max(0, std::min({column, project.CellsAcross - 1, kMapSide - 1})),
                 std::max(0, std::min({row, project.CellsDown - 1, kMapSide - 1}))};
}

ChannelDeltas PickPreviewOffsets(const ColorSignature& picture, const ColorSignature& cell, int slider) {
  const ChannelDeltas d = MeanDifferences(picture, cell);
  // C++ division truncates toward zero, as the render's tint does.
  return ChannelDeltas{-d.Red * slider / kPickSliderMax, -d.Green * slider / kPickSliderMax,
                       -d.Blue * slider / kPickSliderMax};
}

ChannelDeltas PickCellDeltas(const ColorSignature& picture, const ColorSignature& cell, int slider,
                             int enhance) {
  const ChannelDeltas d = MeanDifferences(picture, cell);
  if (enhance == 0) return d;
  // 64-bit: a damaged project may hold any enhance level and the slider is
  // the dialog's, but a difference (at most 255) x slider x 5 never comes
  // near the limit; the division is what needs care.
  const auto scale = [&](int32_t v) { return static_cast<int32_t>(int64_t(v) * slider * 5 / enhance); };
  return ChannelDeltas{scale(d.Red), scale(d.Green), scale(d.Blue)};
}

void PreparePickPreview(const Bitmap24& loaded, Bitmap24& out, const tmosaicproject& project,
                        const ChannelDeltas& offsets, bool hflip, bool vflip) {
  if (project.CropCell)
    CropToAspect(loaded, out, project.CellWidth, project.CellHeight);
  else
    FlipPicture(loaded, out, false, false);  // a plain copy
  if (project.MonoCell) ToGrey(out, out);
  AdjustChannels(out, out, offsets.Red, offsets.Green, offsets.Blue);
  FlipPicture(out, out, hflip, vflip);
}

Status ApplyPickedPicture(Engine& engine, const PickChoice& choice, const ColorSignature& cellSig) {
  const tmosaicproject& p = engine.Project;
  if (engine.MosaicState != 2 || p.RenderMode != kRenderStandard)
    return Status::Error("There is no mosaic whose cells can be changed by hand.");
  if (choice.Column < 0 || choice.Row < 0 || choice.Column >= std::min(p.CellsAcross, kMapSide) ||
      choice.Row >= std::min(p.CellsDown, kMapSide))
    return Status::Error(Format("Cell %d, %d lies outside the mosaic's %d x %d cells.", choice.Column,
                                choice.Row, p.CellsAcross, p.CellsDown));
  if (choice.PicIndex < 0 || choice.PicIndex >= engine.PicList.Count())
    return Status::Error(Format("Library picture %d does not exist; the image list holds %d pictures.",
                                choice.PicIndex, engine.PicList.Count()));
  const ChannelDeltas d =
      PickCellDeltas(engine.Library[choice.PicIndex].Signature, cellSig, choice.Slider, p.ColorEnhance);
  // A cell of a block takes the whole block with it.
  const TileBlock tile = engine.TileAt(choice.Column, choice.Row);
  CellMapEntry& e = engine.Map.At(tile.X, tile.Y);
  e.PicIndex = choice.PicIndex;
  e.DeltaRed = d.Red;
  e.DeltaGreen = d.Green;
  e.DeltaBlue = d.Blue;
  e.HFlip = choice.HFlip;
  e.VFlip = choice.VFlip;
  e.Assigned = true;
  engine.SpreadTileEntry(tile);
  return engine.RenderTile(tile);
}

}  // namespace velmora
