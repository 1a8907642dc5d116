// Room on the disk for a picture before it is written: a poster can run to
// hundreds of gigabytes, and finding that out when the disk is full wastes
// the whole render and leaves the file system full meanwhile.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "imaging/Status.h"

namespace velmora {

// The bytes an unprivileged writer may still use on the file system that
// holds `path` (its folder; the current folder for a bare name), from
// statvfs; nullopt when that cannot be told (the write then goes ahead).
std::optional<uint64_t> FreeBytesFor(const std::string& path);

// How sure the figure a picture needs is.
enum class SizeBound {
  Exact,         // an uncompressed format: the file is this long
  Uncompressed,  // compressed: the file is at most about this long
};

// Refuses, with both figures, a picture of `needed` bytes that the free space
// `available` cannot take. `available` nullopt passes.
Status CheckFreeSpace(const std::string& path, uint64_t needed, SizeBound bound,
                      std::optional<uint64_t> available);
// The same with the free space of the target's file system.
inline Status CheckFreeSpace(const std::string& path, uint64_t needed, SizeBound bound) {
  return CheckFreeSpace(path, needed, bound, FreeBytesFor(path));
}

}  // namespace velmora
