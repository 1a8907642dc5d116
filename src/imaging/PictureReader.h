// The picture reader: one entry point for every picture the program reads. The
// decoder is chosen by the file name's extension alone (compared without case),
// from one table that also gives the open dialogs their filter strings.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/Bitmap32.h"
#include "imaging/FileIO.h"
#include "imaging/Status.h"

namespace velmora {

struct DecodeHints {
  // When set, a decoder that can deliver a reduced picture cheaply (JPEG's DCT
  // scaling) picks the smallest scale whose size (w, h) this accepts; the full
  // size is always acceptable. Unset: full size.
  std::function<bool(int w, int h)> acceptScaled;
  // The bytes of the file beside the one being decoded that has the same name
  // with another extension (given without the dot, in lower case; the upper
  // case spelling is tried too), for formats that keep part of a picture in a
  // second file. Nothing when there is no such file or it is larger than
  // maxBytes. ReadPicture sets this; unset, no companion file is looked for.
  std::function<std::optional<std::vector<uint8_t>>(std::string_view extension, size_t maxBytes)>
      readCompanion;
  // Off: decoders that would start another program (PostScript through
  // Ghostscript) use only what they can read themselves.
  bool allowExternalPrograms = true;
  // Turn JPEG and TIFF pictures upright by their orientation tag (the sizes
  // offered to acceptScaled are then the upright ones). Off: the pixels as
  // stored, as the program read them before it knew the tag.
  bool applyOrientation = true;
  // On: a file whose first bytes are those of another photo format than its
  // extension names (JPEG, PNG, BMP, TIFF, WebP, HEIF, JPEG XL) is decoded as
  // what it is. Phones and their transfer tools write JPEG files named .heic.
  // Off, as for the main picture: the extension alone decides.
  bool readByContent = false;
  // On, with acceptScaled set: a photo that carries a small copy made by its
  // camera (a JPEG's EXIF thumbnail, a HEIF file's thumbnail item) is
  // decoded from that copy when acceptScaled takes its size and it shows
  // the same picture (the photo's shape once black bars are trimmed, turned
  // upright as the photo is). Library photos only: a few kilobytes decoded
  // instead of millions of pixels.
  bool usePreviews = false;
};

struct DecodedPicture {
  TBitmap32 bitmap;
  // True for a picture with alpha of its own: its alpha is kept. These are a
  // Windows bitmap of 32 bits per pixel, icons, the Truevision, ZSoft, SGI and
  // Photoshop pictures that store an alpha channel, an Alias/Wavefront picture
  // with a matte and a flattened Paint Shop Pro picture that is transparent
  // somewhere. Every other picture has alpha 255.
  bool keepsAlpha = false;
  // True when the decoder itself wrote alpha 255 into every pixel, so that
  // nobody needs to set it again.
  bool alphaWritten = false;
  // The size of the picture as stored, upright when it was turned (the bitmap
  // is smaller after a scaled decode).
  int storedWidth = 0;
  int storedHeight = 0;
  // The orientation tag the bitmap was turned upright by (1..8; 1 when the
  // file has none or hints.applyOrientation was off).
  int orientation = 1;
  // The bitmap is the photo's embedded preview (hints.usePreviews).
  bool fromPreview = false;
  // The format's name (as in messages) when the content was read as another
  // format than the extension names (hints.readByContent); empty otherwise.
  std::string_view contentFormat;
  // Not empty when the picture decoded only partly (the file ends early, or
  // corrupt data was skipped): what the decoder said, in words. The bitmap
  // holds what could be decoded.
  std::string warning;
};

using DecodeFunction = Status (*)(std::span<const uint8_t> bytes, const DecodeHints& hints,
                                  DecodedPicture& out);

struct PictureFormat {
  std::vector<std::string_view> extensions;  // lower case, without the dot
  std::string_view description;              // as the open dialogs show it
  std::string_view name;                     // the format's name in messages (%s)
  DecodeFunction decode;                     // nullptr: registered but not decodable yet
};

// The registered formats in the order the dialogs list them.
const std::vector<PictureFormat>& PictureFormats();
// The format registered for a file name's extension, or nullptr.
const PictureFormat* FindPictureFormat(std::string_view fileName);
// "All pictures (*.bmp *.rle ...)" followed by one entry per description, as
// Qt file-dialog filters.
std::vector<std::string> PictureDialogFilters();

// The extension of a file name: the part after the last dot of its last path
// component, without the dot; empty when there is none.
std::string ExtensionOf(std::string_view fileName);

// The photo format the first bytes of a file are recognised as, or nullptr.
const PictureFormat* SniffPictureFormat(std::span<const uint8_t> head);
// For a picture file whose content is another photo format than its extension
// says: a line naming the file and both formats. Empty when they agree, the
// content is not recognised, or the file cannot be read.
std::string ContentMismatchNote(const std::string& path);

// Reads and decodes the picture file at `path`. Every failure message starts
// with the path (or names it, for the file-open errors), on one line.
Result<DecodedPicture> ReadPicture(const std::string& path, const DecodeHints& hints = {});
// `status` unchanged when it is Ok or already names `path`, otherwise its
// message behind "path: ".
Status NameTheFile(const std::string& path, Status status);

// Decodes bytes as if they had been read from a file named `fileName`.
Result<DecodedPicture> DecodePicture(std::string_view fileName, std::span<const uint8_t> bytes,
                                     const DecodeHints& hints = {});

}  // namespace velmora
