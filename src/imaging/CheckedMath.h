// Size arithmetic for untrusted headers: every stride, w*h*4, offset+length and
// run end goes through these, so an overflow is a failed check, never a wrap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace velmora {

// a * b into *out; false when the product does not fit.
template <typename T>
[[nodiscard]] constexpr bool CheckedMul(T a, T b, T* out) {
  return !__builtin_mul_overflow(a, b, out);
}

template <typename T>
[[nodiscard]] constexpr bool CheckedAdd(T a, T b, T* out) {
  return !__builtin_add_overflow(a, b, out);
}

// a * b * c for sizes; false on overflow.
[[nodiscard]] constexpr bool CheckedMul3(size_t a, size_t b, size_t c, size_t* out) {
  size_t ab = 0;
  return CheckedMul(a, b, &ab) && CheckedMul(ab, c, out);
}

// True when [offset, offset + length) lies inside a buffer of `size` bytes.
[[nodiscard]] constexpr bool RangeFits(uint64_t offset, uint64_t length, uint64_t size) {
  return offset <= size && length <= size - offset;
}

}  // namespace velmora
