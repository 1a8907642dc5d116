// The big-library benchmark of velmora-cli bench (--big-library N).
#pragma once

#include <string>

#include "cli/Command.h"

namespace velmora::cli {

// Whether the arguments ask for it.
bool WantsBigLibraryBench(const Args& args);

// Links the pictures of the --library folder over and over into a temporary
// folder of N entries, makes the mosaic once from it to fill the caches, then
// times the whole job again with the caches warm, step by step, and prints
// the figures.
int RunBigLibraryBench(const Args& args);

// The machine's load average line, printed beside every benchmark figure.
std::string LoadAverage();

}  // namespace velmora::cli
