#include "engine/Engine.h"

#include <new>
#include <thread>

#include "imaging/PictureOps.h"

namespace velmora {

Engine::Engine() : nearStamp_(kLibraryTableSize, 0) {
  const unsigned hw = std::thread::hardware_concurrency();
  threads_ = hw == 0 ? 1 : static_cast<int>(hw);
}

void Engine::SetListener(JobListener* listener) { listener_ = listener ? listener : &silent_; }

bool Engine::CancelPolled() {
  if (!cancelled_ && listener_->CancelRequested()) cancelled_ = true;
  return cancelled_;
}

Status Engine::CancelledJob() {
  cancelled_ = true;
  listener_->SetProgress(0);
  listener_->SetJobText(kJobCancelledText);
  return Status::Error(kJobCancelled);
}

void Engine::SetPictureLoader(PictureLoader loader) { loader_ = std::move(loader); }

Status Engine::LoadPicture(TBitmap32& target, const std::string& path, const DecodeHints& hints) const {
  // Library photos are read by their content when their extension lies.
  DecodeHints use = hints;
  use.applyOrientation = upright_;
  use.readByContent = true;
  if (loader_) return loader_(target, path, use);
  return LoadPictureFile(target, path, use);
}

Status Engine::LoadLibraryPicture(TBitmap32& target, int k, const DecodeHints& hints) const {
  const std::string& path = PicList[k];
  if (path.empty()) {
    if (!PicList.Source().empty())
      return Status::Error(
          Format("%s: line %d is empty, so it names no library picture.", PicList.Source().c_str(), k + 1));
    return Status::Error(Format("Library picture %d has an empty name.", k + 1));
  }
  try {
    if (previews_ && hints.acceptScaled) {
      DecodeHints use = hints;
      use.usePreviews = true;
      return LoadPicture(target, path, use);
    }
    return LoadPicture(target, path, hints);
  } catch (const std::bad_alloc&) {
    return Status::Error(path + ": Out of memory reading the picture.");
  }
}

Status Engine::LoadMainPicture() { return LoadPicture(MainBitmap, Project.MainImageFile, DecodeHints{}); }

bool Engine::GridFitsTables() const {
  return Project.CellsAcross >= 1 && Project.CellsAcross <= kMapSide && Project.CellsDown >= 1 &&
         Project.CellsDown <= kMapSide;
}

Status Engine::GridError() const {
  return Status::Error(Format("The mosaic grid of %d x %d cells does not fit the cell map (1..%d each way).",
                              Project.CellsAcross, Project.CellsDown, kMapSide));
}

}  // namespace velmora
