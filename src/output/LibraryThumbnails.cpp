#include "output/LibraryThumbnails.h"

#include <new>

#include "imaging/PictureOps.h"

namespace velmora {

DuplicateThumbnails LoadDuplicateThumbnails(const LibraryReport& report, bool upright) {
  // Read as the engine reads library photos: by their content when the
  // extension lies, reduced cheaply where the format allows.
  DecodeHints hints;
  hints.applyOrientation = upright;
  hints.readByContent = true;
  hints.acceptScaled = [](int w, int h) { return w >= kLibraryThumbSide && h >= kLibraryThumbSide; };
  DuplicateThumbnails out(report.Duplicates.size());
  int decoded = 0;
  for (size_t g = 0; g < report.Duplicates.size(); ++g) {
    const std::vector<int>& photos = report.Duplicates[g].Photos;
    out[g].resize(photos.size());
    for (size_t i = 0; i < photos.size(); ++i) {
      const auto k = static_cast<size_t>(photos[i]);
      if (decoded++ >= kMaxLibraryThumbnails || k >= report.Photos.size()) continue;
      // A photo that will not decode, or not in the memory left, keeps its
      // square blank: the chart is about the groups, not about one photo.
      TBitmap32 picture;
      try {
        if (!LoadPictureFile(picture, report.Photos[k].Path, hints).ok()) continue;
        FitToRect(picture, out[g][i], TRect{0, 0, kLibraryThumbSide, kLibraryThumbSide});
      } catch (const std::bad_alloc&) {
        out[g][i] = Bitmap24();
      }
    }
  }
  return out;
}

}  // namespace velmora
