// A saved project read for a command that works on one (render, quality,
// web, panels, beads): the file into the engine, the matching choices of its
// extension blocks applied, and what had to be left out of them told on
// stderr, a "Warning:" line each naming the project, as the desktop shows
// them in its caution. The commands that draw the mosaic draw it through
// ReopenCommandProject, with the pen log replayed as the desktop does.
#pragma once

#include <string>

#include "engine/Engine.h"
#include "engine/PenLog.h"
#include "imaging/Status.h"

namespace velmora::cli {

// What a command keeps of the project besides the engine's state.
struct CommandProject {
  std::string Path;
  PenLog Edits;  // the pen strokes and the cells drawn again over them
};

Status LoadCommandProject(Engine& engine, const std::string& path, CommandProject* project = nullptr);

// The project's mosaic in bands, as the desktop shows it once reopened
// (ReopenProjectPictureInBands); a log left out is told as a warning
// through the engine's listener.
Status ReopenCommandProject(Engine& engine, CommandProject& project, int bandRows,
                            const Engine::BandSink& sink);

}  // namespace velmora::cli
