// A reopened project has its cells' pictures but not the summaries of its
// library: the library is not prepared on open. With detail matching, the
// edit modes' re-picks need the 4 x 4 summaries, which the creation left in
// the summary cache; they are taken from there. When one is missing (the
// cache was cleared, a photo changed), the tables stay empty and re-picks
// use the quadrant distance until the next create.
#include <algorithm>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "library/SummaryCache.h"

namespace velmora {

void Engine::RestoreDetails() {
  Details = DetailTables{};
  if (!Matching.Detail || cacheFolder_.empty() || Project.RenderMode == kRenderSelf || !GridFitsTables())
    return;
  const int count = std::min(PicList.Count(), kLibraryTableSize);
  if (count <= 0) return;
  SummaryCache cache(cacheFolder_);
  // A damaged cache, or a folder not safe to use, is told by the job that
  // needs the cache next (the renditions' opening or a preparation).
  cache.Load(nullptr);
  std::vector<DetailSummary> details(static_cast<size_t>(count));
  SummaryKey key;
  key.settings = SummaryWord();
  for (int k = 0; k < count; ++k) {
    key.path = PicList[k];
    ColorSignature signature;
    if (key.path.empty() || !StatSummaryKey(key) ||
        !cache.Find(key, signature, &details[static_cast<size_t>(k)]))
      return;
  }
  Details.Library = std::move(details);
  MakeCellDetails(MainBitmap,
                  DetailGridShape{Project.CellsAcross, Project.CellsDown, Project.CropMainImage,
                                  Project.FinalWidth, Project.FinalHeight, Project.StitchMode},
                  Details);
}

}  // namespace velmora
