#include "imaging/Parallel.h"

#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace velmora::detail {
namespace {

// The caller's share, job(0), then `wait` for the helpers: they use `job`
// until they are done, so the share may not leave early, even by an
// exception, which reaches the caller after the wait.
template <typename Wait>
void RunOwnShareThen(const std::function<void(int)>& job, const Wait& wait) {
  std::exception_ptr failure;
  try {
    job(0);
  } catch (...) {
    failure = std::current_exception();
  }
  wait();
  if (failure) std::rethrow_exception(failure);
}

// Helper threads parked between jobs. The object lives as long as the
// process (its threads wait on it until the process ends), and a child made
// by fork, which has none of its threads, does not use it.
class KeptThreads {
public:
  bool Run(int helpers, const std::function<void(int)>& job) {
    if (insideJob || ::getpid() != pid_) return false;
    std::unique_lock<std::mutex> busy(busy_, std::try_to_lock);
    if (!busy.owns_lock()) return false;
    while (static_cast<int>(threads_.size()) < helpers) {
      try {
        const int id = static_cast<int>(threads_.size()) + 1;
        threads_.emplace_back([this, id] { Serve(id); });
      } catch (const std::system_error&) {
        break;
      }
    }
    const int use = std::min(helpers, static_cast<int>(threads_.size()));
    if (use == 0) return false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      job_ = &job;
      active_ = use;
      pending_ = use;
      ++generation_;
    }
    wake_.notify_all();
    insideJob = true;
    RunOwnShareThen(job, [this] {
      insideJob = false;
      std::unique_lock<std::mutex> lock(mutex_);
      done_.wait(lock, [this] { return pending_ == 0; });
      job_ = nullptr;
    });
    return true;
  }

private:
  void Serve(int id) {
    insideJob = true;  // a step inside a step starts threads of its own
    uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return generation_ != seen; });
      seen = generation_;
      if (id > active_) continue;
      const std::function<void(int)>* job = job_;
      lock.unlock();
      (*job)(id);
      lock.lock();
      if (--pending_ == 0) done_.notify_one();
    }
  }

  static thread_local bool insideJob;
  const pid_t pid_ = ::getpid();
  std::mutex busy_;  // held by the call using the threads
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::vector<std::thread> threads_;
  const std::function<void(int)>* job_ = nullptr;
  int active_ = 0;
  int pending_ = 0;
  uint64_t generation_ = 0;
};

thread_local bool KeptThreads::insideJob = false;

}  // namespace

void RunWithHelpers(int helpers, const std::function<void(int)>& job) {
  static KeptThreads* const kept = new KeptThreads;  // never destroyed: see KeptThreads
  if (kept->Run(helpers, job)) return;
  std::vector<std::thread> started;
  for (int t = 1; t <= helpers; ++t) {
    try {
      started.emplace_back(job, t);
    } catch (const std::system_error&) {
      break;  // fewer threads than asked for: the others share the work
    }
  }
  RunOwnShareThen(job, [&started] {
    for (std::thread& t : started) t.join();
  });
}

}  // namespace velmora::detail
