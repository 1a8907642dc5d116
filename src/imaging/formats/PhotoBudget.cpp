#include "imaging/formats/PhotoBudget.h"

#include "imaging/Bitmap32.h"
#include "imaging/MemoryBudget.h"

namespace velmora {
namespace {

double Mib(int64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

}  // namespace

Status ChargePhotoDecode(const char* formatName, int64_t width, int64_t height, int64_t libraryBytes,
                         int64_t bitmapPixels) {
  const int64_t capacity = MemoryScopeCapacity();
  const int64_t needed = libraryBytes + bitmapPixels * int64_t(sizeof(TColor32));
  if (needed > capacity)
    return Status::Error(
        Format("Cannot load image. The %s picture of %lld x %lld pixels needs %.1f MiB at once "
               "to decode, more than the memory budget of %.1f MiB.",
               formatName, static_cast<long long>(width), static_cast<long long>(height), Mib(needed),
               Mib(capacity)));
  return ChargeMemory(libraryBytes);
}

int ChoosePhotoReduction(int width, int height, bool swapSides, const DecodeHints& hints, int maxFactor,
                         const std::function<int64_t(int factor)>& bytesAt) {
  int factor = 1;
  if (hints.acceptScaled) {
    // From the smallest picture up, as the JPEG decoder offers its scales.
    int largest = 1;
    while (largest * 2 <= maxFactor) largest *= 2;
    for (int f = largest; f > 1; f /= 2) {
      const int w = ReducedSide(width, f);
      const int h = ReducedSide(height, f);
      if (swapSides ? hints.acceptScaled(h, w) : hints.acceptScaled(w, h)) {
        factor = f;
        break;
      }
    }
  }
  const int64_t budget = MemoryScopeCapacity();
  while (factor * 2 <= maxFactor && bytesAt(factor) > budget) factor *= 2;
  return factor;
}

}  // namespace velmora
