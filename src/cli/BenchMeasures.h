// What the benchmarks of velmora-cli measure a run by: wall-clock seconds,
// the process's CPU seconds and its peak resident size.
#pragma once

#include <sys/resource.h>

#include <chrono>
#include <cstdio>

namespace velmora::cli {

using BenchClock = std::chrono::steady_clock;

inline double Seconds(BenchClock::time_point a, BenchClock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// User and system CPU time of the whole process, all threads.
inline double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto s = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return s(usage.ru_utime) + s(usage.ru_stime);
}

// The peak resident size from /proc/self/status (VmHWM) since the start or
// the last ResetHighWater, in KiB; 0 when unknown.
inline long HighWaterKiB() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return 0;
  char line[256];
  long kib = 0;
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
  std::fclose(f);
  return kib;
}

// Starts VmHWM again from the present size, so each job's peak is its own.
inline void ResetHighWater() {
  if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
}

}  // namespace velmora::cli
