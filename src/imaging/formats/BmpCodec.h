// Windows bitmaps: the reader behind the bmp, rle and dib extensions, and the
// 32-bit writer used for saved pictures and for the main picture inside
// project files.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/Bitmap32.h"
#include "imaging/PictureReader.h"
#include "imaging/Status.h"

namespace velmora {

// Decodes a whole Windows bitmap file (file header included). A damaged file
// fails with "Bitmap image is not valid".
Status DecodeBmp(std::span<const uint8_t> bytes, const DecodeHints& hints, DecodedPicture& out);

// The file bytes of an uncompressed 32-bit bottom-up bitmap with the 14-byte
// file header and the 40-byte info header (54 bytes before the pixels).
std::vector<uint8_t> EncodeBmp32(const TBitmap32& bitmap);

// Writes EncodeBmp32 to `path` through a temporary file beside it, so a failed
// write leaves an existing file as it was.
Status WriteBmpFile(const TBitmap32& bitmap, const std::string& path);

}  // namespace velmora
