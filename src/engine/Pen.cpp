// The free mosaic pen: the base picture (the main picture scaled to the
// mosaic) and the stroke that paints the best-matching library picture over
// a rectangle. The opacities and the filter come from OptionSet, so a change
// in the options shows on the next stroke without a new project.
#include <algorithm>
#include <span>
#include <vector>

#include "engine/CellLayout.h"
#include "engine/Engine.h"
#include "engine/PenLog.h"
#include "imaging/PictureOps.h"

namespace velmora {

Status Engine::MakePenBasePicture() {
  JobListener& job = Listener();
  VELMORA_TRY(MosaicBitmap.SetSize(Project.FinalWidth, Project.FinalHeight));
  // Opaque black under the drawing, so that no stale pixels survive a main
  // picture that draws nothing.
  MosaicBitmap.Fill(Color32(0, 0, 0));
  MainBitmap.ResetAlpha(255);
  MainBitmap.DrawMode = dmBlend;
  MainBitmap.CombineMode = cmBlend;
  MainBitmap.StretchFilter = sfSpline;
  (void)MainBitmap.DrawTo(MosaicBitmap, MosaicBitmap.BoundsRect(), MainBitmap.BoundsRect());
  MosaicState = 2;
  job.SetProgress(0);
  job.SetJobText("Current Job : Free Pen Mosaic Ready");
  return Status::Ok();
}

Status Engine::PenStroke(int left, int top, int right, int bottom, PenStrokeEntry* record) {
  PenStrokeEntry stroke{
      left, top, right, bottom, -1, OptionSet.AlphaMain, OptionSet.AlphaPen, OptionSet.ResampleKernel};
  const Status painted = PaintPenStroke(stroke, true);
  if (record) *record = stroke;
  return painted;
}

Status Engine::ReplayPenStrokes(std::span<const PenStrokeEntry> strokes,
                                const std::function<Status(size_t painted)>& between) {
  JobListener& job = Listener();
  cancelled_ = false;
  job.SetJobText("Current Job : Painting Pen Strokes");
  job.SetProgress(0);
  int shown = 0;
  for (size_t i = 0; i < strokes.size(); ++i) {
    if (between) VELMORA_TRY(between(i));
    PenStrokeEntry copy = strokes[i];
    VELMORA_TRY(PaintPenStroke(copy, false));
    // A stroke over a whole poster takes tens of milliseconds: the window
    // is let run and asked about Cancel after every one.
    const int percent = static_cast<int>((i + 1) * 100 / strokes.size());
    if (percent != shown) job.SetProgress(shown = percent);
    job.ProcessEvents();
    if (CancelPolled()) return CancelledJob();
  }
  if (between) VELMORA_TRY(between(strokes.size()));
  job.SetProgress(0);
  return Status::Ok();
}

Status Engine::PaintPenStroke(PenStrokeEntry& stroke, bool choose) {
  if (MosaicState != 2) return Status::Ok();
  const int left = stroke.Left, top = stroke.Top, right = stroke.Right, bottom = stroke.Bottom;
  const int mw = MainBitmap.Width();
  const int mh = MainBitmap.Height();
  const TRect src = PenSourceRect(left, top, right, bottom, mw, mh, Project.FinalWidth, Project.FinalHeight);

  // The area bitmap is one pixel larger each way than the rectangle it
  // samples. A stroke thinner than one main-picture pixel samples the pixel
  // under it rather than nothing.
  TBitmap32 area;
  VELMORA_TRY(area.SetSize(std::max(1, src.Width() + 1), std::max(1, src.Height() + 1)));
  TRect sample = src;
  if (sample.Right <= sample.Left) sample.Right = sample.Left + 1;
  if (sample.Bottom <= sample.Top) sample.Bottom = sample.Top + 1;
  sample = Intersect(sample, MainBitmap.BoundsRect());
  area.Fill(Color32(0, 0, 0));
  MainBitmap.DrawMode = dmBlend;
  MainBitmap.CombineMode = cmBlend;
  MainBitmap.StretchFilter = sfSpline;
  MainBitmap.ResetAlpha(255);
  if (!sample.IsEmpty()) (void)MainBitmap.DrawTo(area, area.BoundsRect(), sample);

  if (choose) stroke.Picture = ChoosePicture(0, 0, ComputeColorSignature(area), 2);
  const int k = stroke.Picture;
  // A replayed stroke's use was counted when it was first painted, and was
  // kept with the library table.
  if (k >= 0 && choose) ++Library[k].UseCount;

  TBitmap32 picture;
  if (Project.RenderMode == kRenderSelf) {
    picture.Assign(MainBitmap);
  } else {
    // No picture could be chosen (the library has become empty): nothing to paint.
    if (k < 0 || k >= PicList.Count()) return Status::Ok();
    VELMORA_TRY(LoadPicture(picture, PicList[k], DecodeHints{}));
  }
  if (Project.CropCell) CropToAspect(picture, picture, area.Width(), area.Height());
  if (Project.MonoCell) ToGrey(picture, picture);
  // No tint and no mirror for a pen picture; this only makes it opaque.
  AdjustChannels(picture, CellBuffer, 0, 0, 0);

  MainBitmap.DrawMode = dmBlend;
  MainBitmap.CombineMode = cmBlend;
  MainBitmap.StretchFilter = sfSpline;
  MainBitmap.ResetAlpha(static_cast<uint8_t>(ClampByte(stroke.AlphaMain)));
  if (!sample.IsEmpty() && !CellBuffer.Empty() && ClampByte(stroke.AlphaMain) != 0)
    (void)MainBitmap.DrawTo(CellBuffer, CellBuffer.BoundsRect(), sample);

  CellBuffer.DrawMode = dmBlend;
  CellBuffer.CombineMode = cmBlend;
  CellBuffer.StretchFilter = StretchFilterOf(stroke.ResampleKernel);
  CellBuffer.ResetAlpha(static_cast<uint8_t>(ClampByte(stroke.AlphaPen)));
  // A shaped mosaic's pen paints its pictures in the tiles' shape; what lies
  // outside the shape stays as it was.
  if (Masks.On() && !CellBuffer.Empty()) {
    const std::vector<uint8_t> cover =
        ShapeCoverage(Masks.Shape, CellBuffer.Width(), CellBuffer.Height(), &Masks.Custom);
    std::span<TColor32> px = CellBuffer.Pixels();
    for (size_t i = 0; i < px.size() && i < cover.size(); ++i)
      px[i] = (px[i] & 0x00FFFFFFu) | (TColor32((AlphaOf(px[i]) * cover[i] + 127) / 255) << 24);
  }
  (void)CellBuffer.DrawTo(MosaicBitmap, TRect{left, top, right, bottom}, CellBuffer.BoundsRect());
  return Status::Ok();
}

}  // namespace velmora
