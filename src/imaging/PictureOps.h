// Whole-picture operations shared by the engine and the windows: loading, the
// colour signature, the cell effects (tint, grey, mirror, crop to aspect),
// fitting and stretching, the level chart, signature swatches and the enlarged
// pixel view. Operations with a source and a target work in place when both
// are the same bitmap; otherwise the target first becomes a copy of the source.
#pragma once

#include <string>

#include "imaging/Bitmap24.h"
#include "imaging/Bitmap32.h"
#include "imaging/ColorSignature.h"
#include "imaging/PictureReader.h"
#include "imaging/Status.h"

namespace velmora {

constexpr int ClampByte(int v) { return v <= 0 ? 0 : (v >= 255 ? 255 : v); }

// Reads a picture file into the target. The TBitmap32 variant gives every pixel
// alpha 255 unless the file is a 32-bit Windows bitmap, whose fourth byte is
// kept. On failure the target is unchanged.
// `warning` (when given) receives "path: what the decoder said" for a
// picture that decoded only partly, and is cleared otherwise.
Status LoadPictureFile(Bitmap24& target, const std::string& path, const DecodeHints& hints = {},
                       std::string* warning = nullptr);
Status LoadPictureFile(TBitmap32& target, const std::string& path, const DecodeHints& hints = {},
                       std::string* warning = nullptr);

// Area-averaging stretch of the whole source (or of `sourceRect` of it) into
// the whole target, whose size is left as it is: when shrinking, each target
// pixel is the mean of the source area it covers, fractional coverage included.
void AreaStretch(const TBitmap32& source, const TRect& sourceRect, TBitmap32& target);
void AreaStretch(const Bitmap24& source, const TRect& sourceRect, Bitmap24& target);
void AreaStretch(const TBitmap32& source, const TRect& sourceRect, Bitmap24& target);

ColorSignature ComputeColorSignature(const Bitmap24& picture);
ColorSignature ComputeColorSignature(const TBitmap32& picture);

void AdjustChannels(const Bitmap24& source, Bitmap24& target, int dR, int dG, int dB);
void AdjustChannels(const TBitmap32& source, TBitmap32& target, int dR, int dG, int dB);

void ToGrey(const Bitmap24& source, Bitmap24& target);
void ToGrey(const TBitmap32& source, TBitmap32& target);

void FlipPicture(const Bitmap24& source, Bitmap24& target, bool horizontal, bool vertical);
void FlipPicture(const TBitmap32& source, TBitmap32& target, bool horizontal, bool vertical);
// AdjustChannels, then FlipPicture, in one pass over the pixels.
void AdjustAndFlip(const TBitmap32& source, TBitmap32& target, int dR, int dG, int dB, bool horizontal,
                   bool vertical);

void StretchToSize(const Bitmap24& source, Bitmap24& target, int width, int height);
void StretchToSize(const TBitmap32& source, TBitmap32& target, int width, int height);

void FitToRect(const Bitmap24& source, Bitmap24& target, const TRect& rect);
void FitToRect(const TBitmap32& source, Bitmap24& target, const TRect& rect);

// The region CropToAspect keeps of a width x height picture at aspect aw : ah.
TRect CropRegion(int width, int height, int aw, int ah);
void CropToAspect(const Bitmap24& source, Bitmap24& target, int aw, int ah);
void CropToAspect(const TBitmap32& source, TBitmap32& target, int aw, int ah);
// CropToAspect with the region given (clipped to the picture): the same
// one-pixel enlargement, so a region equal to CropRegion's gives the same
// picture.
void CropToRegion(const TBitmap32& source, TBitmap32& target, TRect region);

// Channel 0: red, green and blue counted; 1 red; 2 green; 3 blue.
void DrawLevelChart(const Bitmap24& picture, Bitmap24& target, int channel);
void DrawLevelChart(const Bitmap24& picture, Bitmap24& target, int channel, const TRect& rect);

// Kind 1: the mean colour; kind 4: the four quadrants (in grey when `grey`).
void DrawSignatureSwatch(Bitmap24& target, const ColorSignature& signature, int kind, bool grey);

void EnlargePixels(const TBitmap32& source, Bitmap24& target, int cellsAcross, bool grid, int factor,
                   int cellsDown);

}  // namespace velmora
