// Prepare library: the engine's step that fills the library table from the
// preparation in src/library, reporting on the gauge and in words ("Summarising
// 1,234 of 20,000 photos, about 40 s left", after the job text) and polling
// Cancel as each picture's summary is stored.
#include <algorithm>
#include <vector>

#include "engine/Engine.h"
#include "imaging/JobCountdown.h"
#include "library/LibraryPrep.h"

namespace velmora {

Status Engine::PrepareLibrary() {
  JobListener& job = Listener();
  job.SetJobText("Current Job : Cell Pic Lib");
  job.SetProgress(0);
  cancelled_ = false;
  Details.Library.clear();

  LibraryPrepJob prep;
  prep.Count = std::min(PicList.Count(), kLibraryTableSize);
  prep.CellWidth = Project.CellWidth;
  prep.CellHeight = Project.CellHeight;
  prep.Crop = Project.CropCell;
  prep.CropMode = CropMode;
  prep.Mono = Project.MonoCell;
  prep.Upright = upright_;
  prep.Previews = previews_;
  prep.Threads = threads_;
  prep.CacheFolder = cacheFolder_;
  prep.Renditions = Renditions();
  prep.Budget = budget_.get();
  prep.Listener = &job;
  prep.Path = [this](int k) -> const std::string& { return PicList[k]; };
  prep.Load = [this](TBitmap32& picture, int k, const DecodeHints& hints) {
    return LoadLibraryPicture(picture, k, hints);
  };
  const int count = prep.Count;
  JobCountdown countdown(job, "Summarising", "photos", count);
  prep.Store = [&](int k, const ColorSignature& sig) {
    LibraryEntry& e = Library[k];
    e.Signature = sig;
    e.UseCount = 0;
    e.Spare = 0;
    // -1 after the first picture and below 100 at the end, as the gauge has
    // always shown it.
    job.SetProgress(k * 100 / count - 1);
    countdown.Done(k + 1);
    job.ProcessEvents();
    return CancelPolled();
  };

  std::vector<DetailSummary> details;
  std::vector<SubjectBox> subjects;
  const Status prepared = PrepareLibraryPictures(prep, details, &subjects);
  countdown.Finish();
  if (cancelled_) return CancelledJob();
  VELMORA_TRY(prepared);
  for (int k = 0; k < count; ++k) Library[k].UseCount = 0;
  Details.Library = std::move(details);
  if (!subjects.empty()) {
    // Kept for the render, which cuts the photos where their summaries did.
    SubjectTable& table = *subjects_;
    std::lock_guard<std::mutex> hold(table.lock);
    table.settings = SummaryWord();
    table.count = count;
    table.firstPath = PicList[0];
    table.looked = true;
    table.boxes = std::move(subjects);
    table.known.assign(size_t(count), 1);
  }
  return Status::Ok();
}

}  // namespace velmora
