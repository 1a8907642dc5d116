// A reading cursor over a byte span that cannot run past its end. Decoders read
// headers and pixel data through it; a read past the end returns zeros and
// marks the cursor as overrun, which the decoder turns into its format's
// "damaged file" message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace velmora {

class ByteCursor {
public:
  ByteCursor() = default;
  explicit ByteCursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  size_t size() const { return bytes_.size(); }
  size_t position() const { return pos_; }
  size_t remaining() const { return pos_ <= bytes_.size() ? bytes_.size() - pos_ : 0; }
  bool overrun() const { return overrun_; }
  bool atEnd() const { return pos_ >= bytes_.size(); }
  std::span<const uint8_t> bytes() const { return bytes_; }

  // Moves to an absolute offset; an offset beyond the end marks an overrun.
  bool seek(size_t offset) {
    if (offset > bytes_.size()) {
      overrun_ = true;
      pos_ = bytes_.size();
      return false;
    }
    pos_ = offset;
    return true;
  }
  bool skip(size_t n) { return n <= remaining() ? seek(pos_ + n) : seek(bytes_.size() + 1); }

  uint8_t u8() {
    if (pos_ >= bytes_.size()) {
      overrun_ = true;
      return 0;
    }
    return bytes_[pos_++];
  }
  uint16_t u16le() {
    uint16_t lo = u8();
    return static_cast<uint16_t>(lo | (u8() << 8));
  }
  uint32_t u32le() {
    uint32_t lo = u16le();
    return lo | (static_cast<uint32_t>(u16le()) << 16);
  }
  int32_t i32le() { return static_cast<int32_t>(u32le()); }
  uint16_t u16be() {
    uint16_t hi = u8();
    return static_cast<uint16_t>((hi << 8) | u8());
  }
  uint32_t u32be() {
    uint32_t hi = u16be();
    return (hi << 16) | u16be();
  }

  // A view of the next n bytes, or an empty span (and an overrun) if fewer remain.
  std::span<const uint8_t> take(size_t n) {
    if (n > remaining()) {
      overrun_ = true;
      pos_ = bytes_.size();
      return {};
    }
    auto view = bytes_.subspan(pos_, n);
    pos_ += n;
    return view;
  }

private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
  bool overrun_ = false;
};

}  // namespace velmora
