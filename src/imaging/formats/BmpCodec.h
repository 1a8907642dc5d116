// Windows bitmaps: the reader behind the bmp, rle and dib extensions, and the
// 32-bit writer used for saved pictures and for the main picture inside
// project files.
#pragma once

#include <cstdint>
#include <cstdio>
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

// Bytes before the pixels in every file the writer makes: the 14-byte file
// header and the 40-byte info header, no colour table.
constexpr uint32_t kBmp32HeaderBytes = 54;

// The length of the file the writer makes for a width x height bitmap
// (54 + 4 x width x height), or an error when the file header's 32-bit size
// field cannot hold it. An empty bitmap (either side 0) makes a 54-byte file.
Result<uint32_t> Bmp32FileBytes(int width, int height);

// The file bytes of an uncompressed 32-bit bottom-up bitmap with the 14-byte
// file header and the 40-byte info header (54 bytes before the pixels).
// Returns an empty vector when the bitmap is too large for the format or
// memory runs out; TryEncodeBmp32 says which.
std::vector<uint8_t> EncodeBmp32(const TBitmap32& bitmap);
Result<std::vector<uint8_t>> TryEncodeBmp32(const TBitmap32& bitmap);

// Streams the same bytes as EncodeBmp32 into an open file, a row at a time, so
// a large picture is never held twice in memory. `path` names the file in
// messages.
Status WriteBmp32(const TBitmap32& bitmap, std::FILE* file, const std::string& path);

// Writes EncodeBmp32 to `path` through a temporary file beside it, so a failed
// write leaves an existing file as it was.
Status WriteBmpFile(const TBitmap32& bitmap, const std::string& path);

}  // namespace velmora
