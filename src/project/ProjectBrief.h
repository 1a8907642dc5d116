// The project brief: the plain-text summary of a project about to be created
// (source picture, library size, sizes, the main options) that the wizard's
// last page shows and can save as a text file.
#pragma once

#include <string>

#include "engine/Engine.h"
#include "engine/ProjectRecord.h"
#include "imaging/Status.h"

namespace velmora {

// Fifteen lines, sixteen with LimitRepeat on, each ended by CR LF.
std::string BuildProjectBrief(const tmosaicproject& project, int libraryCount);
// The same for the engine's project and library, followed by the settings
// advice (Advice.h) when there is any.
std::string BuildProjectBrief(const Engine& engine);

// Writes the text exactly as it is (the user may have edited it), through a
// temporary file. Adding a ".txt" to a typed name is the save dialog's business.
Status SaveProjectBrief(const std::string& text, const std::string& path);

}  // namespace velmora
