#include "library/CellPictures.h"

#include <algorithm>
#include <cstdint>

#include "imaging/PictureOps.h"

namespace velmora {
namespace {

// A scaled decode of w x h is good enough when the part the cell keeps of it
// is at least needW x needH.
DecodeHints HintsFor(int cellW, int cellH, bool cropCell, int needW, int needH) {
  DecodeHints hints;
  if (cellW <= 0 || cellH <= 0) return hints;  // no sensible aspect: decode at full size
  hints.acceptScaled = [=](int w, int h) {
    if (!cropCell) return w >= needW && h >= needH;
    const TRect kept = CropRegion(w, h, cellW, cellH);
    return kept.Width() >= needW && kept.Height() >= needH;
  };
  return hints;
}

}  // namespace

DecodeHints SummaryDecodeHints(int cellW, int cellH, bool cropCell) {
  return HintsFor(cellW, cellH, cropCell, kSummaryDecodeSide, kSummaryDecodeSide);
}

DecodeHints RenderDecodeHints(int cellW, int cellH, bool cropCell) {
  return HintsFor(cellW, cellH, cropCell, 2 * cellW, 2 * cellH);
}

DecodeHints SubjectDecodeHints(int cellW, int cellH) {
  DecodeHints hints = SummaryDecodeHints(cellW, cellH, true);
  if (hints.acceptScaled)
    hints.acceptScaled = [inner = hints.acceptScaled](int w, int h) {
      return inner(w, h) && std::max(w, h) >= kFaceSearchSide;
    };
  return hints;
}

DecodeHints SharedDecodeHints(const DecodeHints& summary, const DecodeHints& render, bool* same) {
  *same = static_cast<bool>(summary.acceptScaled) == static_cast<bool>(render.acceptScaled);
  DecodeHints hints = summary;
  if (summary.acceptScaled && render.acceptScaled)
    hints.acceptScaled = [s = summary.acceptScaled, r = render.acceptScaled, same](int w, int h) {
      const bool accept = s(w, h);
      if (accept != r(w, h)) *same = false;
      return accept;
    };
  return hints;
}

void CropCellPicture(const TBitmap32& source, TBitmap32& target, int cellW, int cellH, const SubjectBox* subject) {
  if (subject == nullptr || source.Empty() || cellW <= 0 || cellH <= 0) {
    CropToAspect(source, target, cellW, cellH);
    return;
  }
  CropToRegion(source, target, SubjectRegion(source.Width(), source.Height(), cellW, cellH, *subject));
}

ColorSignature SummarizeCellPicture(TBitmap32& picture, int cellW, int cellH, bool cropCell, bool monoCell,
                                    const SubjectBox* subject) {
  if (cropCell) CropCellPicture(picture, picture, cellW, cellH, subject);
  if (monoCell) ToGrey(picture, picture);
  return ComputeColorSignature(picture);
}

bool WorkingSize(int w, int h, int cellW, int cellH, int* outW, int* outH) {
  const int64_t needW = 2 * int64_t(cellW);
  const int64_t needH = 2 * int64_t(cellH);
  if (needW <= 0 || needH <= 0 || w <= needW || h <= needH) return false;
  // Scale by the larger of needW / w and needH / h, rounding the other side
  // up, so that neither side drops below what the cell needs.
  if (needW * h >= needH * w) {
    *outW = static_cast<int>(needW);
    *outH = static_cast<int>((int64_t(h) * needW + w - 1) / w);
  } else {
    *outH = static_cast<int>(needH);
    *outW = static_cast<int>((int64_t(w) * needH + h - 1) / h);
  }
  return true;
}

void PrepareForRender(const TBitmap32& source, TBitmap32& out, int cellW, int cellH, bool cropCell,
                      bool monoCell, const SubjectBox* subject) {
  const TBitmap32* from = &source;
  if (cropCell) {
    CropCellPicture(source, out, cellW, cellH, subject);
    from = &out;
  }
  int w = 0;
  int h = 0;
  TBitmap32 reduced;
  if (WorkingSize(from->Width(), from->Height(), cellW, cellH, &w, &h) && reduced.SetSize(w, h).ok()) {
    AreaStretch(*from, from->BoundsRect(), reduced);
    out.TakePixels(reduced);
  } else if (from != &out) {
    out.Assign(source);
  }
  // Grey after the reduction: the same picture for the cell, on fewer pixels.
  if (monoCell) ToGrey(out, out);
}

}  // namespace velmora
