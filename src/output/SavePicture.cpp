// The picture save: the name's extension rule and the choice of writer.
#include "output/SavePicture.h"

#include "imaging/formats/BmpCodec.h"
#include "output/FreeSpace.h"
#include "output/BandWriter.h"

namespace velmora {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The last path component's part from its last ".", dot included, in lower
// case; empty without a dot. A dot in a folder name does not count.
std::string LowerExtension(std::string_view path) {
  const size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return std::string();
  std::string ext(name.substr(dot));
  for (char& c : ext) c = LowerAscii(c);
  return ext;
}

}  // namespace

std::string PictureFileName(std::string_view path, int kind) {
  const char* wanted = kind == kPictureBmp    ? ".bmp"
                       : kind == kPictureJpeg ? ".jpg"
                       : kind == kPicturePng  ? ".png"
                       : kind == kPictureTiff ? ".tif"
                                              : nullptr;
  std::string name(path);
  if (wanted && LowerExtension(path) != wanted) name += wanted;
  return name;
}

Result<std::string> SavePictureFile(const TBitmap32& bitmap, const std::string& path, int kind, int quality,
                                    bool progressive) {
  // Reported rather than ignored, so a caller never announces a file that was
  // not written.
  if (kind != kPictureBmp && kind != kPictureJpeg && kind != kPicturePng && kind != kPictureTiff)
    return Status::Error(Format("Unknown picture file kind %d: nothing was saved.", kind));
  std::string name = PictureFileName(path, kind);
  if (kind == kPictureBmp) {
    if (const Result<uint32_t> bytes = Bmp32FileBytes(bitmap.Width(), bitmap.Height()); bytes)
      VELMORA_TRY(CheckFreeSpace(name, *bytes, SizeBound::Exact));
  }
  if (kind == kPicturePng || kind == kPictureTiff) {
    Result<std::unique_ptr<BandWriter>> writer =
        OpenBandWriter(name, bitmap.Width(), bitmap.Height(), quality, progressive);
    if (!writer.ok()) return writer.status();
    // The writers take rows from the top of what they are given, and stream
    // them into the file; the bitmap is one band.
    VELMORA_TRY((*writer)->WriteRows(bitmap, bitmap.Height()));
    VELMORA_TRY((*writer)->Finish());
    return name;
  }
  const Status status =
      kind == kPictureBmp ? WriteBmpFile(bitmap, name) : WriteJpegFile(bitmap, name, quality, progressive);
  if (!status.ok()) return status;
  return name;
}

}  // namespace velmora
