// libFuzzer target for the options-file reader. Any bytes are read or refused
// with a message and leave the options untouched when refused; options that
// are read lie within their ranges and survive a write and a second read.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "project/DefaultOptionsFile.h"
#include "project/OptionRanges.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmora;
  static const int fd = ::memfd_create("fuzz-options", MFD_CLOEXEC);
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  if (::ftruncate(fd, 0) != 0 || (size > 0 && ::pwrite(fd, data, size, 0) != ssize_t(size))) return 0;

  const tmosaicproject defaults = DefaultProject();
  tmosaicproject options = defaults;
  if (!ReadOptionsFile(path, options).ok()) {
    if (WriteOptionBlock(options) != WriteOptionBlock(defaults)) __builtin_trap();
    return 0;
  }
  if (size < kOptionBlockSize || !OptionOutOfRange(options).empty()) __builtin_trap();
  const auto block = WriteOptionBlock(options);
  tmosaicproject again = defaults;
  ReadOptionBlock(block, again);
  if (WriteOptionBlock(again) != block) __builtin_trap();
  return 0;
}
