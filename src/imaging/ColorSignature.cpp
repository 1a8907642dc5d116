#include "imaging/ColorSignature.h"

namespace velmora {

std::array<uint8_t, 20> ColorSignature::Bytes() const {
  std::array<uint8_t, 20> out{};
  for (int i = 0; i < 5; ++i) {
    out[i * 4 + 0] = Slot[i].Blue;
    out[i * 4 + 1] = Slot[i].Green;
    out[i * 4 + 2] = Slot[i].Red;
    out[i * 4 + 3] = Slot[i].Grey;
  }
  return out;
}

ColorSignature ColorSignature::FromBytes(const uint8_t* b) {
  ColorSignature s;
  for (int i = 0; i < 5; ++i) s.Slot[i] = SigColor{b[i * 4], b[i * 4 + 1], b[i * 4 + 2], b[i * 4 + 3]};
  return s;
}

uint8_t GreyOf(int red, int green, int blue) {
  // The constants are written as long double literals: as doubles, 0.299 would
  // round differently and change the exceptions above.
  const long double sum = (static_cast<long double>(red) * 0.299L + static_cast<long double>(green) * 0.587L) +
                          static_cast<long double>(blue) * 0.114L;
  return static_cast<uint8_t>(static_cast<long long>(sum));
}

}  // namespace velmora
