#include "imaging/formats/HeifCodedSize.h"

namespace velmora {

namespace {

constexpr int kSpsNalType = 33;
// A profile, tier and level record without its level byte: space, tier and
// profile (8 bits), 32 compatibility flags and 48 bits of constraint flags.
constexpr int kProfileBits = 88;

constexpr int kSequenceHeaderObu = 1;

// Reads bits, most significant first. For an HEVC NAL unit's payload
// (`escaped`) it leaves out the bytes the encoder put after two zero bytes so
// that the payload never looks like a start code.
class StreamBits {
public:
  StreamBits(std::span<const uint8_t> payload, bool escaped) : bytes_(payload), escaped_(escaped) {}

  bool Read(int count, uint32_t& value) {
    value = 0;
    for (int i = 0; i < count; ++i) {
      uint32_t bit = 0;
      if (!Bit(bit)) return false;
      value = (value << 1) | bit;
    }
    return true;
  }

  bool Skip(int count) {
    uint32_t ignored = 0;
    for (int i = 0; i < count; ++i)
      if (!Bit(ignored)) return false;
    return true;
  }

  // An unsigned Exp-Golomb code; longer than 31 leading zeros is refused.
  bool Golomb(uint32_t& value) {
    int zeros = 0;
    for (uint32_t bit = 0;; ++zeros) {
      if (!Bit(bit)) return false;
      if (bit != 0) break;
      if (zeros == 31) return false;
    }
    uint32_t rest = 0;
    if (!Read(zeros, rest)) return false;
    value = (uint32_t(1) << zeros) - 1 + rest;
    return true;
  }

private:
  bool Bit(uint32_t& bit) {
    if (bitsLeft_ == 0) {
      if (next_ >= bytes_.size()) return false;
      if (escaped_ && zeros_ >= 2 && bytes_[next_] == 3) {
        zeros_ = 0;
        if (++next_ >= bytes_.size()) return false;
      }
      byte_ = bytes_[next_++];
      zeros_ = byte_ == 0 ? zeros_ + 1 : 0;
      bitsLeft_ = 8;
    }
    --bitsLeft_;
    bit = (byte_ >> bitsLeft_) & 1u;
    return true;
  }

  std::span<const uint8_t> bytes_;
  bool escaped_;
  size_t next_ = 0;
  int zeros_ = 0;
  uint32_t byte_ = 0;
  int bitsLeft_ = 0;
};

std::optional<CodedSize> SpsSize(std::span<const uint8_t> nal) {
  if (nal.size() < 3 || ((nal[0] >> 1) & 0x3F) != kSpsNalType) return std::nullopt;
  StreamBits bits(nal.subspan(2), true);
  uint32_t subLayers = 0, value = 0;
  // Parameter set id, sub-layers less one, temporal nesting flag.
  if (!bits.Skip(4) || !bits.Read(3, subLayers) || !bits.Skip(1)) return std::nullopt;
  if (subLayers > 6) return std::nullopt;
  if (!bits.Skip(kProfileBits + 8)) return std::nullopt;
  bool profilePresent[8] = {}, levelPresent[8] = {};
  for (uint32_t i = 0; i < subLayers; ++i) {
    uint32_t profile = 0, level = 0;
    if (!bits.Read(1, profile) || !bits.Read(1, level)) return std::nullopt;
    profilePresent[i] = profile != 0;
    levelPresent[i] = level != 0;
  }
  if (subLayers > 0 && !bits.Skip(2 * (8 - static_cast<int>(subLayers)))) return std::nullopt;
  for (uint32_t i = 0; i < subLayers; ++i) {
    if (profilePresent[i] && !bits.Skip(kProfileBits)) return std::nullopt;
    if (levelPresent[i] && !bits.Skip(8)) return std::nullopt;
  }
  uint32_t chromaFormat = 0, width = 0, height = 0;
  if (!bits.Golomb(value) || value > 15) return std::nullopt;  // its own id
  if (!bits.Golomb(chromaFormat) || chromaFormat > 3) return std::nullopt;
  if (chromaFormat == 3 && !bits.Skip(1)) return std::nullopt;  // separate colour planes
  if (!bits.Golomb(width) || !bits.Golomb(height) || width == 0 || height == 0) return std::nullopt;
  return CodedSize{width, height};
}

// A variable-length count of leading zeros and as many bits after the one;
// only skipped here.
bool SkipUvlc(StreamBits& bits) {
  int zeros = 0;
  for (uint32_t bit = 0;; ++zeros) {
    if (!bits.Read(1, bit)) return false;
    if (bit != 0) break;
    if (zeros == 32) return false;
  }
  return bits.Skip(zeros);
}

std::optional<CodedSize> SequenceHeaderSize(std::span<const uint8_t> payload) {
  StreamBits bits(payload, false);
  uint32_t reduced = 0, flag = 0, value = 0;
  // Profile, still picture, reduced header.
  if (!bits.Skip(3 + 1) || !bits.Read(1, reduced)) return std::nullopt;
  if (reduced != 0) {
    if (!bits.Skip(5)) return std::nullopt;  // level
  } else {
    uint32_t timing = 0, decoderModel = 0, delayLength = 0, displayDelay = 0, points = 0;
    if (!bits.Read(1, timing)) return std::nullopt;
    if (timing != 0) {
      // Display tick, time scale, and with an equal interval its ticks.
      if (!bits.Skip(64) || !bits.Read(1, flag) || (flag != 0 && !SkipUvlc(bits))) return std::nullopt;
      if (!bits.Read(1, decoderModel)) return std::nullopt;
      // Buffer delay length less one, decoding tick, two more lengths.
      if (decoderModel != 0 && (!bits.Read(5, delayLength) || !bits.Skip(32 + 5 + 5))) return std::nullopt;
    }
    if (!bits.Read(1, displayDelay) || !bits.Read(5, points)) return std::nullopt;
    for (uint32_t i = 0; i <= points; ++i) {
      // Operating point and its level, the tier above level 7.
      if (!bits.Skip(12) || !bits.Read(5, value) || (value > 7 && !bits.Skip(1))) return std::nullopt;
      if (decoderModel != 0) {
        if (!bits.Read(1, flag)) return std::nullopt;
        // Decoder and encoder buffer delays, low delay mode.
        if (flag != 0 && !bits.Skip(2 * static_cast<int>(delayLength + 1) + 1)) return std::nullopt;
      }
      if (displayDelay != 0) {
        if (!bits.Read(1, flag) || (flag != 0 && !bits.Skip(4))) return std::nullopt;
      }
    }
  }
  uint32_t widthBits = 0, heightBits = 0, width = 0, height = 0;
  if (!bits.Read(4, widthBits) || !bits.Read(4, heightBits)) return std::nullopt;
  if (!bits.Read(static_cast<int>(widthBits) + 1, width) ||
      !bits.Read(static_cast<int>(heightBits) + 1, height))
    return std::nullopt;
  return CodedSize{int64_t(width) + 1, int64_t(height) + 1};
}

}  // namespace

std::optional<CodedSize> ReadHevcCodedSize(std::span<const uint8_t> hvcC) {
  // 22 bytes of configuration, then the count of NAL unit arrays.
  if (hvcC.size() < 23) return std::nullopt;
  size_t at = 23;
  for (int array = 0, arrays = hvcC[22]; array < arrays; ++array) {
    if (hvcC.size() - at < 3) return std::nullopt;
    const int units = (hvcC[at + 1] << 8) | hvcC[at + 2];
    at += 3;
    for (int unit = 0; unit < units; ++unit) {
      if (hvcC.size() - at < 2) return std::nullopt;
      const size_t length = size_t(hvcC[at] << 8) | hvcC[at + 1];
      at += 2;
      if (hvcC.size() - at < length) return std::nullopt;
      const std::span<const uint8_t> nal = hvcC.subspan(at, length);
      at += length;
      if (nal.size() >= 1 && ((nal[0] >> 1) & 0x3F) == kSpsNalType) return SpsSize(nal);
    }
  }
  return std::nullopt;
}

std::optional<CodedSize> ReadAv1CodedSize(std::span<const uint8_t> obus) {
  size_t at = 0;
  while (at < obus.size()) {
    const uint8_t header = obus[at++];
    if ((header & 0x80) != 0) return std::nullopt;  // the forbidden bit
    const int type = (header >> 3) & 15;
    if ((header & 4) != 0 && at++ >= obus.size()) return std::nullopt;  // the extension byte
    uint64_t size = obus.size() - at;
    if ((header & 2) != 0) {  // its size, seven bits a byte, least significant first
      size = 0;
      for (int i = 0;; ++i) {
        if (i == 8 || at >= obus.size()) return std::nullopt;
        const uint8_t byte = obus[at++];
        size |= uint64_t(byte & 0x7F) << (7 * i);
        if ((byte & 0x80) == 0) break;
      }
      if (size > obus.size() - at) {
        // Only the sequence header itself need be whole: a caller may pass
        // the first bytes of a longer stream.
        if (type != kSequenceHeaderObu) return std::nullopt;
        size = obus.size() - at;
      }
    }
    if (type == kSequenceHeaderObu) return SequenceHeaderSize(obus.subspan(at, static_cast<size_t>(size)));
    at += static_cast<size_t>(size);
  }
  return std::nullopt;
}

}  // namespace velmora
