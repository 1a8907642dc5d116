// What the photo decoders (PhotoDecoders.h) ask of the calling thread's
// memory budget before their libraries allocate anything, and the reduced
// size a decoder that can scale while decoding picks. The libraries' working
// memory is several times the picture, and a bitmap charged only once the
// library has finished comes too late: eight threads would each have had
// their library allocate first.
#pragma once

#include <cstdint>
#include <functional>

#include "imaging/PictureReader.h"
#include "imaging/Status.h"

namespace velmora {

// Refuses, naming the format and the picture's size, a decode whose library
// memory and bitmap together are more than the calling thread's whole
// budget: it could never fit, and would otherwise be found out only when the
// library has allocated. Otherwise charges the library's part, waiting for
// room; the bitmap charges itself when it is made. Ok at once without a scope.
Status ChargePhotoDecode(const char* formatName, int64_t width, int64_t height, int64_t libraryBytes,
                         int64_t bitmapPixels);

// A side reduced by `factor`, rounded up as the libraries do.
constexpr int ReducedSide(int side, int factor) { return (side + factor - 1) / factor; }

// For a decoder that can deliver the picture reduced by any power of two up
// to `maxFactor`: the largest such factor whose size hints.acceptScaled
// accepts (upright: the sides offered swapped when `swapSides`), 1 without
// the hint. When the bytes the decode then needs (`bytesAt(factor)`) are more
// than the thread's budget, a larger factor still, while there is one: a
// smaller picture rather than none, as the JPEG decoder does.
int ChoosePhotoReduction(int width, int height, bool swapSides, const DecodeHints& hints, int maxFactor,
                         const std::function<int64_t(int factor)>& bytesAt);

}  // namespace velmora
