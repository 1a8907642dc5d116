// Saving files so that a failed save never destroys the previous file: the new
// content goes to a temporary file beside the target, which is renamed over
// the target only once it is complete and flushed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>

#include "imaging/Status.h"

namespace velmora {

// `write` fills the open temporary file; a failed Status (or a failed stdio
// write) leaves the target untouched and removes the temporary file.
Status WriteFileAtomically(const std::string& path, const std::function<Status(std::FILE*)>& write);
Status WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes);

// Writes all of `bytes` to `file`; the message names `path` on failure.
Status WriteAll(std::FILE* file, std::span<const uint8_t> bytes, const std::string& path);

}  // namespace velmora
