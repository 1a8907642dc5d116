#include "imaging/Interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace velmora {
namespace {

constexpr int kTemporarySlots = 64;
constexpr size_t kPathBytes = 4096;
constexpr int kGroupSlots = 16;

std::atomic<int> g_signal{0};
std::atomic<bool> g_requested{false};

// A slot is written under the mutex with `used` false and published by
// setting `used`; the handler reads only slots marked used.
struct TemporarySlot {
  std::atomic<bool> used{false};
  char path[kPathBytes];
};
TemporarySlot g_temporaries[kTemporarySlots];
std::atomic<pid_t> g_groups[kGroupSlots];
std::mutex g_tableMutex;

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<pid_t>::is_always_lock_free,
              "the signal handler needs lock-free flags");

void CleanUp() {
  for (auto& slot : g_temporaries)
    if (slot.used.load()) ::unlink(slot.path);
  for (auto& group : g_groups) {
    const pid_t id = group.load();
    if (id > 0) ::kill(-id, SIGTERM);
  }
}

void OnSignal(int number) {
  if (g_requested.exchange(true)) {
    // Second signal: the user means it.
    ::signal(number, SIG_DFL);
    ::raise(number);
    return;
  }
  g_signal.store(number);
  const int savedErrno = errno;
  CleanUp();
  errno = savedErrno;
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(number, &action, nullptr);
}

bool InterruptRequested() { return g_requested.load(std::memory_order_relaxed); }

int InterruptSignal() { return g_signal.load(); }

void RequestInterrupt() { g_requested.store(true); }

void ClearInterrupt() {
  g_signal.store(0);
  g_requested.store(false);
}

int RegisterTemporaryFile(const std::string& path) {
  if (path.size() >= kPathBytes) return -1;
  std::lock_guard<std::mutex> lock(g_tableMutex);
  for (int i = 0; i < kTemporarySlots; ++i) {
    TemporarySlot& slot = g_temporaries[i];
    if (slot.used.load()) continue;
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.used.store(true);
    return i;
  }
  return -1;
}

void UnregisterTemporaryFile(int slot) {
  if (slot < 0 || slot >= kTemporarySlots) return;
  std::lock_guard<std::mutex> lock(g_tableMutex);
  g_temporaries[slot].used.store(false);
}

void RegisterChildProcessGroup(pid_t group) {
  if (group <= 0) return;
  std::lock_guard<std::mutex> lock(g_tableMutex);
  for (auto& slot : g_groups) {
    pid_t empty = 0;
    if (slot.compare_exchange_strong(empty, group)) return;
  }
}

void UnregisterChildProcessGroup(pid_t group) {
  std::lock_guard<std::mutex> lock(g_tableMutex);
  for (auto& slot : g_groups) {
    pid_t id = group;
    if (slot.compare_exchange_strong(id, 0)) return;
  }
}

}  // namespace velmora
