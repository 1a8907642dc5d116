#include "imaging/MemoryBudget.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <limits>

namespace velmora {
namespace {

thread_local MemoryScope* currentScope = nullptr;

double Mib(int64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// glibc keeps what a thread frees in that thread's own heap for its next
// allocations, and blocks of up to 32 MiB come from those heaps once a large
// one has been freed. A decoding library's buffers freed at the end of one
// picture thus stay resident for each thread: HEIC library photos of
// 8000 x 8000 pixels took 0.56 GiB on one thread and 1.4 GiB on eight under
// the same 256 MiB budget. A scope that held at least this much hands its
// heaps' free pages back when it closes; below it, keeping them saves the
// next picture the page faults.
constexpr int64_t kReturnFreedMemoryBytes = int64_t(64) << 20;

void ReturnFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace

MemoryBudget::MemoryBudget(int64_t capacityBytes) : capacity_(capacityBytes < 1 ? 1 : capacityBytes) {}

int64_t MemoryBudget::InUse() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return inUse_;
}

int64_t MemoryBudget::Peak() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return peak_;
}

Status MemoryBudget::Charge(MemoryScope& scope, int64_t bytes) {
  if (bytes <= 0) return Status::Ok();
  if (bytes > capacity_)
    return Status::Error(
        Format("Cannot load image. It needs %.0f MiB at once, more than the memory budget of %.0f MiB.",
               Mib(bytes), Mib(capacity_)));
  std::unique_lock<std::mutex> lock(mutex_);
  // A scope that holds nothing waits for room. One that already holds bytes
  // waits too, except the oldest holder: it goes ahead even past the budget,
  // since every other holder may be waiting for it, and nobody would ever
  // give anything back. The overshoot is at most what that one picture needs.
  freed_.wait(lock, [&] {
    if (inUse_ + bytes <= capacity_) return true;
    return scope.held_ > 0 && !holders_.empty() && *holders_.begin() == scope.ticket_;
  });
  if (scope.held_ == 0) {
    scope.ticket_ = nextTicket_++;
    holders_.insert(scope.ticket_);
  }
  scope.held_ += bytes;
  inUse_ += bytes;
  if (inUse_ > peak_) peak_ = inUse_;
  return Status::Ok();
}

void MemoryBudget::Release(MemoryScope& scope) {
  if (scope.held_ == 0) return;
  const int64_t held = scope.held_;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    inUse_ -= scope.held_;
    holders_.erase(scope.ticket_);
    scope.held_ = 0;
    scope.ticket_ = 0;
  }
  freed_.notify_all();
  if (held >= kReturnFreedMemoryBytes) ReturnFreedMemory();
}

MemoryScope::MemoryScope(MemoryBudget* budget) : budget_(budget), outer_(currentScope) {
  currentScope = this;
}

MemoryScope::~MemoryScope() {
  if (budget_ != nullptr) budget_->Release(*this);
  currentScope = outer_;
}

Status ChargeMemory(int64_t bytes) {
  MemoryScope* scope = currentScope;
  if (scope == nullptr || scope->budget_ == nullptr) return Status::Ok();
  return scope->budget_->Charge(*scope, bytes);
}

int64_t MemoryScopeCapacity() {
  const MemoryScope* scope = currentScope;
  if (scope == nullptr || scope->budget_ == nullptr) return std::numeric_limits<int64_t>::max();
  return scope->budget_->Capacity();
}

}  // namespace velmora
