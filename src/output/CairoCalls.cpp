#include "output/CairoCalls.h"

namespace velmora {

Status OpenCairo() {
  static LazyLibrary library("libcairo.so.2", "Charts and panel PDFs need cairo (Debian package libcairo2)");
  return library.Open([](void* handle) { return true VELMORA_CAIRO_CALLS(VELMORA_LAZY_BIND); });
}

}  // namespace velmora
