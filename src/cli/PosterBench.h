// The poster benchmark of velmora-cli bench (--poster).
#pragma once

#include "cli/Command.h"

namespace velmora::cli {

// Runs create (with --project) and then render of that project as two child
// processes and prints each one's time and peak memory.
int RunPosterBench(const Args& args);

}  // namespace velmora::cli
