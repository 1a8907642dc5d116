// The picture a stored project shows, rebuilt once LoadProjectFile has read
// it: the render from the stored cell map, then the pen log (the strokes,
// and the cells drawn again over them) replayed in the order the edits were
// made, so that a reopened project shows exactly the picture that was saved.
// The desktop's Load and every command that draws a project (render,
// quality, web, panels) go through here, so they draw the same picture.
#pragma once

#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/PenLog.h"
#include "imaging/Status.h"

namespace velmora {

// Engine::ReopenProject, then ReplayPenLog. A log that does not fit the
// mosaic is left out: `warnings` gets a line naming `path`, `log` is emptied
// and the mosaic is rendered again without it. A cancel during the replay
// fails with kJobCancelled, leaving the strokes painted so far.
Status ReopenProjectPicture(Engine& engine, PenLog& log, const std::string& path,
                            std::vector<std::string>& warnings);

// The same picture handed to `sink` in bands of `bandRows` rows, top first
// (as Engine::ReopenProjectInBands hands them). Without a log to replay the
// render goes in bands and never holds the whole mosaic. With one, the
// mosaic is made whole, as the desktop does, and its rows are handed over;
// a mosaic past what memory can hold (FitsInMemory), which the desktop
// could never have painted on, is rendered in bands without its log, with
// a warning.
Status ReopenProjectPictureInBands(Engine& engine, PenLog& log, const std::string& path,
                                   std::vector<std::string>& warnings, int bandRows,
                                   const Engine::BandSink& sink);

}  // namespace velmora
