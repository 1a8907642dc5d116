// Prepare library: the colour summary of every library picture, in list
// order. Pictures are decoded on worker threads, each into its own slot; the
// calling thread stores the slots in order, reports progress and lets events
// run, and stops at the first picture that failed, exactly where a one-by-one
// run would have stopped.
//
// With a summary cache folder set, the pictures whose path, size, time and
// settings the cache knows are not decoded at all: their stored signatures
// are the very bytes a decode would give. New summaries are saved when the
// whole library was prepared, and those stored before a cancel when it was
// cancelled: the next run decodes only the rest.
//
// A picture decoded here at the scale the renderer would decode it at also
// gives its rendition (see RenditionCache.h), so a cold run's render finds
// it ready instead of decoding the picture a second time.
#include "library/LibraryPrep.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "imaging/Parallel.h"
#include "imaging/PictureOps.h"
#include "library/CellPictures.h"
#include "library/RenditionCache.h"
#include "library/SummaryCache.h"

namespace velmora {

Status PrepareLibraryPictures(const LibraryPrepJob& req, std::vector<DetailSummary>& details,
                              std::vector<SubjectBox>* subjectsOut) {
  JobListener& job = *req.Listener;
  const int count = req.Count;
  const int cw = req.CellWidth;
  const int ch = req.CellHeight;
  const bool crop = req.Crop;
  const bool mono = req.Mono;
  // The subject of each photo, found on the decode its summary is made from
  // and kept beside the summary, when the crop follows it.
  const CropBy mode = crop ? req.CropMode : CropBy::Centre;
  const bool bySubject = mode != CropBy::Centre;
  const DecodeHints hints = bySubject ? SubjectDecodeHints(cw, ch) : SummaryDecodeHints(cw, ch, crop);
  std::vector<SubjectBox> subjects(bySubject ? static_cast<size_t>(count) : 0);
  std::mutex warnMutex;
  std::string subjectWarning;

  std::unique_ptr<SummaryCache> cache;
  std::vector<SummaryKey> keys;
  std::vector<char> known(static_cast<size_t>(count), 0);  // signature taken from the cache
  std::vector<ColorSignature> sigs(static_cast<size_t>(count));
  // The 4 x 4 summaries for detail matching come from the same decode.
  details.assign(static_cast<size_t>(count), DetailSummary{});
  RenditionCache* const renditions = req.Renditions;
  if (!req.CacheFolder.empty()) cache = std::make_unique<SummaryCache>(req.CacheFolder);
  std::string warning;
  if (cache || renditions) {
    keys.resize(static_cast<size_t>(count));
    const uint32_t settings = SummarySettings(cw, ch, crop, mono, req.Upright, req.Previews, mode);
    // A stat per picture is most of a warm run's cost on a big library: the
    // threads share it, each entry writing only its own slots, while one of
    // them reads the cache file (task 0).
    constexpr int kKeysPerTask = 256;
    const int tasks = (count + kKeysPerTask - 1) / kKeysPerTask;
    ParallelFor(req.Threads, tasks + 1, [&](int, int task) {
      if (task == 0) {
        if (cache) cache->Load(&warning);
        return;
      }
      const int end = std::min(count, task * kKeysPerTask);
      KeyStat stat;
      for (int k = (task - 1) * kKeysPerTask; k < end; ++k) {
        SummaryKey& key = keys[static_cast<size_t>(k)];
        key.path = req.Path(k);
        key.settings = settings;
        // A file that cannot be examined is read as usual (and fails as
        // usual), and never cached: its key is cleared.
        if (!stat(key)) key.path.clear();
      }
    });
    if (cache)
      ParallelFor(req.Threads, tasks, [&](int, int task) {
        const int end = std::min(count, (task + 1) * kKeysPerTask);
        for (int k = task * kKeysPerTask; k < end; ++k) {
          const auto i = static_cast<size_t>(k);
          if (!keys[i].path.empty() &&
              cache->Find(keys[i], sigs[i], &details[i], bySubject ? &subjects[i] : nullptr))
            known[i] = 1;
        }
      });
  }
  if (!warning.empty()) job.Warning(warning);

  const DecodeHints renderHints = RenderDecodeHints(cw, ch, crop);
  auto summarize = [&](int k, ColorSignature& sig) -> Status {
    try {
      MemoryScope scope(req.Budget);
      TBitmap32 picture;
      bool shared = renditions && !keys[static_cast<size_t>(k)].path.empty();
      VELMORA_TRY(
          req.Load(picture, k, shared ? SharedDecodeHints(hints, renderHints, &shared) : hints));
      bool cropped = false;
      const SubjectBox* subject = nullptr;
      if (bySubject) {
        std::string warning;
        subjects[static_cast<size_t>(k)] = FindSubject(picture, cw, ch, mode, &warning);
        subject = &subjects[static_cast<size_t>(k)];
        if (!warning.empty()) {
          std::lock_guard<std::mutex> lock(warnMutex);
          if (subjectWarning.empty()) subjectWarning = std::move(warning);
        }
      }
      if (shared) {
        // The summary and the rendition both start from the picture cut to
        // the cell's shape: it is cut once for both.
        if (crop) CropCellPicture(picture, picture, cw, ch, subject);
        cropped = crop;
        // A rendition that cannot be stored is made again by the render, which says why.
        TBitmap32 rendition;
        PrepareForRender(picture, rendition, cw, ch, false, mono);
        (void)renditions->Store(keys[static_cast<size_t>(k)], std::move(rendition));
      }
      sig = SummarizeCellPicture(picture, cw, ch, crop && !cropped, mono, subject);
      details[static_cast<size_t>(k)] = ComputeDetailSummary(picture);
      return Status::Ok();
    } catch (const std::bad_alloc&) {
      return Status::Error(req.Path(k) + ": Out of memory summarising the picture.");
    }
  };

  int toDecode = 0;
  for (char k : known) toDecode += k ? 0 : 1;
  const int workers = std::min(req.Threads, toDecode);
  std::vector<std::thread> pool;
  std::vector<Status> results;
  std::unique_ptr<bool[]> done;
  std::mutex mutex;
  std::condition_variable ready;
  std::atomic<int> next{0};
  std::atomic<bool> stop{false};
  // The pictures decoded so far, and the count at which the waiting caller
  // wants to be woken (guarded by `mutex`): it takes the results in batches,
  // not one wake-up per picture, which would take a core from the workers
  // every time.
  constexpr int kResultsPerWake = 16;
  int finished = 0;
  int wakeAt = 0;

  if (workers > 1) {
    results.resize(static_cast<size_t>(count));
    done = std::make_unique<bool[]>(static_cast<size_t>(count));
    auto work = [&] {
      while (!stop.load(std::memory_order_relaxed)) {
        const int k = next.fetch_add(1, std::memory_order_relaxed);
        if (k >= count) break;
        if (known[static_cast<size_t>(k)]) continue;
        Status st = summarize(k, sigs[static_cast<size_t>(k)]);
        std::lock_guard<std::mutex> lock(mutex);
        results[static_cast<size_t>(k)] = std::move(st);
        done[static_cast<size_t>(k)] = true;
        if (++finished == wakeAt) ready.notify_one();
      }
    };
    for (int t = 0; t < workers; ++t) {
      try {
        pool.emplace_back(work);
      } catch (const std::system_error&) {
        break;
      }
    }
  }
  // Workers are always joined, also when a picture fails and we return early.
  struct Joiner {
    std::vector<std::thread>& pool;
    std::atomic<bool>& stop;
    ~Joiner() {
      stop = true;
      for (std::thread& t : pool) t.join();
    }
  } joiner{pool, stop};

  // Saves the new summaries of pictures 0 .. end - 1.
  auto saveSummaries = [&](int end) {
    if (!cache) return;
    for (int k = 0; k < end; ++k) {
      const auto i = static_cast<size_t>(k);
      if (!known[i] && !keys[i].path.empty())
        cache->Add(keys[i], sigs[i], &details[i], bySubject ? &subjects[i] : nullptr);
    }
    if (cache->Changed())
      if (Status saved = cache->Save(); !saved.ok())
        job.Warning("The summary cache was not saved: " + saved.message());
  };
  auto cancelled = [&](int k) {
    saveSummaries(k + 1);
    return Status::Error(kJobCancelled);
  };

  for (int k = 0; k < count; ++k) {
    if (known[static_cast<size_t>(k)]) {
      if (req.Store(k, sigs[static_cast<size_t>(k)])) return cancelled(k);
      continue;
    }
    if (pool.empty()) {
      ColorSignature& sig = sigs[static_cast<size_t>(k)];
      VELMORA_TRY(summarize(k, sig));
      if (req.Store(k, sig)) return cancelled(k);
      continue;
    }
    Status st;
    {
      std::unique_lock<std::mutex> lock(mutex);
      while (!done[static_cast<size_t>(k)]) {
        // Picture k among the next batch; the last results all at once.
        wakeAt = std::min(finished + kResultsPerWake, toDecode);
        ready.wait(lock, [&] { return finished >= wakeAt; });
      }
      st = std::move(results[static_cast<size_t>(k)]);
    }
    if (!st.ok()) return st;
    if (req.Store(k, sigs[static_cast<size_t>(k)])) return cancelled(k);
  }

  saveSummaries(count);
  if (!subjectWarning.empty()) job.Warning(subjectWarning);
  if (subjectsOut) *subjectsOut = std::move(subjects);
  // The pack of the renditions made here is completed now; the render
  // takes them from memory all the same.
  if (renditions)
    if (Status s = renditions->Commit(); !s.ok()) job.Warning("The renditions were not kept: " + s.message());
  return Status::Ok();
}

}  // namespace velmora
