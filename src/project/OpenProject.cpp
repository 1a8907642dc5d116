// Opening a stored project: the file replaces the engine's state, then the
// grid and the mosaic are rebuilt from it. Kept apart from the file code so
// that reading and writing project files does not pull in the renderer.
#include "project/ProjectFile.h"

namespace velmora {

Status OpenProject(Engine& engine, const std::string& path, ExtensionArea* extensions) {
  VELMORA_TRY(LoadProjectFile(engine, path, extensions));
  return engine.ReopenProject();
}

}  // namespace velmora
