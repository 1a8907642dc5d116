// A shared library opened the first time a picture needs it. The decoders of
// HEIF, JPEG XL, camera raw and metafile pictures sit on libraries that pull
// in dozens more (video codecs, colour management, fonts); linked, they would
// be loaded and initialised by every start of the programs, which made a
// warm mosaic tens of milliseconds slower. Their headers still give the
// types: a decoder declares, in its own unnamed namespace, pointers named
// like the library's functions, so its calls read as before.
#pragma once

#include <mutex>
#include <string>

#include "imaging/Status.h"

namespace velmora {

class LazyLibrary {
public:
  // `soname`: the file dlopen looks for; `need`: what the user is told is
  // missing, as "HEIF pictures need libheif (Debian package libheif1)".
  LazyLibrary(const char* soname, std::string need) : soname_(soname), need_(std::move(need)) {}
  LazyLibrary(const LazyLibrary&) = delete;
  LazyLibrary& operator=(const LazyLibrary&) = delete;

  // Opens the library and runs `bind` on its handle, once for the process;
  // every call gives the first call's answer. `bind` returns false when a
  // function is missing.
  template <typename Bind>
  Status Open(Bind bind) {
    std::call_once(once_, [&] {
      void* handle = OpenHandle();
      if (handle != nullptr && !bind(handle))
        status_ = Status::Error(need_ + ", but the one found lacks a function it uses.");
    });
    return status_;
  }

  // Looks one function up under its own name.
  template <typename F>
  static bool Bind(void* handle, const char* name, F& call) {
    call = reinterpret_cast<F>(Symbol(handle, name));
    return call != nullptr;
  }

private:
  void* OpenHandle();
  static void* Symbol(void* handle, const char* name);

  std::once_flag once_;
  Status status_;
  const char* soname_;
  std::string need_;
};

}  // namespace velmora

// A pointer standing in for the library function `name`.
#define VELMORA_LAZY_DECLARE(name) decltype(&::name) name = nullptr;
// In a bind lambda with a `void* handle`: `return true CALLS(VELMORA_LAZY_BIND);`
#define VELMORA_LAZY_BIND(name) &&::velmora::LazyLibrary::Bind(handle, #name, name)
