#include "output/CairoCalls.h"

namespace velmora {

Status OpenCairo() {
  static LazyLibrary library("libcairo.so.2", "Charts and panel PDFs need cairo (Debian package libcairo2)");
  return library.Open([](void* handle) { return true VELMORA_CAIRO_CALLS(VELMORA_LAZY_BIND); });
}

Status OpenPango() {
  VELMORA_TRY(OpenCairo());
  // pangocairo brings Pango, GObject and GLib in as its own dependencies,
  // where the binding finds their functions too.
  static LazyLibrary library("libpangocairo-1.0.so.0",
                             "The library check chart needs Pango (Debian package libpangocairo-1.0-0)");
  return library.Open([](void* handle) { return true VELMORA_PANGO_CALLS(VELMORA_LAZY_BIND); });
}

}  // namespace velmora
