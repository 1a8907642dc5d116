// A saved project read for a command that works on one (render, quality,
// web, panels, beads): the file into the engine, the matching choices of its
// extension blocks applied, and what had to be left out of them told on
// stderr, a "Warning:" line each naming the project, as the desktop shows
// them in its caution.
#pragma once

#include <string>

#include "engine/Engine.h"
#include "imaging/Status.h"

namespace velmora::cli {

Status LoadCommandProject(Engine& engine, const std::string& path);

}  // namespace velmora::cli
