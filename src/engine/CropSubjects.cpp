// Where library photos are cut to their cells' shape when the crop follows
// their subject: the boxes Prepare library found, kept for the render, or
// read back from the summary cache for a project opened from its file.
#include <algorithm>

#include "engine/Engine.h"
#include "library/SummaryCache.h"

namespace velmora {

uint32_t Engine::SummaryWord() const {
  return SummarySettings(Project.CellWidth, Project.CellHeight, Project.CropCell, Project.MonoCell, upright_,
                         previews_, CropMode);
}

const SubjectBox* Engine::KnownSubject(int k, SubjectBox& slot) const {
  if (!Project.CropCell || CropMode == CropBy::Centre || k < 0 || k >= PicList.Count()) return nullptr;
  SubjectTable& table = *subjects_;
  std::lock_guard<std::mutex> hold(table.lock);
  const uint32_t settings = SummaryWord();
  const int count = std::min(PicList.Count(), kLibraryTableSize);
  if (table.settings != settings || table.count != count || table.firstPath != PicList[0]) {
    table.settings = settings;
    table.count = count;
    table.firstPath = PicList[0];
    table.looked = false;
    table.boxes.assign(size_t(count), kMiddleSubject);
    table.known.assign(size_t(count), 0);
  }
  if (k >= count) return nullptr;
  if (!table.known[size_t(k)] && !table.looked && !cacheFolder_.empty()) {
    // Once for the whole library: a render of an opened project meets its
    // photos in the order of the cells.
    table.looked = true;
    SummaryCache cache(cacheFolder_);
    cache.Load(nullptr);
    SummaryKey key;
    key.settings = settings;
    for (int i = 0; i < count; ++i) {
      if (table.known[size_t(i)]) continue;
      key.path = PicList[i];
      ColorSignature signature;
      if (!key.path.empty() && StatSummaryKey(key) &&
          cache.Find(key, signature, nullptr, &table.boxes[size_t(i)]))
        table.known[size_t(i)] = 1;
    }
  }
  if (!table.known[size_t(k)]) return nullptr;
  slot = table.boxes[size_t(k)];
  return &slot;
}

}  // namespace velmora
