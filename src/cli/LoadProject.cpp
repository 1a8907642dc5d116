#include "cli/LoadProject.h"

#include <iostream>

#include "project/ProjectExtras.h"
#include "project/ProjectFile.h"
#include "project/ProjectPicture.h"

namespace velmora::cli {

Status LoadCommandProject(Engine& engine, const std::string& path, CommandProject* project) {
  ExtensionArea area;
  VELMORA_TRY(LoadProjectFile(engine, path, &area));
  ProjectExtras extras = ReadProjectExtras(area, path, &engine.Project);
  engine.Matching = extras.Matching;
  engine.Blocks = std::move(extras.Blocks);
  engine.Masks = std::move(extras.Masks);
  engine.CropMode = extras.CropMode;
  for (const std::string& warning : extras.Warnings) std::cerr << "Warning: " << warning << "\n";
  if (project) *project = CommandProject{path, std::move(extras.Strokes)};
  return Status::Ok();
}

Status ReopenCommandProject(Engine& engine, CommandProject& project, int bandRows,
                            const Engine::BandSink& sink) {
  std::vector<std::string> warnings;
  const Status drawn =
      ReopenProjectPictureInBands(engine, project.Edits, project.Path, warnings, bandRows, sink);
  for (const std::string& warning : warnings) engine.Listener().Warning(warning);
  return drawn;
}

}  // namespace velmora::cli
