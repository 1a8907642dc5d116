// Writing a picture a band of rows at a time, top band first, straight into
// its file: what lets a poster larger than memory be saved. JPEG (up to
// 65,535 pixels a side), 32-bit BMP (up to 4 GiB) and BigTIFF (RGB, striped,
// deflate-compressed) give the same file, or for TIFF the same pixels, as
// writing the whole picture at once. The file is written beside its name and
// renamed into place by Finish, so a failed or abandoned write keeps an
// existing file.
#pragma once

#include <memory>
#include <string>

#include "imaging/Bitmap32.h"
#include "imaging/FileIO.h"
#include "imaging/Status.h"

namespace velmora {

class BandWriter {
public:
  virtual ~BandWriter() = default;
  // The next `rows` rows of the picture, from the top of `band` (whose width
  // is the picture's).
  virtual Status WriteRows(const TBitmap32& band, int rows) = 0;
  // After the last row: completes the file but leaves it beside its name,
  // to be put in place by File().Commit() or together with other files by
  // CommitAll.
  virtual Status Complete() = 0;
  // Complete, then puts the file in place.
  Status Finish() {
    VELMORA_TRY(Complete());
    return file_.Commit();
  }
  PendingFile& File() { return file_; }

protected:
  PendingFile file_;
};

// A writer for `path` chosen by its extension (.jpg/.jpeg, .bmp, .tif/.tiff,
// .png);
// fails for another extension or a size the format cannot hold.
Result<std::unique_ptr<BandWriter>> OpenBandWriter(const std::string& path, int width, int height,
                                                   int jpegQuality, bool jpegProgressive);

// PNG, RGB 8 bits (PngBandWriter.cpp).
Result<std::unique_ptr<BandWriter>> OpenPngBandWriter(const std::string& path, int width, int height);

}  // namespace velmora
