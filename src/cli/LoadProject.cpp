#include "cli/LoadProject.h"

#include <iostream>

#include "project/ProjectExtras.h"
#include "project/ProjectFile.h"

namespace velmora::cli {

Status LoadCommandProject(Engine& engine, const std::string& path) {
  ExtensionArea area;
  VELMORA_TRY(LoadProjectFile(engine, path, &area));
  // The pen strokes are the desktop's: no command paints them, so only
  // what was wrong with them is told here.
  ProjectExtras extras = ReadProjectExtras(area, path);
  engine.Matching = extras.Matching;
  for (const std::string& warning : extras.Warnings) std::cerr << "Warning: " << warning << "\n";
  return Status::Ok();
}

}  // namespace velmora::cli
