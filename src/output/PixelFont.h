// A small built-in bitmap font for the charts the program writes without a
// windowing toolkit: 5 x 7 glyphs for digits, capital letters and common
// punctuation, drawn at a whole-number scale. Small letters are drawn as
// capitals; a character without a glyph is drawn as "?".
#pragma once

#include <string_view>

#include "imaging/Bitmap32.h"

namespace velmora {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;

// Pixels a text of `length` characters advances at `scale`.
int PixelTextWidth(size_t length, int scale);

// Draws `text` with its top-left corner at (x, y), clipped to the bitmap.
void DrawPixelText(TBitmap32& target, int x, int y, std::string_view text, TColor32 color, int scale);

}  // namespace velmora
