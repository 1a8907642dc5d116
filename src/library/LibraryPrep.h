// Preparing the library: the colour summary and the 4 x 4 detail summary of
// every library picture, in list order, from the summary cache where it
// knows a picture and otherwise decoded on worker threads; a picture decoded
// at the render's scale also leaves its rendition in the rendition cache.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "imaging/Bitmap32.h"
#include "imaging/ColorSignature.h"
#include "imaging/Job.h"
#include "imaging/MemoryBudget.h"
#include "imaging/PictureReader.h"
#include "imaging/Status.h"
#include "library/SubjectCrop.h"
#include "match/DetailMatch.h"

namespace velmora {

class RenditionCache;

struct LibraryPrepJob {
  int Count = 0;  // pictures 0 .. Count - 1
  int CellWidth = 0;
  int CellHeight = 0;
  bool Crop = false;
  CropBy CropMode = CropBy::Centre;  // where the crop sits (with Crop)
  bool Mono = false;
  bool Upright = true;    // part of the cached summaries' settings
  bool Previews = false;  // likewise: Load reads embedded previews where they serve
  int Threads = 1;
  std::string CacheFolder;  // the summary cache's folder; empty for none
  RenditionCache* Renditions = nullptr;
  MemoryBudget* Budget = nullptr;
  JobListener* Listener = nullptr;
  std::function<const std::string&(int k)> Path;
  std::function<Status(TBitmap32& picture, int k, const DecodeHints& hints)> Load;
  // Takes picture k's signature, called in list order on the calling thread;
  // true stops the preparation there (the job was cancelled).
  std::function<bool(int k, const ColorSignature& signature)> Store;
};

// Ok with every summary stored and `details` filled in list order; else the
// error of the first picture that could not be read, exactly where a
// one-by-one run would have stopped, or kJobCancelled when Store stopped it.
// `subjects` (when given) receives, in list order, where each photo's
// subject is for its crop (SubjectCrop.h); it is left empty for the centre
// crop and without Crop.
Status PrepareLibraryPictures(const LibraryPrepJob& job, std::vector<DetailSummary>& details,
                              std::vector<SubjectBox>* subjects = nullptr);

}  // namespace velmora
