#include "engine/Engine.h"

#include <thread>

namespace velmora {

Engine::Engine() {
  const unsigned hw = std::thread::hardware_concurrency();
  threads_ = hw == 0 ? 1 : static_cast<int>(hw);
}

void Engine::SetListener(JobListener* listener) { listener_ = listener ? listener : &silent_; }

}  // namespace velmora
