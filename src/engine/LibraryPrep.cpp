// Prepare library: the colour summary of every library picture, in list
// order. Pictures are decoded on worker threads, each into its own slot; the
// calling thread stores the slots in order, reports progress and lets events
// run, and stops at the first picture that failed, exactly where a one-by-one
// run would have stopped.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/CellPictures.h"
#include "engine/Engine.h"

namespace velmora {

Status Engine::PrepareLibrary() {
  JobListener& job = Listener();
  job.SetJobText("Current Job : Cell Pic Lib");
  job.SetProgress(0);

  const int count = std::min(PicList.Count(), kLibraryTableSize);
  const int cw = Project.CellWidth;
  const int ch = Project.CellHeight;
  const bool crop = Project.CropCell;
  const bool mono = Project.MonoCell;
  const DecodeHints hints = SummaryDecodeHints(cw, ch, crop);

  auto summarize = [&](int k, ColorSignature& sig) -> Status {
    try {
      TBitmap32 picture;
      VELMORA_TRY(LoadPicture(picture, PicList[k], hints));
      sig = SummarizeCellPicture(picture, cw, ch, crop, mono);
      return Status::Ok();
    } catch (const std::bad_alloc&) {
      return Status::Error("Out of memory reading " + PicList[k]);
    }
  };
  auto store = [&](int k, const ColorSignature& sig) {
    LibraryEntry& e = Library[k];
    e.Signature = sig;
    e.UseCount = 0;
    e.Spare = 0;
    // -1 after the first picture and below 100 at the end, as the gauge has
    // always shown it.
    job.SetProgress(k * 100 / count - 1);
    job.ProcessEvents();
  };

  const int workers = std::min(threads_, count);
  std::vector<std::thread> pool;
  std::vector<ColorSignature> sigs;
  std::vector<Status> results;
  std::unique_ptr<bool[]> done;
  std::mutex mutex;
  std::condition_variable ready;
  std::atomic<int> next{0};
  std::atomic<bool> stop{false};

  if (workers > 1) {
    sigs.resize(static_cast<size_t>(count));
    results.resize(static_cast<size_t>(count));
    done = std::make_unique<bool[]>(static_cast<size_t>(count));
    auto work = [&] {
      while (!stop.load(std::memory_order_relaxed)) {
        const int k = next.fetch_add(1, std::memory_order_relaxed);
        if (k >= count) break;
        Status st = summarize(k, sigs[static_cast<size_t>(k)]);
        std::lock_guard<std::mutex> lock(mutex);
        results[static_cast<size_t>(k)] = std::move(st);
        done[static_cast<size_t>(k)] = true;
        ready.notify_one();
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

  for (int k = 0; k < count; ++k) {
    if (pool.empty()) {
      ColorSignature sig;
      VELMORA_TRY(summarize(k, sig));
      store(k, sig);
      continue;
    }
    Status st;
    {
      std::unique_lock<std::mutex> lock(mutex);
      ready.wait(lock, [&] { return done[static_cast<size_t>(k)]; });
      st = std::move(results[static_cast<size_t>(k)]);
    }
    if (!st.ok()) return st;
    store(k, sigs[static_cast<size_t>(k)]);
  }

  for (int k = 0; k < count; ++k) Library[k].UseCount = 0;
  return Status::Ok();
}

}  // namespace velmora
