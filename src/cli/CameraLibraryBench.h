// The camera-library benchmark of velmora-cli bench (--camera-library DIR).
#pragma once

#include "cli/Command.h"

namespace velmora::cli {

// Whether the arguments ask for it.
bool WantsCameraLibraryBench(const Args& args);

// Makes the mosaic of a phone's or camera's photo folder (its subfolders
// too) as 'create' does, with the library's embedded previews and without,
// each cold (the summary and rendition caches of a folder of its own, empty)
// and then warm, and prints for each the time, the photos a second, the
// decoding CPU per photo by format, the share of photos their previews
// served, the mosaic's mean colour error and the peak memory; beside them
// the least the previews alone take to read and decode.
int RunCameraLibraryBench(const Args& args);

}  // namespace velmora::cli
