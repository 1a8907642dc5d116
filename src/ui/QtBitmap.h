// The program's bitmaps as Qt images, for previews and small pictures (the
// main view paints from the engine's pixels without a copy instead).
#pragma once

#include <QImage>

#include "imaging/Bitmap24.h"
#include "imaging/Bitmap32.h"

namespace velmora::ui {

// Deep copies: the QImage owns its pixels.
QImage ToQImage(const Bitmap24& bitmap);
QImage ToQImage(const TBitmap32& bitmap);

}  // namespace velmora::ui
