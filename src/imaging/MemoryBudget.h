// One budget of bytes in flight shared by every thread that decodes pictures
// for the same job (library preparation, rendering), so that the memory a job
// needs at its peak depends on the budget and not on the number of threads.
//
// A thread opens a MemoryScope for one picture; while it is open, every
// bitmap that thread allocates is charged to the budget first, and a charge
// that does not fit waits until other scopes close. Everything charged is
// given back when the scope closes. Threads without an open scope (the main
// picture, the desktop program's viewers) are not charged.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>

#include "imaging/Status.h"

namespace velmora {

// The default: room for one picture at the pixel limit (1 GiB of pixels), or
// for many ordinary photos side by side. A thread that already holds a picture
// and needs a working copy of it may go past the budget when it is the oldest
// holder (see Charge), so the peak is the budget plus the working copies of
// one picture, whatever the number of threads.
constexpr int64_t kDefaultMemoryBudgetBytes = int64_t(1) << 30;

class MemoryBudget {
public:
  explicit MemoryBudget(int64_t capacityBytes = kDefaultMemoryBudgetBytes);
  MemoryBudget(const MemoryBudget&) = delete;
  MemoryBudget& operator=(const MemoryBudget&) = delete;

  int64_t Capacity() const { return capacity_; }
  // Bytes charged now, and the most that were charged at once.
  int64_t InUse() const;
  int64_t Peak() const;

private:
  friend class MemoryScope;
  friend Status ChargeMemory(int64_t bytes);
  Status Charge(class MemoryScope& scope, int64_t bytes);
  void Release(class MemoryScope& scope);

  const int64_t capacity_;
  mutable std::mutex mutex_;
  std::condition_variable freed_;
  int64_t inUse_ = 0;
  int64_t peak_ = 0;
  uint64_t nextTicket_ = 1;
  std::set<uint64_t> holders_;  // tickets of the scopes holding bytes
};

class MemoryScope {
public:
  // A null budget opens a scope that charges nothing.
  explicit MemoryScope(MemoryBudget* budget);
  ~MemoryScope();
  MemoryScope(const MemoryScope&) = delete;
  MemoryScope& operator=(const MemoryScope&) = delete;

private:
  friend class MemoryBudget;
  friend Status ChargeMemory(int64_t bytes);
  friend int64_t MemoryScopeCapacity();
  MemoryBudget* budget_;
  MemoryScope* outer_;
  int64_t held_ = 0;
  uint64_t ticket_ = 0;  // order of the first charge; 0 while nothing is held
};

// Charges `bytes` to the calling thread's open scope, waiting for room when
// needed; Ok at once without a scope. A charge larger than the whole budget
// fails with a message that gives both figures (the caller names the file).
Status ChargeMemory(int64_t bytes);
// The budget of the calling thread's scope, or INT64_MAX without one: what a
// decoder that can reduce a picture while decoding aims below.
int64_t MemoryScopeCapacity();

}  // namespace velmora
