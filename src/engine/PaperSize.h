// A size on paper: so many pixels (or printer dots) at so many to the inch,
// in inches or centimetres with two decimals. The wizard's mosaic size and
// the print window's sizes both come from here, so the same picture at the
// same resolution reads the same in both.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// Hundredths of the unit in one inch.
enum class PaperUnit : int64_t { Inch = 100, Cm = 254 };

// `count` at `perInch` to the inch in hundredths of `unit`, rounded to the
// nearest, halves up: count / perInch * 2.54 for centimetres, worked out in
// whole numbers so that no binary fraction moves a figure ending in 5.
// 0 for a resolution of 0 or less.
inline int64_t PaperHundredths(int64_t count, int64_t perInch, PaperUnit unit) {
  if (perInch <= 0 || count <= 0) return 0;
  return (2 * count * static_cast<int64_t>(unit) + perInch) / (2 * perInch);
}

// The size with two decimals: "54.19".
inline std::string PaperSizeText(int64_t count, int64_t perInch, PaperUnit unit) {
  const int64_t h = PaperHundredths(count, perInch, unit);
  const int64_t cents = h % 100;
  return std::to_string(h / 100) + (cents < 10 ? ".0" : ".") + std::to_string(cents);
}

// The same without trailing zeros: "54.19", "50.8", "13".
inline std::string PaperSizeShortText(int64_t count, int64_t perInch, PaperUnit unit) {
  std::string text = PaperSizeText(count, perInch, unit);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

}  // namespace velmora
