#include "imaging/Random.h"

#include <chrono>

namespace velmora {

void RandomGenerator::Randomize() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  const auto ticks = std::chrono::duration_cast<std::chrono::milliseconds>(now).count() ^
                     std::chrono::system_clock::now().time_since_epoch().count();
  seed_ = static_cast<uint32_t>(ticks);
}

}  // namespace velmora
