// Library pictures as the engine uses them: the decode hints that let JPEGs
// arrive already reduced by DCT scaling, the summary of Prepare library, and
// the working-size picture the renderer tints, mirrors and overlays.
//
// The hints never ask for less than twice what a step needs after the crop to
// the cell's aspect: 64 x 64 for the 32 x 32 summary, 2cw x 2ch for a cell.
// That keeps the summary within a few levels of one taken from the full
// decode, and leaves the cell's final resampling enough pixels to work on.
#pragma once

#include "imaging/Bitmap32.h"
#include "imaging/ColorSignature.h"
#include "imaging/PictureReader.h"
#include "library/SubjectCrop.h"

namespace velmora {

// The picture side the summary reduction wants at least twice of.
constexpr int kSummaryDecodeSide = 64;

DecodeHints SummaryDecodeHints(int cellW, int cellH, bool cropCell);
DecodeHints RenderDecodeHints(int cellW, int cellH, bool cropCell);
// SummaryDecodeHints for a photo whose crop follows its subject: the faces
// and the centre of attention are looked for on the same decode, which
// therefore is at least kFaceSearchSide on its longest side.
DecodeHints SubjectDecodeHints(int cellW, int cellH);

// Decodes as `summary` does, and clears `*same` unless `render` answers every
// question the decoder asks of the sizes as `summary` does: a decoder's
// choices depend on nothing else, so the picture is then, pixel for pixel,
// the one a decode with `render` gives, and one decode serves both.
DecodeHints SharedDecodeHints(const DecodeHints& summary, const DecodeHints& render, bool* same);

// The signature of a decoded library picture: cropped to the cell's aspect
// when `cropCell` (over `subject` when given, else in the middle), turned
// grey when `monoCell`. Works on `picture` in place.
ColorSignature SummarizeCellPicture(TBitmap32& picture, int cellW, int cellH, bool cropCell, bool monoCell,
                                    const SubjectBox* subject = nullptr);

// Crops `source` into `target` to the cell's aspect: over `subject`
// (SubjectRegion) when given, else in the middle, exactly as CropToAspect.
void CropCellPicture(const TBitmap32& source, TBitmap32& target, int cellW, int cellH, const SubjectBox* subject);

// The size a prepared w x h picture is reduced to before its cells are drawn:
// the smallest size of the same aspect that is at least 2cw x 2ch. False when
// the picture is not larger than that in both directions (it stays as it is).
bool WorkingSize(int w, int h, int cellW, int cellH, int* outW, int* outH);

// Crop (when `cropCell`), reduction to the working size, grey (when
// `monoCell`), from `source` into `out` (which may be the same bitmap).
void PrepareForRender(const TBitmap32& source, TBitmap32& out, int cellW, int cellH, bool cropCell,
                      bool monoCell, const SubjectBox* subject = nullptr);

}  // namespace velmora
