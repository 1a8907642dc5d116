#include "engine/Parallel.h"

#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>

namespace velmora::detail {
namespace {

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
    // The helpers use `job` until they are done: the caller's share may not
    // leave early, even by an exception.
    std::exception_ptr failure;
    insideJob = true;
    try {
      job(0);
    } catch (...) {
      failure = std::current_exception();
    }
    insideJob = false;
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
    job_ = nullptr;
    lock.unlock();
    if (failure) std::rethrow_exception(failure);
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

bool RunOnKeptThreads(int helpers, const std::function<void(int)>& job) {
  static KeptThreads* const kept = new KeptThreads;  // never destroyed: see KeptThreads
  return kept->Run(helpers, job);
}

}  // namespace velmora::detail
