#include "imaging/LazyLibrary.h"

#include <dlfcn.h>

namespace velmora {

void* LazyLibrary::OpenHandle() {
  // Local: the library's symbols stay out of the way of everything else's.
  void* handle = ::dlopen(soname_, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = ::dlerror();
    status_ = Status::Error(need_ + ", which cannot be loaded: " + (why != nullptr ? why : "not found"));
  }
  return handle;
}

// dlsym on a handle also finds what the library's own dependencies define.
void* LazyLibrary::Symbol(void* handle, const char* name) { return ::dlsym(handle, name); }

}  // namespace velmora
