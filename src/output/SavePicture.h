// Saving a picture (the mosaic, or a picture opened for viewing) as a 32-bit
// Windows bitmap or a JPEG file. The kind decides the format; the name gets
// the kind's extension unless it already ends in it.
#pragma once

#include <string>
#include <string_view>

#include "imaging/Bitmap32.h"
#include "imaging/Status.h"

namespace velmora {

inline constexpr int kPictureBmp = 1;
inline constexpr int kPictureJpeg = 2;
// Written in bands through the band writers (BandWriter.h).
inline constexpr int kPicturePng = 3;
inline constexpr int kPictureTiff = 4;
inline constexpr int kDefaultJpegQuality = 75;

// The name a picture of `kind` is written under: `path` itself when the part
// of its last path component from the last "." is ".bmp" (kind 1), ".jpg"
// (kind 2), ".png" (kind 3) or ".tif" (kind 4) in any case, otherwise `path` with that extension appended
// ("result.bmp" as JPEG gives "result.bmp.jpg", "pic." gives "pic..bmp").
std::string PictureFileName(std::string_view path, int kind);

// Writes the bitmap as `kind` under PictureFileName and returns that name. A
// BMP of an empty bitmap is a 0 x 0 picture; a JPEG of one fails with "No
// image to save". An unknown kind writes nothing and fails. The file is
// written through a temporary file, so a failed save keeps an existing file.
Result<std::string> SavePictureFile(const TBitmap32& bitmap, const std::string& path, int kind,
                                    int quality = kDefaultJpegQuality, bool progressive = false);

// Baseline (or progressive) JPEG, YCbCr with 4:2:0 chroma subsampling, at the
// given quality (1..100 on the encoder's scale). Encoder failures read, on one
// line, "<file>: Error <what> image: <encoder message> (JPEG library error
// number <code>)", with "initialising for" or "saving" as <what>.
Status WriteJpegFile(const TBitmap32& bitmap, const std::string& path, int quality, bool progressive);

}  // namespace velmora
